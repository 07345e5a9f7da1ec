// Never losing a seller's work through the window's handlers: the unsaved mark, the question
// before closing, a new project, a load or a facade with each answer, saves that fail keeping
// name and caption, a project with a one-pixel element picture, and the saved picture showing
// what the user sees.

#include "project_fixture.h"

#include "composition/ProjectReplay.h"
#include "project/RecordFile.h"
#include "support/u_logfile.h"

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kQuestion =
    "Das Projekt wurde geändert. Sollen die Änderungen gespeichert werden?";
const std::array<QuadPoint, 4> kQuad{QuadPoint{10, 10}, QuadPoint{40, 12}, QuadPoint{41, 50},
                                     QuadPoint{9, 48}};

class UnsavedChanges : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        facade = writePattern("Haus.bmp", 90, 70, 3);
        door = writeDoor("Muster/Tür.bmp", 8, 12, 5);
        loadFacade(facade);
        project = folder + "Angebot.vbk";
    }
    void change() { accept(door, kQuad); }
    std::string facade, door, project;
};

TEST_F(UnsavedChanges, TheCaptionMarksChangesUntilTheyAreSaved) {
    EXPECT_TRUE(form->Modified()) << "a new facade is a change";
    host.saveAnswers.push_back(project);
    ASSERT_TRUE(form->SaveProject(form->ProjectFile));
    EXPECT_FALSE(form->Modified());
    EXPECT_EQ(form->Caption(), "Velora Bildkomposition 2021 [" + project + "]");
    change();
    EXPECT_EQ(form->Caption(), "Velora Bildkomposition 2021 [" + project + "] *");
    // Undo back to what was saved: nothing to save any more; redo: changed again.
    form->Schrittzurck1Click();
    EXPECT_FALSE(form->Modified());
    form->Schrittvor1Click();
    EXPECT_TRUE(form->Modified());
    form->Projektspeichern1Click();
    EXPECT_FALSE(form->Modified());
    form->LoadProject(project);
    EXPECT_FALSE(form->Modified()) << "a loaded project holds no changes";
}

TEST_F(UnsavedChanges, EveryCommandThatWouldLoseChangesAsksFirst) {
    const std::string other = writePattern("Anderes Haus.bmp", 60, 40, 7);
    form->SaveProject(project);
    struct Case {
        const char* what;
        std::function<void()> command;
    };
    const std::vector<Case> cases = {
        {"new project", [&] { form->NeuesProjekt1Click(); }},
        {"load", [&] { form->Projektladen1Click(); }},
        {"facade", [&] { form->FassadeLaden1Click(); }},
        {"close", [&] { EXPECT_FALSE(form->FormCloseQuery()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        change();
        const std::vector<std::string> lines = form->ProjectData;
        host.questions.clear();
        host.openRequests.clear();
        host.saveChangesAnswers = {SaveChangesAnswer::Cancel};
        host.openAnswers = {other};
        c.command();
        ASSERT_EQ(host.questions, std::vector<std::string>{kQuestion});
        EXPECT_TRUE(host.openRequests.empty()) << "cancelled before any dialog";
        EXPECT_EQ(form->ProjectData, lines);
        EXPECT_TRUE(form->Modified());
    }
    // Nothing to lose: no question.
    form->Projektspeichern1Click();
    host.questions.clear();
    EXPECT_TRUE(form->FormCloseQuery());
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(UnsavedChanges, SpeichernSavesFirstAndVerwerfenGoesOn) {
    change();
    // "Speichern" on a project never saved asks for its name; the facade dialog follows.
    host.saveChangesAnswers = {SaveChangesAnswer::Save};
    host.saveAnswers = {project};
    const std::string other = writePattern("Anderes Haus.bmp", 60, 40, 7);
    host.openAnswers = {other};
    form->FassadeLaden1Click();
    EXPECT_EQ(form->ProjectData, std::vector<std::string>{other});
    TForm_Schauplatz& loaded = otherForm();
    loaded.LoadProject(project);
    EXPECT_EQ(loaded.ProjectData.size(), 2u) << "the changes were saved";

    // A cancelled name question cancels the command.
    change();
    form->ProjectFile = "Neues Projekt.vbk";
    host.saveChangesAnswers = {SaveChangesAnswer::Save};
    host.saveAnswers.clear();
    host.openAnswers = {facade};
    form->FassadeLaden1Click();
    EXPECT_EQ(form->ProjectData.size(), 2u);

    // "Verwerfen": the command goes on and the changes are gone.
    host.saveChangesAnswers = {SaveChangesAnswer::Discard};
    form->NeuesProjekt1Click();
    EXPECT_EQ(form->ProjectData, std::vector<std::string>{facade});
    EXPECT_TRUE(form->FormCloseQuery());
}

TEST_F(UnsavedChanges, AFailedSaveAsKeepsNameCaptionAndMark) {
    change();
    const std::string locked = folder + "gesperrt/";
    fs::create_directories(locked);
    const std::string caption = form->Caption();
    // A folder in place of the project file cannot be replaced.
    const std::string target = locked + "Angebot.vbk";
    fs::create_directories(target);
    host.saveAnswers = {target};
    try {
        form->Projektspeichernals1Click();
    } catch (const std::exception&) {
        // reaches the error handling
    }
    EXPECT_EQ(form->ProjectFile, "Neues Projekt.vbk");
    EXPECT_EQ(form->Caption(), caption);
    EXPECT_TRUE(form->Modified());
    EXPECT_TRUE(fs::is_directory(target));
}

TEST_F(UnsavedChanges, AProjectWithAOnePixelElementLoads) {
    const std::string thin = writeDoor("Muster/Leiste.bmp", 1, 9, 8);
    accept(door, kQuad);
    host.openAnswers.push_back(thin);
    form->BildvomElementladen1Click();
    form->Vertices = {QuadPoint{50, 5}, QuadPoint{60, 5}, QuadPoint{60, 40}, QuadPoint{50, 40}};
    form->Elementbernehmen1Click(); // it cannot be drawn, and it is placed all the same
    accept(door, {QuadPoint{60, 30}, QuadPoint{80, 30}, QuadPoint{80, 60}, QuadPoint{60, 60}});
    form->SaveProject(project);
    TForm_Schauplatz& loaded = otherForm();
    ASSERT_TRUE(loaded.LoadProject(project));
    ASSERT_EQ(loaded.ProjectData.size(), 4u) << "every element is placed";
    EXPECT_TRUE(sameBitmap(loaded.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
    const std::string log = readFileBytes(LogFileName());
    EXPECT_NE(log.find("Element kann nicht gezeichnet werden: "), std::string::npos);
}

TEST_F(UnsavedChanges, TheSavedPictureIsWhatTheUserSees) {
    change(); // accepted; the same door waits at its default place
    const std::string picture = folder + "Bild.bmp";
    host.saveAnswers = {picture};
    form->Bildspeichern1Click();
    TBitmap32 saved;
    ReadPictureFile(saved, picture);
    EXPECT_TRUE(sameBitmap(saved, form->ImageHintergrund.Bitmap()))
        << "the parked copy is not part of the picture";

    // Moved, with the frame hidden: the picture shows it where it stands now.
    form->ClickMenuItem("Vertexanaus1");
    form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, 3, 3);
    form->WorkingPlaceImage.MouseMove(ssLeft, 23, 18);
    form->WorkingPlaceImage.MouseUp(mbLeft, 0, 23, 18);
    host.saveAnswers = {picture};
    form->Bildspeichern1Click();
    ReadPictureFile(saved, picture);
    TBitmap32 expected;
    expected.Assign(&form->ImageHintergrund.Bitmap());
    const TBitmap32& ws = form->WorkingPlaceImage.Bitmap();
    for (int y = 0; y < ws.Height(); ++y)
        for (int x = 0; x < ws.Width(); ++x)
            if (ws.GetPixel(x, y) != 0) expected.SetPixel(x, y, ws.GetPixel(x, y));
    EXPECT_TRUE(sameBitmap(saved, expected));
    EXPECT_FALSE(sameBitmap(saved, form->ImageHintergrund.Bitmap()));
}

TEST_F(UnsavedChanges, AFacadeLoadDrawsTheElementAtOnce) {
    host.openAnswers = {door};
    form->BildvomElementladen1Click();
    form->Elementbernehmen1Click();
    const std::string other = writePattern("Anderes Haus.bmp", 60, 40, 7);
    host.saveChangesAnswers = {SaveChangesAnswer::Discard};
    loadFacade(other);
    const TBitmap32& ws = form->WorkingPlaceImage.Bitmap();
    EXPECT_NE(ws.GetPixel(form->Vertices[0].X + 1, form->Vertices[0].Y + 2), 0u);
    // So an acceptance right away records what the picture shows.
    form->Elementbernehmen1Click();
    const TComposition replayed = ReplayRecordLines(form->ProjectData, {});
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), replayed.Background()));
}

} // namespace
} // namespace schauplatz::testing
