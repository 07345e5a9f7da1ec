// Saving and unpacking whole projects through the functions the window's SaveProject and
// LoadProject call.

#include "project/ProjectArchive.h"
#include "ProjectTestSupport.h"
#include "project/ProjectNames.h"
#include "project/RecordFile.h"
#include "support/FileSystem.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <future>
#include <sys/stat.h>

namespace schauplatz {
namespace {

using namespace schauplatz::testing;
namespace fs = std::filesystem;

class ProjectArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp / "Bilder");
        fs::create_directories(temp / "Muster/Türen");
        fs::create_directories(temp / "Andere");
        writeBytes(facade, "facade pixels");
        writeBytes(door, "door pixels");
        writeBytes(window, "window pixels");
        zip.OnMessage = [this](const std::string& text) { messages.push_back(text); };
    }

    // A new project on the facade with two accepted elements, one of them partly dragged
    // out of the picture to the left and top.
    std::vector<std::string> twoElements() const {
        return {facade, FormatElementRecord({door, 10, 20, 110, 20, 110, 220, 10, 220}),
                FormatElementRecord({window, -15, -7, 40, -7, 40, 60, -15, 60})};
    }

    // What the window's replay leaves in ProjectData after a load.
    static std::vector<std::string> replayed(const TUnpackedProject& project) {
        std::vector<std::string> data{project.PicturePath(project.LoadStore.at(0))};
        for (std::size_t i = 1; i < project.LoadStore.size(); ++i) {
            TElementRecord record = SplitElementRecord(project.LoadStore[i]);
            record.Path = project.PicturePath(record.Path);
            data.push_back(FormatElementRecord(record));
        }
        return data;
    }

    TempFolder temp;
    std::string facade = temp / "Bilder/Haus.jpg";
    std::string door = temp / "Muster/Türen/Tür 3.png";
    std::string window = temp / "Muster/Fenster 1.bmp";
    std::string work = temp / "zam-werk/vbk/";
    std::string project = temp / "Kunde Müller.vbk";
    TZipArchive zip;
    std::vector<std::string> messages;
};

TEST_F(ProjectArchiveTest, SaveWritesExactlyDataDatAndTheNamedPictures) {
    ASSERT_TRUE(writeProjectArchive(project, twoElements(), work, zip));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Fenster 1.bmp", "Haus.jpg", "Tür 3.png", "data.dat"}));
    EXPECT_FALSE(fs::exists(work)) << "the work folder is removed at the end of a save";

    fs::create_directories(temp / "check");
    zip.SetArchive(project);
    ASSERT_TRUE(zip.ExtractAll(temp / "check/"));
    const std::string ansiDoor = temp / "Muster/T\xFCren/T\xFCr 3.png";
    EXPECT_EQ(readBytes(temp / "check/data.dat"), facade + "\r\n" + ansiDoor +
                                                      ";10;20;110;20;110;220;10;220;\r\n" + window +
                                                      ";-15;-7;40;-7;40;60;-15;60;\r\n");
    EXPECT_EQ(readBytes(temp / "check/Tür 3.png"), "door pixels");
    EXPECT_EQ(readBytes(temp / "check/Haus.jpg"), "facade pixels");
}

TEST_F(ProjectArchiveTest, UnpackGivesTheRecordLinesAndFindsEveryPicture) {
    ASSERT_TRUE(writeProjectArchive(project, twoElements(), work, zip));
    const auto unpacked = unpackProjectArchive(project, work, zip);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_EQ(unpacked->LoadStore, twoElements());
    EXPECT_EQ(unpacked->PictureFolder, work);
    EXPECT_EQ(unpacked->PicturePath(unpacked->LoadStore[0]), work + "Haus.jpg");
    const std::vector<std::string> data = replayed(*unpacked);
    EXPECT_EQ(data[1], work + "Tür 3.png;10;20;110;20;110;220;10;220;");
    EXPECT_EQ(data[2], work + "Fenster 1.bmp;-15;-7;40;-7;40;60;-15;60;");
    EXPECT_EQ(readBytes(work + "Fenster 1.bmp"), "window pixels");
}

TEST_F(ProjectArchiveTest, RecordedWindowsPathsFindTheirPictures) {
    // data.dat as the original platform writes it: windows-1252, Windows paths.
    writeRawArchive(project, {{"data.dat", "C:\\Bilder\\Haus.jpg\r\n"
                                           "C:\\Muster\\T\xFCr 3.png;1;2;3;4;5;6;7;8;\r\n"
                                           "D:Stra\xDF"
                                           "e.png;1;2;3;4;5;6;7;8;\r\n"},
                              {"Haus.jpg", "facade"},
                              {"T\x81r 3.png", "door in code page 850"},
                              {"Stra\xE1"
                               "e.png",
                               "street in code page 850"}});
    const auto unpacked = unpackProjectArchive(project, work, zip);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_EQ(unpacked->LoadStore[1], "C:\\Muster\\Tür 3.png;1;2;3;4;5;6;7;8;");
    const std::vector<std::string> data = replayed(*unpacked);
    EXPECT_EQ(readBytes(data[0]), "facade");
    EXPECT_EQ(readBytes(SplitElementRecord(data[1]).Path), "door in code page 850");
    EXPECT_EQ(readBytes(SplitElementRecord(data[2]).Path), "street in code page 850");
}

TEST_F(ProjectArchiveTest, Windows1252EntryNamesLoadToo) {
    writeRawArchive(project, {{"data.dat", "C:\\Bilder\\H\xE4us.jpg\r\n"
                                           "C:\\Muster\\Fl\xFCgel.png;1;2;3;4;5;6;7;8;\r\n"
                                           "C:\\Muster\\GROSS.PNG;1;2;3;4;5;6;7;8;\r\n"},
                              {"H\xE4us.jpg", "facade 1252"},
                              {"Fl\xFCgel.png", "wing 1252"},
                              {"gross.png", "case differs"}});
    const auto unpacked = unpackProjectArchive(project, work, zip);
    ASSERT_TRUE(unpacked.has_value());
    const std::vector<std::string> data = replayed(*unpacked);
    EXPECT_EQ(readBytes(data[0]), "facade 1252");
    EXPECT_EQ(readBytes(SplitElementRecord(data[1]).Path), "wing 1252");
    EXPECT_EQ(readBytes(SplitElementRecord(data[2]).Path), "case differs");
}

TEST_F(ProjectArchiveTest, TheArchiveOfAnotherZipToolLoads) {
    const std::string fixture = std::string(SCHAUPLATZ_TEST_DATA) + "/project/";
    const auto unpacked = unpackProjectArchive(fixture + "zipcli-project.vbk", work, zip);
    ASSERT_TRUE(unpacked.has_value());
    ASSERT_EQ(unpacked->LoadStore.size(), 2u);
    EXPECT_EQ(unpacked->LoadStore[0], "C:\\Bilder\\Haus.png");
    EXPECT_EQ(SplitElementRecord(unpacked->LoadStore[1]),
              (TElementRecord{"C:\\Muster\\Tür 3.png", 1, 0, 3, 0, 3, 2, 1, 2}));
    EXPECT_EQ(readBytes(unpacked->PicturePath("C:\\Muster\\Tür 3.png")),
              readBytes(fixture + "zipcli-source/Tür 3.png"));
}

// Two pictures of one name from different folders each keep their own entry: the second
// takes the name with " (2)", and its record line in data.dat names that.
TEST_F(ProjectArchiveTest, SameFileNameFromTwoFoldersGetsTwoEntries) {
    writeBytes(temp / "Andere/Tür 3.png", "the other door");
    std::vector<std::string> data = twoElements();
    data.push_back(FormatElementRecord({temp / "Andere/Tür 3.png", 1, 1, 5, 1, 5, 5, 1, 5}));
    data.push_back(FormatElementRecord({door, 2, 2, 6, 2, 6, 6, 2, 6})); // the first again
    ASSERT_TRUE(writeProjectArchive(project, data, work, zip));
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Fenster 1.bmp", "Haus.jpg", "Tür 3 (2).png", "Tür 3.png",
                                        "data.dat"}));
    const auto unpacked = unpackProjectArchive(project, work, zip);
    ASSERT_TRUE(unpacked.has_value());
    std::vector<std::string> expected = data;
    expected[3] = temp / "Andere/Tür 3 (2).png;1;1;5;1;5;5;1;5;";
    EXPECT_EQ(unpacked->LoadStore, expected) << "only the renamed picture's line changes";
    const std::vector<std::string> lines = replayed(*unpacked);
    EXPECT_EQ(readBytes(SplitElementRecord(lines[1]).Path), "door pixels");
    EXPECT_EQ(readBytes(SplitElementRecord(lines[3]).Path), "the other door");
    EXPECT_EQ(readBytes(SplitElementRecord(lines[4]).Path), "door pixels");
}

TEST_F(ProjectArchiveTest, ASecondSaveHoldsExactlyThePicturesItsLinesName) {
    ASSERT_TRUE(writeProjectArchive(project, twoElements(), work, zip));
    writeBytes(facade, "facade changed");
    std::vector<std::string> fewer = twoElements();
    fewer.pop_back();
    ASSERT_TRUE(writeProjectArchive(project, fewer, work, zip));
    EXPECT_EQ(entryNames(project), (std::vector<std::string>{"Haus.jpg", "Tür 3.png", "data.dat"}))
        << "no stale entry stays";
    const auto unpacked = unpackProjectArchive(project, work, zip);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_EQ(unpacked->LoadStore, fewer);
    EXPECT_EQ(readBytes(work + "Haus.jpg"), "facade changed");
}

TEST_F(ProjectArchiveTest, MissingPicturesAreSkippedWithoutAMessage) {
    std::vector<std::string> data = twoElements();
    data.push_back(FormatElementRecord({temp / "gibt es nicht.png", 0, 0, 1, 0, 1, 1, 0, 1}));
    data.push_back(FormatElementRecord({temp / "Bilder/data.dat", 0, 0, 1, 0, 1, 1, 0, 1}));
    writeBytes(temp / "Bilder/data.dat", "a picture named like the record file");
    ASSERT_TRUE(writeProjectArchive(project, data, work, zip));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Fenster 1.bmp", "Haus.jpg", "Tür 3.png", "data (2).dat",
                                        "data.dat"}));
    const auto unpacked = unpackProjectArchive(project, work, zip);
    ASSERT_TRUE(unpacked.has_value());
    std::vector<std::string> expected = data;
    expected[4] = temp / "Bilder/data (2).dat;0;0;1;0;1;1;0;1;";
    EXPECT_EQ(unpacked->LoadStore, expected) << "the record file was not overwritten by a picture";
    EXPECT_EQ(readBytes(SplitElementRecord(replayed(*unpacked)[4]).Path),
              "a picture named like the record file");
}

TEST_F(ProjectArchiveTest, AnUnsplittableLineStopsTheSaveBeforeArchiving) {
    std::vector<std::string> data = twoElements();
    data.push_back(temp / "a;b.png;1;2;3;4;5;6;7;8;");
    EXPECT_THROW(writeProjectArchive(project, data, work, zip), ERecordFileError);
    EXPECT_FALSE(fs::exists(project));
    EXPECT_FALSE(fs::exists(work));
}

TEST_F(ProjectArchiveTest, LoadsThatCannotFindDataDatRaise) {
    EXPECT_THROW(unpackProjectArchive(temp / "fehlt.vbk", work, zip), ERecordFileError);
    ASSERT_EQ(messages.size(), 1u) << "the component reported the missing file";
    writeRawArchive(project, {{"Haus.jpg", "facade"}});
    EXPECT_THROW(unpackProjectArchive(project, work, zip), ERecordFileError);
    EXPECT_EQ(folderNames(work), std::vector<std::string>{"Haus.jpg"}) << "what was unpacked stays";
}

TEST_F(ProjectArchiveTest, AFailedSaveLeavesTheEarlierProjectFileByteIdentical) {
    ASSERT_TRUE(writeProjectArchive(project, twoElements(), work, zip));
    const std::string before = readBytes(project);
    writeBytes(door, "a new door");
    for (const auto operation : {FaultInjectingFileSystem::Operation::Rename,
                                 FaultInjectingFileSystem::Operation::Write}) {
        FaultInjectingFileSystem faulty(realFileSystem());
        // The first write is data.dat's; the archive is the second file written.
        faulty.failOn(operation, operation == FaultInjectingFileSystem::Operation::Write ? 2 : 1,
                      ENOSPC, true);
        ScopedFileSystemOverride override(faulty);
        messages.clear();
        EXPECT_FALSE(writeProjectArchive(project, twoElements(), work, zip));
        EXPECT_EQ(messages.size(), 1u);
        EXPECT_TRUE(readBytes(project) == before);
        EXPECT_FALSE(fs::exists(work));
    }
}

// A picture that is there but cannot be read completely fails the whole save, naming it; the
// archive of the previous save stays byte-identical (no half-read picture is archived).
TEST_F(ProjectArchiveTest, APictureThatCannotBeReadFailsTheSave) {
    ASSERT_TRUE(writeProjectArchive(project, twoElements(), work, zip));
    const std::string before = readBytes(project);
    std::vector<std::string> data = twoElements();
    // A regular file by its mode whose every read fails (EIO).
    data.push_back(FormatElementRecord({"/proc/self/mem", 0, 0, 1, 0, 1, 1, 0, 1}));
    messages.clear();
    EXPECT_FALSE(writeProjectArchive(project, data, work, zip));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Datei \"/proc/self/mem\" kann nicht gelesen werden"),
              std::string::npos)
        << messages[0];
    EXPECT_NE(messages[0].find("die bisherige Datei bleibt unverändert"), std::string::npos);
    EXPECT_TRUE(readBytes(project) == before);
    EXPECT_EQ(
        folderNames(temp.path()),
        (std::vector<std::string>{"Andere", "Bilder", "Kunde Müller.vbk", "Muster", "zam-werk"}))
        << "no temporary left";
    EXPECT_FALSE(fs::exists(work));
}

// The work folder's disk full while data.dat is staged: the save stops with the error.
TEST_F(ProjectArchiveTest, AFullDiskInTheWorkFolderStopsTheSave) {
    ASSERT_TRUE(writeProjectArchive(project, twoElements(), work, zip));
    const std::string before = readBytes(project);
    FaultInjectingFileSystem faulty(realFileSystem());
    faulty.failOn(FaultInjectingFileSystem::Operation::Write, 1, ENOSPC, true);
    ScopedFileSystemOverride override(faulty);
    try {
        writeProjectArchive(project, twoElements(), work, zip);
        FAIL() << "a full disk passed for a save";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.errorNumber(), ENOSPC);
        EXPECT_NE(std::string(error.what()).find("data.dat"), std::string::npos);
    }
    EXPECT_TRUE(readBytes(project) == before);
    EXPECT_FALSE(fs::exists(work));
}

// A picture path that names no regular file (a folder, a FIFO that nobody writes) is left
// out like a missing picture: the save neither hangs nor fails.
TEST_F(ProjectArchiveTest, PicturesThatAreNoFilesAreLeftOut) {
    ASSERT_EQ(::mkfifo((temp / "Muster/Rohr.png").c_str(), 0600), 0);
    std::vector<std::string> data = twoElements();
    data.push_back(FormatElementRecord({temp / "Muster/Rohr.png", 0, 0, 1, 0, 1, 1, 0, 1}));
    data.push_back(FormatElementRecord({temp / "Andere", 0, 0, 1, 0, 1, 1, 0, 1}));
    ASSERT_TRUE(writeProjectArchive(project, data, work, zip));
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Fenster 1.bmp", "Haus.jpg", "Tür 3.png", "data.dat"}));
}

TEST_F(ProjectArchiveTest, NothingStartsWhileTheComponentIsBusy) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    zip.SetWorkerHook([released] { released.wait(); });
    fs::create_directories(work);
    writeBytes(work + "im Gange.txt", "belongs to the running operation");
    bool saveRefused = false, loadRefused = false;
    zip.ProcessEvents = [&] {
        if (saveRefused) return;
        saveRefused = !writeProjectArchive(temp / "anders.vbk", twoElements(), work, zip);
        loadRefused = !unpackProjectArchive(project, work, zip).has_value();
        release.set_value();
    };
    zip.SetArchive(project);
    EXPECT_TRUE(saveRefused);
    EXPECT_TRUE(loadRefused);
    EXPECT_FALSE(fs::exists(temp / "anders.vbk"));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("Speichern von " + temp / "anders.vbk" + " wurde abgelehnt"),
              std::string::npos)
        << messages[0];
    EXPECT_NE(messages[1].find("Laden von " + project + " wurde abgelehnt"), std::string::npos)
        << messages[1];
    EXPECT_EQ(readBytes(work + "im Gange.txt"), "belongs to the running operation")
        << "the refused save or load must not touch the work folder";
}

// With the instance folders, the pictures of a loaded project live in the picture store, so
// saving it again, under its own or another name, holds every picture data.dat names.
TEST_F(ProjectArchiveTest, SavesAfterALoadHoldEveryPicture) {
    TProjectFolders folders(temp.path());
    ASSERT_TRUE(writeProjectArchive(project, twoElements(), folders, zip));
    const auto first = unpackProjectArchive(project, folders, zip);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->PictureFolder.rfind(folders.PictureStore(), 0), 0u) << first->PictureFolder;
    EXPECT_EQ(folderNames(folders.WorkFolder()), std::vector<std::string>{"data.dat"});
    const std::vector<std::string> loaded = replayed(*first);

    const std::string copy1 = temp / "Kopie 1.vbk";
    const std::string copy2 = temp / "Kopie 2.vbk";
    ASSERT_TRUE(writeProjectArchive(project, loaded, folders, zip));
    ASSERT_TRUE(writeProjectArchive(copy1, loaded, folders, zip));
    ASSERT_TRUE(writeProjectArchive(copy2, loaded, folders, zip));
    for (const std::string& file : {project, copy1, copy2}) {
        EXPECT_EQ(entryNames(file),
                  (std::vector<std::string>{"Fenster 1.bmp", "Haus.jpg", "Tür 3.png", "data.dat"}))
            << file;
    }
    const auto again = unpackProjectArchive(copy2, folders, zip);
    ASSERT_TRUE(again.has_value());
    const std::vector<std::string> reloaded = replayed(*again);
    EXPECT_EQ(readBytes(reloaded[0]), "facade pixels");
    EXPECT_EQ(readBytes(SplitElementRecord(reloaded[1]).Path), "door pixels");
    EXPECT_EQ(readBytes(SplitElementRecord(reloaded[2]).Path), "window pixels");
    EXPECT_EQ(folderNames(folders.PictureStore()).size(), 2u)
        << "the older set stays until the project is taken over";
    folders.DropOlderPictureSets();
    EXPECT_EQ(folderNames(folders.PictureStore()).size(), 1u) << "older picture sets dropped";
    EXPECT_EQ(readBytes(SplitElementRecord(reloaded[1]).Path), "door pixels");
}

TEST_F(ProjectArchiveTest, TheSampleProjectUnpacksIntoThePictureStore) {
    const std::string sample = std::string(SCHAUPLATZ_TEST_DATA) + "/project/sample-project.vbk";
    TProjectFolders folders(temp.path());
    const auto unpacked = unpackProjectArchive(sample, folders, zip);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(unpacked->LoadStore.size(), 3u);
    EXPECT_EQ(unpacked->LoadStore[0], "C:\\Muster\\Fassade\\Fassade.png");
    EXPECT_EQ(SplitElementRecord(unpacked->LoadStore[2]),
              (TElementRecord{"C:\\Muster\\Fenster\\Fenster 2.png", -3, -2, 8, -2, 8, 9, -3, 9}));
    EXPECT_EQ(folderNames(unpacked->PictureFolder),
              (std::vector<std::string>{"Fassade.png", "Fenster 2.png", "Haustür 1.png"}));
    const std::vector<std::string> data = replayed(*unpacked);
    EXPECT_EQ(data[1], unpacked->PictureFolder + "Haustür 1.png;20;10;34;12;33;40;21;38;");
    EXPECT_EQ(readBytes(data[0]).substr(1, 3), "PNG");
}

TEST_F(ProjectArchiveTest, PathsWindows1252CannotHoldSurviveASaveAndALoad) {
    const std::string polish = temp / "Muster/Drzwi Łódź.png";
    writeBytes(polish, "polish door");
    std::vector<std::string> data = twoElements();
    data.push_back(FormatElementRecord({polish, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(writeProjectArchive(project, data, work, zip));
    bool flagged = false;
    for (const ZipRecord& record : centralDirectory(readBytes(project)))
        if (record.name == "Drzwi Łódź.png") flagged = (record.flags & 0x0800) != 0;
    EXPECT_TRUE(flagged);
    const auto unpacked = unpackProjectArchive(project, work, zip);
    ASSERT_TRUE(unpacked.has_value());
    EXPECT_EQ(readBytes(work + "data.dat").substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(unpacked->LoadStore, data);
    EXPECT_EQ(readBytes(SplitElementRecord(replayed(*unpacked)[3]).Path), "polish door");
}

TEST(ResolveSaveName, OnlyAnUnnamedProjectAsksAndACancelledQuestionEndsTheSave) {
    int asked = 0;
    const auto answer = [&asked](std::string reply) {
        return [&asked, reply] {
            ++asked;
            return reply;
        };
    };
    EXPECT_EQ(resolveSaveName("/p/Kunde.vbk", answer("/x.vbk")), "/p/Kunde.vbk");
    EXPECT_EQ(asked, 0) << "a named project shows no dialog";
    EXPECT_EQ(resolveSaveName(kNewProjectName, answer("/p/Neu.vbk")), "/p/Neu.vbk");
    EXPECT_EQ(resolveSaveName(kNewProjectName, answer("")), "");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(resolveSaveName("", answer("/x.vbk")), "");
    EXPECT_EQ(asked, 2);
}

} // namespace
} // namespace schauplatz
