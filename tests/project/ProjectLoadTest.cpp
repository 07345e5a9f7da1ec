// The load that changes nothing until it has succeeded: a pending picture set committed or
// discarded, the record-file limits, lines that cannot be read, cancellation, and the
// pictures of a save (same names, hidden names) coming back to the right lines.

#include "ProjectTestSupport.h"
#include "project/ProjectArchive.h"
#include "project/RecordFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace schauplatz {
namespace {

using namespace schauplatz::testing;
namespace fs = std::filesystem;

class ProjectLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        zip.OnMessage = [this](const std::string& text) { messages.push_back(text); };
        // The open project: a current picture set holding its facade.
        current = folders.PictureSet();
        writeBytes(current + "Haus.png", "the open project's facade");
    }

    // The picture store holds the open project's set alone, unchanged.
    void expectStoreUnchanged() {
        EXPECT_EQ(folders.PictureSet(), current);
        EXPECT_EQ(folderNames(folders.PictureStore()),
                  std::vector<std::string>{fs::path(current).parent_path().filename().string()});
        EXPECT_EQ(readBytes(current + "Haus.png"), "the open project's facade");
    }

    TempFolder temp;
    TProjectFolders folders{temp.path()};
    TZipArchive zip;
    std::vector<std::string> messages;
    std::string current;
    std::string project = temp / "Kunde.vbk";
};

TEST_F(ProjectLoadTest, ALoadedProjectIsPendingUntilCommitted) {
    writeRawArchive(project, {{"data.dat", "C:\\Bilder\\Fassade.png\r\n"
                                           "C:\\Muster\\T\xFCr.png;1;2;3;4;5;6;7;8;\r\n"},
                              {"Fassade.png", "facade"},
                              {"Tür.png", "door"}});
    TProjectLoad load = loadProjectArchive(project, folders, zip);
    ASSERT_EQ(load.Outcome, TLoadOutcome::Loaded) << load.Error;
    ASSERT_TRUE(load.Pictures && load.Pictures->Pending());
    EXPECT_EQ(load.Project.PictureFolder, load.Pictures->Folder());
    EXPECT_NE(load.Pictures->Folder(), current);
    EXPECT_EQ(folders.PictureSet(), current) << "nothing is current before the commit";
    EXPECT_EQ(folderNames(load.Pictures->Folder()),
              (std::vector<std::string>{"Fassade.png", "Tür.png"}));
    ASSERT_EQ(load.Project.Elements.size(), 1u);
    EXPECT_EQ(load.Project.Elements[0],
              (TElementRecord{"C:\\Muster\\Tür.png", 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(readBytes(load.Project.PicturePath(load.Project.Elements[0].Path)), "door");
    EXPECT_EQ(readBytes(current + "Haus.png"), "the open project's facade");

    const std::string loaded = load.Pictures->Folder();
    load.Pictures->Commit();
    EXPECT_FALSE(load.Pictures->Pending());
    EXPECT_EQ(folders.PictureSet(), loaded);
    EXPECT_FALSE(fs::exists(current)) << "older sets go with the commit";
    EXPECT_EQ(readBytes(loaded + "Tür.png"), "door");
    EXPECT_TRUE(messages.empty());
}

TEST_F(ProjectLoadTest, AnUncommittedLoadIsDiscardedAtOnce) {
    writeRawArchive(project, {{"data.dat", "Fassade.png\r\n"}, {"Fassade.png", "facade"}});
    std::string pending;
    {
        TProjectLoad load = loadProjectArchive(project, folders, zip);
        ASSERT_EQ(load.Outcome, TLoadOutcome::Loaded);
        pending = load.Pictures->Folder();
        // A picture the replay keeps goes into the pending set too.
        writeBytes(temp / "Tür;1.png", "kept");
        EXPECT_EQ(folders.KeepPicture(temp / "Tür;1.png", pending), pending + "Tür_1.png");
        EXPECT_TRUE(fs::exists(pending + "Tür_1.png"));
        // The replay failed: the load's object goes out of scope uncommitted.
    }
    EXPECT_FALSE(fs::exists(pending));
    expectStoreUnchanged();
}

TEST_F(ProjectLoadTest, EveryFailureLeavesTheOpenProjectsPicturesAlone) {
    const std::string truncated = temp / "kaputt.vbk";
    writeRawArchive(truncated, {{"data.dat", "Fassade.png\r\n"}, {"Fassade.png", "facade"}});
    writeBytes(truncated, readBytes(truncated).substr(0, 40));
    const std::string noRecordFile = temp / "ohne.vbk";
    writeRawArchive(noRecordFile, {{"Fassade.png", "facade"}});
    const std::string empty = temp / "leer.vbk";
    writeRawArchive(empty, {{"data.dat", ""}, {"Fassade.png", "facade"}});
    const std::string notZip = temp / "text.vbk";
    writeBytes(notZip, "just text");
    struct Case {
        std::string file;
        std::string message;
    };
    for (const Case& c :
         {Case{temp / "fehlt.vbk", "nicht gefunden"},
          Case{notZip, "kann nicht als Zip-Archiv gelesen werden"}, Case{truncated, "Zip-Archiv"},
          Case{noRecordFile, "enthält keine Datei data.dat"},
          Case{empty, "ist leer: sie nennt keine Fassade"}}) {
        SCOPED_TRACE(c.file);
        const TProjectLoad load = loadProjectArchive(c.file, folders, zip);
        EXPECT_EQ(load.Outcome, TLoadOutcome::Failed);
        EXPECT_FALSE(load.Pictures.has_value());
        EXPECT_NE(load.Error.find(c.message), std::string::npos) << load.Error;
        EXPECT_NE(load.Error.find(c.file), std::string::npos) << load.Error;
        // The component showed its own errors; those about data.dat are the load's to show.
        EXPECT_EQ(load.ErrorShown, messages.size() == 1) << load.Error;
        messages.clear();
        expectStoreUnchanged();
    }
}

// A damaged record line makes the load fail as a whole, naming the line; the later, intact
// lines are not lost to a later save because nothing of the load remains.
TEST_F(ProjectLoadTest, ALineThatCannotBeReadFailsTheLoadNamingIt) {
    writeRawArchive(project, {{"data.dat", "Fassade.png\r\n"
                                           "T\xFCr.png;1;2;3;4;5;6;7;8;\r\n"
                                           "T\xFCr.png;1;2;drei;4;5;6;7;8;\r\n"
                                           "T\xFCr.png;9;9;9;9;9;9;9;9;\r\n"},
                              {"Fassade.png", "facade"},
                              {"Tür.png", "door"}});
    const TProjectLoad load = loadProjectArchive(project, folders, zip);
    EXPECT_EQ(load.Outcome, TLoadOutcome::Failed);
    EXPECT_FALSE(load.ErrorShown);
    EXPECT_EQ(load.FailedLine, std::optional<std::size_t>(2));
    EXPECT_EQ(load.Error, "Zeile 3 der Datei data.dat in \"" + project +
                              "\" kann nicht gelesen werden: Feld 3 (\"drei\") ist keine ganze "
                              "Zahl: \"Tür.png;1;2;drei;4;5;6;7;8;\"");
    expectStoreUnchanged();

    TUnpackedProject lines;
    lines.LoadStore = {"f.png", "a.png;1;2;3;4;5;6;7;8;", "kurz;1;2"};
    try {
        lines.ElementRecords("p.vbk");
        FAIL() << "a short line was split";
    } catch (const ERecordLineError& error) {
        EXPECT_EQ(error.Line(), 2u);
        EXPECT_EQ(std::string(error.what()),
                  "Zeile 3 der Datei data.dat in \"p.vbk\" kann nicht gelesen werden: 3 statt 9 "
                  "Felder (ein Pfad und acht Koordinaten): \"kurz;1;2\"");
    }
}

TEST_F(ProjectLoadTest, AHugeRecordLineIsCutInItsMessage) {
    const std::string line = std::string(10'000'000, 'x') + ";1;2";
    const std::string problem = RecordLineProblem(line);
    EXPECT_LT(problem.size(), 400u);
    EXPECT_NE(problem.find("(10000004 Zeichen)"), std::string::npos) << problem;
}

// ---- the record-file limits --------------------------------------------------------------

// 100 MB of line breaks (a 100 KB archive): refused from the directory, before anything is
// extracted or decoded.
TEST_F(ProjectLoadTest, ARecordFileAbove16MiBIsRefusedBeforeItIsExtracted) {
    writeRawArchive(project, {{"data.dat", std::string(100'000'000, '\n')}});
    ASSERT_LT(fs::file_size(project), 200'000u);
    const TProjectLoad load = loadProjectArchive(project, folders, zip);
    EXPECT_EQ(load.Outcome, TLoadOutcome::Failed);
    EXPECT_EQ(load.Error, "Die Datei data.dat in \"" + project +
                              "\" ist mit 100000000 Bytes zu groß (höchstens 16 MiB); das Projekt "
                              "wird nicht geladen");
    expectStoreUnchanged();
    EXPECT_TRUE(messages.empty()) << "refused before the component worked";
}

// The same with a directory that lies about the size: the extraction stops at the limit.
TEST_F(ProjectLoadTest, ARecordFileLyingAboutItsSizeStopsAtTheLimit) {
    writeRawArchive(project, {{"data.dat", std::string(20'000'000, '\x80')}});
    std::string bytes = readBytes(project);
    const ZipRecord record = centralDirectory(bytes).at(0);
    put32(bytes, centralSizeOffset(record.centralOffset), 100);
    put32(bytes, localSizeOffset(record.localOffset), 100);
    writeBytes(project, bytes);
    const TProjectLoad load = loadProjectArchive(project, folders, zip);
    EXPECT_EQ(load.Outcome, TLoadOutcome::Failed);
    EXPECT_NE(load.Error.find("data.dat"), std::string::npos) << load.Error;
    expectStoreUnchanged();
}

TEST_F(ProjectLoadTest, ARecordFileOfMoreThan100000LinesIsRefusedBeforeDecoding) {
    std::string many = "Fassade.png\r\n";
    for (int i = 0; i < 100'000; ++i)
        many += "\r\n";
    writeRawArchive(project, {{"data.dat", many}});
    const TProjectLoad load = loadProjectArchive(project, folders, zip);
    EXPECT_EQ(load.Outcome, TLoadOutcome::Failed);
    EXPECT_EQ(load.Error, "Die Datei data.dat in \"" + project +
                              "\" hat mehr als 100.000 Zeilen; das Projekt wird nicht geladen");
    expectStoreUnchanged();

    // Exactly the limit loads (each line an element line, all alike).
    std::string limit = "Fassade.png\r\n";
    for (int i = 1; i < 100'000; ++i)
        limit += "Tür.png;1;2;3;4;5;6;7;8;\r\n";
    writeRawArchive(project, {{"data.dat", limit}});
    const TProjectLoad full = loadProjectArchive(project, folders, zip);
    EXPECT_EQ(full.Outcome, TLoadOutcome::Loaded) << full.Error;
    EXPECT_EQ(full.Project.Elements.size(), 99'999u);
}

TEST(RecordFileLimits, LinesAreCountedAsDecodingWouldSplitThem) {
    for (const std::string& bytes :
         {std::string(""), std::string("a"), std::string("a\r\nb"), std::string("a\rb\nc\r\n"),
          std::string("\r\r\n\n"), std::string("\xEF\xBB\xBFx\ny\n"),
          std::string("\xEF\xBB\xBF"), // found by fuzzing: a mark and nothing else
          std::string("\xFF\xFE"), std::string("\xEF\xBB\xBF\r\n"),
          std::string("\xFF\xFEx\0\r\0\n\0y\0\r\0", 12), std::string("\xFE\xFF\0x\0\n\0y", 8),
          std::string("\xFF\xFEx\0\n", 5)}) {
        EXPECT_EQ(countRecordFileLines(bytes), decodeRecordFile(bytes).size())
            << ::testing::PrintToString(bytes);
    }
    EXPECT_NO_THROW(checkRecordFileLimits(std::string(100'000, '\n'), "x"));
    EXPECT_THROW(checkRecordFileLimits(std::string(100'001, '\n'), "x"), ERecordFileLimit);
    EXPECT_THROW(checkRecordFileLimits(std::string(kMaxRecordFileBytes + 1, 'a'), "x"),
                 ERecordFileLimit);
}

// ---- names: the index, the save's names, hidden names ------------------------------------

// 20,000 lines naming a picture that is missing, in an archive of 5,000 entries: each line
// is looked up through the index (the folder is listed once, not once per line).
TEST_F(ProjectLoadTest, ManyLinesInAnArchiveOfManyEntriesAreLookedUpThroughTheIndex) {
    std::string data = "Fassade.png\r\n";
    for (int i = 0; i < 20'000; ++i)
        data += "C:\\Muster\\fehlt.png;1;2;3;4;5;6;7;8;\r\n";
    std::vector<RawEntry> entries{{"data.dat", data}};
    for (int i = 0; i < 5'000; ++i)
        entries.push_back({"bild" + std::to_string(i) + ".png", "p", true});
    writeRawArchive(project, entries);
    const TProjectLoad load = loadProjectArchive(project, folders, zip);
    ASSERT_EQ(load.Outcome, TLoadOutcome::Loaded) << load.Error;
    EXPECT_EQ(load.Project.Pictures.Size(), 5'000u);
    for (const TElementRecord& element : load.Project.Elements)
        ASSERT_EQ(load.Project.PicturePath(element.Path), load.Project.PictureFolder + "fehlt.png");
    EXPECT_EQ(load.Project.PicturePath("x/BILD17.PNG"), load.Project.PictureFolder + "bild17.png");
}

// A facade a/bild.png and an element b/bild.png, and an element with a hidden name: each
// line comes back to its own picture through the save and the load.
TEST_F(ProjectLoadTest, SameAndHiddenNamesReloadToTheirOwnPictures) {
    fs::create_directories(temp / "a");
    fs::create_directories(temp / "b");
    writeBytes(temp / "a/bild.png", "facade 40 x 60");
    writeBytes(temp / "b/bild.png", "element of the same name");
    writeBytes(temp / "b/Bild.PNG", "element of the same name in capitals");
    writeBytes(temp / "b/.tuer.png", "hidden door");
    const std::vector<std::string> data = {
        temp / "a/bild.png", FormatElementRecord({temp / "b/bild.png", 1, 1, 9, 1, 9, 9, 1, 9}),
        FormatElementRecord({temp / "b/.tuer.png", 2, 2, 8, 2, 8, 8, 2, 8}),
        FormatElementRecord({temp / "b/Bild.PNG", 3, 3, 7, 3, 7, 7, 3, 7})};
    ASSERT_TRUE(writeProjectArchive(project, data, folders, zip));
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{".tuer.png", "Bild (3).PNG", "bild (2).png", "bild.png",
                                        "data.dat"}));
    TProjectLoad load = loadProjectArchive(project, folders, zip);
    ASSERT_EQ(load.Outcome, TLoadOutcome::Loaded) << load.Error;
    const TUnpackedProject& p = load.Project;
    EXPECT_EQ(readBytes(p.PicturePath(p.LoadStore[0])), "facade 40 x 60");
    ASSERT_EQ(p.Elements.size(), 3u);
    EXPECT_EQ(readBytes(p.PicturePath(p.Elements[0].Path)), "element of the same name");
    EXPECT_EQ(readBytes(p.PicturePath(p.Elements[1].Path)), "hidden door");
    EXPECT_EQ(readBytes(p.PicturePath(p.Elements[2].Path)), "element of the same name in capitals");
    EXPECT_EQ(p.Elements[2], (TElementRecord{temp / "b/Bild (3).PNG", 3, 3, 7, 3, 7, 7, 3, 7}));
}

TEST(ArchivePlan, NamesAreUniqueWithoutRegardToCaseAndLinesChangeOnlyWhereNeeded) {
    const TArchivePlan plan = planProjectArchive({
        "C:\\Bilder\\Data.DAT",
        "C:\\A\\tür.png;1;2;3;4;5;6;7;8;",
        "D:Tür.png; 1;+2;3;4;5;6;7;8;more",
        "C:\\A\\tür.png;0;0;0;0;0;0;0;0;",
        "/x/y/;1;2;3;4;5;6;7;8;",
        "/z/.;1;2;3;4;5;6;7;8;",
        "/w/Bild;1;2;3;4;5;6;7;8;",
        "/v/ctrl\x01.png;1;2;3;4;5;6;7;8;",
    });
    EXPECT_EQ(plan.RecordLines, (std::vector<std::string>{
                                    "C:\\Bilder\\Data (2).DAT",
                                    "C:\\A\\tür.png;1;2;3;4;5;6;7;8;",
                                    "D:Tür (2).png; 1;+2;3;4;5;6;7;8;more",
                                    "C:\\A\\tür.png;0;0;0;0;0;0;0;0;",
                                    "/x/y/Bild;1;2;3;4;5;6;7;8;",
                                    "/z/Bild (2);1;2;3;4;5;6;7;8;",
                                    "/w/Bild (3);1;2;3;4;5;6;7;8;",
                                    "/v/ctrl_.png;1;2;3;4;5;6;7;8;",
                                }));
    EXPECT_TRUE(plan.Pictures.empty()) << "none of these exists";
    EXPECT_THROW(planProjectArchive({"f", "a;b.png;1;2;3;4;5;6;7;8;"}), ERecordFileError);
}

// ---- cancellation ------------------------------------------------------------------------

class ProjectLoadCancel : public ProjectLoadTest {
protected:
    void SetUp() override {
        ProjectLoadTest::SetUp();
        // Small pictures first, then one that takes a while to unpack.
        writeRawArchive(project, {{"data.dat", "a.png\r\n"},
                                  {"a.png", "a"},
                                  {"b.png", "b"},
                                  {"gross.bmp", std::string(64 << 20, '\0')}});
    }
    // Cancelled, and nothing of the load remains.
    void expectCancelled(const TProjectLoad& load) {
        EXPECT_EQ(load.Outcome, TLoadOutcome::Cancelled);
        EXPECT_TRUE(load.Error.empty());
        EXPECT_FALSE(load.Pictures.has_value());
        EXPECT_TRUE(messages.empty()) << "a cancellation is no error";
        expectStoreUnchanged();
    }
};

TEST_F(ProjectLoadCancel, FromTheEventHookInTheMiddleOfAnEntry) {
    std::string pending;
    bool midway = false;
    zip.ProcessEvents = [&] {
        // The set being filled is the store's newest folder; cancel once the large picture
        // is partly written.
        for (const std::string& name : folderNames(folders.PictureStore())) {
            const std::string big = folders.PictureStore() + name + "/gross.bmp";
            std::error_code error;
            if (fs::exists(big, error) && fs::file_size(big, error) > 0) {
                pending = folders.PictureStore() + name + "/";
                midway = fs::exists(pending + "a.png");
                zip.RequestCancel();
            }
        }
    };
    const TProjectLoad load = loadProjectArchive(project, folders, zip);
    expectCancelled(load);
    EXPECT_TRUE(midway) << "the cancel came while the entries before were already unpacked";
    EXPECT_FALSE(fs::exists(pending));
}

TEST_F(ProjectLoadCancel, FromAnotherThread) {
    // The archive work runs on the component's worker thread; the cancel comes from yet
    // another thread before the extraction begins.
    zip.SetWorkerHook([this] {
        if (zip.Entries().empty()) return; // the directory read; the extraction comes next
        std::thread([this] { zip.RequestCancel(); }).join();
    });
    const TProjectLoad load = loadProjectArchive(project, folders, zip);
    expectCancelled(load);
    zip.SetWorkerHook({});
    // The next load is not cancelled by the old request.
    EXPECT_EQ(loadProjectArchive(project, folders, zip).Outcome, TLoadOutcome::Loaded);
}

TEST_F(ProjectLoadCancel, ARefusedArchiveBombLeavesNothingInTheStore) {
    TZipLimits limits;
    limits.MaxTotalBytes = 32 << 20; // the large picture makes it a bomb
    zip.SetLimits(limits);
    const TProjectLoad load = loadProjectArchive(project, folders, zip);
    EXPECT_EQ(load.Outcome, TLoadOutcome::Failed);
    EXPECT_NE(load.Error.find("ist größer als"), std::string::npos) << load.Error;
    expectStoreUnchanged();
}

} // namespace
} // namespace schauplatz
