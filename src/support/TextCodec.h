#pragma once

// Every text conversion of the program in one place. Internal text is UTF-8 in std::string;
// the record file and the entry names of older project archives come in one of the 8-bit code
// pages below, metafile text in windows-1252 or UTF-16 and is drawn code point by code point.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace schauplatz {

enum class CodePage {
    Windows1252, // the ANSI code page of the record file and of metafile text
    Cp437,       // OEM code page (US) of unflagged zip entry names
    Cp850,       // OEM code page (Western Europe) of unflagged zip entry names
};

// Every byte value maps to one code point; the five bytes windows-1252 leaves undefined
// (0x81 0x8D 0x8F 0x90 0x9D) map to the C1 controls of the same value, so any byte sequence
// decodes and re-encodes unchanged.
std::string decodeCodePage(std::string_view bytes, CodePage codePage);

// What decodeCodePoints makes of a byte the code page leaves undefined.
enum class UndefinedByte {
    C1Control,    // the control of the same value, as decodeCodePage does
    QuestionMark, // '?', what a drawn text shows for it
};

// The same bytes as code points, one per byte.
std::u32string decodeCodePoints(std::span<const std::uint8_t> bytes, CodePage codePage,
                                UndefinedByte undefined);

// nullopt when the text is not valid UTF-8 or holds a character the code page cannot hold.
std::optional<std::string> encodeCodePage(std::string_view utf8, CodePage codePage);

bool isAscii(std::string_view text);
// Overlong forms, surrogates, values above U+10FFFF and cut sequences are not valid.
bool isValidUtf8(std::string_view text);

// UTF-16 without its byte-order mark; unpaired surrogates and a trailing odd byte become U+FFFD.
std::string decodeUtf16(std::string_view bytes, bool bigEndian);

// The same as code points, except that an unpaired surrogate stays as it is (metafile text,
// where it draws as the font's missing glyph).
std::u32string decodeUtf16CodePoints(std::span<const std::uint8_t> bytes, bool bigEndian);

// What appendUtf8 makes of a surrogate code point, which UTF-8 cannot hold.
enum class Surrogate {
    Replace, // U+FFFD
    Encode,  // the three bytes of its value (not valid UTF-8): a metafile's font name is read
             // unit by unit, and fontconfig is given exactly those bytes
};

// Values above U+10FFFF become U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint, Surrogate surrogate = Surrogate::Replace);

} // namespace schauplatz
