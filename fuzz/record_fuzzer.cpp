// The record file data.dat and the element record line. Every byte sequence decodes to lines,
// as many as the limit check counts without decoding; every line either splits into a record
// or is refused with ERecordFileError (and then has a problem to name); a record that
// split is formatted and split again to the same record; and lines that can be written are
// read back unchanged.

#include "FuzzSupport.h"

#include "project/RecordFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace schauplatz;

void checkRecordLine(std::string_view line) {
    TElementRecord record;
    const bool problem = !RecordLineProblem(line).empty();
    try {
        record = SplitElementRecord(line);
    } catch (const ERecordFileError&) {
        if (!problem) fuzz::finding("a line refused without a problem to name");
        return;
    }
    if (problem) fuzz::finding("a problem named for a line that splits");
    const std::string formatted = FormatElementRecord(record);
    TElementRecord again;
    try {
        again = SplitElementRecord(formatted);
    } catch (const ERecordFileError& error) {
        fuzz::finding(std::string("a formatted record does not split: ") + error.what());
    }
    if (!(again == record)) fuzz::finding("a record changed through format and split");
}

bool writable(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        if (line.find_first_of("\r\n") != std::string::npos) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The input as one record line, and as a whole record file.
    checkRecordLine(bytes);
    const std::vector<std::string> lines = decodeRecordFile(bytes);
    // The limits count lines without decoding; the count must be the decoder's.
    if (countRecordFileLines(bytes) != lines.size())
        fuzz::finding("the line count differs from the decoded lines");
    for (std::size_t i = 1; i < lines.size(); ++i)
        checkRecordLine(lines[i]);
    if (writable(lines)) {
        std::string encoded;
        try {
            encoded = encodeRecordFile(lines);
        } catch (const ERecordFileError& error) {
            fuzz::finding(std::string("lines without line ends refused: ") + error.what());
        }
        if (decodeRecordFile(encoded) != lines) fuzz::finding("lines changed through the file");
    }
    return 0;
}
