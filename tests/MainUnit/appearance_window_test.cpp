// The element's appearance through the window's handlers: the dialog "Darstellung" with its
// preview and Abbrechen, the stand-in while a corner is dragged, the acceptance, taking up,
// undo and redo, the project file (its entry schauplatz.json and its absence), a second
// window, schauplatz-render, the recovery copy, the clipboard and a damaged entry.

#include "project_fixture.h"

#include "composition/ProjectReplay.h"
#include "project/AppearanceEntry.h"
#include "raster/LightMatching.h"
#include "support/u_logfile.h"

#include <cstdlib>
#include <sys/wait.h>

namespace schauplatz::testing {
namespace {

namespace fs = std::filesystem;

const std::string kRenderer = std::string(SCHAUPLATZ_PROGRAM_DIR) + "/schauplatz-render";

const std::array<QuadPoint, 4> kQuad{QuadPoint{20, 15}, QuadPoint{52, 18}, QuadPoint{50, 70},
                                     QuadPoint{22, 66}};

TAppearance built() {
    TAppearance a;
    a.Smooth = true;
    a.Brightness = -25;
    a.Contrast = 10;
    a.Temperature = 30;
    a.Opacity = 230;
    a.ShadowDepth = 9;
    a.ShadowDarkness = 60;
    a.ShadowSide = TShadowSide::Right;
    return a;
}

class AppearanceWindow : public ProjectForm {
protected:
    void SetUp() override {
        ProjectForm::SetUp();
        facade = writePattern("Haus.bmp", 160, 120, 3);
        door = writeDoor("Muster/Tür.bmp", 64, 120, 5);
        project = folder + "Projekt.vbk";
        loadFacade(facade);
    }
    // The element offered, given settings through the dialog (OK), placed on quad.
    void place(TForm_Schauplatz& target, ScriptedHost& targetHost, const TAppearance& a,
               std::array<QuadPoint, 4> quad = kQuad) {
        targetHost.openAnswers.push_back(door);
        target.BildvomElementladen1Click();
        targetHost.appearanceAnswers.push_back({{a}, false, true});
        target.Darstellung1Click();
        target.Vertices = quad;
        target.RenderElement();
    }
    void place(const TAppearance& a, std::array<QuadPoint, 4> quad = kQuad) {
        place(*form, host, a, quad);
    }
    static std::string bmpBytes(const TBitmap32& picture, const std::string& path) {
        WriteBitmapFile(picture, path);
        return readFileBytes(path);
    }
    int render(const std::string& projectFile, const std::string& output) {
        const std::string command =
            "'" + kRenderer + "' '" + projectFile + "' '" + output + "' >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string facade, door, project;
};

TEST_F(AppearanceWindow, NeutralSettingsGiveTheExactPixelsAndNoEntry) {
    // A window that never opened the dialog, and one whose settings went there and back.
    accept(door, kQuad);
    TForm_Schauplatz& other = otherForm();
    loadFacade(other, otherHost(), facade);
    place(other, otherHost(), built());
    otherHost().appearanceAnswers.push_back({{TAppearance{}}, false, true});
    other.Darstellung1Click();
    other.Elementbernehmen1Click();
    EXPECT_TRUE(sameBitmap(other.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
    // The exact rendering of the element alone: what the record line gives.
    const TComposition replayed = ReplayRecordLines(form->ProjectData, {});
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), replayed.Background()));

    ASSERT_TRUE(form->SaveProject(project));
    EXPECT_EQ(entryNames(project), (std::vector<std::string>{"Haus.bmp", "Tür.bmp", "data.dat"}));
    EXPECT_EQ(form->Composition().AppearanceEntry(), "");
}

TEST_F(AppearanceWindow, AcceptedSavedLoadedAndRenderedGiveTheSameBytes) {
    place(built());
    EXPECT_EQ(form->ElementAppearance(), built());
    form->UpdatePreview();
    TBitmap32 preview;
    preview.Assign(&form->ImageCombined.Bitmap());
    form->Elementbernehmen1Click();
    ASSERT_EQ(form->Composition().Elements().size(), 1u);
    EXPECT_EQ(form->Composition().Elements()[0].Appearance, built());
    // What the preview showed is what was accepted.
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), preview));
    // And it differs from the exact rendering.
    const TComposition exact = ReplayRecordLines(form->ProjectData, {});
    EXPECT_FALSE(sameBitmap(form->ImageHintergrund.Bitmap(), exact.Background()));

    ASSERT_TRUE(form->SaveProject(project));
    EXPECT_EQ(entryNames(project),
              (std::vector<std::string>{"Haus.bmp", "Tür.bmp", "data.dat", "schauplatz.json"}));
    const std::string unpacked = unpack(project);
    const auto entry = ReadAppearanceEntry(readFileBytes(unpacked + "schauplatz.json"));
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(*entry, std::vector<TAppearance>{built()});

    TForm_Schauplatz& loaded = otherForm();
    ASSERT_TRUE(loaded.LoadProject(project));
    EXPECT_TRUE(sameBitmap(loaded.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
    ASSERT_EQ(loaded.Composition().Elements().size(), 1u);
    EXPECT_EQ(loaded.Composition().Elements()[0].Appearance, built());

    ASSERT_TRUE(fs::exists(kRenderer)) << kRenderer;
    const std::string output = folder + "gerendert.bmp";
    ASSERT_EQ(render(project, output), 0);
    EXPECT_EQ(readFileBytes(output), bmpBytes(form->ImageHintergrund.Bitmap(), folder + "w.bmp"));

    // Saved again from the loaded window: the same entry.
    const std::string again = folder + "Wieder.vbk";
    ASSERT_TRUE(loaded.SaveProject(again));
    EXPECT_EQ(readFileBytes(unpack(again) + "schauplatz.json"),
              readFileBytes(unpacked + "schauplatz.json"));
}

TEST_F(AppearanceWindow, TheDialogPreviewsEveryChangeAndAbbrechenPutsTheSettingsBack) {
    place(built());
    TBitmap32 before;
    before.Assign(&form->WorkingPlaceImage.Bitmap());

    TAppearance darker = built();
    darker.Brightness = -80;
    host.appearanceAnswers.push_back({{darker}, false, false});
    form->Darstellung1Click();
    EXPECT_EQ(host.appearanceShown.back(), built());
    EXPECT_EQ(form->ElementAppearance(), built()) << "Abbrechen restores";
    EXPECT_TRUE(sameBitmap(form->WorkingPlaceImage.Bitmap(), before));
    EXPECT_EQ(host.appearanceChoices.size(), 1u) << "only OK is remembered";

    // OK: remembered, and new elements take it.
    host.appearanceAnswers.push_back({{darker}, false, true});
    form->Darstellung1Click();
    EXPECT_FALSE(sameBitmap(form->WorkingPlaceImage.Bitmap(), before));
    EXPECT_EQ(host.appearanceChoices.back(), darker);
    form->Elementbernehmen1Click();
    EXPECT_EQ(form->ElementAppearance(), darker);
}

TEST_F(AppearanceWindow, AutomaticMatchingTakesTheSuggestionForTheQuad) {
    place(TAppearance{});
    host.appearanceAnswers.push_back({{}, true, true});
    form->Darstellung1Click();
    const TElementQuad quad{TPoint{kQuad[0].X, kQuad[0].Y}, TPoint{kQuad[1].X, kQuad[1].Y},
                            TPoint{kQuad[2].X, kQuad[2].Y}, TPoint{kQuad[3].X, kQuad[3].Y}};
    const TAppearance expected = AutoMatchAppearance(form->Composition().Facade(),
                                                     form->ImageSelectedDoor.Bitmap(), quad, {});
    EXPECT_EQ(form->ElementAppearance(), expected);
    EXPECT_FALSE(IsLightNeutral(expected)) << "the pattern facade differs from the door";
}

TEST_F(AppearanceWindow, TheNextRunStartsWithTheSettingsKept) {
    ProjectHost kept;
    kept.keptAppearance = built();
    const std::unique_ptr<TForm_Schauplatz> started = startForm(kept);
    EXPECT_EQ(started->ElementAppearance(), built());
    // A record line replayed by hand is drawn as recorded; the next element takes the kept
    // settings again.
    loadFacade(*started, kept, facade);
    started->ReplayElement(door, 20, 15, 52, 18, 50, 70, 22, 66);
    ASSERT_EQ(started->Composition().Elements().size(), 1u);
    EXPECT_EQ(started->Composition().Elements()[0].Appearance, TAppearance{});
    EXPECT_EQ(started->ElementAppearance(), built());
    started->FormDestroy();
}

TEST_F(AppearanceWindow, ADragShowsTheStandInAndTheSmoothRenderingAtRest) {
    place(built());
    TBitmap32 smooth;
    smooth.Assign(&form->WorkingPlaceImage.Bitmap());
    // A corner taken and moved away and back: the stand-in while it is held.
    const QuadPoint corner = form->Vertices[1];
    form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, corner.X, corner.Y);
    form->WorkingPlaceImage.MouseMove(ssLeft, corner.X + 6, corner.Y);
    form->WorkingPlaceImage.MouseMove(ssLeft, corner.X, corner.Y);
    EXPECT_TRUE(form->SmoothRenderingPending());
    EXPECT_FALSE(sameBitmap(form->WorkingPlaceImage.Bitmap(), smooth));
    // The mouse rests: a few idle passes bring the smooth rendering while it is still held.
    for (int i = 0; i < 3; ++i)
        form->AppEventsIdle();
    EXPECT_FALSE(form->SmoothRenderingPending());
    EXPECT_TRUE(sameBitmap(form->WorkingPlaceImage.Bitmap(), smooth));
    // Another step, then the release: smooth at once.
    form->WorkingPlaceImage.MouseMove(ssLeft, corner.X + 1, corner.Y);
    EXPECT_TRUE(form->SmoothRenderingPending());
    form->WorkingPlaceImage.MouseUp(mbLeft, 0, corner.X + 1, corner.Y);
    EXPECT_FALSE(form->SmoothRenderingPending());
    form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, corner.X + 1, corner.Y);
    form->WorkingPlaceImage.MouseMove(ssLeft, corner.X, corner.Y);
    form->WorkingPlaceImage.MouseUp(mbLeft, 0, corner.X, corner.Y);
    EXPECT_TRUE(sameBitmap(form->WorkingPlaceImage.Bitmap(), smooth));
    // What is accepted is the smooth result.
    form->UpdatePreview();
    TBitmap32 preview;
    preview.Assign(&form->ImageCombined.Bitmap());
    form->Elementbernehmen1Click();
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), preview));
}

TEST_F(AppearanceWindow, TakingUpKeepsTheSettingsAndUndoRedoFollow) {
    place(built());
    form->Elementbernehmen1Click();
    TBitmap32 withBuilt;
    withBuilt.Assign(&form->ImageHintergrund.Bitmap());
    // The next element takes the settings last chosen; it is given neutral ones.
    EXPECT_EQ(form->ElementAppearance(), built());
    host.appearanceAnswers.push_back({{TAppearance{}}, false, true});
    form->Darstellung1Click();

    // A double click inside the placed element takes it up with its settings.
    form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, 36, 40);
    form->WorkingPlaceImage.MouseUp(mbLeft, 0, 36, 40);
    form->WorkingPlaceImage.DblClick(mbLeft, ssLeft, 36, 40);
    form->WorkingPlaceImage.MouseUp(mbLeft, 0, 36, 40);
    ASSERT_TRUE(form->Editing());
    EXPECT_EQ(form->ElementAppearance(), built());

    TAppearance lighter = built();
    lighter.Brightness = 40;
    lighter.ShadowSide = TShadowSide::Left;
    host.appearanceAnswers.push_back({{lighter}, false, true});
    form->Darstellung1Click();
    form->Elementbernehmen1Click();
    ASSERT_FALSE(form->Editing());
    EXPECT_EQ(form->Composition().Elements()[0].Appearance, lighter);
    EXPECT_EQ(form->Composition().Elements()[0].Quad, kQuad);
    TBitmap32 withLighter;
    withLighter.Assign(&form->ImageHintergrund.Bitmap());
    EXPECT_FALSE(sameBitmap(withLighter, withBuilt));

    form->Schrittzurck1Click();
    EXPECT_EQ(form->Composition().Elements()[0].Appearance, built());
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), withBuilt));
    // The undo picture is the background before the step undo takes back.
    form->Schrittvor1Click();
    EXPECT_TRUE(sameBitmap(form->ImageHintergrund.Bitmap(), withLighter));
    EXPECT_TRUE(sameBitmap(form->ImageUndo.Bitmap(), withBuilt));

    // A second window accepting the lighter element directly draws the same bytes.
    TForm_Schauplatz& other = otherForm();
    loadFacade(other, otherHost(), facade);
    place(other, otherHost(), lighter);
    other.Elementbernehmen1Click();
    EXPECT_TRUE(sameBitmap(other.ImageHintergrund.Bitmap(), withLighter));
}

TEST_F(AppearanceWindow, ClipboardAndSavedPictureShowTheBackground) {
    place(built());
    form->Elementbernehmen1Click();
    form->InZwischenablagekopieren1Click();
    ASSERT_EQ(host.clipboard.size(), 1u);
    const TBitmap32& background = form->ImageHintergrund.Bitmap();
    ASSERT_EQ(host.clipboard[0].width, background.Width());
    for (int i = 0; i < background.Width() * background.Height(); ++i)
        ASSERT_EQ(host.clipboard[0].pixels[static_cast<std::size_t>(i)],
                  background.Bits()[i] | 0xFF000000u);
    // The element offered again is untouched: the saved picture is the background.
    const std::string saved = folder + "Bild.bmp";
    host.saveAnswers.push_back(saved);
    form->Bildspeichern1Click();
    EXPECT_EQ(readFileBytes(saved), bmpBytes(background, folder + "b.bmp"));
}

TEST_F(AppearanceWindow, TheRecoveryCopyKeepsTheSettings) {
    form->EnableRecovery(folder + "state/recovery/");
    place(built());
    form->Elementbernehmen1Click();
    ASSERT_TRUE(form->Recovery()->WaitUntilWritten());
    std::string copy;
    for (const auto& file : fs::directory_iterator(folder + "state/recovery/"))
        if (file.path().extension() == ".vbk") copy = file.path().string();
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(entryNames(copy),
              (std::vector<std::string>{"Haus.bmp", "Tür.bmp", "data.dat", "schauplatz.json"}));
    TForm_Schauplatz& restored = otherForm();
    ASSERT_TRUE(restored.LoadProject(copy));
    EXPECT_TRUE(sameBitmap(restored.ImageHintergrund.Bitmap(), form->ImageHintergrund.Bitmap()));
}

TEST_F(AppearanceWindow, ADamagedEntryIsLoggedAndTheProjectLoadsAsRecorded) {
    place(built());
    form->Elementbernehmen1Click();
    ASSERT_TRUE(form->SaveProject(project));
    // The same archive with a damaged entry.
    const std::string source = unpack(project);
    writeFileBytes(source + "schauplatz.json", "{\"format\": \"schauplatz-appearance\", \"vers");
    const std::string damaged = folder + "Beschädigt.vbk";
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.SetArchive(damaged));
        ASSERT_TRUE(zip.AddFolder(source));
    }
    TForm_Schauplatz& loaded = otherForm();
    ASSERT_TRUE(loaded.LoadProject(damaged));
    const TComposition exact = ReplayRecordLines(form->ProjectData, {});
    EXPECT_TRUE(sameBitmap(loaded.ImageHintergrund.Bitmap(), exact.Background()));
    EXPECT_EQ(loaded.Composition().Elements()[0].Appearance, TAppearance{});
    EXPECT_NE(readFileBytes(LogFileName()).find(kAppearanceIgnoredLog), std::string::npos);
    // An entry for another number of elements is not used either.
    writeFileBytes(source + "schauplatz.json", WriteAppearanceEntry({built(), built()}));
    const std::string mismatched = folder + "Zwei.vbk";
    {
        TZipArchive zip;
        ASSERT_TRUE(zip.SetArchive(mismatched));
        ASSERT_TRUE(zip.AddFolder(source));
    }
    TForm_Schauplatz& second = otherForm();
    ASSERT_TRUE(second.LoadProject(mismatched));
    EXPECT_TRUE(sameBitmap(second.ImageHintergrund.Bitmap(), exact.Background()));
}

} // namespace
} // namespace schauplatz::testing
