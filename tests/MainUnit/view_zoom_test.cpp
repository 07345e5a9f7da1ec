// The workspace at a view scale, driven through its screen: the mapping of the mouse at every
// zoom step, the grab zone in screen pixels, the pixels at 1:1 against an independent
// reference, zoom at the pointer, the fitted view after a load, the overlay in screen pixels
// and bad input at the limits.

#include "view_fixture.h"

#include <algorithm>
#include <limits>

namespace schauplatz {
namespace {

using testing::floorDiv;
using testing::kBlack;
using testing::kViewColour;
using testing::kWhite;
using testing::patternPixel;
using testing::Quad;
using testing::rectQuad;
using testing::samePixels;
using testing::ViewForm;

class ViewZoom : public ViewForm {};

// Press on corner 2's handle, move by screen steps, let go: the corner moves by the change of
// the picture pixel under the pointer, floor((X - origin) / scale), at every step.
TEST_F(ViewZoom, TheMouseMapsToThePicturePixelUnderItAtEveryStep) {
    start(600, 400, 300, 200);
    for (int percent : kViewScaleSteps) {
        SCOPED_TRACE(percent);
        const TViewScale s = TViewScale::Percent(percent);
        screen().SetScale(s, 0, 0);
        setQuad(rectQuad(60, 50, 160, 120));
        // Scroll so that corner 2 is in view, a little off any whole multiple.
        const TPoint centre = screen().ToScreen(TPoint{160, 120});
        const TPoint at = screen().ScrollPosition();
        screen().ScrollTo(at.X + centre.X - 137, at.Y + centre.Y - 91);
        const TPoint o{-screen().ScrollPosition().X, -screen().ScrollPosition().Y};
        const TPoint h = handle(2);
        ASSERT_GE(h.X, 0);
        ASSERT_LT(h.X, 300);
        press(h);
        ASSERT_EQ(form->ActiveVertex, 2);
        const std::int64_t startX = floorDiv((h.X - o.X) * s.Den, s.Num);
        const std::int64_t startY = floorDiv((h.Y - o.Y) * s.Den, s.Num);
        for (const TPoint d : {TPoint{1, 0}, TPoint{7, 3}, TPoint{-13, 22}, TPoint{40, -17}}) {
            const TPoint to{h.X + d.X, h.Y + d.Y};
            moveTo(to);
            const std::int64_t px = floorDiv((to.X - o.X) * s.Den, s.Num);
            const std::int64_t py = floorDiv((to.Y - o.Y) * s.Den, s.Num);
            ASSERT_EQ(form->Vertices[2], (QuadPoint{static_cast<std::int32_t>(160 + px - startX),
                                                    static_cast<std::int32_t>(120 + py - startY)}))
                << d.X << ", " << d.Y;
        }
        release(TPoint{h.X + 40, h.Y - 17});
        EXPECT_EQ(form->ActiveVertex, -1);
        EXPECT_EQ(form->Vertices[0], (QuadPoint{60, 50}));
        EXPECT_EQ(form->Vertices[1], (QuadPoint{160, 50}));
        EXPECT_EQ(form->Vertices[3], (QuadPoint{60, 120}));
    }
}

// |handle - press| < 5 in screen pixels takes the corner, at 25 % (where 4 screen pixels are
// 16 picture pixels) as at 400 % (where 5 screen pixels are one picture pixel).
TEST_F(ViewZoom, TheGrabZoneIsMeasuredOnScreen) {
    start(600, 400, 300, 200);
    for (int percent : {25, 100, 400}) {
        SCOPED_TRACE(percent);
        screen().SetScale(TViewScale::Percent(percent), 0, 0);
        setQuad(rectQuad(100, 80, 260, 200));
        const TPoint c = screen().ToScreen(TPoint{260, 200});
        const TPoint at = screen().ScrollPosition();
        screen().ScrollTo(at.X + c.X - 150, at.Y + c.Y - 100);
        const TPoint h = handle(2);
        for (const TPoint d : {TPoint{4, 4}, TPoint{-4, 4}, TPoint{4, -4}, TPoint{0, 0}}) {
            press(TPoint{h.X + d.X, h.Y + d.Y});
            EXPECT_EQ(form->ActiveVertex, 2) << d.X << ", " << d.Y;
            release(TPoint{h.X + d.X, h.Y + d.Y});
        }
        for (const TPoint d : {TPoint{5, 0}, TPoint{0, 5}, TPoint{-5, -5}, TPoint{0, -5}}) {
            press(TPoint{h.X + d.X, h.Y + d.Y});
            EXPECT_EQ(form->ActiveVertex, 4) << d.X << ", " << d.Y;
            release(TPoint{h.X + d.X, h.Y + d.Y});
        }
    }
}

// The view as it always was, drawn with the raster primitives alone: the facade, the element's
// non-zero pixels, the marching outline, the handles and the border, the view's colour beyond.
TBitmap32 todaysView(TForm_Schauplatz& form, int W, int H, int facadeW, int facadeH) {
    TBitmap32 ref;
    ref.SetSize(W, H);
    ref.Clear(kViewColour);
    const TBitmap32& ws = form.WorkingPlaceImage.Bitmap();
    for (int y = 0; y < facadeH; ++y)
        for (int x = 0; x < facadeW; ++x) {
            const TColor32 w = ws.GetPixel(x, y);
            ref.SetPixel(x, y, w != 0 ? w : patternPixel(x, y, 11));
        }
    ref.SetStipplePattern({kBlack, kBlack, kWhite, kWhite});
    ref.SetStippleStep(0.5f);
    ref.SetStippleCounter(form.StippleCounter);
    const auto& v = form.Vertices;
    const auto f = [](std::int32_t c) { return static_cast<float>(c); };
    for (const auto& [a, b] : {std::pair{3, 0}, std::pair{0, 1}, std::pair{1, 2}, std::pair{2, 3}})
        ref.StippledLine(f(v[a].X), f(v[a].Y), f(v[b].X), f(v[b].Y));
    for (const QuadPoint& p : v) {
        ref.FillRectClipped(p.X - 2, p.Y - 2, p.X + 2, p.Y + 2, kWhite);
        ref.FrameRectClipped(p.X - 3, p.Y - 3, p.X + 3, p.Y + 3, kBlack);
    }
    ref.FrameRectClipped(0, 0, facadeW, facadeH, kBlack);
    return ref;
}

TEST_F(ViewZoom, AtOneToOneTheScreenShowsTodaysPixels) {
    start(300, 200, 250, 170);
    screen().SetScale(TViewScale{}, 0, 0);
    setQuad(Quad{QuadPoint{40, 30}, QuadPoint{190, 45}, QuadPoint{170, 160}, QuadPoint{55, 140}});
    for (int pass = 0; pass < 7; ++pass)
        form->AppEventsIdle(); // the dashes moved on
    for (const TPoint scroll : {TPoint{0, 0}, TPoint{50, 30}, TPoint{17, 9}}) {
        screen().ScrollTo(scroll.X, scroll.Y);
        ASSERT_EQ(screen().ScrollPosition(), scroll);
        const TBitmap32& got = shown();
        const TBitmap32 want = todaysView(*form, 300, 200, 300, 200);
        EXPECT_TRUE(samePixels(
            250, 170, [&](int x, int y) { return got.GetPixel(x, y); },
            [&](int x, int y) { return want.GetPixel(x + scroll.X, y + scroll.Y); }))
            << "scrolled to " << scroll.X << ", " << scroll.Y;
    }
    // A drag step and more dashes later, still the same.
    press(handle(1));
    moveTo(TPoint{handle(1).X + 9, handle(1).Y + 4});
    release(TPoint{handle(1).X, handle(1).Y});
    // The release selected corner 1 (its handle inverted, the loupe over it): compared
    // without both.
    ASSERT_EQ(form->QuadSelection(), 1);
    const TPoint h = handle(1);
    EXPECT_EQ(shown().GetPixel(h.X - 3, h.Y - 3), kWhite);
    EXPECT_EQ(shown().GetPixel(h.X, h.Y), kBlack);
    EXPECT_TRUE(screen().LoupeRect().has_value());
    form->ClearQuadSelection();
    EXPECT_FALSE(screen().LoupeRect().has_value());
    form->AppEventsIdle();
    const TBitmap32& got = shown();
    const TBitmap32 want = todaysView(*form, 300, 200, 300, 200);
    const TPoint scroll = screen().ScrollPosition();
    EXPECT_TRUE(samePixels(
        250, 170, [&](int x, int y) { return got.GetPixel(x, y); },
        [&](int x, int y) { return want.GetPixel(x + scroll.X, y + scroll.Y); }));
}

TEST_F(ViewZoom, ZoomAtThePointerKeepsThePicturePointUnderIt) {
    start(1600, 1000, 400, 300);
    const TPoint pointer{123, 77};
    // Upwards from the smallest step and down again, then from a fitted scale.
    std::vector<int> steps(12, 1);
    steps.insert(steps.end(), 12, -1);
    screen().SetScale(TViewScale::Percent(50), pointer.X, pointer.Y);
    screen().ScrollTo(300, 200);
    // The exact picture position under the pointer before the first step, in picture pixels.
    const TViewScale first = screen().Scale();
    const long double p =
        static_cast<long double>(pointer.X + screen().ScrollPosition().X) * first.Den / first.Num;
    const long double q =
        static_cast<long double>(pointer.Y + screen().ScrollPosition().Y) * first.Den / first.Num;
    for (int step : steps) {
        screen().ZoomSteps(step, pointer.X, pointer.Y);
        const TViewScale after = screen().Scale();
        const TPoint o2{-screen().ScrollPosition().X, -screen().ScrollPosition().Y};
        // Where that position is now, in screen pixels: under the pointer, to the pixel, as
        // long as the scroll limits allow (at the smallest steps the picture fits and stays
        // at the top left).
        const long double x = o2.X + p * after.Num / after.Den;
        const long double y = o2.Y + q * after.Num / after.Den;
        const bool clampedX = o2.X == 0 || screen().ScrollPosition().X == screen().MaxScroll().X;
        const bool clampedY = o2.Y == 0 || screen().ScrollPosition().Y == screen().MaxScroll().Y;
        if (!clampedX) {
            EXPECT_LE(std::fabs(x - pointer.X), 0.5L) << after.RoundedPercent();
        }
        if (!clampedY) {
            EXPECT_LE(std::fabs(y - pointer.Y), 0.5L) << after.RoundedPercent();
        }
        EXPECT_FALSE(screen().FitMode());
    }
    EXPECT_EQ(screen().Scale(), TViewScale::Minimum());
    // Back up the steps, the point is under the pointer again once there is room.
    screen().ZoomSteps(4, pointer.X, pointer.Y);
    EXPECT_EQ(screen().Scale(), TViewScale::Percent(50));
    EXPECT_EQ(screen().ScrollPosition(), (TPoint{300, 200}));
}

TEST_F(ViewZoom, ALoadedFacadeIsShownWholeWhenItDoesNotFit) {
    loadElement(writePattern("door.bmp", 41, 31, 12));
    screen().Resize(400, 300);
    // The built-in 1000 x 667 picture at start: shown whole.
    EXPECT_TRUE(screen().FitMode());
    EXPECT_EQ(screen().Scale(), TViewScale::Fraction(400, 1000));

    screen().SetScale(TViewScale::Percent(300));
    loadFacade(writePattern("big.bmp", 1600, 1067, 3));
    EXPECT_TRUE(screen().FitMode());
    EXPECT_EQ(screen().Scale(), TViewScale::Fraction(1, 4));
    EXPECT_EQ(screen().ContentSize(), (TPoint{400, 267}));
    EXPECT_EQ(screen().MaxScroll(), (TPoint{0, 0}));
    // While fitted it follows the visible area.
    screen().Resize(800, 300);
    EXPECT_EQ(screen().Scale(), TViewScale::Fraction(300, 1067));

    form->Originalgre1Click();
    EXPECT_EQ(screen().Scale(), TViewScale{});
    EXPECT_EQ(screen().MaxScroll(), (TPoint{800, 767}));
    screen().Resize(400, 300); // a chosen scale stays
    EXPECT_EQ(screen().Scale(), TViewScale{});

    // A picture that fits is shown at 1:1.
    loadFacade(writePattern("small.bmp", 200, 100, 4));
    EXPECT_EQ(screen().Scale(), TViewScale{});
    EXPECT_TRUE(screen().FitMode());

    // "Neues Projekt" shows the picture whole again, also when its dialog is cancelled.
    loadFacade(writePattern("big2.bmp", 1600, 1067, 5));
    form->Vergrern1Click();
    EXPECT_FALSE(screen().FitMode());
    form->NeuesProjekt1Click();
    EXPECT_TRUE(screen().FitMode());
    EXPECT_EQ(screen().Scale(), TViewScale::Fraction(1, 4));
    // "Ganzes Bild" after zooming.
    form->Verkleinern1Click();
    EXPECT_EQ(screen().Scale(), TViewScale::Percent(15));
    form->GanzesBild1Click();
    EXPECT_EQ(screen().Scale(), TViewScale::Fraction(1, 4));
}

// Every way a picture or project comes in shows it whole: the facade turned, a project
// loaded from the menu or from outside the window, and a project restored after a crash.
TEST_F(ViewZoom, EveryLoadPathShowsThePictureWhole) {
    loadElement(writePattern("door.bmp", 41, 31, 12));
    screen().Resize(400, 300);
    loadFacade(writePattern("big.bmp", 1600, 1067, 3));
    const auto zoomedIn = [&] {
        form->Originalgre1Click();
        ASSERT_FALSE(screen().FitMode());
        ASSERT_EQ(screen().Scale(), TViewScale{});
    };
    zoomedIn();
    form->Fassadenachrechtsdrehen1Click();
    const TBitmap32& turned = form->ImageHintergrund.Bitmap();
    ASSERT_LT(turned.Width(), turned.Height()) << "upright now";
    const TViewScale upright = FitScale(turned.Width(), turned.Height(), 400, 300);
    EXPECT_TRUE(screen().FitMode());
    EXPECT_EQ(screen().Scale(), upright) << turned.Width() << " x " << turned.Height();
    EXPECT_EQ(screen().ContentSize().Y, 300);

    form->Vertices = rectQuad(100, 200, 400, 800);
    form->Elementbernehmen1Click();
    const std::string project = m_folder + "Angebot.vbk";
    ASSERT_TRUE(form->SaveProject(project));
    zoomedIn();
    host.openAnswers.push_back(project);
    form->Projektladen1Click();
    EXPECT_TRUE(screen().FitMode());
    EXPECT_EQ(screen().Scale(), upright);
    zoomedIn();
    form->SelectNextCorner(false);
    ASSERT_TRUE(form->OpenProjectFile(project));
    EXPECT_TRUE(screen().FitMode());
    EXPECT_EQ(form->QuadSelection(), kNoSelection);

    // Another program's unsaved work, left behind as if it had been killed.
    const std::string recovery = m_folder + "recovery/";
    {
        testing::CornerHost otherHost;
        const std::string otherFolder = m_folder + "other/";
        std::filesystem::create_directories(otherFolder);
        TForm_Schauplatz other(otherHost, otherFolder);
        other.FormCreate();
        other.EnableRecovery(recovery);
        otherHost.openAnswers.push_back(writePattern("wide.bmp", 1200, 400, 8));
        other.FassadeLaden1Click();
        ASSERT_TRUE(other.Recovery()->WaitUntilWritten());
        other.KeepRecoveryAtExit();
        other.FormDestroy();
    }
    zoomedIn();
    form->EnableRecovery(recovery);
    host.restoreAnswers = {RestoreAnswer::Restore};
    form->OfferRecovery();
    ASSERT_EQ(form->ImageHintergrund.Bitmap().Width(), 1200);
    EXPECT_TRUE(screen().FitMode());
    EXPECT_EQ(screen().Scale(), FitScale(1200, 400, 400, 300));
}

// At other scales the overlay is drawn in screen pixels: 6 x 6 handles at the scaled corners,
// an outline one pixel wide, the border round the scaled picture.
TEST_F(ViewZoom, TheFrameIsDrawnInScreenPixelsAtTheScaledCorners) {
    start(300, 200, 300, 200);
    for (int percent : {50, 150, 400}) {
        SCOPED_TRACE(percent);
        screen().SetScale(TViewScale::Percent(percent), 0, 0);
        screen().ScrollTo(0, 0);
        setQuad(rectQuad(20, 16, 60, 40));
        const TBitmap32& got = shown();
        for (int corner = 0; corner < 4; ++corner) {
            const TPoint h = handle(corner);
            for (int y = h.Y - 3; y <= h.Y + 2; ++y)
                for (int x = h.X - 3; x <= h.X + 2; ++x) {
                    const bool inside = x >= h.X - 2 && x < h.X + 2 && y >= h.Y - 2 && y < h.Y + 2;
                    ASSERT_EQ(got.GetPixel(x, y), inside ? kWhite : kBlack) << x << ", " << y;
                }
        }
        // Half way along the top side the outline lies in one row; the rows beside it show the
        // picture as presented.
        const int mid = (handle(0).X + handle(1).X) / 2, row = handle(0).Y;
        TBitmap32 plain;
        plain.SetSize(300, 200);
        form->ClickMenuItem("Vertexanaus1"); // frame off
        plain.Assign(&shown());
        form->ClickMenuItem("Vertexanaus1");
        const TBitmap32& framed = shown();
        EXPECT_NE(framed.GetPixel(mid, row), plain.GetPixel(mid, row));
        EXPECT_EQ(framed.GetPixel(mid, row - 1), plain.GetPixel(mid, row - 1));
        EXPECT_EQ(framed.GetPixel(mid, row + 1), plain.GetPixel(mid, row + 1));
        // The border runs round the scaled picture.
        const TPoint content = screen().ContentSize();
        if (content.X < 300) {
            EXPECT_EQ(framed.GetPixel(content.X - 1, 100 * content.Y / 200 / 2), kBlack);
            EXPECT_EQ(framed.GetPixel(content.X, 10), kViewColour);
        }
    }
}

// Repaints of parts (marching dashes, a drag step, a scroll) give what a full repaint gives.
TEST_F(ViewZoom, PartialRepaintsAtAScaleGiveTheFullRepaintsPixels) {
    start(600, 400, 300, 200);
    for (int percent : {33, 67, 300}) {
        SCOPED_TRACE(percent);
        screen().SetScale(TViewScale::Percent(percent), 0, 0);
        screen().ScrollTo(0, 0);
        setQuad(
            Quad{QuadPoint{30, 20}, QuadPoint{150, 35}, QuadPoint{140, 110}, QuadPoint{25, 90}});
        shown();
        for (int i = 0; i < 5; ++i)
            form->AppEventsIdle();
        TBitmap32 partial;
        partial.Assign(&shown());
        EXPECT_TRUE(testing::sameBitmap(partial, shownAfterFullRepaint())) << "dashes";
        press(handle(2));
        for (int step = 1; step <= 4; ++step) {
            moveTo(TPoint{handle(2).X + 9, handle(2).Y + 5});
            shown();
        }
        release(handle(2));
        form->AppEventsIdle();
        partial.Assign(&shown());
        EXPECT_TRUE(testing::sameBitmap(partial, shownAfterFullRepaint())) << "drag";
        screen().ScrollTo(13, 7);
        form->SelectNextCorner(false);
        partial.Assign(&shown());
        EXPECT_TRUE(testing::sameBitmap(partial, shownAfterFullRepaint())) << "scroll";
        form->ClearQuadSelection();
    }
}

// Corners millions of pixels out, sides crossing, at the smallest and the largest scale: the
// view paints (the outline is cut to the screen first), nothing overflows.
TEST_F(ViewZoom, ExtremeQuadsAndScalesPaintWithoutTrouble) {
    start(300, 200, 240, 160);
    const std::int32_t far = std::numeric_limits<std::int32_t>::max();
    const std::int32_t near = std::numeric_limits<std::int32_t>::min();
    const Quad extremes[] = {
        Quad{QuadPoint{-3000000, -2000000}, QuadPoint{4000000, 10}, QuadPoint{100, 5000000},
             QuadPoint{-10, 90}},
        Quad{QuadPoint{near, near}, QuadPoint{far, near}, QuadPoint{far, far},
             QuadPoint{near, far}},
        Quad{QuadPoint{200, 150}, QuadPoint{10, 10}, QuadPoint{200, 10}, QuadPoint{10, 150}},
    };
    for (int percent : {10, 100, 800}) {
        screen().SetScale(TViewScale::Percent(percent), 120, 80);
        for (const Quad& quad : extremes) {
            setQuad(quad);
            form->SelectNextCorner(false);
            shown();
            form->AppEventsIdle();
            EXPECT_TRUE(testing::sameBitmap(shown(), shownAfterFullRepaint())) << percent;
            // The whole quad still moves, stopping at the ends of the range.
            form->SelectNextCorner(true);
            form->NudgeSelection(10, -10);
            shown();
        }
    }
    // The ends of the range are not passed by a drag either.
    screen().SetScale(TViewScale{}, 0, 0);
    setQuad(
        Quad{QuadPoint{far - 2, 5}, QuadPoint{far, 5}, QuadPoint{far, 9}, QuadPoint{far - 2, 9}});
    press(TPoint{5, 5}); // the whole quad
    moveTo(TPoint{200, 5});
    release(TPoint{200, 5});
    EXPECT_EQ(form->Vertices[1].X, far);
    EXPECT_EQ(form->Vertices[0].X, far);
}

TEST_F(ViewZoom, LimitsOfPictureAndScreenSize) {
    loadElement(writePattern("door.bmp", 41, 31, 12));
    // A 1 x 1 picture at every step.
    loadFacade(writePattern("dot.bmp", 1, 1, 6));
    screen().Resize(200, 100);
    for (int i = 0; i < 14; ++i) {
        form->Vergrern1Click();
        shown();
    }
    EXPECT_EQ(screen().Scale(), TViewScale::Maximum());
    EXPECT_EQ(screen().ContentSize(), (TPoint{8, 8}));
    for (int i = 0; i < 14; ++i) {
        form->Verkleinern1Click();
        shown();
    }
    EXPECT_EQ(screen().Scale(), TViewScale::Minimum());
    EXPECT_EQ(screen().ContentSize(), (TPoint{1, 1}));
    // 1920 x 1081 in a tiny screen: fitted at the smallest scale, scrollable, paintable.
    loadFacade(writePattern("wide.bmp", 1920, 1081, 7));
    screen().Resize(3, 3);
    EXPECT_EQ(screen().Scale(), TViewScale::Minimum());
    EXPECT_EQ(screen().MaxScroll(), (TPoint{189, 106}));
    screen().ScrollTo(1000000, -5);
    EXPECT_EQ(screen().ScrollPosition(), (TPoint{189, 0}));
    shown();
    form->SelectNextCorner(false);
    shown(); // no room for a loupe
    EXPECT_FALSE(screen().LoupeRect().has_value());
    screen().Resize(1, 1);
    screen().SetScale(TViewScale::Maximum(), 0, 0);
    shown();
    screen().Resize(0, 0);
    shown();
    // An unreadable facade is refused with a message; the view goes on showing the picture
    // it showed, at the scale it had.
    const std::string text = m_folder + "notes.txt";
    std::FILE* f = std::fopen(text.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("not a picture", f);
    std::fclose(f);
    screen().Resize(50, 40);
    form->ClickMenuItem("Vertexanaus1");
    screen().SetScale(TViewScale::Percent(50), 0, 0);
    TBitmap32 before;
    before.Assign(&shown());
    const std::size_t messages = host.messages.size();
    loadFacade(text);
    EXPECT_EQ(host.messages.size(), messages + 1);
    EXPECT_EQ(screen().Scale(), TViewScale::Percent(50));
    const TBitmap32& after = shown();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(after.GetPixel(x, y), before.GetPixel(x, y)) << x << ", " << y;
}

} // namespace
} // namespace schauplatz
