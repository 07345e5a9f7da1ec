#include "SupportTestHelpers.h"

#include "support/U_SYSTOOLS.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;

// Points TMPDIR at a scratch base for one test and logs into the scratch.
class TempFolder : public ::testing::Test {
protected:
    testing::ScratchFolder scratch;
    testing::ScratchLog log{scratch.path() + "prog/"};
    std::string base = scratch.path() + "tmp-base";
    std::string wanted = base + "/schauplatz-" + std::to_string(::geteuid());
    std::string savedTmpdir;
    bool hadTmpdir = false;

    void SetUp() override {
        fs::create_directories(base);
        if (const char* value = std::getenv("TMPDIR")) {
            hadTmpdir = true;
            savedTmpdir = value;
        }
        ::setenv("TMPDIR", base.c_str(), 1);
    }
    void TearDown() override {
        if (hadTmpdir) {
            ::setenv("TMPDIR", savedTmpdir.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

    static bool isPrivateFolder(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
               info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
    }

    // The replacement must be a fresh private folder beside the refused name.
    void expectReplacement(const std::string& result) {
        const std::string canonicalWanted =
            fs::canonical(base).string() + "/schauplatz-" + std::to_string(::geteuid());
        ASSERT_EQ(result.rfind(canonicalWanted + "-", 0), 0u) << result;
        EXPECT_EQ(result.back(), '/');
        EXPECT_EQ(result.size(), canonicalWanted.size() + 8) << "a mkdtemp suffix";
        EXPECT_TRUE(isPrivateFolder(result));
        EXPECT_EQ(GetTempFolder(), result) << "one spelling for the whole run";
        EXPECT_EQ(log.messages(),
                  (std::vector<std::string>{"Temporärer Ordner abgelehnt, nicht privat: " + wanted,
                                            "Temporärer Ordner ersatzweise: " +
                                                result.substr(0, result.size() - 1)}));
    }
};

TEST_F(TempFolder, CreatesAPrivateFolderOnceAndKeepsIt) {
    ::umask(0077);
    const std::string result = GetTempFolder();
    ::umask(0022);
    EXPECT_EQ(result,
              fs::canonical(base).string() + "/schauplatz-" + std::to_string(::geteuid()) + "/");
    EXPECT_TRUE(isPrivateFolder(wanted));
    EXPECT_EQ(GetTempFolder(), result);
    EXPECT_EQ(log.messages(), std::vector<std::string>{});
}

TEST_F(TempFolder, ReturnsTheLongFormThroughLinkedBase) {
    const std::string linkedBase = scratch.path() + "linked-base";
    fs::create_directory_symlink(base, linkedBase);
    ::setenv("TMPDIR", linkedBase.c_str(), 1);
    EXPECT_EQ(GetTempFolder(),
              fs::canonical(base).string() + "/schauplatz-" + std::to_string(::geteuid()) + "/");
}

TEST_F(TempFolder, RefusesAFolderOfAnotherUser) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to plant another user's folder";
    }
    fs::create_directory(wanted);
    ::chmod(wanted.c_str(), 0700);
    ASSERT_EQ(::chown(wanted.c_str(), 65534, 65534), 0);
    testing::writeFile(wanted + "/planted", "bait");
    expectReplacement(GetTempFolder());
    EXPECT_EQ(testing::readFile(wanted + "/planted"), "bait");
}

TEST_F(TempFolder, RefusesASymbolicLink) {
    const std::string target = scratch.path() + "elsewhere";
    fs::create_directory(target);
    ::chmod(target.c_str(), 0700); // a link to a perfectly private folder is still refused
    fs::create_directory_symlink(target, wanted);
    expectReplacement(GetTempFolder());
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(TempFolder, RefusesAPlainFile) {
    testing::writeFile(wanted, "not a folder");
    expectReplacement(GetTempFolder());
    EXPECT_EQ(testing::readFile(wanted), "not a folder");
}

TEST_F(TempFolder, RefusesAFolderOpenToOthers) {
    fs::create_directory(wanted);
    ::chmod(wanted.c_str(), 0777);
    expectReplacement(GetTempFolder());
}

TEST_F(TempFolder, IgnoresARelativeOrMissingBase) {
    for (const char* tmpdir : {"relative/tmp", "/no/such/folder/anywhere"}) {
        ::setenv("TMPDIR", tmpdir, 1);
        const std::string result = GetTempFolder();
        EXPECT_EQ(result.rfind(fs::canonical("/tmp").string() + "/schauplatz-" +
                                   std::to_string(::geteuid()),
                               0),
                  0u)
            << result;
        EXPECT_EQ(result.back(), '/');
        EXPECT_TRUE(isPrivateFolder(result));
    }
    EXPECT_FALSE(fs::exists("relative"));
}

// A replacement belongs to its run: a program that ends normally removes it, contents and all.
TEST_F(TempFolder, AReplacementIsRemovedWhenTheProgramEnds) {
    testing::writeFile(wanted, "planted");
    int toParent[2];
    ASSERT_EQ(::pipe(toParent), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string folder = GetTempFolder();
        testing::writeFile(folder + "Arbeit.bmp", "work");
        fs::create_directories(folder + "zam-werk/1-abc/vbk");
        const std::string line = folder + "\n";
        if (::write(toParent[1], line.data(), line.size()) < 0) std::_Exit(2);
        std::exit(0); // a normal end: static objects are destroyed
    }
    ::close(toParent[1]);
    std::string folder;
    char c = 0;
    while (::read(toParent[0], &c, 1) == 1 && c != '\n')
        folder += c;
    ::close(toParent[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(folder.rfind(fs::canonical(base).string() + "/schauplatz-", 0), 0u) << folder;
    EXPECT_NE(folder,
              fs::canonical(base).string() + "/" + fs::path(wanted).filename().string() + "/");
    EXPECT_FALSE(fs::exists(folder)) << "the replacement outlived its run";
    EXPECT_EQ(testing::readFile(wanted), "planted");
}

TEST(Paths, LongPathNameIsCanonicalOrEmpty) {
    testing::ScratchFolder scratch;
    const std::string real = fs::canonical(scratch.path()).string();
    fs::create_directories(real + "/a/b");
    fs::create_directory_symlink(real + "/a/b", real + "/link");

    EXPECT_EQ(LongPathName(real + "/a/./b/../b"), real + "/a/b");
    EXPECT_EQ(LongPathName(real + "/link"), real + "/a/b");
    EXPECT_EQ(LongPathName(real + "/a//b/"), real + "/a/b/");
    EXPECT_EQ(LongPathName(real + "/missing"), "");
    EXPECT_EQ(LongPathName(real + "/missing/"), "");
    EXPECT_EQ(LongPathName(""), "");
    EXPECT_EQ(LongPathName("/"), "/");
}

TEST(Paths, FileNamePartAcceptsEveryDelimiter) {
    EXPECT_EQ(FileNamePart("C:\\Daten\\Muster\\T\xC3\xBCr 3.png"), "T\xC3\xBCr 3.png");
    EXPECT_EQ(FileNamePart("/home/anna/Fassade.jpg"), "Fassade.jpg");
    EXPECT_EQ(FileNamePart("C:Fassade.jpg"), "Fassade.jpg");
    EXPECT_EQ(FileNamePart("mixed/a\\b:c.bmp"), "c.bmp");
    EXPECT_EQ(FileNamePart("plain.bmp"), "plain.bmp");
    EXPECT_EQ(FileNamePart("ends/in/"), "");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/"), "/a");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
}

TEST(Paths, ProgramFolderIsTheRunningExecutablesFolder) {
    EXPECT_EQ(ProgramFolder(), fs::canonical(SCHAUPLATZ_PROGRAM_DIR).string() + "/");
    EXPECT_EQ(FileNamePart(ProgramFileName()), "support_tests");
    SetProgramPath("/opt/x/Schauplatz");
    EXPECT_EQ(ProgramFolder(), "/opt/x/");
    SetProgramPath("");
}

} // namespace
} // namespace schauplatz
