// Assisted placement in the window: the facade's features from the worker, corners snapping
// while dragged ("Einrasten", Alt), the one-click fit with Ctrl and its Escape, on a made
// house front whose openings are known.

#include "TestFacades.h"
#include "view_fixture.h"

#include <cmath>

namespace schauplatz {
namespace {

namespace pa = placementaid;
namespace tf = placementaid::testfacades;
using testing::elementLine;
using testing::Quad;
using testing::ViewForm;

// A small plaster front in mild perspective: two windows and a door, every corner inside.
tf::THouseFrontPlan smallFront() {
    tf::THouseFrontPlan s;
    s.Name = "klein";
    s.Width = 800;
    s.Height = 500;
    s.FrontWidth = 500.0;
    s.FrontHeight = 310.0;
    s.Wall = tf::TWall::Plaster;
    s.Corners = {pa::TPointD{18, 14}, pa::TPointD{786, 30}, pa::TPointD{776, 490},
                 pa::TPointD{24, 482}};
    tf::TOpeningPlan window;
    window.Left = 50;
    window.Top = 45;
    window.Right = 160;
    window.Bottom = 185;
    window.Sill = true;
    s.Openings.push_back(window);
    window.Left = 330;
    window.Right = 440;
    window.Palette = 2;
    window.Mullion = true;
    s.Openings.push_back(window);
    tf::TOpeningPlan door;
    door.Left = 200;
    door.Right = 295;
    door.Top = 90;
    door.Bottom = 300;
    door.Door = true;
    door.Palette = 1;
    s.Openings.push_back(door);
    s.Seed = 5;
    return s;
}

const tf::TTestFacade& madeFront() {
    static const tf::TTestFacade front = tf::makeHouseFront(smallFront());
    return front;
}

double distance(const QuadPoint& a, const pa::TPointD& b) {
    return std::hypot(a.X - b.X, a.Y - b.Y);
}

class SnapWindow : public ViewForm {
protected:
    void SetUp() override {
        ViewForm::SetUp();
        facadePath = m_folder + "front.bmp";
        WriteBitmapFile(madeFront().Picture, facadePath);
        loadFacade(facadePath);
        loadElement(writePattern("door.bmp", 41, 31, 12));
        screen().Resize(1000, 700); // the front at 1:1
    }
    const tf::TOpeningTruth& opening(std::size_t i) { return madeFront().Openings.at(i); }
    // The element a few pixels off the opening's outline, as a user puts it there roughly.
    Quad roughlyIn(const tf::TOpeningTruth& o) {
        static constexpr int kOff[4][2] = {{4, 3}, {-3, 4}, {-4, -3}, {3, -4}};
        Quad q;
        for (std::size_t i = 0; i < 4; ++i)
            q[i] = QuadPoint{static_cast<int>(std::lround(o.Corners[i].X)) + kOff[i][0],
                             static_cast<int>(std::lround(o.Corners[i].Y)) + kOff[i][1]};
        return q;
    }
    // Presses corner k's handle and moves the pointer so that, without snapping, the corner
    // would be at To; returns that position. The button stays down.
    QuadPoint dragTowards(int k, QuadPoint To, TShiftState Extra = 0) {
        const TPoint from = handle(k);
        const QuadPoint start = form->Vertices[static_cast<std::size_t>(k)];
        screen().MouseDown(mbLeft, ssLeft | Extra, from.X, from.Y);
        const TPoint p0 = screen().ToPicture(from.X, from.Y);
        const TPoint target =
            screen().ToScreen(TPoint{p0.X + To.X - start.X, p0.Y + To.Y - start.Y});
        // Two steps, as a pointer moves.
        screen().MouseMove(ssLeft | Extra, (from.X + target.X) / 2, (from.Y + target.Y) / 2);
        screen().MouseMove(ssLeft | Extra, target.X, target.Y);
        const TPoint p1 = screen().ToPicture(target.X, target.Y);
        return QuadPoint{start.X + p1.X - p0.X, start.Y + p1.Y - p0.Y};
    }
    void releaseAt(int k) {
        const TPoint at = handle(k);
        screen().MouseUp(mbLeft, 0, at.X, at.Y);
    }
    void ctrlClick(pa::TPointD at) {
        const TPoint p = screen().ToScreen(
            TPoint{static_cast<int>(std::floor(at.X)), static_cast<int>(std::floor(at.Y))});
        screen().MouseDown(mbLeft, ssLeft | ssCtrl, p.X, p.Y);
        screen().MouseUp(mbLeft, ssCtrl, p.X, p.Y);
    }
    std::string facadePath;
};

TEST_F(SnapWindow, ACornerDraggedNearTheOpeningsCornerSnapsOntoIt) {
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    const tf::TOpeningTruth& o = opening(0);
    setQuad(roughlyIn(o));
    for (int k = 0; k < 4; ++k) {
        const auto i = static_cast<std::size_t>(k);
        // The independent answer: the same drag asked of the features directly.
        const pa::TQuad atPress{TPoint{form->Vertices[0].X, form->Vertices[0].Y},
                                TPoint{form->Vertices[1].X, form->Vertices[1].Y},
                                TPoint{form->Vertices[2].X, form->Vertices[2].Y},
                                TPoint{form->Vertices[3].X, form->Vertices[3].Y}};
        const QuadPoint near{static_cast<int>(std::lround(o.Corners[i].X)) + 3,
                             static_cast<int>(std::lround(o.Corners[i].Y)) - 2};
        const QuadPoint free = dragTowards(k, near);
        ASSERT_EQ(free, near);
        const pa::TSnapResult expected =
            pa::TVertexDrag(form->FacadeFeatures(), atPress, i)
                .snap(pa::TPointD{double(free.X), double(free.Y)}, {10.0, 6.0});
        ASSERT_EQ(expected.Kind, pa::TSnapKind::Corner) << k;
        const QuadPoint snapped{expected.Point.X, expected.Point.Y};
        ASSERT_NE(snapped, free);
        EXPECT_EQ(form->Vertices[i], snapped) << k;
        EXPECT_LE(distance(snapped, o.Corners[i]), 1.0) << k;
        EXPECT_EQ(form->ViewStatus().Notice, "Eingerastet: Ecke");
        // The loupe shows where the corner went.
        EXPECT_EQ(screen().LoupeTarget(), (TPoint{snapped.X, snapped.Y}));
        releaseAt(k);
        EXPECT_EQ(form->Vertices[i], snapped);
    }
    // The record line holds the snapped integers.
    const Quad placed = form->Vertices;
    form->Elementbernehmen1Click();
    ASSERT_EQ(form->ProjectData.size(), 2u);
    EXPECT_EQ(form->ProjectData[1], elementLine(m_folder + "door.bmp", placed));
}

TEST_F(SnapWindow, AltOrEinrastenOffLetTheCornerFollowThePointer) {
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    const tf::TOpeningTruth& o = opening(1);
    const Quad rough = roughlyIn(o);
    const QuadPoint near{static_cast<int>(std::lround(o.Corners[2].X)) - 3,
                         static_cast<int>(std::lround(o.Corners[2].Y)) + 2};
    // Alt held from the press on, and Alt pressed only during the drag.
    setQuad(rough);
    EXPECT_EQ(dragTowards(2, near, ssAlt), near);
    EXPECT_EQ(form->Vertices[2], near);
    EXPECT_EQ(form->ViewStatus().Notice, "");
    releaseAt(2);
    EXPECT_EQ(form->Vertices[2], near);

    setQuad(rough);
    dragTowards(2, near);
    const QuadPoint snapped = form->Vertices[2];
    EXPECT_NE(snapped, near);
    const TPoint at = screen().ToScreen(TPoint{near.X, near.Y});
    screen().MouseMove(ssLeft | ssAlt, at.X + 1, at.Y);
    EXPECT_EQ(form->Vertices[2], (QuadPoint{near.X + 1, near.Y}));
    screen().MouseMove(ssLeft, at.X, at.Y); // Alt let go: it snaps again
    EXPECT_EQ(form->Vertices[2], snapped);
    releaseAt(2);

    // "Einrasten" off: as with Alt; on again: snapping as before.
    ASSERT_TRUE(form->Item("Einrasten1").checked);
    form->ClickMenuItem("Einrasten1");
    EXPECT_FALSE(form->Item("Einrasten1").checked);
    setQuad(rough);
    EXPECT_EQ(dragTowards(2, near), near);
    EXPECT_EQ(form->Vertices[2], near);
    releaseAt(2);
    form->ClickMenuItem("Einrasten1");
    setQuad(rough);
    dragTowards(2, near);
    EXPECT_EQ(form->Vertices[2], snapped);
    releaseAt(2);
}

// Dragged into the edge of the view the picture scrolls under the still pointer; Alt still
// holds while it does.
TEST_F(SnapWindow, AltHoldsWhileTheViewScrollsUnderTheDrag) {
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    screen().Resize(400, 300);
    screen().SetScale(TViewScale{}, 0, 0);
    const tf::TOpeningTruth& o = opening(1);
    setQuad(roughlyIn(o));
    const QuadPoint c{static_cast<int>(std::lround(o.Corners[1].X)),
                      static_cast<int>(std::lround(o.Corners[1].Y))};
    // The window's top right corner 6 screen pixels inside the right edge.
    screen().ScrollTo(c.X - 394, c.Y - 150);
    ASSERT_EQ(screen().ToScreen(TPoint{c.X, c.Y}).X, 394);
    const QuadPoint at = dragTowards(1, QuadPoint{c.X + 1, c.Y + 1}, ssAlt);
    EXPECT_EQ(form->Vertices[1], at);
    ASSERT_TRUE(screen().WantsAutoScroll());
    const TPoint before = screen().ScrollPosition();
    ASSERT_TRUE(screen().AutoScrollStep());
    const TPoint after = screen().ScrollPosition();
    EXPECT_EQ(form->Vertices[1], (QuadPoint{at.X + after.X - before.X, at.Y + after.Y - before.Y}));
    screen().MouseUp(mbLeft, 0, 394, 150);
}

// The radii are screen pixels: at half size a corner 17 picture pixels away (outwards, off
// both its edges) is 8.5 screen pixels away and snaps; at 1:1 it is too far.
TEST_F(SnapWindow, TheSnapRadiusIsMeasuredOnScreen) {
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    const tf::TOpeningTruth& o = opening(2);
    const QuadPoint far{static_cast<int>(std::lround(o.Corners[0].X)) - 12,
                        static_cast<int>(std::lround(o.Corners[0].Y)) - 12};
    const Quad rough = roughlyIn(o);
    setQuad(rough);
    EXPECT_EQ(dragTowards(0, far), far);
    EXPECT_EQ(form->Vertices[0], far);
    releaseAt(0);

    screen().SetScale(TViewScale::Fraction(1, 2), 0, 0);
    setQuad(rough);
    const QuadPoint free = dragTowards(0, far);
    EXPECT_LE(std::abs(free.X - far.X) + std::abs(free.Y - far.Y), 2);
    EXPECT_NE(form->Vertices[0], free);
    EXPECT_LE(distance(form->Vertices[0], o.Corners[0]), 1.0);
    releaseAt(0);
}

TEST_F(SnapWindow, NothingSnapsBeforeTheFeaturesAreReady) {
    // No idle pass yet: the worker has not been asked.
    EXPECT_EQ(form->FacadeFeatures(), nullptr);
    const tf::TOpeningTruth& o = opening(0);
    setQuad(roughlyIn(o));
    const QuadPoint near{static_cast<int>(std::lround(o.Corners[0].X)) + 2,
                         static_cast<int>(std::lround(o.Corners[0].Y)) + 2};
    EXPECT_EQ(dragTowards(0, near), near);
    EXPECT_EQ(form->Vertices[0], near);
    releaseAt(0);
    const Quad before = form->Vertices;
    ctrlClick(o.Click);
    EXPECT_EQ(form->Vertices, before);
    EXPECT_EQ(form->ViewStatus().Notice, "Die Kanten der Fassade werden noch gesucht");
    // A drag started before they were ready stays unsnapped to its end.
    dragTowards(0, near);
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    const TPoint at = screen().ToScreen(TPoint{near.X, near.Y});
    screen().MouseMove(ssLeft, at.X, at.Y);
    EXPECT_EQ(form->Vertices[0], near);
    releaseAt(0);
}

TEST_F(SnapWindow, CtrlClickFitsTheOpeningAndEscapeRestoresTheQuad) {
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    const TBitmap32 facade = [&] {
        TBitmap32 copy;
        copy.Assign(&form->Composition().Facade());
        return copy;
    }();
    const TBitmap32 background = [&] {
        TBitmap32 copy;
        copy.Assign(&form->ImageHintergrund.Bitmap());
        return copy;
    }();
    const Quad offered = form->Vertices;
    for (std::size_t n = 0; n < madeFront().Openings.size(); ++n) {
        const tf::TOpeningTruth& o = opening(n);
        ctrlClick(o.Click);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_LE(distance(form->Vertices[i], o.Corners[i]), 1.5) << n << " " << i;
        EXPECT_EQ(form->ViewStatus().Notice, "In die Öffnung eingepasst (Esc: zurück)");
        EXPECT_EQ(form->ActiveVertex, -1); // nothing is dragged
        // The element is drawn into the fitted quad.
        EXPECT_NE(workspace().GetPixel(static_cast<int>(o.Click.X), static_cast<int>(o.Click.Y)),
                  0u);
        // Escape right after: the quad before it.
        const Quad fitted = form->Vertices;
        EXPECT_TRUE(form->UndoOpeningFit());
        EXPECT_EQ(form->Vertices, offered);
        EXPECT_EQ(form->ViewStatus().Notice, "");
        EXPECT_FALSE(form->UndoOpeningFit()); // once
        // Not after the quad changed since.
        ctrlClick(o.Click);
        EXPECT_EQ(form->Vertices, fitted);
        form->SelectNextCorner(false);
        form->NudgeSelection(1, 0);
        EXPECT_FALSE(form->UndoOpeningFit());
        EXPECT_EQ(form->Vertices[0], (QuadPoint{fitted[0].X + 1, fitted[0].Y}));
        form->ClearQuadSelection();
        setQuad(offered);
    }
    // Neither fitting nor snapping touched the facade or the background.
    EXPECT_TRUE(testing::sameBitmap(form->Composition().Facade(), facade));
    EXPECT_TRUE(testing::sameBitmap(form->ImageHintergrund.Bitmap(), background));
    EXPECT_TRUE(testing::sameBitmap(form->Composition().Background(), background));
}

TEST_F(SnapWindow, CtrlClickOnPlainWallChangesNothing) {
    const tf::TTestFacade wall = tf::makeHouseFront(tf::plainWall(tf::TWall::Brick, 640, 400, 9));
    const std::string path = m_folder + "wall.bmp";
    WriteBitmapFile(wall.Picture, path);
    loadFacade(path);
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    const Quad before = form->Vertices;
    for (int y = 40; y < 400; y += 80)
        for (int x = 40; x < 640; x += 80) {
            ctrlClick(pa::TPointD{double(x), double(y)});
            EXPECT_EQ(form->Vertices, before) << x << ", " << y;
            EXPECT_EQ(form->ViewStatus().Notice, "Keine Öffnung erkannt");
            EXPECT_FALSE(form->UndoOpeningFit());
        }
    // The status bar forgets it with the next press.
    const TPoint h = handle(0);
    press(h);
    release(h);
    EXPECT_EQ(form->ViewStatus().Notice, "");
}

TEST_F(SnapWindow, FeaturesOfAnOlderFacadeAreNeverUsedForANewerOne) {
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    const auto first = form->FacadeFeatures();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width(), 800);
    // Another facade: the first one's features are gone at once, before any idle pass.
    const std::string other = writePattern("other.bmp", 300, 200, 3);
    loadFacade(other);
    EXPECT_EQ(form->FacadeFeatures(), nullptr);
    // Shown again, and at once replaced by a third while its computation runs: only the
    // third's come.
    loadFacade(facadePath);
    form->AppEventsIdle(); // the worker starts on the front
    const tf::TTestFacade wall = tf::makeHouseFront(tf::plainWall(tf::TWall::Plaster, 500, 300, 4));
    const std::string wallPath = m_folder + "wall.bmp";
    WriteBitmapFile(wall.Picture, wallPath);
    loadFacade(wallPath);
    EXPECT_EQ(form->FacadeFeatures(), nullptr);
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    const auto third = form->FacadeFeatures();
    EXPECT_EQ(third->width(), 500);
    EXPECT_EQ(third->height(), 300);
    EXPECT_EQ(third->edges().size(), pa::extractFacadeFeatures(wall.Picture)->edges().size());

    // Turning, a new project and a project load each show a facade of their own.
    form->Fassadenachrechtsdrehen1Click();
    EXPECT_EQ(form->FacadeFeatures(), nullptr);
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    EXPECT_EQ(form->FacadeFeatures()->width(), 300);
    EXPECT_EQ(form->FacadeFeatures()->height(), 500);
    host.openAnswers.push_back(""); // the facade dialog after "Neues Projekt", cancelled
    form->NeuesProjekt1Click();
    EXPECT_EQ(form->FacadeFeatures(), nullptr);
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    EXPECT_EQ(form->FacadeFeatures()->height(), 500);
}

// Handing the facade to the worker wakes the idle pump once; with the frame hidden the
// program then rests while the worker computes.
TEST_F(SnapWindow, TheIdlePassHandsTheFacadeOverOnce) {
    form->ClickMenuItem("Vertexanaus1"); // frame hidden: no dashes to move
    ASSERT_FALSE(form->ShowFrame);
    loadFacade(facadePath);
    EXPECT_TRUE(form->IdleWanted());
    form->AppEventsIdle();
    EXPECT_FALSE(form->IdleWanted());
    ASSERT_TRUE(form->WaitForFacadeFeatures());
    EXPECT_FALSE(form->IdleWanted());
}

TEST(FacadeFeatureWorker, KeepsOnlyTheNewestFacadesFeatures) {
    const tf::TTestFacade& front = madeFront();
    const TBitmap32 flat = tf::makeOneColour(64, 48, 0xFF808080u);
    TFacadeFeatureWorker worker;
    EXPECT_EQ(worker.Features(1), nullptr);
    worker.Start(1, pa::makeFacadePicture(front.Picture));
    worker.Start(2, pa::makeFacadePicture(flat));
    worker.WaitUntilIdle();
    EXPECT_EQ(worker.Features(1), nullptr);
    ASSERT_NE(worker.Features(2), nullptr);
    EXPECT_EQ(worker.Features(2)->width(), 64);
    EXPECT_TRUE(worker.Features(2)->corners().empty());
    worker.Start(3, pa::makeFacadePicture(front.Picture));
    worker.WaitUntilIdle();
    EXPECT_EQ(worker.Features(2), nullptr);
    ASSERT_NE(worker.Features(3), nullptr);
    EXPECT_FALSE(worker.Features(3)->corners().empty());
    // Going away in the middle of a computation stops it.
    worker.Start(4, pa::makeFacadePicture(front.Picture));
}

} // namespace
} // namespace schauplatz
