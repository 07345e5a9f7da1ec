// Placing corners exactly: selection by click and Tab, the arrow keys, the typed corners, the
// scroll at the edge during a drag, the loupe, the status texts and when idle work is wanted.

#include "view_fixture.h"

namespace schauplatz {
namespace {

using testing::movedElementPixel;
using testing::Quad;
using testing::rectQuad;
using testing::samePixels;
using testing::ViewForm;

class ViewNudge : public ViewForm {
protected:
    void SetUp() override {
        ViewForm::SetUp();
        start(600, 400, 300, 200);
        screen().SetScale(TViewScale{}, 0, 0);
    }
    // The element moved unscaled to (dx, dy) is what the workspace holds.
    ::testing::AssertionResult elementAt(int dx, int dy) {
        const TBitmap32& ws = workspace();
        return samePixels(
            ws.Width(), ws.Height(), [&](int x, int y) { return ws.GetPixel(x, y); },
            [&](int x, int y) { return movedElementPixel(element(), dx, dy, x, y); });
    }
    Quad moved(int dx, int dy) { return rectQuad(dx, dy, dx + 40, dy + 30); }
    // What the view shows at a picture pixel without the overlay.
    TColor32 composedAt(int x, int y) {
        const TColor32 w = workspace().GetPixel(x, y);
        return w != 0 ? w : testing::patternPixel(x, y, 11);
    }
};

TEST_F(ViewNudge, TabStepsThroughTheCornersAndTheWholeQuad) {
    EXPECT_EQ(form->QuadSelection(), -1);
    std::vector<int> forwards;
    for (int i = 0; i < 6; ++i) {
        form->SelectNextCorner(false);
        forwards.push_back(form->QuadSelection());
    }
    EXPECT_EQ(forwards, (std::vector<int>{0, 1, 2, 3, 4, 0}));
    form->ClearQuadSelection();
    std::vector<int> backwards;
    for (int i = 0; i < 6; ++i) {
        form->SelectNextCorner(true);
        backwards.push_back(form->QuadSelection());
    }
    EXPECT_EQ(backwards, (std::vector<int>{4, 3, 2, 1, 0, 4}));
    // With the new-element mode off there is nothing to select.
    form->ClickMenuItem("NeuesElementpositionieren1");
    EXPECT_EQ(form->QuadSelection(), -1);
    form->SelectNextCorner(false);
    EXPECT_EQ(form->QuadSelection(), -1);
}

TEST_F(ViewNudge, AClickSelectsTheCornerOrTheWholeQuad) {
    setQuad(rectQuad(50, 40, 150, 120));
    click(handle(2));
    EXPECT_EQ(form->QuadSelection(), 2);
    EXPECT_EQ(form->Vertices, rectQuad(50, 40, 150, 120)); // a click moves nothing
    click(TPoint{100, 80});
    EXPECT_EQ(form->QuadSelection(), 4);
    click(TPoint{handle(3).X + 4, handle(3).Y - 4});
    EXPECT_EQ(form->QuadSelection(), 3);
    click(TPoint{280, 190}); // outside the element: the whole quad too
    EXPECT_EQ(form->QuadSelection(), 4);
}

TEST_F(ViewNudge, AnAcceptanceALoadAndANewElementClearTheSelection) {
    const auto selectSomething = [&] {
        form->SelectNextCorner(false);
        ASSERT_EQ(form->QuadSelection(), 0);
    };
    selectSomething();
    form->Elementbernehmen1Click();
    EXPECT_EQ(form->QuadSelection(), -1);
    selectSomething();
    loadFacade(writePattern("other.bmp", 200, 150, 21));
    EXPECT_EQ(form->QuadSelection(), -1);
    selectSomething();
    loadElement(writePattern("door2.bmp", 21, 31, 22));
    EXPECT_EQ(form->QuadSelection(), -1);
    selectSomething();
    form->ClickMenuItem("NeuesElementpositionieren1"); // off
    EXPECT_EQ(form->QuadSelection(), -1);
    form->ClickMenuItem("NeuesElementpositionieren1"); // on: the element at its default place
    selectSomething();
    form->NeuesProjekt1Click();
    EXPECT_EQ(form->QuadSelection(), -1);
}

TEST_F(ViewNudge, ArrowKeysMoveTheSelectionByOneOrTenAndRender) {
    setQuad(moved(100, 80));
    // Nothing selected: the keys move nothing.
    form->NudgeSelection(1, 0);
    EXPECT_EQ(form->Vertices, moved(100, 80));
    // The whole quad, each direction, by 1 and (with Shift) by 10; rendered at once.
    form->SelectNextCorner(true);
    ASSERT_EQ(form->QuadSelection(), 4);
    int x = 100, y = 80;
    for (const auto& [dx, dy] : std::vector<std::pair<int, int>>{
             {1, 0}, {-1, 0}, {0, 1}, {0, -1}, {10, 0}, {-10, 0}, {0, 10}, {0, -10}, {10, 10}}) {
        form->NudgeSelection(dx, dy);
        x += dx;
        y += dy;
        ASSERT_EQ(form->Vertices, moved(x, y)) << dx << ", " << dy;
        ASSERT_TRUE(elementAt(x, y)) << dx << ", " << dy;
    }
    // One corner alone.
    form->SelectNextCorner(false); // 4 -> 0
    form->SelectNextCorner(false); // corner 1
    const Quad before = form->Vertices;
    form->NudgeSelection(-10, 1);
    Quad want = before;
    want[1].X -= 10;
    want[1].Y += 1;
    EXPECT_EQ(form->Vertices, want);
    // During a drag the keys wait.
    press(handle(3));
    form->NudgeSelection(1, 1);
    EXPECT_EQ(form->Vertices, want);
    release(handle(3));
}

TEST_F(ViewNudge, TheCornerDialogAppliesTheEightValuesAsOneChange) {
    setQuad(moved(10, 20));
    host.answer.reset(); // cancelled
    form->Eckeneingeben1Click();
    ASSERT_EQ(host.offered.size(), 1u);
    EXPECT_EQ(host.offered[0], (std::array<std::int32_t, 8>{10, 20, 50, 20, 50, 50, 10, 50}));
    EXPECT_EQ(form->Vertices, moved(10, 20));
    EXPECT_TRUE(elementAt(10, 20));

    host.answer = std::array<std::int32_t, 8>{70, 60, 110, 60, 110, 90, 70, 90};
    form->Eckeneingeben1Click();
    EXPECT_EQ(form->Vertices, moved(70, 60));
    EXPECT_TRUE(elementAt(70, 60));
    // Off in the mode that ignores editing.
    form->ClickMenuItem("NeuesElementpositionieren1");
    form->Eckeneingeben1Click();
    EXPECT_EQ(host.offered.size(), 2u);
}

// At the edge of the visible area a drag scrolls; the dragged corner stays under the pointer.
TEST_F(ViewNudge, DraggingAtTheEdgeScrollsAndTheDragGoesOn) {
    screen().SetScale(TViewScale::Percent(200), 0, 0);
    setQuad(rectQuad(20, 20, 100, 70));
    EXPECT_EQ(screen().MaxScroll(), (TPoint{900, 600}));
    press(handle(2));
    ASSERT_EQ(form->ActiveVertex, 2);
    const auto offset = [&] {
        const TPoint p = screen().ToPicture(screen().Pointer()->X, screen().Pointer()->Y);
        return TPoint{form->Vertices[2].X - p.X, form->Vertices[2].Y - p.Y};
    };
    const TPoint held = offset();
    // Away from the edges nothing scrolls.
    moveTo(TPoint{150, 100});
    EXPECT_FALSE(screen().WantsAutoScroll());
    EXPECT_FALSE(screen().AutoScrollStep());
    // 5 pixels inside the right edge: a slow step right.
    moveTo(TPoint{295, 100});
    EXPECT_TRUE(screen().WantsAutoScroll());
    ASSERT_TRUE(screen().AutoScrollStep());
    EXPECT_EQ(screen().ScrollPosition(), (TPoint{AutoScrollSpeed(4), 0}));
    EXPECT_EQ(offset(), held);
    // 30 pixels beyond the bottom edge: faster, down.
    moveTo(TPoint{150, 229});
    const TPoint before = screen().ScrollPosition();
    ASSERT_TRUE(screen().AutoScrollStep());
    EXPECT_EQ(screen().ScrollPosition().Y - before.Y, AutoScrollSpeed(-30));
    EXPECT_GT(AutoScrollSpeed(-30), AutoScrollSpeed(4));
    EXPECT_EQ(offset(), held);
    // To the end of the range, then no more.
    int steps = 0;
    while (screen().AutoScrollStep() && steps < 1000)
        ++steps;
    EXPECT_EQ(screen().ScrollPosition().Y, 600);
    EXPECT_FALSE(screen().WantsAutoScroll());
    EXPECT_EQ(offset(), held);
    release(TPoint{150, 229});
    moveTo(TPoint{295, 100});
    EXPECT_FALSE(screen().WantsAutoScroll()); // no drag, no scroll
    EXPECT_EQ(AutoScrollSpeed(24), 0);
    EXPECT_EQ(AutoScrollSpeed(-100000), TWorkspaceScreen::kAutoScrollMaxStep);
}

TEST_F(ViewNudge, TheMiddleButtonOrSpaceWithTheLeftOneDragsTheView) {
    screen().SetScale(TViewScale::Percent(200), 0, 0);
    const Quad quad = form->Vertices;
    screen().MouseDown(mbMiddle, ssMiddle, 200, 150);
    screen().MouseMove(ssMiddle, 150, 120);
    screen().MouseUp(mbMiddle, 0, 150, 120);
    EXPECT_EQ(screen().ScrollPosition(), (TPoint{50, 30}));
    screen().SetSpaceHeld(true);
    press(TPoint{100, 100});
    moveTo(TPoint{90, 95});
    release(TPoint{90, 95});
    screen().SetSpaceHeld(false);
    EXPECT_EQ(screen().ScrollPosition(), (TPoint{60, 35}));
    EXPECT_EQ(form->Vertices, quad); // the element stayed where it was
    EXPECT_EQ(form->QuadSelection(), -1);
}

TEST_F(ViewNudge, TheLoupeShowsTheSelectedOrDraggedCornerMagnified) {
    setQuad(rectQuad(120, 80, 200, 150));
    shown();
    EXPECT_FALSE(screen().LoupeRect().has_value());
    form->SelectNextCorner(false); // corner 0
    const TBitmap32& got = shown();
    ASSERT_TRUE(screen().LoupeRect().has_value());
    const TRect R = *screen().LoupeRect();
    EXPECT_EQ(R.Width(), TWorkspaceScreen::kLoupeSize);
    EXPECT_EQ(R.Height(), TWorkspaceScreen::kLoupeSize);
    const TPoint c = handle(0);
    EXPECT_FALSE(c.X >= R.Left - 8 && c.X < R.Right + 8 && c.Y >= R.Top - 8 && c.Y < R.Bottom + 8);
    // At 8 x the corner's pixel is the square in the middle; beside the cross-hair it shows
    // what the view shows at that pixel (the element's first pixel here), and its neighbour
    // up and left the facade.
    const TBitmap32& loupe = *screen().LoupeImage();
    const TColor32 corner = workspace().GetPixel(120, 80);
    EXPECT_EQ(loupe.GetPixel(80 - 4 + 1, 80 - 4 + 1), corner);
    EXPECT_EQ(got.GetPixel(R.Left + 77, R.Top + 77), corner);
    EXPECT_EQ(loupe.GetPixel(80 - 4 - 8 + 3, 80 - 4 - 8 + 3), testing::patternPixel(119, 79, 11));
    // Off, and on again.
    form->ClickMenuItem("Lupe1");
    shown();
    EXPECT_FALSE(screen().LoupeRect().has_value());
    form->ClickMenuItem("Lupe1");
    shown();
    EXPECT_TRUE(screen().LoupeRect().has_value());
    // Dragging another corner shows that one; with the pointer where the loupe would go it
    // goes elsewhere.
    press(handle(2));
    moveTo(TPoint{handle(2).X + 30, handle(2).Y - 30});
    shown();
    ASSERT_TRUE(screen().LoupeRect().has_value());
    const TRect D = *screen().LoupeRect();
    const TPoint p = *screen().Pointer();
    EXPECT_FALSE(p.X >= D.Left - 8 && p.X < D.Right + 8 && p.Y >= D.Top - 8 && p.Y < D.Bottom + 8);
    // (The sides leave this corner up and to the left: the square's lower right is clear.)
    EXPECT_EQ(screen().LoupeImage()->GetPixel(82, 82),
              composedAt(form->Vertices[2].X, form->Vertices[2].Y));
    release(*screen().Pointer());
    // Dragging the whole quad shows none.
    press(TPoint{160, 110});
    moveTo(TPoint{161, 110});
    EXPECT_FALSE(screen().LoupeRect().has_value());
    release(TPoint{161, 110});
    // Above 200 % it magnifies 4 times the scale: 16 x at 400 %.
    form->SelectNextCorner(false);
    screen().MouseLeave();
    screen().SetScale(TViewScale::Percent(400), 150, 100);
    shown();
    ASSERT_TRUE(screen().LoupeRect().has_value());
    const int selected = form->QuadSelection();
    const QuadPoint& v = form->Vertices[static_cast<std::size_t>(selected)];
    EXPECT_EQ(screen().LoupeImage()->GetPixel(80 - 8 + 1, 80 - 8 + 1), composedAt(v.X, v.Y));
    EXPECT_EQ(screen().LoupeImage()->GetPixel(80 - 8 - 16 + 3, 80 - 8 + 1),
              composedAt(v.X - 1, v.Y));
}

TEST_F(ViewNudge, TheStatusShowsScalePointerAndCorners) {
    setQuad(rectQuad(5, 6, 45, 36));
    screen().SetScale(TViewScale::Percent(50), 0, 0);
    screen().MouseMove(0, 21, 11);
    TViewStatus status = form->ViewStatus();
    EXPECT_EQ(status.Scale, "Ansicht 50 %");
    EXPECT_EQ(status.Pointer, "Bildpunkt 42, 22");
    EXPECT_EQ(status.Corners, "Ecken   0: 5, 6   1: 45, 6   2: 45, 36   3: 5, 36");
    form->SelectNextCorner(false);
    form->SelectNextCorner(false);
    EXPECT_EQ(form->ViewStatus().Corners, "Ecken   0: 5, 6   [1: 45, 6]   2: 45, 36   3: 5, 36");
    form->SelectNextCorner(true);
    form->SelectNextCorner(true);
    EXPECT_EQ(form->ViewStatus().Corners,
              "Ecken   [0: 5, 6]   [1: 45, 6]   [2: 45, 36]   [3: 5, 36]");
    screen().MouseLeave();
    EXPECT_EQ(form->ViewStatus().Pointer, "");
    form->GanzesBild1Click();
    EXPECT_EQ(form->ViewStatus().Scale, "Ansicht 50 % (ganzes Bild)");
}

TEST_F(ViewNudge, IdleWorkIsWantedOnlyWithTheFrameShownAndNoDrag) {
    EXPECT_TRUE(form->IdleWanted());
    press(handle(0));
    EXPECT_FALSE(form->IdleWanted());
    release(handle(0));
    EXPECT_TRUE(form->IdleWanted());
    form->ClickMenuItem("Vertexanaus1");
    EXPECT_FALSE(form->IdleWanted());
}

} // namespace
} // namespace schauplatz
