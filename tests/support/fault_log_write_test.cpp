// The log with the file system failing at each step of a line in turn (creating the folder,
// opening, a short write on a full disk, a failed write, close): the failed line is dropped,
// WriteLog does not raise, and every other line, before and after, stays whole.

#include "SupportTestHelpers.h"

#include "support/FileSystem.h"
#include "support/u_logfile.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <cerrno>
#include <filesystem>

namespace schauplatz {
namespace {

using testing::localTime;
using testing::readFile;
using testing::ScratchFolder;
using testing::ScratchLog;
using Operation = FaultInjectingFileSystem::Operation;

struct LogFault {
    Operation operation;
    int errorNumber;
    bool shortWrite;
    bool removeFileFirst; // so the folder is created again, through the seam
    const char* name;
};

// The raw lines of the log file, without the start-up line.
std::vector<std::string> rawLines(const std::string& file) {
    const std::string content = readFile(file);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find("\r\n", start);
        if (end == std::string::npos) end = content.size();
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    if (!lines.empty() && lines.front().find("Startup:") != std::string::npos)
        lines.erase(lines.begin());
    return lines;
}

TEST(LogWriteFault, EachStepFailingDropsOnlyItsLine) {
    const LogFault faults[] = {
        {Operation::MakeDirectories, EACCES, false, true, "folder cannot be created"},
        {Operation::Open, EACCES, false, false, "cannot open"},
        {Operation::Open, ENOSPC, false, false, "disk full at open"},
        {Operation::Write, ENOSPC, true, false, "short write, disk full"},
        {Operation::Write, EIO, false, false, "write fails"},
        {Operation::Close, EDQUOT, false, false, "quota at close"},
    };
    for (const LogFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        ScratchFolder scratch;
        const std::string program = scratch.path() + "prog/";
        ScratchLog log(program);
        const std::string stamp = FormatLogTimeStamp(localTime(2021, 2, 19, 14, 3, 7, 42));
        const std::string lost = stamp + LogPrefix() + "dropped line";
        const std::string before = stamp + LogPrefix() + "before";
        const std::string after = stamp + LogPrefix() + "after";
        const std::string next = stamp + LogPrefix() + "next";

        WriteLog("before", 1);
        std::string keptBefore = readFile(LogFileName());
        if (fault.removeFileFirst) {
            std::filesystem::remove_all(LogFolder());
            keptBefore.clear();
        }
        {
            FaultInjectingFileSystem faulty(realFileSystem());
            faulty.failOn(fault.operation, 1, fault.errorNumber, fault.shortWrite);
            ScopedFileSystemOverride use(faulty);
            EXPECT_NO_THROW(WriteLog("dropped line", 1));
            ASSERT_EQ(faulty.count(fault.operation), 1) << "the fault did not reach the log";
            EXPECT_NO_THROW(WriteLog("after", 1));
        }
        WriteLog("next", 1);

        // What was there before is untouched.
        const std::string content = readFile(LogFileName());
        EXPECT_EQ(content.substr(0, keptBefore.size()), keptBefore);
        // The following lines are whole lines; of the failed line at most a piece remains,
        // or the whole line when only closing failed.
        std::vector<std::string> lines = rawLines(LogFileName());
        std::vector<std::string> whole;
        for (const std::string& line : lines) {
            if (line == before || line == after || line == next) {
                whole.push_back(line);
            } else {
                EXPECT_TRUE(!line.empty() && lost.compare(0, line.size(), line) == 0)
                    << "a line that is no log line: \"" << line << "\"";
            }
        }
        const std::vector<std::string> expected =
            fault.removeFileFirst ? std::vector<std::string>{after, next}
                                  : std::vector<std::string>{before, after, next};
        EXPECT_EQ(whole, expected);
    }
}

} // namespace
} // namespace schauplatz
