// The workspace view as painted into its buffer: background, element, frame, handles,
// border, the area beside the picture, the zoom, and repaints that redraw only what changed.

#include "placement_fixture.h"

namespace schauplatz {
namespace {

using testing::kBlack;
using testing::kViewColour;
using testing::kWhite;
using testing::movedElementPixel;
using testing::PlacementForm;
using testing::samePixels;

using testing::Quad;
using testing::rectQuad;

class PlacementView : public PlacementForm {
protected:
    void SetUp() override {
        PlacementForm::SetUp();
        facade.SetSize(0, 0);
        facadePath = writePattern("facade.bmp", 300, 200, 11);
        testing::fillPicture(facade, 300, 200,
                             [](int x, int y) { return testing::patternPixel(x, y, 11); });
        loadFacade(facadePath);
        loadElement(writePattern("door.bmp", 41, 31, 12));
    }

    // The view without frame: the facade, the workspace's non-zero pixels over it, the view's
    // colour beside and below the picture.
    TColor32 plainViewPixel(int x, int y) {
        if (x >= facade.Width() || y >= facade.Height()) return kViewColour;
        const TColor32 w = workspace().GetPixel(x, y);
        return w != 0 ? w : facade.GetPixel(x, y);
    }
    ::testing::AssertionResult bufferIsPlainView() {
        const TBitmap32& buffer = view().Buffer();
        return samePixels(
            view().Width(), view().Height(), [&](int x, int y) { return buffer.GetPixel(x, y); },
            [&](int x, int y) { return plainViewPixel(x, y); });
    }
    // The buffer as a full repaint gives it, for comparing partial repaints with.
    std::unique_ptr<TBitmap32> fullRepaint() {
        view().Invalidate();
        paint();
        auto copy = std::make_unique<TBitmap32>();
        copy->Assign(&view().Buffer());
        return copy;
    }
    ::testing::AssertionResult bufferEquals(const TBitmap32& expected) {
        const TBitmap32& buffer = view().Buffer();
        return samePixels(
            view().Width(), view().Height(), [&](int x, int y) { return buffer.GetPixel(x, y); },
            [&](int x, int y) { return expected.GetPixel(x, y); });
    }

    TBitmap32 facade;
    std::string facadePath;
};

TEST_F(PlacementView, FrameHiddenShowsBackgroundElementAndViewColour) {
    setQuad(movedQuad(30, 40));
    form->ClickMenuItem("Vertexanaus1"); // frame off
    paint();
    EXPECT_TRUE(bufferIsPlainView());
    // The same with the mode off as well: no outline, no handles, no border.
    form->ClickMenuItem("NeuesElementpositionieren1");
    paint();
    EXPECT_TRUE(bufferIsPlainView());
}

TEST_F(PlacementView, HandlesBorderAndClippedCorner) {
    setQuad(rectQuad(60, 50, 160, 120));
    paint();
    const TBitmap32& buffer = view().Buffer();
    for (const QuadPoint& v : form->Vertices)
        for (int y = v.Y - 3; y <= v.Y + 2; ++y)
            for (int x = v.X - 3; x <= v.X + 2; ++x) {
                const bool inside = x >= v.X - 2 && x < v.X + 2 && y >= v.Y - 2 && y < v.Y + 2;
                ASSERT_EQ(buffer.GetPixel(x, y), inside ? kWhite : kBlack) << x << ", " << y;
            }
    // The black border runs along the picture's outer pixels, the view colour beyond.
    for (int x = 0; x < 300; x += 7) {
        EXPECT_EQ(buffer.GetPixel(x, 0), kBlack);
        EXPECT_EQ(buffer.GetPixel(x, 199), kBlack);
        EXPECT_EQ(buffer.GetPixel(x, 200), kViewColour);
    }
    for (int y = 0; y < 200; y += 7) {
        EXPECT_EQ(buffer.GetPixel(0, y), kBlack);
        EXPECT_EQ(buffer.GetPixel(299, y), kBlack);
        EXPECT_EQ(buffer.GetPixel(300, y), kViewColour);
    }
    // Away from frame and border the picture shows as it is.
    EXPECT_EQ(buffer.GetPixel(200, 150), plainViewPixel(200, 150));
    EXPECT_EQ(buffer.GetPixel(100, 80), plainViewPixel(100, 80));

    // A corner at (0, 0), mode off so no border covers it: only the handle's part from (0, 0)
    // to (2, 2) is visible, the white inside and the black outline at x = 2 and y = 2.
    setQuad(rectQuad(0, 0, 100, 70));
    form->ClickMenuItem("NeuesElementpositionieren1");
    paint();
    for (int y = 0; y <= 2; ++y)
        for (int x = 0; x <= 2; ++x)
            EXPECT_EQ(buffer.GetPixel(x, y), (x < 2 && y < 2) ? kWhite : kBlack) << x << ", " << y;
}

// The dash a pixel of the stippled outline shows: the points are anti-aliased over the
// pixel grid, so black and white come out nearly so, and the transitions grey.
char dashClass(TColor32 c) {
    const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    if (r < 0x10 && g < 0x10 && b < 0x10) return 'B';
    if (r > 0xEF && g > 0xEF && b > 0xEF) return 'W';
    if (r > 0x70 && r < 0x90 && g > 0x70 && g < 0x90 && b > 0x70 && b < 0x90) return 'g';
    return '?';
}

TEST_F(PlacementView, DashesMarchFromVertexZeroTowardsVertexOne) {
    setQuad(rectQuad(40, 60, 240, 160));
    form->StippleCounter = 0.0f;
    paint();
    std::string before;
    for (int x = 50; x < 230; ++x)
        before += dashClass(view().Buffer().GetPixel(x, 60));
    // Dashes of four pixels: three of a colour and one transition, repeating every eight.
    EXPECT_EQ(before.find('?'), std::string::npos) << before;
    for (std::size_t i = 8; i < before.size(); ++i)
        ASSERT_EQ(before[i], before[i - 8]) << before;
    EXPECT_EQ(std::count(before.begin(), before.begin() + 8, 'B'), 3) << before;
    EXPECT_EQ(std::count(before.begin(), before.begin() + 8, 'W'), 3) << before;

    // Twenty idle passes lower the counter by 1.0: the dashes move two pixels along 0 -> 1.
    for (int i = 0; i < 20; ++i)
        form->AppEventsIdle();
    EXPECT_NEAR(form->StippleCounter, -1.0f, 1e-5f);
    form->StippleCounter = -1.0f;
    view().InvalidateOverlay();
    paint();
    std::string after;
    for (int x = 52; x < 230; ++x)
        after += dashClass(view().Buffer().GetPixel(x, 60));
    EXPECT_EQ(after, before.substr(0, after.size()));
    // The left edge runs from vertex 3 up to vertex 0: there the dashes move upwards.
    std::string leftBefore;
    std::string leftAfter;
    form->StippleCounter = 0.0f;
    view().InvalidateOverlay();
    paint();
    for (int y = 150; y > 70; --y)
        leftBefore += dashClass(view().Buffer().GetPixel(40, y));
    form->StippleCounter = -1.0f;
    view().InvalidateOverlay();
    paint();
    for (int y = 148; y > 70; --y)
        leftAfter += dashClass(view().Buffer().GetPixel(40, y));
    EXPECT_EQ(leftAfter, leftBefore.substr(0, leftAfter.size()));
}

TEST_F(PlacementView, PartialRepaintsGiveTheFullRepaintsPixels) {
    setQuad(rectQuad(60, 50, 160, 120));
    paint();
    const auto stats = view().PaintStatistics();
    // Idle passes redraw the frame only.
    for (int i = 0; i < 7; ++i)
        form->AppEventsIdle();
    paint();
    EXPECT_GT(view().PaintStatistics().overlayPaints, stats.overlayPaints);
    EXPECT_EQ(view().PaintStatistics().fullPaints, stats.fullPaints);
    TBitmap32 partial;
    partial.Assign(&view().Buffer());
    EXPECT_TRUE(bufferEquals(*fullRepaint()) << "after idle passes");
    view().Buffer().Assign(&partial);

    // A drag redraws the element's area; corners, whole quad, out of the picture and back.
    const long before = view().PaintStatistics().picturePaints;
    press(160, 120);
    for (int step = 0; step < 6; ++step) {
        moveTo(160 + 23 * step, 120 + 11 * step);
        paint();
    }
    release(275, 175);
    EXPECT_GT(view().PaintStatistics().picturePaints, before);
    for (int i = 0; i < 3; ++i)
        form->AppEventsIdle();
    paint();
    partial.Assign(&view().Buffer());
    EXPECT_TRUE(bufferEquals(*fullRepaint()) << "after a corner drag");

    drag(100, 90, -50, 170);
    form->AppEventsIdle();
    paint();
    drag(-40, 180, 250, 10);
    paint();
    partial.Assign(&view().Buffer());
    EXPECT_TRUE(bufferEquals(*fullRepaint()) << "after dragging the quad around");

    // Frame off and on, mode off: the overlay areas change, the old frame must vanish.
    form->ClickMenuItem("Vertexanaus1");
    paint();
    EXPECT_TRUE(bufferIsPlainView());
    form->ClickMenuItem("Vertexanaus1");
    form->ClickMenuItem("NeuesElementpositionieren1");
    form->AppEventsIdle();
    paint();
    partial.Assign(&view().Buffer());
    EXPECT_TRUE(bufferEquals(*fullRepaint()) << "mode off");

    // An acceptance changes the background under a marching frame: shown at the next pass.
    form->ClickMenuItem("NeuesElementpositionieren1");
    form->Elementbernehmen1Click();
    form->AppEventsIdle();
    paint();
    partial.Assign(&view().Buffer());
    EXPECT_TRUE(bufferEquals(*fullRepaint()) << "after an acceptance");
}

TEST_F(PlacementView, ZoomResizesTheWorkspaceAndRendersAtTheSameQuad) {
    loadFacade(writePattern("wide.bmp", 1001, 667, 13));
    EXPECT_EQ(workspace().Width(), 1001);
    EXPECT_EQ(workspace().Height(), 667);
    // The element is drawn at once over the new facade, at its quad.
    setQuad(movedQuad(3, 4));
    form->kleinerClick();
    EXPECT_EQ(form->Zoom, 0.5f);
    EXPECT_EQ(workspace().Width(), 500);  // 500.5 to the even 500
    EXPECT_EQ(workspace().Height(), 334); // 333.5 to the even 334
    const TBitmap32& ws = workspace();
    EXPECT_TRUE(samePixels(
        ws.Width(), ws.Height(), [&](int x, int y) { return ws.GetPixel(x, y); },
        [&](int x, int y) { return movedElementPixel(element(), 3, 4, x, y); }));
    // The background is shown scaled into the smaller picture rectangle.
    form->ClickMenuItem("Vertexanaus1");
    paint();
    EXPECT_EQ(view().Buffer().GetPixel(499, 333) != kViewColour, true);
    EXPECT_EQ(view().Buffer().GetPixel(500, 100), kViewColour);
    EXPECT_EQ(view().Buffer().GetPixel(100, 334), kViewColour);

    form->groesserClick();
    form->groesserClick();
    EXPECT_EQ(form->Zoom, 2.0f);
    EXPECT_EQ(workspace().Width(), 2002);
    form->ResetzoomClick();
    EXPECT_EQ(workspace().Width(), 1001);
    EXPECT_EQ(workspace().Height(), 667);
}

TEST_F(PlacementView, AnUnreadableFacadePaintsTheViewBlack) {
    const std::string text = m_folder + "notes.txt";
    std::FILE* f = std::fopen(text.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("not a picture", f);
    std::fclose(f);
    form->LoadFacade(text); // as a project's line 0 is read: an empty picture
    EXPECT_EQ(background().Width(), 0);
    EXPECT_EQ(form->ProjectData, std::vector<std::string>{text});
    paint();
    const TBitmap32& buffer = view().Buffer();
    EXPECT_TRUE(samePixels(
        view().Width(), view().Height(), [&](int x, int y) { return buffer.GetPixel(x, y); },
        [&](int x, int y) {
            // The frame still shows over the black; nothing else does.
            for (const QuadPoint& v : form->Vertices)
                if (x >= v.X - 4 && x <= v.X + 4 && y >= v.Y - 4 && y <= v.Y + 4)
                    return buffer.GetPixel(x, y);
            const Quad& q = form->Vertices;
            if ((y >= q[0].Y - 1 && y <= q[0].Y + 1) || (x >= q[0].X - 1 && x <= q[0].X + 1) ||
                (y >= q[2].Y - 1 && y <= q[2].Y + 1) || (x >= q[2].X - 1 && x <= q[2].X + 1))
                return buffer.GetPixel(x, y);
            return kBlack;
        }));
}

} // namespace
} // namespace schauplatz

namespace schauplatz {
namespace {

// With a host that takes rectangles, a frame step or a drag step asks for just the areas
// that change, and every pixel that changed lies inside them.
TEST_F(PlacementView, PartialRepaintsAskTheHostForTheChangedAreasOnly) {
    int fullRequests = 0;
    std::vector<TRect> areas;
    THostHooks hooks;
    hooks.Invalidate = [&] { ++fullRequests; };
    view().SetHostHooks(hooks);
    view().InvalidateArea = [&](const TRect& R) { areas.push_back(R); };
    setQuad(Quad{QuadPoint{60, 50}, QuadPoint{170, 70}, QuadPoint{160, 150}, QuadPoint{50, 120}});
    paint();
    form->AppEventsIdle();
    paint();

    const auto changedOnlyInside = [&](const TBitmap32& before) -> ::testing::AssertionResult {
        const TBitmap32& after = view().Buffer();
        for (int y = 0; y < view().Height(); ++y)
            for (int x = 0; x < view().Width(); ++x) {
                if (after.GetPixel(x, y) == before.GetPixel(x, y)) continue;
                const bool covered = std::any_of(areas.begin(), areas.end(), [&](const TRect& R) {
                    return x >= R.Left && x < R.Right && y >= R.Top && y < R.Bottom;
                });
                if (!covered)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") changed outside the areas";
            }
        return ::testing::AssertionSuccess();
    };

    TBitmap32 before;
    for (int pass = 0; pass < 5; ++pass) {
        before.Assign(&view().Buffer());
        areas.clear();
        const int full = fullRequests;
        form->AppEventsIdle();
        EXPECT_EQ(fullRequests, full);
        EXPECT_FALSE(areas.empty());
        paint();
        EXPECT_TRUE(changedOnlyInside(before)) << "idle pass " << pass;
    }
    press(160, 150);
    for (int step = 1; step <= 4; ++step) {
        before.Assign(&view().Buffer());
        areas.clear();
        const int full = fullRequests;
        moveTo(160 + 17 * step, 150 - 9 * step);
        EXPECT_EQ(fullRequests, full);
        paint();
        EXPECT_TRUE(changedOnlyInside(before)) << "drag step " << step;
    }
    release(228, 114);
    EXPECT_TRUE(bufferEquals(*fullRepaint()));
    // Anything else still repaints the whole control.
    const int full = fullRequests;
    form->ClickMenuItem("Vertexanaus1");
    form->kleinerClick();
    EXPECT_GT(fullRequests, full);
}

} // namespace
} // namespace schauplatz
