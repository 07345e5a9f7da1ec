// The element and its quad as the user handles them: the default place, loading, rendering,
// the grab zones, dragging, mirroring, opacity and the new-element mode.

#include "placement_fixture.h"

#include "elements/PictureFilesDialog.h"
#include "raster/Transformation.h"

namespace schauplatz {
namespace {

using testing::movedElementPixel;
using testing::PlacementForm;
using testing::samePixels;

using testing::Quad;
using testing::rectQuad;

class PlacementQuad : public PlacementForm {
protected:
    ::testing::AssertionResult workspaceShowsElementAt(int dx, int dy) {
        const TBitmap32& ws = workspace();
        return samePixels(
            ws.Width(), ws.Height(), [&](int x, int y) { return ws.GetPixel(x, y); },
            [&](int x, int y) { return movedElementPixel(element(), dx, dy, x, y); });
    }
};

TEST_F(PlacementQuad, OneFifthRuleWithItsRounding) {
    loadFacade(writePattern("facade.bmp", 1000, 667, 1));
    struct Case {
        int w, h;
        Quad want;
    };
    const Case cases[] = {
        // RY = 1.6675 is the smaller ratio: S = 0.3335, 66.7 -> 67 and 133.4 -> 133.
        {201, 401, rectQuad(0, 0, 67, 133)},
        // RX = 2.5, S = 0.5: 0.5 rounds to the even 0, 1.5 to the even 2.
        {401, 2, rectQuad(0, 0, 200, 0)},
        {401, 4, rectQuad(0, 0, 200, 2)},
        // One pixel wide: the extent 0 counts as 1 (RY = 667 / 49 is smaller than 1000 / 1).
        {1, 50, rectQuad(0, 0, 3, 133)},
        // No picture: both ratios negative, a square of max(FW, FH) / 5.
        {0, 0, rectQuad(0, 0, 200, 200)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        if (c.w == 0) {
            form->LoadElementPicture(m_folder); // a folder read as a project names it: empty
        } else {
            loadElement(writePattern("door.bmp", c.w, c.h, 2));
        }
        ASSERT_EQ(element().Width(), c.w);
        form->PlaceElementDefault();
        EXPECT_EQ(form->Vertices, c.want);
    }
}

TEST_F(PlacementQuad, LoadingRendersAtTheUnchangedQuad) {
    loadFacade(writePattern("facade.bmp", 300, 200, 1));
    const std::string door = writePattern("door.bmp", 40, 30, 2);
    setQuad(rectQuad(10, 20, 60, 70));
    loadElement(door);
    EXPECT_EQ(form->ElementFile, door);
    EXPECT_EQ(form->Vertices, rectQuad(10, 20, 60, 70));
    setQuad(movedQuad(10, 20));
    EXPECT_TRUE(workspaceShowsElementAt(10, 20));
    // Partly outside the workspace: what lies inside is drawn, nothing is clamped.
    setQuad(movedQuad(-15, -7));
    EXPECT_TRUE(workspaceShowsElementAt(-15, -7));
    setQuad(movedQuad(280, 190));
    EXPECT_TRUE(workspaceShowsElementAt(280, 190));
}

TEST_F(PlacementQuad, GrabZonesAndDragging) {
    loadFacade(writePattern("facade.bmp", 400, 300, 1));
    loadElement(writePattern("door.bmp", 41, 31, 2));
    setQuad(rectQuad(100, 100, 200, 180));

    // 4 pixels from vertex 2 in both axes: only vertex 2 follows.
    press(204, 184);
    EXPECT_EQ(form->ActiveVertex, 2);
    moveTo(214, 189);
    EXPECT_EQ(form->Vertices, (Quad{QuadPoint{100, 100}, QuadPoint{200, 100}, QuadPoint{210, 185},
                                    QuadPoint{100, 180}}));
    release(214, 189);
    EXPECT_EQ(form->ActiveVertex, -1);

    // 5 pixels away in one axis (no other vertex near): the whole quad.
    setQuad(rectQuad(100, 100, 200, 180));
    press(205, 180);
    EXPECT_EQ(form->ActiveVertex, 4);
    moveTo(195, 183);
    moveTo(190, 185);
    release(190, 185);
    EXPECT_EQ(form->Vertices, rectQuad(85, 105, 185, 185));

    // Overlapping zones: the lower index wins; all corners at one point drag vertex 0 alone.
    setQuad(rectQuad(100, 100, 103, 180));
    press(102, 100);
    EXPECT_EQ(form->ActiveVertex, 0);
    release(102, 100);
    setQuad({QuadPoint{50, 50}, QuadPoint{50, 50}, QuadPoint{50, 50}, QuadPoint{50, 50}});
    drag(50, 50, 60, 70);
    EXPECT_EQ(form->Vertices,
              (Quad{QuadPoint{60, 70}, QuadPoint{50, 50}, QuadPoint{50, 50}, QuadPoint{50, 50}}));

    // No clamping: the quad follows the mouse far outside the workspace.
    setQuad(movedQuad(10, 10));
    drag(30, 30, -970, -470);
    EXPECT_EQ(form->Vertices, movedQuad(-990, -490));
    EXPECT_TRUE(workspaceShowsElementAt(-990, -490)); // all 0
    // The drag rendered at every move: the element is where the last move put it.
    drag(-990 + 20, -490 + 20, 20 + 7, 20 + 9);
    EXPECT_EQ(form->Vertices, movedQuad(7, 9));
    EXPECT_TRUE(workspaceShowsElementAt(7, 9));
}

TEST_F(PlacementQuad, ModeOffIgnoresTheMouseAndModeOnPlacesAgain) {
    loadFacade(writePattern("facade.bmp", 400, 300, 1));
    loadElement(writePattern("door.bmp", 41, 31, 2));
    setQuad(movedQuad(20, 30));
    TBitmap32 before;
    before.Assign(&workspace());

    form->ClickMenuItem("NeuesElementpositionieren1"); // off
    press(20, 30);
    EXPECT_EQ(form->ActiveVertex, -1);
    moveTo(80, 90);
    EXPECT_EQ(form->Vertices, movedQuad(20, 30));
    form->ActiveVertex = 3; // a release clears the drag whatever the mode
    release(80, 90);
    EXPECT_EQ(form->ActiveVertex, -1);
    // Rendering keeps the workspace as it is while the mode is off.
    form->ClickMenuItem("Vertexanaus1");
    EXPECT_TRUE(testing::sameBitmap(workspace(), before));

    // Frame off, then the mode on: default place, frame item checked and shown.
    EXPECT_FALSE(form->ShowFrame);
    form->ClickMenuItem("NeuesElementpositionieren1");
    EXPECT_TRUE(form->Item("Vertexanaus1").checked);
    EXPECT_TRUE(form->ShowFrame);
    // RX = 400 / 40 = RY = 300 / 30 = 10: S = 2.
    EXPECT_EQ(form->Vertices, rectQuad(0, 0, 80, 60));
}

TEST_F(PlacementQuad, MirrorOpacityAndDroppedFiles) {
    loadFacade(writePattern("facade.bmp", 300, 200, 1));
    const std::string a = writePattern("a.bmp", 20, 10, 3);
    const std::string b = writePattern("b.bmp", 30, 12, 4);
    const std::string c = writePattern("c.bmp", 25, 16, 5);
    form->FormDropFiles({a, b, c});
    EXPECT_EQ(form->ElementFile, c);
    ASSERT_EQ(element().Width(), 25);
    setQuad(movedQuad(5, 6));

    TBitmap32 original;
    original.Assign(&element());
    form->rspeigeln1Click();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 25; ++x)
            ASSERT_EQ(element().GetPixel(x, y), original.GetPixel(24 - x, y));
    EXPECT_TRUE(workspaceShowsElementAt(5, 6));
    form->rspeigeln1Click();
    EXPECT_TRUE(testing::sameBitmap(element(), original));

    // Half opacity: the element is blended with master alpha 128 into the cleared workspace.
    form->OpacityChange(128);
    EXPECT_EQ(element().MasterAlpha(), 128u);
    EXPECT_TRUE(workspaceShowsElementAt(5, 6));
    EXPECT_NE(workspace().GetPixel(5, 6), original.GetPixel(0, 0));

    // A dropped folder is no picture: the element stays, and a message names the folder.
    const std::string file = form->ElementFile;
    form->FormDropFiles({m_folder});
    EXPECT_EQ(element().Width(), 25);
    EXPECT_EQ(form->ElementFile, file);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("kann nicht als Bild gelesen werden"), std::string::npos);
}

TEST_F(PlacementQuad, PictureDialogOffersTheLastFileAndCancelChangesNothing) {
    const std::string door = writePattern("door.bmp", 20, 10, 3);
    loadElement(door);
    ASSERT_EQ(host.openRequests.size(), 1u);
    EXPECT_EQ(host.openRequests[0].title, "Bild Laden");
    EXPECT_EQ(host.openRequests[0].filter, PictureDialogFilter());
    EXPECT_EQ(host.openRequests[0].fileName, "");

    const Quad quad = form->Vertices;
    form->BildvomElementladen1Click(); // cancelled
    ASSERT_EQ(host.openRequests.size(), 2u);
    EXPECT_EQ(host.openRequests[1].fileName, door);
    EXPECT_EQ(form->ElementFile, door);
    EXPECT_EQ(element().Width(), 20);
    EXPECT_EQ(form->Vertices, quad);
    // The facade dialog is the same dialog and offers the same file.
    form->FassadeLaden1Click();
    EXPECT_EQ(host.openRequests[2].fileName, door);
    EXPECT_TRUE(form->ProjectData.empty());
}

TEST_F(PlacementQuad, AFailedRenderLeavesTheViewWorking) {
    loadFacade(writePattern("facade.bmp", 300, 200, 1));
    loadElement(writePattern("door.bmp", 30, 20, 2));
    setQuad(movedQuad(5, 5));
    // One pixel high: the source rectangle has no height, the transformation cannot be
    // prepared. Loading swallows the error.
    loadElement(writePattern("line.bmp", 30, 1, 2));
    EXPECT_EQ(view().UpdateCount(), 0);
    EXPECT_EQ(element().Height(), 1);
    // A command that renders reports it, and still leaves no update bracket open.
    EXPECT_THROW(form->ClickMenuItem("Vertexanaus1"), EDivByZero);
    EXPECT_EQ(view().UpdateCount(), 0);
    // A drag swallows it; the quad keeps its new values and the view still repaints.
    drag(20, 20, 25, 27);
    EXPECT_EQ(form->Vertices[0], (QuadPoint{10, 12}));
    EXPECT_EQ(view().UpdateCount(), 0);
    EXPECT_FALSE(view().BufferValid());
    paint();
    EXPECT_TRUE(view().BufferValid());
    // Nothing of the earlier element is left in the workspace.
    EXPECT_TRUE(workspaceShowsElementAt(-1000, -1000));
}

} // namespace
} // namespace schauplatz
