#pragma once

// Text conversions for project files. Internal text is UTF-8 in std::string; the record file
// and the entry names of older project archives come in one of the 8-bit code pages below.

#include <optional>
#include <string>
#include <string_view>

namespace schauplatz {

enum class CodePage {
    Windows1252, // the ANSI code page of the record file
    Cp437,       // OEM code page (US) of unflagged zip entry names
    Cp850,       // OEM code page (Western Europe) of unflagged zip entry names
};

// Every byte value maps to one code point; the five bytes windows-1252 leaves undefined map to
// the C1 controls of the same value, so any byte sequence decodes and re-encodes unchanged.
std::string decodeCodePage(std::string_view bytes, CodePage codePage);

// nullopt when the text is not valid UTF-8 or holds a character the code page cannot hold.
std::optional<std::string> encodeCodePage(std::string_view utf8, CodePage codePage);

bool isAscii(std::string_view text);
bool isValidUtf8(std::string_view text);

// UTF-16 without its byte-order mark; unpaired surrogates and a trailing odd byte become U+FFFD.
std::string decodeUtf16(std::string_view bytes, bool bigEndian);

void appendUtf8(std::string& out, char32_t codePoint);

} // namespace schauplatz
