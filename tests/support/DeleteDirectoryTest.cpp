#include "SupportTestHelpers.h"

#include "support/U_SYSTOOLS.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using Messages = std::vector<std::string>;

class DeleteDirectory : public ::testing::Test {
protected:
    testing::ScratchFolder scratch;
    testing::ScratchLog log{scratch.path() + "prog/"};
    std::string root = scratch.path() + "work/";

    void SetUp() override { fs::create_directories(root); }
    void file(const std::string& relative, const std::string& content = "x") {
        fs::create_directories(fs::path(root + relative).parent_path());
        testing::writeFile(root + relative, content);
    }
};

TEST_F(DeleteDirectory, MissingFolderGivesZeroAndNoLogLine) {
    EXPECT_EQ(DeleteFolderIfExists(root + "not-there"), 0);
    EXPECT_EQ(DeleteFolderIfExists(root + "not-there/"), 0);
    EXPECT_EQ(log.messages(), Messages{});
}

TEST_F(DeleteDirectory, GuardRefusesRootShortPathsAndHome) {
    const char* savedHome = std::getenv("HOME");
    const std::string home = root + "home-of-user";
    file("home-of-user/keep.txt");
    ::setenv("HOME", home.c_str(), 1);

    EXPECT_TRUE(DeleteDirectoryRecursive("/"));
    EXPECT_TRUE(DeleteDirectoryRecursive(""));
    EXPECT_TRUE(DeleteDirectoryRecursive("ab"));
    EXPECT_TRUE(DeleteDirectoryRecursive("/a/"));
    EXPECT_TRUE(DeleteDirectoryRecursive(home));
    EXPECT_TRUE(DeleteDirectoryRecursive(root + "home-of-user/../home-of-user/"));
    EXPECT_TRUE(DeleteDirectoryRecursive(root + "../../../../../../../../../"));
    EXPECT_EQ(DeleteFolderIfExists("/"), 0);
    EXPECT_EQ(DeleteFolderIfExists(home + "/"), 0);

    if (savedHome != nullptr) {
        ::setenv("HOME", savedHome, 1);
    } else {
        ::unsetenv("HOME");
    }
    EXPECT_TRUE(fs::exists(home + "/keep.txt"));
    const std::string warning = "Warning: delete of / not possible";
    EXPECT_EQ(log.messages(),
              (Messages{warning + "/", warning + "/", warning + "ab/", warning + "/a/",
                        warning + home + "/", warning + root + "home-of-user/../home-of-user/",
                        warning + root + "../../../../../../../../../", warning + "/",
                        warning + home + "/"}));
}

TEST_F(DeleteDirectory, ThreeCharacterRelativePathIsProcessed) {
    const fs::path saved = fs::current_path();
    fs::current_path(root);
    fs::create_directory("abc");
    testing::writeFile("abc/f", "x");
    const bool removed = DeleteDirectoryRecursive("abc");
    const bool stillThere = fs::exists("abc");
    fs::current_path(saved);
    EXPECT_TRUE(removed);
    EXPECT_FALSE(stillThere);
    EXPECT_EQ(log.messages(),
              (Messages{". .. zum löschen vorgeschlagen: abc/f", "DeleteDirectoryRecursive abc/"}));
}

TEST_F(DeleteDirectory, FilesFirstThenSubFoldersThenTheFolder) {
    file("tree/b.txt");
    file("tree/a.txt");
    fs::create_directories(root + "tree/sub");

    EXPECT_TRUE(DeleteDirectoryRecursive(root + "tree"));
    EXPECT_FALSE(fs::exists(root + "tree"));
    EXPECT_EQ(log.messages(), (Messages{". .. zum löschen vorgeschlagen: " + root + "tree/a.txt",
                                        ". .. zum löschen vorgeschlagen: " + root + "tree/b.txt",
                                        "DeleteDirectoryRecursive " + root + "tree/sub/",
                                        "DeleteDirectoryRecursive " + root + "tree/"}));
}

TEST_F(DeleteDirectory, NestedTreeWithHiddenFilesGoesCompletely) {
    file("tree/x/.hidden-file");
    file("tree/x/y/deep.bin");
    file("tree/top");
    EXPECT_EQ(DeleteFolderIfExists(root + "tree/"), 0);
    EXPECT_FALSE(fs::exists(root + "tree"));
    const std::string t = root + "tree/";
    EXPECT_EQ(log.messages(),
              (Messages{". .. zum löschen vorgeschlagen: " + t + "top",
                        ". .. zum löschen vorgeschlagen: " + t + "x/.hidden-file",
                        ". .. zum löschen vorgeschlagen: " + t + "x/y/deep.bin",
                        "DeleteDirectoryRecursive " + t + "x/y/",
                        "DeleteDirectoryRecursive " + t + "x/", "DeleteDirectoryRecursive " + t}));
}

TEST_F(DeleteDirectory, HiddenSubFolderIsLeftAndKeepsItsParent) {
    file("tree/.hidden/inside");
    file("tree/visible");
    EXPECT_FALSE(DeleteDirectoryRecursive(root + "tree/"));
    EXPECT_TRUE(fs::exists(root + "tree/.hidden/inside"));
    EXPECT_EQ(DeleteFolderIfExists(root + "tree"), -1);
    const std::string t = root + "tree/";
    EXPECT_EQ(log.messages(),
              (Messages{". .. zum löschen vorgeschlagen: " + t + "visible",
                        "DeleteDirectoryRecursive " + t, "DeleteDirectoryRecursive= false " + t,
                        "DeleteDirectoryRecursive " + t, "DeleteDirectoryRecursive= false " + t}));
}

TEST_F(DeleteDirectory, SymbolicLinksAreRemovedNotFollowed) {
    file("outside/keep.txt", "precious");
    file("outside/sub/also.txt", "precious too");
    fs::create_directories(root + "tree");
    fs::create_directory_symlink(root + "outside", root + "tree/folder-link");
    fs::create_symlink(root + "outside/keep.txt", root + "tree/file-link");
    fs::create_symlink(root + "nowhere", root + "tree/dangling");

    EXPECT_TRUE(DeleteDirectoryRecursive(root + "tree"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(root + "tree")));
    EXPECT_EQ(testing::readFile(root + "outside/keep.txt"), "precious");
    EXPECT_EQ(testing::readFile(root + "outside/sub/also.txt"), "precious too");
    const std::string t = root + "tree/";
    EXPECT_EQ(log.messages(), (Messages{". .. zum löschen vorgeschlagen: " + t + "dangling",
                                        ". .. zum löschen vorgeschlagen: " + t + "file-link",
                                        ". .. zum löschen vorgeschlagen: " + t + "folder-link",
                                        "DeleteDirectoryRecursive " + t}));
}

TEST_F(DeleteDirectory, FolderGivenAsSymbolicLinkIsNotEntered) {
    file("outside/keep.txt", "precious");
    fs::create_directory_symlink(root + "outside", root + "link");
    EXPECT_EQ(DeleteFolderIfExists(root + "link"), -1);
    EXPECT_EQ(testing::readFile(root + "outside/keep.txt"), "precious");
    EXPECT_TRUE(fs::is_symlink(root + "link"));
    EXPECT_EQ(log.messages(), (Messages{"DeleteDirectoryRecursive " + root + "link/",
                                        "DeleteDirectoryRecursive= false " + root + "link/"}));
}

// Root ignores permission bits, so the read-only cases run in a child that
// has become "nobody". The child reports its result through its exit code.
int runAsNobody(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(77);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

void handAllToNobody(const std::string& top) {
    ASSERT_EQ(::chown(top.c_str(), 65534, 65534), 0);
    ::chmod(top.c_str(), 0755);
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
    }
}

TEST_F(DeleteDirectory, ReadOnlyFileFailsAndKeepsItsFolder) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to become another user";
    }
    file("tree/locked/readonly.txt", "stays");
    file("tree/free.txt");
    handAllToNobody(scratch.path());
    ::chmod((root + "tree/locked").c_str(), 0555); // the folder denies writing

    const std::string t = root + "tree/";
    const int code = runAsNobody([&] { return DeleteFolderIfExists(t) == -1 ? 0 : 1; });
    ASSERT_NE(code, 77) << "could not become nobody";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(testing::readFile(t + "locked/readonly.txt"), "stays");
    EXPECT_FALSE(fs::exists(t + "free.txt"));
    EXPECT_EQ(log.messages(),
              (Messages{". .. zum löschen vorgeschlagen: " + t + "free.txt",
                        "Fehler löschen: " + t + "locked/readonly.txt",
                        "DeleteDirectoryRecursive " + t + "locked/",
                        "DeleteDirectoryRecursive= false " + t + "locked/",
                        "DeleteDirectoryRecursive " + t, "DeleteDirectoryRecursive= false " + t}));
    ::chmod((root + "tree/locked").c_str(), 0755);
}

TEST_F(DeleteDirectory, UnreadableSubFolderIsReportedByItsRemoval) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to become another user";
    }
    file("tree/closed/inside");
    handAllToNobody(scratch.path());
    ::chmod((root + "tree/closed").c_str(), 0);

    const std::string t = root + "tree/";
    const int code = runAsNobody([&] { return DeleteDirectoryRecursive(t) ? 1 : 0; });
    ASSERT_NE(code, 77) << "could not become nobody";
    EXPECT_EQ(code, 0);
    ::chmod((root + "tree/closed").c_str(), 0755);
    EXPECT_TRUE(fs::exists(t + "closed/inside"));
    EXPECT_EQ(log.messages(),
              (Messages{"DeleteDirectoryRecursive " + t + "closed/",
                        "DeleteDirectoryRecursive= false " + t + "closed/",
                        "DeleteDirectoryRecursive " + t, "DeleteDirectoryRecursive= false " + t}));
}

bool setImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

TEST_F(DeleteDirectory, ImmutableFileFailsEvenForRoot) {
    file("tree/immutable.txt", "stays");
    if (!setImmutable(root + "tree/immutable.txt", true)) {
        GTEST_SKIP() << "this file system or process cannot mark files immutable";
    }
    const bool removed = DeleteDirectoryRecursive(root + "tree");
    const bool kept = fs::exists(root + "tree/immutable.txt");
    setImmutable(root + "tree/immutable.txt", false);
    EXPECT_FALSE(removed);
    EXPECT_TRUE(kept);
    const std::string t = root + "tree/";
    EXPECT_EQ(log.messages(),
              (Messages{"Fehler löschen: " + t + "immutable.txt", "DeleteDirectoryRecursive " + t,
                        "DeleteDirectoryRecursive= false " + t}));
}

} // namespace
} // namespace schauplatz
