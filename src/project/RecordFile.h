#pragma once

// The record file data.dat and the element record line.
//
// data.dat holds the record list of a project, one line per entry: line 0 the facade
// picture's path, then one element record line per accepted element. It is written in
// windows-1252 with CR LF after every line; when a line holds a character windows-1252 cannot
// represent, the whole file is written as UTF-8 with a byte-order mark instead, so no path
// ever degrades to "?". Reading honours UTF-8 and UTF-16 byte-order marks, assumes
// windows-1252 otherwise, and accepts CR, LF and CR LF as line ends.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace schauplatz {

// A record line or record file that cannot be used; what() says which and why.
class ERecordFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A record file too large to be read (kMaxRecordFileBytes, kMaxRecordFileLines); refused
// before anything is decoded.
class ERecordFileLimit : public ERecordFileError {
public:
    using ERecordFileError::ERecordFileError;
};

// An element record line that cannot be split; Line() is its index in the record file (line
// 0 is the facade, so element lines count from 1).
class ERecordLineError : public ERecordFileError {
public:
    ERecordLineError(std::size_t line, const std::string& text)
        : ERecordFileError(text), m_line(line) {}
    std::size_t Line() const { return m_line; }

private:
    std::size_t m_line;
};

// The largest record file a load reads: far beyond any real project (a line per accepted
// element), small enough that decoding it stays cheap.
inline constexpr std::uint64_t kMaxRecordFileBytes = std::uint64_t{16} << 20;
inline constexpr std::size_t kMaxRecordFileLines = 100000;

// One element record line: the element picture's path and its quad, vertices in the order
// top left, top right, bottom right, bottom left.
struct TElementRecord {
    std::string Path;
    std::int32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, X3 = 0, Y3 = 0;

    friend bool operator==(const TElementRecord&, const TElementRecord&) = default;
};

// Splits "path;x0;y0;x1;y1;x2;y2;x3;y3;" at every ";". The path runs up to the first ";"
// (blanks belong to it); fields after the ninth are ignored. Throws ERecordFileError when
// there are fewer than nine fields or one of fields 1..8 is not a 32-bit integer.
TElementRecord SplitElementRecord(std::string_view Line);

// The record line for an element: each of the nine fields followed by ";".
std::string FormatElementRecord(const TElementRecord& Record);

// The bytes of data.dat for the lines. Throws ERecordFileError for a line holding CR or LF,
// which could not be read back as one line.
std::string encodeRecordFile(const std::vector<std::string>& lines);
// The lines of a data.dat given as bytes.
std::vector<std::string> decodeRecordFile(std::string_view bytes);
// The number of lines the bytes decode to, counted without decoding them.
std::size_t countRecordFileLines(std::string_view bytes);
// Throws ERecordFileLimit, with a message naming shownAs (for example "data.dat in
// "Kunde.vbk""), when the bytes exceed kMaxRecordFileBytes or kMaxRecordFileLines.
void checkRecordFileLimits(std::string_view bytes, const std::string& shownAs);
// Why a record line cannot be split, in the words shown to the user (German); "" when it
// splits. Long lines are cut in the text.
std::string RecordLineProblem(std::string_view Line);

// Writes data.dat through the file-system seam (replacing an older file). Throws
// FileSystemError or ERecordFileError.
void writeRecordFile(const std::string& path, const std::vector<std::string>& lines);
// Reads data.dat; throws ERecordFileError naming the file when it is missing or unreadable,
// ERecordFileLimit (before decoding) when it exceeds the limits above. shownAs names the
// file in the messages (the path when empty).
std::vector<std::string> readRecordFile(const std::string& path, const std::string& shownAs = {});

} // namespace schauplatz
