// Saving a composite as a project file and loading it back through the window's commands:
// the archive's entries and record file byte for byte, the rebuilt background pixel for pixel,
// the record list after a load, and the cases around names and dialogs.

#include "project_fixture.h"

#include "project/ProjectNames.h"
#include "project/RecordFile.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

using Quad = std::array<QuadPoint, 4>;
const Quad kDoorQuad{QuadPoint{10, 20}, QuadPoint{40, 22}, QuadPoint{41, 60}, QuadPoint{9, 58}};
// Dragged partly out of the picture to the left and top.
const Quad kWindowQuad{QuadPoint{-6, -4}, QuadPoint{12, -4}, QuadPoint{12, 15}, QuadPoint{-6, 13}};

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class ProjectSaveLoad : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        facade = writePattern("Bilder mit Ümlaut/Haus.bmp", 80, 60, 0x123456);
        door = writeDoor("Muster/Tür 1.bmp", 7, 11, 0xABCDEF);
        window = writeDoor("Fenster/Fenster 2.bmp", 9, 6, 0x5A5A5A);
        project = folder + "Projekte mit Ä/Haus Müller.vbk";
        fs::create_directories(folder + "Projekte mit Ä");
    }
    // A new project on the facade with the door and the window accepted.
    void composeTwoElements() {
        host.openAnswers.push_back(facade);
        form->NeuesProjekt1Click();
        accept(door, kDoorQuad);
        accept(window, kWindowQuad);
    }
    void saveUnnamed(const std::string& name) {
        host.saveAnswers.push_back(name);
        form->Projektspeichern1Click();
    }
    TForm_Schauplatz& loadInOtherForm(const std::string& name) {
        TForm_Schauplatz& other = otherForm();
        otherHost().openAnswers.push_back(name);
        other.Projektladen1Click();
        return other;
    }

    std::string facade, door, window, project;
};

TEST_F(ProjectSaveLoad, ANewProjectWithTwoElementsSavesExactlyItsEntriesAndRecordFile) {
    composeTwoElements();
    saveUnnamed(project);

    ASSERT_EQ(host.saveRequests.size(), 1u) << "the unnamed project asked for a name";
    EXPECT_EQ(host.saveRequests[0].title, "Projekt speichern");
    EXPECT_EQ(host.saveRequests[0].filter, "Bildkomposition|*.vbk");
    EXPECT_EQ(host.saveRequests[0].defaultExt, "vbk");
    EXPECT_EQ(form->ProjectFile, project);
    EXPECT_EQ(form->Caption(), "Velora Bildkomposition 2021 [" + project + "]");
    EXPECT_TRUE(host.messages.empty()) << host.messages.front();

    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Fenster 2.bmp", "Haus.bmp", "Tür 1.bmp", "data.dat"}));
    const std::string unpacked = unpack(project);
    const std::string expected = cp1252(facade) + "\r\n" + cp1252(door) +
                                 ";10;20;40;22;41;60;9;58;\r\n" + cp1252(window) +
                                 ";-6;-4;12;-4;12;15;-6;13;\r\n";
    EXPECT_EQ(readFileBytes(unpacked + "data.dat"), expected);
    EXPECT_EQ(readFileBytes(unpacked + "Tür 1.bmp"), readFileBytes(door));
    EXPECT_EQ(readFileBytes(unpacked + "Haus.bmp"), readFileBytes(facade));
    EXPECT_FALSE(fs::exists(form->WorkFolder)) << "a save ends with the work folder removed";

    const std::string log = readFileBytes(LogFileName());
    EXPECT_NE(log.find("Speichere Projekt:" + project + "\r\n"), std::string::npos);
}

TEST_F(ProjectSaveLoad, LoadingRebuildsTheBackgroundToThePixel) {
    composeTwoElements();
    saveUnnamed(project);
    const TBitmap32& saved = form->ImageHintergrund.Bitmap();

    TForm_Schauplatz& other = loadInOtherForm(project);
    ASSERT_EQ(otherHost().openRequests.size(), 1u);
    EXPECT_EQ(otherHost().openRequests[0].title, "Projekt laden");
    EXPECT_EQ(otherHost().openRequests[0].filter, "Bildkomposition|*.vbk");
    EXPECT_EQ(otherHost().openRequests[0].defaultExt, "vbk");
    EXPECT_TRUE(otherHost().messages.empty()) << otherHost().messages.front();
    EXPECT_TRUE(sameBitmap(other.ImageHintergrund.Bitmap(), saved));
    EXPECT_EQ(other.ProjectFile, project);
    EXPECT_EQ(other.Caption(), "Velora Bildkomposition 2021 [" + project + "]");

    // The record list now names the unpacked pictures, kept in the window's picture store.
    ASSERT_EQ(other.ProjectData.size(), 3u);
    const std::string store = other.ProjectFolders().PictureStore();
    EXPECT_TRUE(startsWith(other.ProjectData[0], store)) << other.ProjectData[0];
    EXPECT_EQ(FileNamePart(other.ProjectData[0]), "Haus.bmp");
    EXPECT_TRUE(fs::exists(other.ProjectData[0]));
    const TElementRecord first = SplitElementRecord(other.ProjectData[1]);
    const TElementRecord second = SplitElementRecord(other.ProjectData[2]);
    EXPECT_TRUE(startsWith(first.Path, store));
    EXPECT_EQ(FileNamePart(first.Path), "Tür 1.bmp");
    EXPECT_EQ(FileNamePart(second.Path), "Fenster 2.bmp");
    EXPECT_EQ((std::array{second.X0, second.Y0, second.X1, second.Y1, second.X2, second.Y2,
                          second.X3, second.Y3}),
              (std::array{-6, -4, 12, -4, 12, 15, -6, 13}));
    EXPECT_EQ(other.LoadStore, (std::vector<std::string>{facade, door + ";10;20;40;22;41;60;9;58;",
                                                         window + ";-6;-4;12;-4;12;15;-6;13;"}));
    EXPECT_EQ(other.ElementFile, second.Path) << "the last replayed element is the element";

    const std::string log = readFileBytes(LogFileName());
    EXPECT_NE(log.find("Lade Projekt:" + project + "\r\n"), std::string::npos);
}

TEST_F(ProjectSaveLoad, TheReplayRendersAlsoWhenTheNewElementModeWasOff) {
    composeTwoElements();
    saveUnnamed(project);
    TForm_Schauplatz& other = otherForm();
    other.ClickMenuItem("NeuesElementpositionieren1");
    ASSERT_FALSE(other.Item("NeuesElementpositionieren1").checked);
    otherHost().openAnswers.push_back(project);
    other.Projektladen1Click();
    EXPECT_TRUE(other.Item("NeuesElementpositionieren1").checked);
    EXPECT_TRUE(sameBitmap(other.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
}

TEST_F(ProjectSaveLoad, TwoElementsWithOneFileNameShareTheEntryCopiedLast) {
    const std::string first = writeDoor("A/Tür.bmp", 7, 11, 0x111111);
    const std::string last = writeDoor("B/Tür.bmp", 7, 11, 0x999999);
    loadFacade(facade);
    accept(first, kDoorQuad);
    accept(last, kWindowQuad);
    saveUnnamed(project);
    EXPECT_EQ(entryNames(project), (std::vector<std::string>{"Haus.bmp", "Tür.bmp", "data.dat"}));
    EXPECT_EQ(readFileBytes(unpack(project) + "Tür.bmp"), readFileBytes(last));

    // Both come back drawn with the last picture.
    TForm_Schauplatz& expected = otherForm();
    loadFacade(expected, otherHost(), facade);
    accept(expected, otherHost(), last, kDoorQuad);
    accept(expected, otherHost(), last, kWindowQuad);
    TForm_Schauplatz& loaded = loadInOtherForm(project);
    EXPECT_TRUE(sameBitmap(loaded.ImageHintergrund.Bitmap(), expected.ImageHintergrund.Bitmap()));
    EXPECT_FALSE(sameBitmap(loaded.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()))
        << "the two pictures differ, so the first element must change";
}

TEST_F(ProjectSaveLoad, ASecondSaveUpdatesTheArchiveInPlace) {
    composeTwoElements();
    saveUnnamed(project);
    // The window is taken back, a new door accepted: the record file no longer names the
    // window's picture, whose entry stays.
    form->Schrittzurck1Click();
    const std::string third = writeDoor("Muster/Tür 3.bmp", 5, 5, 0x777777);
    accept(third, kDoorQuad);
    form->Projektspeichern1Click();
    EXPECT_EQ(host.saveRequests.size(), 1u) << "a named project is saved without a dialog";
    EXPECT_TRUE(host.messages.empty()) << host.messages.front();
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Fenster 2.bmp", "Haus.bmp", "Tür 1.bmp", "Tür 3.bmp",
                                        "data.dat"}));
    const std::string unpacked = unpack(project);
    EXPECT_EQ(readFileBytes(unpacked + "data.dat"),
              cp1252(facade) + "\r\n" + cp1252(door) + ";10;20;40;22;41;60;9;58;\r\n" +
                  cp1252(third) + ";10;20;40;22;41;60;9;58;\r\n");
    EXPECT_EQ(readFileBytes(unpacked + "Fenster 2.bmp"), readFileBytes(window));
    TForm_Schauplatz& loaded = loadInOtherForm(project);
    EXPECT_TRUE(sameBitmap(loaded.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
}

TEST_F(ProjectSaveLoad, AMirroredElementComesBackMirrored) {
    loadFacade(facade);
    host.openAnswers.push_back(door);
    form->BildvomElementladen1Click();
    form->rspeigeln1Click();
    form->Vertices = kDoorQuad;
    form->RenderElement();
    form->Elementbernehmen1Click();
    // The record line keeps its format and names a mirrored copy of the picture.
    const TElementRecord record = SplitElementRecord(form->ProjectData[1]);
    EXPECT_NE(record.Path, door);
    EXPECT_NE(FileNamePart(record.Path).find("gespiegelt"), std::string::npos) << record.Path;
    TBitmap32 copy, original;
    ReadPictureFile(copy, record.Path);
    ReadPictureFile(original, door);
    ASSERT_EQ(copy.Width(), original.Width());
    for (int y = 0; y < copy.Height(); ++y)
        for (int x = 0; x < copy.Width(); ++x)
            ASSERT_EQ(copy.GetPixel(x, y), original.GetPixel(copy.Width() - 1 - x, y));
    saveUnnamed(project);

    TForm_Schauplatz& loaded = loadInOtherForm(project);
    EXPECT_TRUE(sameBitmap(loaded.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));

    // Mirrored twice: the picture and the path of the file again.
    form->rspeigeln1Click();
    form->Elementbernehmen1Click();
    form->rspeigeln1Click();
    form->rspeigeln1Click();
    form->Elementbernehmen1Click();
    EXPECT_EQ(SplitElementRecord(form->ProjectData[3]).Path, door);
}

TEST_F(ProjectSaveLoad, ASaveUnderANewNameAfterALoadHoldsEveryPicture) {
    composeTwoElements();
    saveUnnamed(project);
    const TBitmap32& original = form->ImageHintergrund.Bitmap();

    TForm_Schauplatz& loaded = loadInOtherForm(project);
    const std::string copy = folder + "Kopie.vbk";
    otherHost().saveAnswers.push_back(copy);
    loaded.Projektspeichernals1Click();
    EXPECT_EQ(loaded.ProjectFile, copy);
    EXPECT_TRUE(otherHost().messages.empty()) << otherHost().messages.front();
    // The sources and the first project are gone: the copy alone must rebuild the picture.
    fs::remove_all(folder + "Muster");
    fs::remove_all(folder + "Fenster");
    fs::remove_all(folder + "Bilder mit Ümlaut");
    fs::remove(project);
    EXPECT_EQ(entryNames(copy),
              (std::vector<std::string>{"Fenster 2.bmp", "Haus.bmp", "Tür 1.bmp", "data.dat"}));
    // A save and a load in between leave the loaded pictures where the record list finds them.
    loaded.Projektspeichern1Click();
    TForm_Schauplatz& again = loadInOtherForm(copy);
    EXPECT_TRUE(sameBitmap(again.ImageHintergrund.Bitmap(), original));
    for (const std::string& line : again.ProjectData)
        EXPECT_TRUE(fs::exists(line.substr(0, line.find(';')))) << line;
}

TEST_F(ProjectSaveLoad, CancelledDialogsChangeNothing) {
    composeTwoElements();
    const std::vector<std::string> data = form->ProjectData;
    const std::size_t logSize = readFileBytes(LogFileName()).size();

    form->Projektladen1Click();        // open dialog cancelled
    form->Projektspeichernals1Click(); // save dialog cancelled
    form->Projektspeichern1Click();    // name question of the unnamed save cancelled
    // The facade and the two elements asked before, then the load.
    EXPECT_EQ(host.openRequests.size(), 4u);
    EXPECT_EQ(host.saveRequests.size(), 2u);
    EXPECT_EQ(form->ProjectFile, "Neues Projekt.vbk");
    EXPECT_EQ(form->ProjectData, data);
    EXPECT_EQ(form->Caption(), "Velora Bildkomposition 2021 [Neues Projekt.vbk] *")
        << "the changes are still unsaved";
    EXPECT_FALSE(fs::exists("Neues Projekt.vbk")) << "nothing is written to the current folder";
    EXPECT_FALSE(fs::exists(form->WorkFolder));
    const std::string log = readFileBytes(LogFileName());
    const std::string added = log.size() >= logSize ? log.substr(logSize) : log;
    EXPECT_EQ(added.find("Speichere Projekt:Neues Projekt.vbk"), std::string::npos);
}

TEST_F(ProjectSaveLoad, ANewProjectForgetsTheLoadedOne) {
    composeTwoElements();
    saveUnnamed(project);
    TForm_Schauplatz& loaded = loadInOtherForm(project);
    otherHost().openAnswers.push_back(facade);
    loaded.NeuesProjekt1Click();
    EXPECT_EQ(loaded.ProjectFile, "Neues Projekt.vbk");
    EXPECT_EQ(loaded.ProjectData, std::vector<std::string>{facade});
}

TEST_F(ProjectSaveLoad, ABackgroundFromNoFileIsSavedAsTheFacade) {
    // No default facade beside the program: the built-in picture is the background and the
    // record list is empty. The project must still name a facade to be loadable.
    ASSERT_TRUE(form->ProjectData.empty());
    saveUnnamed(project);
    ASSERT_EQ(form->ProjectData.size(), 1u);
    EXPECT_EQ(form->ProjectData[0].rfind(form->ProjectFolders().PictureStore(), 0), 0u);
    EXPECT_EQ(entryNames(project), (std::vector<std::string>{"Hintergrund.bmp", "data.dat"}));
    TForm_Schauplatz& loaded = loadInOtherForm(project);
    EXPECT_TRUE(otherHost().messages.empty()) << otherHost().messages.front();
    EXPECT_EQ(loaded.ImageHintergrund.Bitmap().Width(), 1000);
    EXPECT_TRUE(sameBitmap(loaded.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
}

} // namespace
} // namespace schauplatz::testing
