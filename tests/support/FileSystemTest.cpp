#include "SupportTestHelpers.h"

#include "support/FileSystem.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using Operation = FaultInjectingFileSystem::Operation;

// Old content with bytes that a text mode would mangle.
const std::string kOld = std::string("old\r\n\0\xFF content", 15);
const std::string kNew(100000, 'N');

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void writeNewContent(WritableFile& file) {
    file.write(kNew.substr(0, 60000));
    file.write(kNew.substr(60000));
}

TEST(AtomicWrite, ReplacesTheFileAndLeavesNothingElse) {
    testing::ScratchFolder scratch;
    const std::string target = scratch.path() + "Projekt 1.vbk";
    testing::writeFile(target, kOld);
    writeFileAtomically(target, writeNewContent);
    EXPECT_EQ(testing::readFile(target), kNew);
    EXPECT_EQ(folderEntries(scratch.path()), std::vector<std::string>{"Projekt 1.vbk"});

    writeFileAtomically(scratch.path() + "fresh.bin", [](WritableFile& f) { f.write("x"); });
    EXPECT_EQ(testing::readFile(scratch.path() + "fresh.bin"), "x");
}

struct Fault {
    Operation operation;
    int nth;
    int errorNumber;
    bool shortWrite;
    const char* name;
};

class AtomicWriteFault : public ::testing::TestWithParam<Fault> {};

TEST_P(AtomicWriteFault, LeavesTheOldFileByteIdentical) {
    const Fault fault = GetParam();
    testing::ScratchFolder scratch;
    const std::string target = scratch.path() + "bild.bmp";
    testing::writeFile(target, kOld);

    FaultInjectingFileSystem faulty(realFileSystem());
    faulty.failOn(fault.operation, fault.nth, fault.errorNumber, fault.shortWrite);
    ScopedFileSystemOverride use(faulty);
    try {
        writeFileAtomically(target, writeNewContent);
        FAIL() << "the injected fault was not reported";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.errorNumber(), fault.errorNumber);
        EXPECT_NE(std::string(error.what()).find(std::strerror(fault.errorNumber)),
                  std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find(scratch.path()), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(testing::readFile(target), kOld);
    EXPECT_EQ(folderEntries(scratch.path()), std::vector<std::string>{"bild.bmp"});
    EXPECT_EQ(faulty.count(fault.operation), fault.nth);
}

INSTANTIATE_TEST_SUITE_P(
    EachFault, AtomicWriteFault,
    ::testing::Values(Fault{Operation::Open, 1, EACCES, false, "CannotCreate"},
                      Fault{Operation::Write, 1, ENOSPC, true, "ShortWriteDiskFull"},
                      Fault{Operation::Write, 2, EIO, false, "SecondWriteFails"},
                      Fault{Operation::Sync, 1, EIO, false, "SyncFails"},
                      Fault{Operation::Close, 1, EDQUOT, false, "CloseFails"},
                      Fault{Operation::Rename, 1, EXDEV, false, "RenameFails"}),
    [](const ::testing::TestParamInfo<Fault>& nameOf) { return std::string(nameOf.param.name); });

TEST(AtomicWrite, FailureOfTheBodyItselfIsRethrownUnchanged) {
    testing::ScratchFolder scratch;
    const std::string target = scratch.path() + "data.dat";
    testing::writeFile(target, kOld);
    EXPECT_THROW(writeFileAtomically(target,
                                     [](WritableFile& file) {
                                         file.write("partial");
                                         throw std::invalid_argument("picture too large");
                                     }),
                 std::invalid_argument);
    EXPECT_EQ(testing::readFile(target), kOld);
    EXPECT_EQ(folderEntries(scratch.path()), std::vector<std::string>{"data.dat"});
}

TEST(AtomicWrite, CleanupFailureDoesNotHideTheFirstError) {
    testing::ScratchFolder scratch;
    const std::string target = scratch.path() + "data.dat";
    testing::writeFile(target, kOld);
    FaultInjectingFileSystem faulty(realFileSystem());
    // Only a named temporary (file systems without unnamed files) needs removing.
    faulty.withoutUnnamedFiles();
    faulty.failOn(Operation::Remove, 1, EBUSY);
    ScopedFileSystemOverride use(faulty);
    EXPECT_THROW(writeFileAtomically(target, [](WritableFile&) { throw std::length_error("x"); }),
                 std::length_error);
    EXPECT_EQ(testing::readFile(target), kOld);
    EXPECT_EQ(faulty.count(Operation::Remove), 1);
}

TEST(AtomicWrite, MissingTargetStaysMissingOnFailure) {
    testing::ScratchFolder scratch;
    FaultInjectingFileSystem faulty(realFileSystem());
    faulty.failOn(Operation::Rename, 1, EIO);
    ScopedFileSystemOverride use(faulty);
    EXPECT_THROW(writeFileAtomically(scratch.path() + "new.bmp", writeNewContent), FileSystemError);
    EXPECT_TRUE(fs::is_empty(scratch.path()));
}

TEST(AtomicWrite, FolderThatCannotBeSyncedKeepsTheNewContent) {
    testing::ScratchFolder scratch;
    const std::string target = scratch.path() + "data.dat";
    testing::writeFile(target, kOld);
    FaultInjectingFileSystem faulty(realFileSystem());
    faulty.failOn(Operation::SyncDirectory, 1, EIO);
    ScopedFileSystemOverride use(faulty);
    EXPECT_NO_THROW(writeFileAtomically(target, writeNewContent));
    EXPECT_EQ(faulty.count(Operation::SyncDirectory), 1);
    EXPECT_EQ(testing::readFile(target), kNew);
}

TEST(RealFileSystem, ErrorsNameThePathAndTheReason) {
    testing::ScratchFolder scratch;
    const std::string missing = scratch.path() + "no-folder/file.txt";
    try {
        realFileSystem().openForWrite(missing, false);
        FAIL() << "opened a file in a missing folder";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.errorNumber(), ENOENT);
        EXPECT_EQ(error.path(), missing);
        EXPECT_NE(std::string(error.what()).find(missing), std::string::npos);
    }
    EXPECT_THROW(realFileSystem().rename(missing, missing + "2"), FileSystemError);
    EXPECT_THROW(realFileSystem().remove(missing), FileSystemError);

    testing::writeFile(scratch.path() + "blocker", "");
    EXPECT_THROW(realFileSystem().makeDirectories(scratch.path() + "blocker/sub"), FileSystemError);
    realFileSystem().makeDirectories(scratch.path() + "x/y/z/");
    EXPECT_TRUE(fs::is_directory(scratch.path() + "x/y/z"));
}

TEST(RealFileSystem, AppendKeepsWhatIsThere) {
    testing::ScratchFolder scratch;
    const std::string path = scratch.path() + "a.log";
    testing::writeFile(path, "one\r\n");
    auto file = realFileSystem().openForWrite(path, true);
    file->write("two\r\n");
    file->close();
    EXPECT_EQ(testing::readFile(path), "one\r\ntwo\r\n");
    auto truncating = realFileSystem().openForWrite(path, false);
    truncating->close();
    EXPECT_EQ(testing::readFile(path), "");
}

TEST(FileSystemOverride, IsScopedAndNests) {
    FaultInjectingFileSystem outer(realFileSystem());
    {
        ScopedFileSystemOverride useOuter(outer);
        EXPECT_EQ(&fileSystem(), &outer);
        FaultInjectingFileSystem inner(realFileSystem());
        {
            ScopedFileSystemOverride useInner(inner);
            EXPECT_EQ(&fileSystem(), &inner);
        }
        EXPECT_EQ(&fileSystem(), &outer);
    }
    EXPECT_EQ(&fileSystem(), &realFileSystem());
}

} // namespace
} // namespace schauplatz
