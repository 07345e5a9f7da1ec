// The element rendering with appearance settings: the exact layer against transformed drawing,
// smoothing (coverage, averages, fringes), the shadow, the composite and extreme quads.

#include "raster/Appearance.h"
#include "raster/Drawing.h"
#include "raster/ElementRendering.h"
#include "raster/ElementSampler.h"
#include "raster/Transformation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

using namespace schauplatz;

namespace {

std::uint32_t testSeed() {
    const char* env = std::getenv("SCHAUPLATZ_TEST_SEED");
    return env != nullptr ? static_cast<std::uint32_t>(std::strtoul(env, nullptr, 10)) : 20240519u;
}

TBitmap32 randomPicture(std::mt19937& Rng, int W, int H) {
    TBitmap32 b;
    b.SetSize(W, H);
    b.SetDrawMode(dmBlend);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const std::uint32_t roll = Rng() % 4;
            const std::uint32_t a = roll == 0 ? 0 : roll == 1 ? Rng() % 256 : 255;
            b.SetPixel(x, y, (a << 24) | (Rng() & 0xFFFFFFu));
        }
    return b;
}

TBitmap32 filled(int W, int H, TColor32 C) {
    TBitmap32 b;
    b.SetSize(W, H);
    b.SetDrawMode(dmBlend);
    b.Clear(C);
    return b;
}

TBitmap32 layer(int W = 200, int H = 160) {
    TBitmap32 b;
    b.SetSize(W, H);
    return b;
}

std::uint64_t hashOf(const TBitmap32& B) {
    std::uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < B.Height(); ++y)
        for (int x = 0; x < B.Width(); ++x) {
            h ^= B.GetPixel(x, y);
            h *= 1099511628211ull;
        }
    return h;
}

TAppearance smooth() {
    TAppearance a;
    a.Smooth = true;
    return a;
}

TElementQuad rect(int L, int T, int R, int B) {
    return {TPoint{L, T}, TPoint{R, T}, TPoint{R, B}, TPoint{L, B}};
}

} // namespace

// --- neutral settings: exactly the transformed drawing of the window ---------------------------

TEST(AppearanceExactLayer, NeutralSettingsGiveTheTransformedDrawingOfRandomQuads) {
    const std::uint32_t seed = testSeed();
    std::mt19937 rng(seed);
    for (int round = 0; round < 60; ++round) {
        TBitmap32 picture =
            randomPicture(rng, 2 + static_cast<int>(rng() % 90), 2 + static_cast<int>(rng() % 90));
        picture.SetMasterAlpha(round % 5 == 0 ? rng() % 256 : 255);
        TElementQuad q;
        for (TPoint& p : q)
            p = TPoint{static_cast<int>(rng() % 260) - 30, static_cast<int>(rng() % 220) - 30};
        // The reference: the window's transformation set-up, then transformed drawing.
        TBitmap32 expected = layer();
        TProjectiveTransformation T;
        T.SetX0(static_cast<float>(q[0].X));
        T.SetY0(static_cast<float>(q[0].Y));
        T.SetX1(static_cast<float>(q[1].X));
        T.SetY1(static_cast<float>(q[1].Y));
        T.SetX2(static_cast<float>(q[2].X));
        T.SetY2(static_cast<float>(q[2].Y));
        T.SetX3(static_cast<float>(q[3].X));
        T.SetY3(static_cast<float>(q[3].Y));
        T.SetSourceRect(TFloatRect{0, 0, picture.Width() - 1.0f, picture.Height() - 1.0f});
        DrawTransformed(&expected, &picture, &T);
        TBitmap32 got = layer();
        RenderElementInto(got, picture, q, TAppearance{}, got.BoundsRect());
        ASSERT_EQ(hashOf(got), hashOf(expected)) << "seed " << seed << ", round " << round;
    }
}

TEST(AppearanceExactLayer, TheNearestAppearanceLayerReadsTheSamePicturePixels) {
    // Without smoothing the appearance layer shows, pixel for pixel, the picture pixel the
    // exact layer shows, only unblended: exact = BlendMasterInto(layer pixel, 0, 255).
    const std::uint32_t seed = testSeed();
    std::mt19937 rng(seed + 1);
    const TAppearance nearest; // neutral, but drawn as an appearance layer
    for (int round = 0; round < 30; ++round) {
        TBitmap32 picture =
            randomPicture(rng, 2 + static_cast<int>(rng() % 60), 2 + static_cast<int>(rng() % 60));
        TElementQuad q;
        for (TPoint& p : q)
            p = TPoint{static_cast<int>(rng() % 200), static_cast<int>(rng() % 160)};
        TBitmap32 exact = layer(), appearance = layer();
        RenderElementInto(exact, picture, q, TAppearance{}, exact.BoundsRect());
        RenderAppearanceLayer(appearance, picture, q, nearest, appearance.BoundsRect());
        TRect box{q[0].X, q[0].Y, q[0].X, q[0].Y};
        for (const TPoint& p : q)
            box = TRect{std::min(box.Left, p.X), std::min(box.Top, p.Y), std::max(box.Right, p.X),
                        std::max(box.Bottom, p.Y)};
        for (int y = box.Top; y < box.Bottom; ++y)
            for (int x = box.Left; x < box.Right; ++x) {
                TColor32 blended = 0;
                BlendMasterInto(appearance.GetPixel(x, y), blended, 255);
                ASSERT_EQ(exact.GetPixel(x, y), blended)
                    << "seed " << seed << ", round " << round << " at " << x << "," << y;
            }
    }
}

TEST(AppearanceExactLayer, ReturnsTheVisitedAreaAndDrawsNothingForAnEmptyPicture) {
    TBitmap32 picture = filled(10, 10, clWhite32);
    TBitmap32 dst = layer();
    const TRect area =
        RenderElementInto(dst, picture, rect(-5, 20, 50, 300), TAppearance{}, dst.BoundsRect());
    EXPECT_EQ(area, (TRect{0, 20, 50, 160}));
    TBitmap32 empty, untouched = layer();
    EXPECT_TRUE(IsRectEmpty(
        RenderElementInto(untouched, empty, rect(0, 0, 50, 50), smooth(), untouched.BoundsRect())));
    EXPECT_EQ(hashOf(untouched), hashOf(layer()));
    TBitmap32 thin = filled(1, 30, clWhite32);
    EXPECT_THROW(RenderElementInto(dst, thin, rect(0, 0, 9, 9), smooth(), dst.BoundsRect()),
                 EDivByZero);
}

// --- smoothing ----------------------------------------------------------------------------------

TEST(AppearanceSmooth, ACheckerboardReducedFourToOneIsUniformGrey) {
    TBitmap32 board;
    board.SetSize(401, 401);
    for (int y = 0; y < 401; ++y)
        for (int x = 0; x < 401; ++x)
            board.SetPixel(x, y, (x + y) % 2 == 0 ? clWhite32 : clBlack32);
    TBitmap32 dst = layer();
    // Source centres 0..400 onto 20..120: exactly 4 : 1.
    RenderElementInto(dst, board, rect(20, 20, 120, 120), smooth(), dst.BoundsRect());
    int checked = 0;
    for (int y = 22; y < 118; ++y)
        for (int x = 22; x < 118; ++x) {
            const TColor32 c = dst.GetPixel(x, y);
            ASSERT_EQ(c >> 24, 255u) << x << "," << y;
            for (int shift = 0; shift <= 16; shift += 8) {
                const int v = static_cast<int>((c >> shift) & 0xFFu);
                ASSERT_NEAR(v, 127.5, 1.0) << x << "," << y;
            }
            ++checked;
        }
    EXPECT_EQ(checked, 96 * 96);
}

TEST(AppearanceSmooth, StrongerReductionsStayGreyThroughTheBoxLevels) {
    TBitmap32 board;
    board.SetSize(801, 401);
    for (int y = 0; y < 401; ++y)
        for (int x = 0; x < 801; ++x)
            board.SetPixel(x, y, ((x / 2) + (y / 2)) % 2 == 0 ? clWhite32 : clBlack32);
    TBitmap32 dst = layer();
    // 8 : 1 across, 4 : 1 down.
    RenderElementInto(dst, board, rect(10, 10, 110, 110), smooth(), dst.BoundsRect());
    for (int y = 13; y < 107; ++y)
        for (int x = 13; x < 107; ++x)
            ASSERT_NEAR(static_cast<int>(dst.GetPixel(x, y) & 0xFFu), 127.5, 1.0) << x << "," << y;
}

TEST(AppearanceSmooth, ATransparentMarginLeavesNoDarkFringe) {
    // White door, margin of transparent black: a straight average would give grey edges.
    TBitmap32 door = filled(120, 200, 0x00000000u);
    for (int y = 20; y < 180; ++y)
        for (int x = 20; x < 100; ++x)
            door.SetPixel(x, y, clWhite32);
    TBitmap32 dst = layer();
    const TElementQuad q{TPoint{30, 10}, TPoint{170, 25}, TPoint{160, 150}, TPoint{40, 140}};
    RenderElementInto(dst, door, q, smooth(), dst.BoundsRect());
    int partial = 0;
    for (int y = 0; y < dst.Height(); ++y)
        for (int x = 0; x < dst.Width(); ++x) {
            const TColor32 c = dst.GetPixel(x, y);
            if (c == 0) continue;
            ASSERT_EQ(c & 0xFFFFFFu, 0xFFFFFFu) << x << "," << y;
            if ((c >> 24) < 255) ++partial;
        }
    EXPECT_GT(partial, 40); // the door's outline is blended, not stepped
}

TEST(AppearanceSmooth, NoPixelOutsideThePictureAreaAndFullCoverageInside) {
    // 41 x 31 picture, centres 0..40 onto 10..90 and 0..30 onto 10..70 (2 px per picture
    // pixel): the picture area [0, 41) x [0, 31) covers 10..92 across and 10..72 down.
    TBitmap32 picture = filled(41, 31, 0xFF336699u);
    TBitmap32 dst = layer();
    RenderElementInto(dst, picture, rect(10, 10, 90, 70), smooth(), dst.BoundsRect());
    for (int y = 0; y < dst.Height(); ++y)
        for (int x = 0; x < dst.Width(); ++x) {
            const TColor32 c = dst.GetPixel(x, y);
            const bool outside = x + 1 <= 10 || x >= 92 || y + 1 <= 10 || y >= 72;
            const bool inside = x >= 10 && x + 1 <= 92 && y >= 10 && y + 1 <= 72;
            if (outside) {
                ASSERT_EQ(c, 0u) << x << "," << y;
            }
            if (inside) {
                ASSERT_EQ(c, 0xFF336699u) << x << "," << y;
            }
        }
}

TEST(AppearanceSmooth, OutlineAlphaFollowsTheCoveredShareOfThePixel) {
    TBitmap32 picture = filled(10, 10, clWhite32);
    TBitmap32 dst = layer();
    const TElementQuad q{TPoint{40, 10}, TPoint{130, 10}, TPoint{130, 100}, TPoint{40, 100}};
    RenderElementInto(dst, picture, q, smooth(), dst.BoundsRect());
    // 10 pixels per picture pixel: the area is 40..140 x 10..110, edges on pixel borders.
    EXPECT_EQ(dst.GetPixel(39, 50), 0u);
    EXPECT_EQ(dst.GetPixel(40, 50) >> 24, 255u);
    EXPECT_EQ(dst.GetPixel(139, 50) >> 24, 255u);
    EXPECT_EQ(dst.GetPixel(140, 50), 0u);
    // A diagonal edge: alpha falls from inside to outside in between.
    TBitmap32 tilted = layer();
    const TElementQuad t{TPoint{50, 10}, TPoint{150, 30}, TPoint{130, 130}, TPoint{30, 110}};
    RenderElementInto(tilted, picture, t, smooth(), tilted.BoundsRect());
    int steps = 0;
    std::uint32_t last = 0;
    for (int x = 0; x < 80; ++x) {
        const std::uint32_t a = tilted.GetPixel(x, 60) >> 24;
        ASSERT_GE(a, last) << "alpha rises into the quad, at " << x;
        if (a > 0 && a < 255) ++steps;
        last = a;
    }
    EXPECT_GE(steps, 1);
    EXPECT_EQ(last, 255u);
}

TEST(AppearanceSmooth, TheSameSceneGivesTheSameBytes) {
    std::mt19937 rng(5);
    TBitmap32 picture = randomPicture(rng, 300, 500);
    TAppearance a = smooth();
    a.Brightness = -15;
    a.Contrast = 20;
    a.Temperature = 30;
    a.Opacity = 230;
    a.ShadowDepth = 40;
    a.ShadowDarkness = 60;
    a.ShadowSide = TShadowSide::Right;
    const TElementQuad q{TPoint{20, 5}, TPoint{170, 20}, TPoint{160, 150}, TPoint{30, 140}};
    TBitmap32 first = layer(), second = layer();
    RenderElementInto(first, picture, q, a, first.BoundsRect());
    RenderElementInto(second, picture, q, a, second.BoundsRect());
    EXPECT_EQ(hashOf(first), hashOf(second));
    // The arithmetic is integer only: these bytes are the same on every machine and build.
    EXPECT_EQ(hashOf(first), 0x146cde87bb375214ull) << std::hex << hashOf(first);
}

TEST(AppearanceSmooth, TheVectorFormGivesTheBytesOfThePortableForm) {
    const std::uint32_t seed = testSeed();
    std::mt19937 rng(seed + 2);
    for (int round = 0; round < 12; ++round) {
        TBitmap32 picture = randomPicture(rng, 20 + static_cast<int>(rng() % 400),
                                          20 + static_cast<int>(rng() % 400));
        if (round % 2 == 0) picture.Clear(0xFF000000u | rng()); // opaque: the block finish
        TElementQuad q;
        for (TPoint& p : q)
            p = TPoint{static_cast<int>(rng() % 240) - 20, static_cast<int>(rng() % 200) - 20};
        TAppearance a = smooth();
        a.Smooth = round % 5 != 4; // the layer without smoothing has a vector form too
        if (round % 3 == 1) {
            a.Brightness = 30;
            a.Temperature = -20;
            a.Opacity = 200;
        }
        if (round % 4 == 3) {
            a.ShadowDepth = 15;
            a.ShadowDarkness = 70;
        }
        TBitmap32 vector = layer(), portable = layer();
        RenderElementInto(vector, picture, q, a, vector.BoundsRect());
        SetAppearanceVectorAllowed(false);
        RenderElementInto(portable, picture, q, a, portable.BoundsRect());
        SetAppearanceVectorAllowed(true);
        ASSERT_EQ(hashOf(vector), hashOf(portable)) << "seed " << seed << ", round " << round;
    }
}

TEST(AppearanceSmooth, APixelDoesNotDependOnTheDrawnArea) {
    std::mt19937 rng(11);
    TBitmap32 picture = randomPicture(rng, 150, 250);
    const TElementQuad q{TPoint{20, 5}, TPoint{170, 20}, TPoint{160, 150}, TPoint{30, 140}};
    TBitmap32 whole = layer(), part = layer();
    RenderElementInto(whole, picture, q, smooth(), whole.BoundsRect());
    const TRect clip{37, 41, 123, 97};
    RenderElementInto(part, picture, q, smooth(), clip);
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 200; ++x) {
            const bool in = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
            ASSERT_EQ(part.GetPixel(x, y), in ? whole.GetPixel(x, y) : 0u) << x << "," << y;
        }
}

TEST(AppearanceSmooth, ExtremeQuadsFinishWithoutTouchingPixelsOutsideTheClip) {
    std::mt19937 rng(9);
    TBitmap32 picture = randomPicture(rng, 64, 48);
    const TElementQuad quads[] = {
        {TPoint{0, 50}, TPoint{199, 50}, TPoint{199, 51}, TPoint{0, 51}},     // a line
        {TPoint{10, 10}, TPoint{190, 150}, TPoint{190, 10}, TPoint{10, 150}}, // crossing
        {TPoint{-30000, -30000}, TPoint{30000, -29000}, TPoint{29000, 30000},
         TPoint{-31000, 29000}},
        {TPoint{5, 5}, TPoint{5, 5}, TPoint{5, 5}, TPoint{5, 5}}, // a point
        {TPoint{INT32_MIN, INT32_MIN}, TPoint{INT32_MAX, INT32_MIN}, TPoint{INT32_MAX, INT32_MAX},
         TPoint{INT32_MIN, INT32_MAX}},
        {TPoint{100, 80}, TPoint{101, 80}, TPoint{100, 81}, TPoint{300000, -40000}}, // a spike
    };
    for (const TElementQuad& q : quads) {
        TBitmap32 dst = layer();
        const TRect clip{40, 30, 160, 130};
        const TRect area = RenderElementInto(dst, picture, q, smooth(), clip);
        EXPECT_TRUE(IsRectEmpty(area) ||
                    (area.Left >= 40 && area.Top >= 30 && area.Right <= 160 && area.Bottom <= 130));
        for (int y = 0; y < dst.Height(); ++y)
            for (int x = 0; x < dst.Width(); ++x)
                if (x < 40 || x >= 160 || y < 30 || y >= 130) {
                    ASSERT_EQ(dst.GetPixel(x, y), 0u);
                }
    }
}

// --- light and shadow in the layer ---------------------------------------------------------------

TEST(AppearanceLayer, LightAndOpacityChangeTheColourAndAlphaByTheTables) {
    TBitmap32 picture = filled(20, 20, 0xFF806040u);
    TAppearance a;
    a.Brightness = 40;
    a.Temperature = -20;
    a.Opacity = 128;
    TBitmap32 dst = layer();
    RenderElementInto(dst, picture, rect(10, 10, 60, 60), a, dst.BoundsRect());
    const TLightTables t = MakeLightTables(a);
    const TColor32 expected = (TColor32{(255 * 128 + 127) / 255} << 24) |
                              (TColor32{t.Channel[0][0x80]} << 16) |
                              (TColor32{t.Channel[1][0x60]} << 8) | t.Channel[2][0x40];
    EXPECT_EQ(dst.GetPixel(30, 30), expected);
}

TEST(AppearanceShadow, FallsOffOverTheDepthAlongTheTopAndTheChosenSide) {
    // 200 x 200 picture onto itself: one picture pixel per layer pixel.
    TBitmap32 picture = filled(200, 200, clWhite32);
    TAppearance a;
    a.ShadowDepth = 20;
    a.ShadowDarkness = 100;
    for (const TShadowSide side : {TShadowSide::Left, TShadowSide::Right}) {
        a.ShadowSide = side;
        TBitmap32 dst = layer(200, 200);
        RenderElementInto(dst, picture, rect(0, 0, 199, 199), a, dst.BoundsRect());
        const auto level = [&](int x, int y) {
            const int col = side == TShadowSide::Left ? x : 199 - x;
            return static_cast<int>(dst.GetPixel(col, y) & 0xFFu);
        };
        // Beyond the depth the element is untouched, also on the other side.
        EXPECT_EQ(level(20, 100), 255);
        EXPECT_EQ(level(100, 20), 255);
        EXPECT_EQ(level(199, 100), 255);
        // At the edge nearly black, rising with the square of the distance.
        EXPECT_LE(level(0, 100), 15);
        EXPECT_LE(level(100, 0), 15);
        for (int d = 1; d < 20; ++d) {
            EXPECT_GT(level(d, 100), level(d - 1, 100)) << d;
            const double t = 1.0 - (d + 0.5) / 20.0;
            EXPECT_NEAR(level(d, 100), 255.0 * (1.0 - t * t), 2.0) << d;
        }
        // In the corner both shadows multiply.
        EXPECT_LT(level(5, 5), level(5, 100));
        EXPECT_EQ(dst.GetPixel(100, 100) >> 24, 255u); // alpha untouched
    }
}

// --- compositing
// ------------------------------------------------------------------------------------

TEST(AppearanceComposite, NeutralLayersAreCopiedOthersBlendedByAlpha) {
    TBitmap32 background = filled(4, 1, 0xFF204060u);
    TBitmap32 l;
    l.SetSize(4, 1);
    l.SetPixel(0, 0, 0);
    l.SetPixel(1, 0, 0x80FF0000u);
    l.SetPixel(2, 0, 0xFF00FF00u);
    l.SetPixel(3, 0, 0x00FFFFFFu);
    TBitmap32 copied = filled(4, 1, 0xFF204060u);
    CompositeElementLayer(copied, l, copied.BoundsRect(), TAppearance{});
    EXPECT_EQ(copied.GetPixel(0, 0), 0xFF204060u);
    EXPECT_EQ(copied.GetPixel(1, 0), 0x80FF0000u); // copied unchanged, as the preview does
    EXPECT_EQ(copied.GetPixel(3, 0), 0x00FFFFFFu);
    CompositeElementLayer(background, l, background.BoundsRect(), smooth());
    EXPECT_EQ(background.GetPixel(0, 0), 0xFF204060u);
    EXPECT_EQ(background.GetPixel(1, 0), 0xFF000000u | MixColors(0x80FF0000u, 0xFF204060u, 128));
    EXPECT_EQ(background.GetPixel(2, 0), 0xFF00FF00u);
    EXPECT_EQ(background.GetPixel(3, 0), 0xFF204060u);
}
