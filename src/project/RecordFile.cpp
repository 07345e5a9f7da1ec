#include "project/RecordFile.h"

#include "support/FileSystem.h"
#include "support/TextCodec.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

namespace schauplatz {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr std::size_t kRecordFields = 9;

// Lines of any length may reach a message: beyond this they are cut there.
constexpr std::size_t kMaxQuotedLine = 160;

// Built by appending: GCC 12 at -O3 reports a false overlap for "literal" + std::string here.
std::string quoted(std::string_view text) {
    std::string result = "\"";
    if (text.size() > kMaxQuotedLine) {
        std::size_t cut = kMaxQuotedLine;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut; // never inside a UTF-8 character
        result.append(text.substr(0, cut));
        result.append("…\" (");
        result.append(std::to_string(text.size()));
        result.append(" Zeichen)");
        return result;
    }
    result.append(text);
    result.push_back('"');
    return result;
}

// A decimal 32-bit integer: leading blanks and a sign are allowed, nothing after the digits.
bool parseInt32(std::string_view field, std::int32_t& value) {
    std::size_t pos = 0;
    while (pos < field.size() && (field[pos] == ' ' || field[pos] == '\t'))
        ++pos;
    bool negative = false;
    if (pos < field.size() && (field[pos] == '-' || field[pos] == '+')) {
        negative = field[pos] == '-';
        ++pos;
    }
    if (pos == field.size()) return false;
    std::int64_t magnitude = 0;
    for (; pos < field.size(); ++pos) {
        const char c = field[pos];
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] != '\r' && text[pos] != '\n') continue;
        lines.emplace_back(text.substr(start, pos - start));
        if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        start = pos + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

// The first nine fields of a record line (fewer when it has fewer).
std::vector<std::string_view> splitFields(std::string_view Line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (fields.size() < kRecordFields) {
        const std::size_t semicolon = Line.find(';', start);
        if (semicolon == std::string_view::npos) {
            fields.push_back(Line.substr(start));
            break;
        }
        fields.push_back(Line.substr(start, semicolon - start));
        start = semicolon + 1;
    }
    return fields;
}

} // namespace

TElementRecord SplitElementRecord(std::string_view Line) {
    const std::vector<std::string_view> fields = splitFields(Line);
    if (fields.size() < kRecordFields) {
        throw ERecordFileError("Element record " + quoted(Line) + " has " +
                               std::to_string(fields.size()) +
                               " fields; a path and eight coordinates are needed");
    }
    TElementRecord record;
    record.Path = std::string(fields[0]);
    std::int32_t* const targets[] = {&record.X0, &record.Y0, &record.X1, &record.Y1,
                                     &record.X2, &record.Y2, &record.X3, &record.Y3};
    for (std::size_t i = 1; i < kRecordFields; ++i) {
        if (!parseInt32(fields[i], *targets[i - 1])) {
            throw ERecordFileError("Element record " + quoted(Line) + ": field " +
                                   std::to_string(i) + " " + quoted(fields[i]) +
                                   " is not a valid integer");
        }
    }
    return record;
}

std::string FormatElementRecord(const TElementRecord& Record) {
    std::string line = Record.Path + ";";
    for (const std::int32_t value :
         {Record.X0, Record.Y0, Record.X1, Record.Y1, Record.X2, Record.Y2, Record.X3, Record.Y3}) {
        line += std::to_string(value);
        line += ';';
    }
    return line;
}

std::string encodeRecordFile(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n") != std::string::npos) {
            throw ERecordFileError("A record line holds a line break and cannot be saved: " +
                                   quoted(line));
        }
    }
    std::string ansi;
    bool ansiHoldsAll = true;
    for (const std::string& line : lines) {
        const auto encoded = encodeCodePage(line, CodePage::Windows1252);
        if (!encoded) {
            ansiHoldsAll = false;
            break;
        }
        ansi += *encoded;
        ansi += "\r\n";
    }
    // A first line whose windows-1252 bytes begin like a byte-order mark ("ÿþ", "þÿ", "ï»¿")
    // would be read back in another encoding: such a file is written as UTF-8 with its mark.
    const bool looksMarked = ansi.starts_with(kUtf8Bom) || ansi.starts_with(kUtf16LeBom) ||
                             ansi.starts_with(kUtf16BeBom);
    if (ansiHoldsAll && !looksMarked) return ansi;

    std::string utf8(kUtf8Bom);
    for (const std::string& line : lines) {
        utf8 += line;
        utf8 += "\r\n";
    }
    return utf8;
}

std::vector<std::string> decodeRecordFile(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) return splitLines(bytes.substr(kUtf8Bom.size()));
    if (bytes.starts_with(kUtf16LeBom))
        return splitLines(decodeUtf16(bytes.substr(kUtf16LeBom.size()), false));
    if (bytes.starts_with(kUtf16BeBom))
        return splitLines(decodeUtf16(bytes.substr(kUtf16BeBom.size()), true));
    return splitLines(decodeCodePage(bytes, CodePage::Windows1252));
}

std::size_t countRecordFileLines(std::string_view bytes) {
    // UTF-16 line ends are two bytes wide; everything else has them as single bytes.
    std::size_t step = 1;
    std::size_t first = bytes.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
    if (bytes.starts_with(kUtf16LeBom) || bytes.starts_with(kUtf16BeBom)) {
        step = 2;
        first = kUtf16LeBom.size();
    }
    const bool bigEndian = bytes.starts_with(kUtf16BeBom);
    const auto unitAt = [&](std::size_t at) -> unsigned {
        if (step == 1) return static_cast<unsigned char>(bytes[at]);
        const unsigned a = static_cast<unsigned char>(bytes[at]);
        const unsigned b = static_cast<unsigned char>(bytes[at + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::size_t lines = 0;
    bool open = false; // text after the last line end
    for (std::size_t at = first; at + step <= bytes.size(); at += step) {
        const unsigned unit = unitAt(at);
        if (unit != '\r' && unit != '\n') {
            open = true;
            continue;
        }
        ++lines;
        open = false;
        if (unit == '\r' && at + 2 * step <= bytes.size() && unitAt(at + step) == '\n') at += step;
    }
    // An odd byte at the end of UTF-16 text still makes a character.
    if (step == 2 && (bytes.size() - first) % 2 != 0) open = true;
    return lines + (open ? 1 : 0);
}

void checkRecordFileLimits(std::string_view bytes, const std::string& shownAs) {
    if (bytes.size() > kMaxRecordFileBytes) {
        throw ERecordFileLimit("Die Datei " + shownAs + " ist mit " + std::to_string(bytes.size()) +
                               " Bytes zu groß (höchstens 16 MiB); das Projekt wird nicht geladen");
    }
    if (countRecordFileLines(bytes) > kMaxRecordFileLines) {
        throw ERecordFileLimit("Die Datei " + shownAs +
                               " hat mehr als 100.000 Zeilen; das Projekt wird nicht geladen");
    }
}

std::string RecordLineProblem(std::string_view Line) {
    const std::vector<std::string_view> fields = splitFields(Line);
    if (fields.size() < kRecordFields) {
        return std::to_string(fields.size()) + " statt " + std::to_string(kRecordFields) +
               " Felder (ein Pfad und acht Koordinaten): " + quoted(Line);
    }
    std::int32_t ignored = 0;
    for (std::size_t i = 1; i < kRecordFields; ++i) {
        if (!parseInt32(fields[i], ignored)) {
            return "Feld " + std::to_string(i) + " (" + quoted(fields[i]) +
                   ") ist keine ganze Zahl: " + quoted(Line);
        }
    }
    return {};
}

void writeRecordFile(const std::string& path, const std::vector<std::string>& lines) {
    const std::string bytes = encodeRecordFile(lines);
    FileSystem& files = fileSystem();
    std::unique_ptr<WritableFile> file = files.openForWrite(path, false);
    file->write(bytes);
    file->close();
}

std::vector<std::string> readRecordFile(const std::string& path, const std::string& shownAs) {
    const std::string name = shownAs.empty() ? quoted(path) : shownAs;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        throw ERecordFileError("The record file " + quoted(path) +
                               " cannot be read: " + std::strerror(errno));
    }
    const std::streamoff size = in.tellg();
    in.seekg(0);
    if (size > static_cast<std::streamoff>(kMaxRecordFileBytes)) {
        throw ERecordFileLimit("Die Datei " + name + " ist mit " + std::to_string(size) +
                               " Bytes zu groß (höchstens 16 MiB); das Projekt wird nicht geladen");
    }
    // The size is looked at before anything is read; reading stops one byte past the limit
    // in any case, should the file have grown meanwhile.
    const std::size_t wanted =
        size < 0 ? kMaxRecordFileBytes + 1
                 : static_cast<std::size_t>(std::min<std::uint64_t>(
                       static_cast<std::uint64_t>(size), kMaxRecordFileBytes + 1));
    std::string content(wanted, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (in.bad()) throw ERecordFileError("The record file " + quoted(path) + " cannot be read");
    content.resize(static_cast<std::size_t>(in.gcount()));
    checkRecordFileLimits(content, name);
    return decodeRecordFile(content);
}

} // namespace schauplatz
