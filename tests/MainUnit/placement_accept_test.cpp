// Preview, acceptance and undo: the pictures and the record list after each step, the
// pictures commands that write or hand out the result.

#include "placement_fixture.h"
#include "support/U_SYSTOOLS.h"

#include "elements/PictureFilesDialog.h"
#include "project/RecordFile.h"

#include <fstream>
#include <iterator>

namespace schauplatz {
namespace {

using testing::PlacementForm;
using testing::sameBitmap;
using testing::samePixels;

using testing::elementLine;
using testing::Quad;
using testing::rectQuad;

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class PlacementAccept : public PlacementForm {
protected:
    void SetUp() override {
        PlacementForm::SetUp();
        facadePath = writePattern("facade.bmp", 300, 200, 21);
        doorPath = writePattern("door.bmp", 41, 31, 22);
        loadFacade(facadePath);
        loadElement(doorPath);
    }
    // What the preview must hold: a copy of the background with every non-zero workspace
    // pixel written over it unchanged.
    std::unique_ptr<TBitmap32> expectedPreview(const TBitmap32& base) {
        auto result = std::make_unique<TBitmap32>();
        TBitmap32& want = *result;
        want.Assign(&base);
        const TBitmap32& ws = workspace();
        for (int y = 0; y < std::min(ws.Height(), want.Height()); ++y)
            for (int x = 0; x < std::min(ws.Width(), want.Width()); ++x)
                if (ws.GetPixel(x, y) != 0) want.SetPixel(x, y, ws.GetPixel(x, y));
        return result;
    }

    std::string facadePath;
    std::string doorPath;
};

TEST_F(PlacementAccept, IdleBuildsThePreviewWhenSomethingChanged) {
    setQuad(rectQuad(10, 20, 90, 80));
    form->AppEventsIdle();
    EXPECT_TRUE(sameBitmap(preview(), *expectedPreview(background())));
    // Nothing changed: the next pass leaves the preview alone (a mark in it stays).
    preview().SetPixel(0, 0, 0x12345678u);
    form->AppEventsIdle();
    EXPECT_EQ(preview().GetPixel(0, 0), 0x12345678u);
    // A drag changes the workspace: paused while dragging, rebuilt after the release.
    press(90, 80);
    moveTo(120, 100);
    form->AppEventsIdle();
    EXPECT_EQ(preview().GetPixel(0, 0), 0x12345678u);
    release(120, 100);
    form->AppEventsIdle();
    EXPECT_TRUE(sameBitmap(preview(), *expectedPreview(background())));
    // Frame hidden: no rebuild by the idle handler.
    form->ClickMenuItem("Vertexanaus1");
    setQuad(rectQuad(50, 20, 90, 80));
    form->AppEventsIdle();
    EXPECT_FALSE(sameBitmap(preview(), *expectedPreview(background())));
}

TEST_F(PlacementAccept, TwoAcceptancesThenUndoTwice) {
    TBitmap32 original;
    original.Assign(&background());
    const Quad first = rectQuad(100, 60, 180, 150);
    setQuad(first);
    form->AppEventsIdle();

    const auto afterFirstPicture = expectedPreview(original);
    const TBitmap32& afterFirst = *afterFirstPicture;
    form->Elementbernehmen1Click();
    EXPECT_TRUE(sameBitmap(background(), afterFirst));
    EXPECT_TRUE(sameBitmap(form->ImageUndo.Bitmap(), original));
    EXPECT_TRUE(sameBitmap(preview(), afterFirst));
    EXPECT_EQ(form->ProjectData,
              (std::vector<std::string>{facadePath, elementLine(doorPath, first)}));
    // The same element stands ready again at its default place (RY = 200 / 30 is smaller).
    const Quad place = rectQuad(0, 0, 53, 40);
    EXPECT_EQ(form->Vertices, place);
    EXPECT_TRUE(form->ShowFrame);

    // Accepting again without touching anything merges it once more at the default place.
    const auto afterSecond = expectedPreview(afterFirst);
    form->Elementbernehmen1Click();
    EXPECT_TRUE(sameBitmap(background(), *afterSecond));
    EXPECT_TRUE(sameBitmap(form->ImageUndo.Bitmap(), afterFirst));
    EXPECT_EQ(form->ProjectData, (std::vector<std::string>{facadePath, elementLine(doorPath, first),
                                                           elementLine(doorPath, place)}));

    // Undo: the background before the second acceptance, and its record line goes with it.
    form->Schrittzurck1Click();
    EXPECT_TRUE(sameBitmap(background(), afterFirst));
    EXPECT_EQ(form->ProjectData,
              (std::vector<std::string>{facadePath, elementLine(doorPath, first)}));
    EXPECT_TRUE(sameBitmap(form->ImageUndo.Bitmap(), original));
    // The history goes all the way back: a second undo gives the facade and the record list
    // of the facade alone; a third changes nothing.
    form->Schrittzurck1Click();
    EXPECT_TRUE(sameBitmap(background(), original));
    EXPECT_EQ(form->ProjectData, (std::vector<std::string>{facadePath}));
    EXPECT_TRUE(form->ImageUndo.Bitmap().IsEmpty());
    EXPECT_FALSE(form->Item("Schrittzurck1").enabled);
    form->Schrittzurck1Click();
    EXPECT_TRUE(sameBitmap(background(), original));
    // The preview follows at the next idle pass.
    form->AppEventsIdle();
    EXPECT_TRUE(sameBitmap(preview(), *expectedPreview(original)));
    // Redo brings both acceptances back, in order.
    form->Schrittvor1Click();
    EXPECT_TRUE(sameBitmap(background(), afterFirst));
    form->Schrittvor1Click();
    EXPECT_TRUE(sameBitmap(background(), *afterSecond));
    EXPECT_EQ(form->ProjectData, (std::vector<std::string>{facadePath, elementLine(doorPath, first),
                                                           elementLine(doorPath, place)}));
    EXPECT_FALSE(form->Item("Schrittvor1").enabled);
}

TEST_F(PlacementAccept, UndoWithNothingToUndoChangesNothing) {
    TBitmap32 original;
    original.Assign(&background());
    form->Schrittzurck1Click(); // before any acceptance
    EXPECT_TRUE(sameBitmap(background(), original));

    form->Elementbernehmen1Click();
    TBitmap32 accepted;
    accepted.Assign(&background());
    loadFacade(facadePath); // a new facade forgets the undo step
    EXPECT_EQ(form->ImageUndo.Bitmap().Width(), 0);
    form->Schrittzurck1Click();
    EXPECT_TRUE(sameBitmap(background(), original));
    EXPECT_EQ(form->ProjectData, std::vector<std::string>{facadePath});

    form->Elementbernehmen1Click();
    host.openAnswers.clear();
    form->NeuesProjekt1Click(); // dialog cancelled: the background stays, the undo goes
    EXPECT_EQ(form->ImageUndo.Bitmap().Width(), 0);
    EXPECT_TRUE(form->ProjectData.empty());
    TBitmap32 kept;
    kept.Assign(&background());
    form->Schrittzurck1Click();
    EXPECT_TRUE(sameBitmap(background(), kept));
}

TEST_F(PlacementAccept, RecordLineWithNegativeCoordinates) {
    const Quad quad{QuadPoint{-12, 40}, QuadPoint{70, -3}, QuadPoint{81, 95}, QuadPoint{-1, 88}};
    setQuad(quad);
    form->Elementbernehmen1Click();
    ASSERT_EQ(form->ProjectData.size(), 2u);
    EXPECT_EQ(form->ProjectData[1], doorPath + ";-12;40;70;-3;81;95;-1;88;");
    EXPECT_EQ(SplitElementRecord(form->ProjectData[1]).X0, -12);
}

TEST_F(PlacementAccept, ModeOffAcceptsTheLastRenderingAndShowsTheFrame) {
    setQuad(rectQuad(20, 30, 70, 90));
    form->ClickMenuItem("Vertexanaus1");               // frame off
    form->ClickMenuItem("NeuesElementpositionieren1"); // mode off
    ASSERT_FALSE(form->ShowFrame);
    TBitmap32 original;
    original.Assign(&background());
    form->Elementbernehmen1Click();
    EXPECT_TRUE(sameBitmap(background(), *expectedPreview(original)));
    EXPECT_EQ(form->Vertices, rectQuad(20, 30, 70, 90)); // not placed again
    EXPECT_TRUE(form->Item("Vertexanaus1").checked);
    EXPECT_TRUE(form->ShowFrame);
    EXPECT_GT(host.menuStateChanges, 0);
}

TEST_F(PlacementAccept, LineZeroNamesTheBackgroundWhenNoFacadeWasLoaded) {
    host.openAnswers.clear();
    form->NeuesProjekt1Click(); // cancelled: no facade path
    ASSERT_TRUE(form->ProjectData.empty());
    TBitmap32 original;
    original.Assign(&background());
    setQuad(rectQuad(5, 5, 45, 35));
    form->Elementbernehmen1Click();
    ASSERT_EQ(form->ProjectData.size(), 2u);
    const std::string& kept = form->ProjectData[0];
    EXPECT_EQ(kept.rfind(form->ProjectFolders().PictureStore(), 0), 0u) << kept;
    EXPECT_EQ(FileNamePart(kept), "Hintergrund.bmp");
    EXPECT_EQ(kept.substr(kept.size() - 4), ".bmp");
    TBitmap32 reread;
    ReadPictureFile(reread, kept);
    EXPECT_TRUE(sameBitmap(reread, original));
    EXPECT_EQ(form->ProjectData[1], elementLine(doorPath, rectQuad(5, 5, 45, 35)));
}

TEST_F(PlacementAccept, PathWithSemicolonIsRecordedAsACopy) {
    const std::string odd = writePattern("tür;1;a.bmp", 41, 31, 23);
    loadElement(odd);
    setQuad(rectQuad(5, 5, 45, 35));
    form->Elementbernehmen1Click();
    ASSERT_EQ(form->ProjectData.size(), 2u);
    const TElementRecord record = SplitElementRecord(form->ProjectData[1]);
    EXPECT_EQ(record.Path.find(';'), std::string::npos);
    EXPECT_EQ(record.Path.substr(record.Path.rfind('/') + 1), "tür_1_a.bmp");
    EXPECT_EQ(record.X2, 45);
    EXPECT_EQ(fileBytes(record.Path), fileBytes(odd));
    EXPECT_EQ(form->ElementFile, odd); // the element itself stays what was loaded
}

TEST_F(PlacementAccept, SaveWritesThePreviewAndClipboardGetsTheOpaqueBackground) {
    setQuad(rectQuad(30, 30, 110, 90));
    form->AppEventsIdle();
    const std::string out = m_folder + "out.bmp";
    form->Bildspeichern1Click(); // cancelled
    EXPECT_FALSE(std::filesystem::exists(out));
    ASSERT_EQ(host.saveRequests.size(), 1u);
    // Bitmaps first and by default, then PNG and JPEG.
    EXPECT_EQ(host.saveRequests[0].filter.rfind("Bitmaps (*.bmp)|*.bmp|", 0), 0u);
    EXPECT_EQ(host.saveRequests[0].defaultExt, "bmp");
    EXPECT_EQ(host.saveRequests[0].title, "Bild speichern");
    host.saveAnswers.push_back(out);
    form->Bildspeichern1Click();
    TBitmap32 saved;
    ReadPictureFile(saved, out);
    EXPECT_TRUE(sameBitmap(saved, *expectedPreview(background())));
    EXPECT_EQ(std::filesystem::file_size(out), 54u + 4u * 300u * 200u);

    // Some transparency in the background: the clipboard carries only the colour channels.
    background().SetPixel(3, 4, 0x00102030u);
    form->InZwischenablagekopieren1Click();
    ASSERT_EQ(host.clipboard.size(), 1u);
    const ClipboardPicture& clip = host.clipboard[0];
    ASSERT_EQ(clip.width, 300);
    ASSERT_EQ(clip.height, 200);
    EXPECT_TRUE(samePixels(
        300, 200, [&](int x, int y) { return clip.pixels[static_cast<std::size_t>(y * 300 + x)]; },
        [&](int x, int y) { return background().GetPixel(x, y) | 0xFF000000u; }));
}

} // namespace
} // namespace schauplatz
