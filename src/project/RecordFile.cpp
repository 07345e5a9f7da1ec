#include "project/RecordFile.h"

#include "project/TextCodec.h"
#include "support/FileSystem.h"

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

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
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

} // namespace

TElementRecord SplitElementRecord(std::string_view Line) {
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

void writeRecordFile(const std::string& path, const std::vector<std::string>& lines) {
    const std::string bytes = encodeRecordFile(lines);
    FileSystem& files = fileSystem();
    std::unique_ptr<WritableFile> file = files.openForWrite(path, false);
    file->write(bytes);
    file->close();
}

std::vector<std::string> readRecordFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ERecordFileError("The record file " + quoted(path) +
                               " cannot be read: " + std::strerror(errno));
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw ERecordFileError("The record file " + quoted(path) + " cannot be read");
    return decodeRecordFile(content.str());
}

} // namespace schauplatz
