#include "SupportTestHelpers.h"

#include "support/FileSystem.h"
#include "support/Version.h"
#include "support/u_logfile.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace schauplatz {
namespace {

using testing::localTime;
using testing::readFile;
using testing::ScratchFolder;
using testing::ScratchLog;

std::string hostName() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

TEST(LogFile, StartupLineHasStampPrefixPathAndVersion) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    ScratchLog log(program);

    EXPECT_EQ(LogFolder(), program + "log/");
    EXPECT_EQ(LogFileName(), program + "log/202102.log");
    EXPECT_EQ(LogPrefix(), " Schauplatz #" + hostName() + ": ");
    // "C" locale short date, colons, milliseconds, then two blanks.
    EXPECT_EQ(readFile(program + "log/202102.log"),
              "02/19/21 14:03:07.042  Schauplatz #" + hostName() + ": Startup:" + program +
                  "Schauplatz  Version:" + compiledVersion() + "\r\n");
    EXPECT_FALSE(compiledVersion().empty());
}

TEST(LogFile, TimeStampPadsEveryField) {
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(FormatLogTimeStamp(localTime(2007, 3, 4, 5, 6, 7, 8)), "03/04/07 05:06:07.008 ");
    EXPECT_EQ(FormatLogTimeStamp(localTime(2021, 12, 31, 23, 59, 59, 999)),
              "12/31/21 23:59:59.999 ");
}

TEST(LogFile, LevelLimitTenIsWrittenElevenTouchesNothing) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    ScratchLog log(program);
    std::filesystem::remove_all(program + "log");

    WriteLog("eleven", 11);
    WriteLog("much higher", 1000);
    EXPECT_FALSE(std::filesystem::exists(program + "log"));

    WriteLog("ten", 10);
    WriteLog("one", 1);
    WriteLog("negative", -3);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"ten", "one", "negative"}));
}

TEST(LogFile, CreatesTheFolderWithMissingParents) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "not/yet/there/";
    SetProgramPath(program + "Schauplatz");
    {
        // The pretend program folder does not exist until the first line.
        SetLogClock([] { return localTime(2021, 2, 19, 14, 3, 7, 42); });
        LogUnitStart();
        EXPECT_EQ(LogFolder(), program + "log/");
        EXPECT_TRUE(std::filesystem::is_regular_file(program + "log/202102.log"));
        LogUnitEnd();
    }
    SetProgramPath("");
    SetLogClock({});
}

TEST(LogFile, AppendsToAnExistingMonthFileNeverOverwrites) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    std::filesystem::create_directories(program + "log");
    const std::string earlier = "earlier line\r\nsecond \xC3\xA4 line\r\n";
    testing::writeFile(program + "log/202102.log", earlier);

    ScratchLog log(program);
    WriteLog("after", 1);
    const std::string content = readFile(program + "log/202102.log");
    ASSERT_EQ(content.substr(0, earlier.size()), earlier);
    EXPECT_NE(content.find("Startup:", earlier.size()), std::string::npos);
    EXPECT_EQ(content.substr(content.size() - 9), ": after\r\n");
}

TEST(LogFile, EmptyMessageAndEmbeddedLineBreaks) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    ScratchLog log(program);
    const std::string stamp = "02/19/21 14:03:07.042 ";
    const std::string before = readFile(LogFileName());

    WriteLog("", 1);
    WriteLog("first\nsecond\r\nthird \xC3\xBC", 1);
    EXPECT_EQ(readFile(LogFileName()).substr(before.size()),
              stamp + LogPrefix() + "\r\n" + stamp + LogPrefix() +
                  "first\nsecond\r\nthird \xC3\xBC\r\n");
    EXPECT_EQ(LogPrefix().substr(LogPrefix().size() - 2), ": ");
}

TEST(LogFile, MonthFileIsNamedWhenTheLineStartsStampWhenWritten) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    ScratchLog log(program);

    // The file name is taken first, the stamp a moment later.
    std::vector<std::chrono::system_clock::time_point> readings{
        localTime(2021, 2, 28, 23, 59, 59, 999), localTime(2021, 3, 1, 0, 0, 0, 1),
        localTime(2021, 3, 1, 0, 0, 0, 2), localTime(2021, 3, 1, 0, 0, 0, 3)};
    std::size_t next = 0;
    SetLogClock([&] { return readings[std::min(next++, readings.size() - 1)]; });
    WriteLog("boundary", 1);
    WriteLog("march", 1);
    SetLogClock([] { return localTime(2021, 3, 1, 0, 0, 0, 4); });

    const std::string february = readFile(program + "log/202102.log");
    EXPECT_NE(february.find("03/01/21 00:00:00.001  Schauplatz #"), std::string::npos);
    EXPECT_EQ(february.substr(february.size() - 12), ": boundary\r\n");
    EXPECT_EQ(readFile(program + "log/202103.log"),
              "03/01/21 00:00:00.003 " + LogPrefix() + "march\r\n");
}

TEST(LogFile, EndWritesStopLastAndNothingFollows) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    std::string prefix;
    {
        ScratchLog log(program);
        prefix = LogPrefix();
        WriteLog("work", 1);
    } // ends the log
    WriteLog("too late", 1);
    EXPECT_EQ(
        testing::logMessages(program + "log/202102.log", prefix),
        (std::vector<std::string>{"Startup:" + program + "Schauplatz  Version:" + compiledVersion(),
                                  "work", "Stop"}));
}

TEST(LogFile, FallsBackToStateHomeWhenBesideTheProgramIsImpossible) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    std::filesystem::create_directories(program);
    testing::writeFile(program + "log", "a file where the folder should be");

    ScratchLog log(program);
    EXPECT_EQ(LogFolder(), program + "state-home/schauplatz/log/");
    WriteLog("here", 1);
    EXPECT_EQ(log.messages(), std::vector<std::string>{"here"});
    EXPECT_EQ(readFile(program + "log"), "a file where the folder should be");
}

TEST(LogFile, NoUsableFolderMeansNoLogAndNoError) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    std::filesystem::create_directories(program);
    testing::writeFile(program + "log", "blocked");
    testing::writeFile(program + "state-home", "blocked too");

    ScratchLog log(program);
    EXPECT_EQ(LogFolder(), "");
    EXPECT_EQ(LogFileName(), "");
    EXPECT_NO_THROW(WriteLog("nowhere", 1));
    EXPECT_EQ(readFile(program + "log"), "blocked");
    EXPECT_EQ(readFile(program + "state-home"), "blocked too");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program),
                            std::filesystem::directory_iterator()),
              2);
}

TEST(LogFile, FailedWriteDropsOnlyThatLine) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    ScratchLog log(program);
    for (const auto operation :
         {FaultInjectingFileSystem::Operation::Open, FaultInjectingFileSystem::Operation::Write,
          FaultInjectingFileSystem::Operation::Close}) {
        FaultInjectingFileSystem faulty(realFileSystem());
        faulty.failOn(operation, 1, ENOSPC);
        ScopedFileSystemOverride use(faulty);
        EXPECT_NO_THROW(WriteLog("lost", 1));
        EXPECT_NO_THROW(WriteLog("kept", 1));
    }
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"kept", "kept", "lost", "kept"}));
}

TEST(LogFile, LinesOfSeveralProcessesInterleaveWhole) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    ScratchLog log(program);
    constexpr int kWriters = 3;
    constexpr int kLines = 300;
    const std::string filler(200, '=');
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int line = 0; line < kLines; ++line) {
                WriteLog(std::string("w") + std::to_string(writer) + " " + filler, 1);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<std::string, int> counts;
    for (const std::string& message : log.messages()) {
        ++counts[message];
    }
    ASSERT_EQ(counts.size(), static_cast<std::size_t>(kWriters)) << "a line was torn";
    for (int writer = 0; writer < kWriters; ++writer) {
        EXPECT_EQ(counts["w" + std::to_string(writer) + " " + filler], kLines);
    }
}

TEST(LogFile, LineMissingItsFileIsRecreated) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    ScratchLog log(program);
    std::filesystem::remove(LogFileName());
    WriteLog("again", 1);
    EXPECT_EQ(log.messages(), std::vector<std::string>{"again"});
}

// A FIFO or a link in place of the month's file: no line, never a hang, nothing followed.
// The log runs in a child with an alarm, so a regression ends the child instead of the run.
TEST(LogFile, AFifoOrALinkInPlaceOfTheFileGivesNoLineAndNoHang) {
    ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    std::filesystem::create_directories(program + "log");
    const std::string month = program + "log/202102.log";
    const std::string elsewhere = scratch.path() + "anderswo.txt";
    testing::writeFile(elsewhere, "untouched");
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "fifo" : "link");
        std::filesystem::remove(month);
        if (fifo)
            ASSERT_EQ(::mkfifo(month.c_str(), 0600), 0);
        else
            std::filesystem::create_symlink(elsewhere, month);
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(20);
            ScratchLog log(program);
            WriteLog("nobody reads this", 1);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "the log blocked (signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
        EXPECT_EQ(readFile(elsewhere), "untouched");
        EXPECT_EQ(std::filesystem::is_fifo(std::filesystem::symlink_status(month)), fifo);
        EXPECT_EQ(std::filesystem::is_symlink(std::filesystem::symlink_status(month)), !fifo);
    }
}

} // namespace
} // namespace schauplatz
