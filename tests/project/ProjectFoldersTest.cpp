#include "ProjectTestSupport.h"
#include "project/ProjectArchive.h"
#include "project/TProjectFolders.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace schauplatz {
namespace {

using namespace schauplatz::testing;
namespace fs = std::filesystem;

// Whether some open file description holds the folder's lock (flock locks of two separate
// opens conflict also within one process, so this sees our own instances too).
bool lockHeld(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

TEST(TProjectFolders, EachInstanceHasItsOwnLockedFolders) {
    TempFolder temp;
    std::string firstFolder;
    {
        TProjectFolders first(temp.path());
        TProjectFolders second(temp.path());
        firstFolder = first.InstanceFolder();
        EXPECT_NE(first.InstanceId(), second.InstanceId());
        EXPECT_EQ(first.InstanceFolder(), temp / "zam-werk/" + first.InstanceId() + "/");
        EXPECT_EQ(first.WorkFolder(), first.InstanceFolder() + "vbk/");
        EXPECT_EQ(first.PictureStore(), first.InstanceFolder() + "bilder/");
        EXPECT_TRUE(first.Locked());
        EXPECT_TRUE(lockHeld(first.InstanceFolder()));
        EXPECT_TRUE(lockHeld(second.InstanceFolder()));
        EXPECT_FALSE(fs::exists(first.WorkFolder())) << "the work folder is made by a save";
    }
    EXPECT_FALSE(fs::exists(firstFolder)) << "an instance removes its folder when it ends";
}

TEST(TProjectFolders, StaleFoldersGoAtTheFirstSaveOnly) {
    TempFolder temp;
    const std::string base = TProjectFolders::BaseFolder(temp.path());
    fs::create_directories(base + "4711-abgestuerzt/vbk");
    writeBytes(base + "4711-abgestuerzt/vbk/data.dat", "left by a crash");
    fs::create_directories(base + "vbk"); // the shared folder of older versions

    TProjectFolders self(temp.path());
    TProjectFolders other(temp.path());
    writeBytes(other.InstanceFolder() + "in Arbeit.txt", "busy");
    EXPECT_TRUE(fs::exists(base + "4711-abgestuerzt")) << "nothing is removed at start-up";

    TZipArchive zip;
    ASSERT_TRUE(writeProjectArchive(temp / "p.vbk", {}, self, zip));
    EXPECT_FALSE(fs::exists(base + "4711-abgestuerzt"));
    EXPECT_FALSE(fs::exists(base + "vbk"));
    EXPECT_EQ(readBytes(other.InstanceFolder() + "in Arbeit.txt"), "busy")
        << "a running instance keeps its files";
    EXPECT_TRUE(fs::exists(self.InstanceFolder()));

    fs::create_directories(base + "4712-spaeter");
    EXPECT_EQ(self.RemoveStaleFolders(), 0) << "only once per run";
    EXPECT_TRUE(fs::exists(base + "4712-spaeter"));
    EXPECT_EQ(other.RemoveStaleFolders(), 1);
    EXPECT_FALSE(fs::exists(base + "4712-spaeter"));
    EXPECT_TRUE(fs::exists(self.InstanceFolder()));
}

TEST(TProjectFolders, FreePicturePathNumbersBeforeTheExtensionAndCreatesNothing) {
    TempFolder temp;
    TProjectFolders folders(temp.path());
    const std::string set = folders.PictureSet();
    EXPECT_EQ(folders.FreePicturePath("Hintergrund.bmp"), set + "Hintergrund.bmp");
    EXPECT_FALSE(fs::exists(set + "Hintergrund.bmp"));
    writeBytes(set + "Hintergrund.bmp", "facade");
    writeBytes(set + "Hintergrund (2).bmp", "facade");
    EXPECT_EQ(folders.FreePicturePath("Hintergrund.bmp"), set + "Hintergrund (3).bmp");
    EXPECT_EQ(folders.FreePicturePath(".bmp"), set + ".bmp");
}

TEST(TProjectFolders, KeepPictureCopiesIntoTheCurrentSet) {
    TempFolder temp;
    fs::create_directories(temp / "a;b");
    writeBytes(temp / "a;b/Tür;2.png", "door");
    writeBytes(temp / "Tür_2.png", "other door");
    TProjectFolders folders(temp.path());
    const std::string kept = folders.KeepPicture(temp / "a;b/Tür;2.png");
    EXPECT_EQ(kept, folders.PictureSet() + "Tür_2.png");
    EXPECT_EQ(readBytes(kept), "door");
    const std::string second = folders.KeepPicture(temp / "Tür_2.png");
    EXPECT_EQ(second, folders.PictureSet() + "Tür_2 (2).png");
    EXPECT_EQ(readBytes(second), "other door");
    EXPECT_THROW(folders.KeepPicture(temp / "fehlt.png"), fs::filesystem_error);

    const std::string oldSet = folders.PictureSet();
    const std::string newSet = folders.BeginPictureSet();
    EXPECT_NE(oldSet, newSet);
    folders.DropOlderPictureSets();
    EXPECT_FALSE(fs::exists(oldSet));
    EXPECT_TRUE(fs::exists(newSet));
}

// Another process: one that crashed (ended without cleaning up) and one still running.
TEST(TProjectFolders, FoldersOfEndedProcessesAreStaleOthersAreNot) {
    TempFolder temp;
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const auto startInstance = [&](bool waitForParent) -> pid_t {
        const pid_t child = ::fork();
        if (child == 0) {
            // _exit runs no destructor: the folder stays as after a crash.
            TProjectFolders folders(temp.path());
            const std::string path = folders.InstanceFolder() + "\n";
            if (::write(toParent[1], path.data(), path.size()) < 0) ::_exit(2);
            char go = 0;
            if (waitForParent && ::read(toChild[0], &go, 1) < 0) ::_exit(3);
            ::_exit(0);
        }
        return child;
    };
    const auto readPath = [&] {
        std::string path;
        char c = 0;
        while (::read(toParent[0], &c, 1) == 1 && c != '\n')
            path += c;
        return path;
    };
    const pid_t crashed = startInstance(false);
    const std::string crashedFolder = readPath();
    int status = 0;
    ::waitpid(crashed, &status, 0);
    const pid_t running = startInstance(true);
    const std::string runningFolder = readPath();

    ASSERT_TRUE(fs::exists(crashedFolder));
    EXPECT_FALSE(lockHeld(crashedFolder)) << "the lock ended with its process";
    EXPECT_TRUE(lockHeld(runningFolder));
    TProjectFolders self(temp.path());
    EXPECT_EQ(self.RemoveStaleFolders(), 1);
    EXPECT_FALSE(fs::exists(crashedFolder));
    EXPECT_TRUE(fs::exists(runningFolder));

    ASSERT_EQ(::write(toChild[1], "x", 1), 1);
    ::waitpid(running, &status, 0);
    for (const int fd : {toParent[0], toParent[1], toChild[0], toChild[1]})
        ::close(fd);
}

} // namespace
} // namespace schauplatz
