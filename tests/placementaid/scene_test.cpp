// Snapping and fitting on small drawn scenes whose answers are known exactly: rectangles on
// whole pixel borders, a framed window with two panes, a quad in perspective.

#include "placementaid/PlacementAid.h"
#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <cmath>

namespace schauplatz::placementaid {
namespace {

constexpr TColor32 kWall = 0xFFD0C8B8u;
constexpr TColor32 kFrame = 0xFFF4F4F0u;
constexpr TColor32 kGlass = 0xFF303A44u;

TBitmap32 canvas(std::int32_t W, std::int32_t H, TColor32 C) {
    TBitmap32 b;
    b.SetSize(W, H);
    b.Clear(C);
    return b;
}

// Pixels [L, R) x [T, B): the edges lie exactly at x = L, x = R, y = T, y = B.
void fill(TBitmap32& B, std::int32_t L, std::int32_t T, std::int32_t R, std::int32_t Bottom,
          TColor32 C) {
    B.FillRect(L, T, R, Bottom, C);
}

// A window with a frame of width F around glass, optionally with a bar of width F in the
// middle; the opening is [L, R) x [T, B).
TBitmap32 window(bool Bar) {
    TBitmap32 b = canvas(400, 300, kWall);
    fill(b, 100, 60, 300, 240, kFrame);
    fill(b, 112, 72, 288, 228, kGlass);
    if (Bar) fill(b, 194, 72, 206, 228, kFrame);
    return b;
}

TQuad quad(TPoint A, TPoint B, TPoint C, TPoint D) {
    return TQuad{A, B, C, D};
}

::testing::AssertionResult nearQuad(const std::optional<TOpeningFit>& Fit, const TQuad& Want,
                                    double Tolerance) {
    if (!Fit) return ::testing::AssertionFailure() << "no quad";
    for (std::size_t i = 0; i < 4; ++i) {
        const double e = std::hypot(Fit->Exact[i].X - Want[i].X, Fit->Exact[i].Y - Want[i].Y);
        if (e > Tolerance)
            return ::testing::AssertionFailure()
                   << "corner " << i << " at (" << Fit->Exact[i].X << ", " << Fit->Exact[i].Y
                   << "), want (" << Want[i].X << ", " << Want[i].Y << ")";
    }
    return ::testing::AssertionSuccess();
}

TEST(OpeningFit, DarkRectangleGivesItsCornersExactly) {
    TBitmap32 b = canvas(400, 300, kWall);
    fill(b, 100, 80, 300, 240, kGlass);
    const auto features = extractFacadeFeatures(b);
    const auto fit = features->fitOpening({180.0, 150.0});
    EXPECT_TRUE(nearQuad(fit, quad({100, 80}, {300, 80}, {300, 240}, {100, 240}), 0.25));
    ASSERT_TRUE(fit);
    EXPECT_EQ(fit->Quad, quad({100, 80}, {300, 80}, {300, 240}, {100, 240}));
    EXPECT_GT(fit->Clarity, 0.9);
}

TEST(OpeningFit, ClickOnTheGlassOrInAPaneFitsTheWholeOpening) {
    const TQuad opening = quad({100, 60}, {300, 60}, {300, 240}, {100, 240});
    const auto plain = extractFacadeFeatures(window(false));
    EXPECT_TRUE(nearQuad(plain->fitOpening({200.0, 150.0}), opening, 0.25));
    const auto panes = extractFacadeFeatures(window(true));
    EXPECT_TRUE(nearQuad(panes->fitOpening({150.0, 120.0}), opening, 0.25));
    EXPECT_TRUE(nearQuad(panes->fitOpening({250.0, 200.0}), opening, 0.25));
}

TEST(OpeningFit, NothingOnPlainWallOrOutsideThePicture) {
    const auto features = extractFacadeFeatures(window(false));
    EXPECT_FALSE(features->fitOpening({40.0, 40.0}));   // wall beside the window
    EXPECT_FALSE(features->fitOpening({350.0, 270.0})); // wall below
    EXPECT_FALSE(features->fitOpening({-5.0, 150.0}));
    EXPECT_FALSE(features->fitOpening({200.0, 301.0}));
    EXPECT_FALSE(features->fitOpening({NAN, 150.0}));
    EXPECT_FALSE(features->fitOpening({200.0, INFINITY}));
}

TEST(OpeningFit, QuadInPerspectiveWithinAPixelOfItsCorners) {
    // A dark convex quad, each pixel covered in 8 x 8 samples.
    const std::array<TPointD, 4> c{{{120.3, 70.6}, {330.8, 92.2}, {318.4, 251.7}, {109.1, 238.9}}};
    TBitmap32 b = canvas(440, 320, kWall);
    const auto inside = [&](double X, double Y) {
        for (std::size_t i = 0; i < 4; ++i) {
            const TPointD a = c[i], e = c[(i + 1) % 4];
            if ((e.X - a.X) * (Y - a.Y) - (e.Y - a.Y) * (X - a.X) < 0.0) return false;
        }
        return true;
    };
    for (std::int32_t y = 0; y < b.Height(); ++y)
        for (std::int32_t x = 0; x < b.Width(); ++x) {
            int hits = 0;
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i)
                    hits += inside(x + (i + 0.5) / 8, y + (j + 0.5) / 8);
            const auto v = static_cast<std::uint32_t>(std::lround(200.0 - 150.0 * hits / 64.0));
            b.SetPixel(x, y, Color32(v, v, v));
        }
    const auto fit = extractFacadeFeatures(b)->fitOpening({220.0, 160.0});
    ASSERT_TRUE(fit);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(fit->Exact[i].X, c[i].X, 0.35) << "corner " << i;
        EXPECT_NEAR(fit->Exact[i].Y, c[i].Y, 0.35) << "corner " << i;
    }
}

TEST(Snap, CornerThenEdgeThenNothing) {
    TBitmap32 b = canvas(400, 300, kWall);
    fill(b, 100, 80, 300, 240, kGlass);
    const auto f = extractFacadeFeatures(b);
    const TSnapResult corner = f->snap({104.0, 86.0});
    EXPECT_EQ(corner.Kind, TSnapKind::Corner);
    EXPECT_EQ(corner.Point, (TPoint{100, 80}));
    EXPECT_NEAR(corner.Exact.X, 100.0, 0.2);
    EXPECT_NEAR(corner.Exact.Y, 80.0, 0.2);
    // Mid-way along the top edge, 4 pixels off: onto the edge, straight across.
    const TSnapResult edge = f->snap({200.3, 84.0});
    EXPECT_EQ(edge.Kind, TSnapKind::Edge);
    EXPECT_EQ(edge.Point, (TPoint{200, 80}));
    // 7 pixels off the edge: beyond its radius.
    const TSnapResult none = f->snap({200.3, 87.0});
    EXPECT_EQ(none.Kind, TSnapKind::None);
    EXPECT_EQ(none.Point, (TPoint{200, 87}));
    // Radii are picture pixels: with a zoomed-out view they grow.
    EXPECT_EQ(f->snap({200.3, 87.0}, {20.0, 12.0}).Kind, TSnapKind::Edge);
    // Without the corner search, two edges meeting within the radius give their crossing.
    const TSnapResult crossing = f->snap({103.0, 84.0}, {0.0, 6.0});
    EXPECT_EQ(crossing.Kind, TSnapKind::EdgeCrossing);
    EXPECT_EQ(crossing.Point, (TPoint{100, 80}));
}

TEST(Snap, OnlyCornersOpeningTheWayIntoTheElementCount) {
    TBitmap32 b = canvas(400, 300, kWall);
    fill(b, 100, 80, 300, 240, kGlass);
    const auto f = extractFacadeFeatures(b);
    const TPointD pointer{103.0, 84.0};
    // The element's top left vertex (its inside to the bottom right) takes the top left corner.
    const auto topLeft = f->snap(pointer, {}, TPointD{0.7071, 0.7071});
    EXPECT_EQ(topLeft.Kind, TSnapKind::Corner);
    EXPECT_EQ(topLeft.Point, (TPoint{100, 80}));
    // Its bottom right vertex does not: that corner's edges open the other way. The edges
    // still meet there.
    const auto bottomRight = f->snap(pointer, {}, TPointD{-0.7071, -0.7071});
    EXPECT_EQ(bottomRight.Kind, TSnapKind::EdgeCrossing);
    EXPECT_EQ(bottomRight.Point, (TPoint{100, 80}));
    // A zero or broken direction counts as none given.
    EXPECT_EQ(f->snap(pointer, {}, TPointD{0.0, 0.0}).Kind, TSnapKind::Corner);
    EXPECT_EQ(f->snap(pointer, {}, TPointD{NAN, 1.0}).Kind, TSnapKind::Corner);
}

TEST(Snap, InwardDirectionOfAQuad) {
    const TQuad q = quad({0, 0}, {10, 0}, {10, 10}, {0, 10});
    const auto d0 = inwardDirection(q, 0);
    ASSERT_TRUE(d0);
    EXPECT_NEAR(d0->X, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(d0->Y, std::sqrt(0.5), 1e-12);
    const auto d2 = inwardDirection(q, 2);
    ASSERT_TRUE(d2);
    EXPECT_LT(d2->X, 0.0);
    EXPECT_LT(d2->Y, 0.0);
    EXPECT_FALSE(inwardDirection(q, 4));
    const TQuad point = quad({5, 5}, {5, 5}, {5, 5}, {5, 5});
    EXPECT_FALSE(inwardDirection(point, 1));
}

TEST(VertexDrag, GoesToTheCornerOfTheOpeningTheElementSitsIn) {
    const auto f = extractFacadeFeatures(window(true));
    // The element roughly in the opening; its bottom right vertex dragged near the corner.
    const TQuad rough = quad({104, 63}, {296, 57}, {293, 236}, {97, 244});
    const TVertexDrag drag(f, rough, 2);
    ASSERT_TRUE(drag.opening());
    const TSnapResult r = drag.snap({294.0, 236.0});
    EXPECT_EQ(r.Kind, TSnapKind::Corner);
    EXPECT_EQ(r.Point, (TPoint{300, 240}));
    // Far from the opening's corner the drag snaps as a plain snap would.
    EXPECT_EQ(drag.snap({40.0, 40.0}).Kind, TSnapKind::None);
    // Without features nothing snaps.
    const TVertexDrag none(nullptr, rough, 2);
    EXPECT_EQ(none.snap({294.0, 236.0}).Kind, TSnapKind::None);
    EXPECT_FALSE(none.opening());
}

} // namespace
} // namespace schauplatz::placementaid
