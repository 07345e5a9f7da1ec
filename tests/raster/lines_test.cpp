#include "raster/Bitmap32.h"
#include "raster/Gamma.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

constexpr TColor32 kBlack = 0xFF000000u;
constexpr TColor32 kWhite = 0xFFFFFFFFu;

std::string argb(TColor32 C) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", C);
    return text;
}

// The mixing rule written out per channel, independent of the library's packed form.
TColor32 mix(TColor32 F, TColor32 B, std::uint32_t W) {
    TColor32 r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t f = (F >> shift) & 0xFF, b = (B >> shift) & 0xFF;
        r |= ((f * W + b * (256 - W) + 128) >> 8) << shift;
    }
    return r;
}

// A bitmap of the given size filled with Fill.
struct Canvas {
    TCustomBitmap32 bitmap;
    Canvas(int W, int H, TColor32 Fill = 0) {
        bitmap.SetSize(W, H);
        bitmap.Clear(Fill);
    }
    TColor32 at(int X, int Y) const { return bitmap.GetPixel(X, Y); }
    // Pixels that differ from Fill, as "x,y=ARGB" lines.
    std::vector<std::string> changed(TColor32 Fill = 0) const {
        std::vector<std::string> out;
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                if (at(x, y) != Fill)
                    out.push_back(std::to_string(x) + "," + std::to_string(y) + "=" +
                                  argb(at(x, y)));
        return out;
    }
};

struct Report {
    TRect area;
    std::uint32_t info;
    friend bool operator==(const Report&, const Report&) = default;
};

// --- GammaTable ---------------------------------------------------------------------------

TEST(GammaTable, KnownValuesAndShape) {
    const TGammaTable& g = GammaTable();
    EXPECT_EQ(g[0], 0);
    EXPECT_EQ(g[1], 5);
    EXPECT_EQ(g[64], 97);
    EXPECT_EQ(g[128], 157);
    EXPECT_EQ(g[192], 209);
    EXPECT_EQ(g[255], 255);
    for (int i = 1; i < 256; ++i) {
        EXPECT_LE(g[i - 1], g[i]) << i;
        EXPECT_GE(g[i], i) << "gamma 0.7 lifts every value"; // (i/255)^0.7 >= i/255
    }
}

// --- rectangles and straight lines --------------------------------------------------------

TEST(FillRect, ClippedHandleSquare) {
    Canvas c(20, 20);
    c.bitmap.FillRectClipped(10 - 2, 7 - 2, 10 + 2, 7 + 2, kWhite);
    std::vector<std::string> expected;
    for (int y = 5; y <= 8; ++y)
        for (int x = 8; x <= 11; ++x)
            expected.push_back(std::to_string(x) + "," + std::to_string(y) + "=FFFFFFFF");
    EXPECT_EQ(c.changed(), expected);

    Canvas corner(20, 20);
    corner.bitmap.FillRectClipped(18, -2, 22, 2, kWhite);
    EXPECT_EQ(corner.changed(), (std::vector<std::string>{"18,0=FFFFFFFF", "19,0=FFFFFFFF",
                                                          "18,1=FFFFFFFF", "19,1=FFFFFFFF"}));
}

TEST(FillRect, RespectsAClipRectangleInsideTheBounds) {
    Canvas c(10, 10);
    c.bitmap.SetClipRect(TRect{2, 3, 5, 6});
    c.bitmap.FillRectClipped(0, 0, 10, 10, kWhite);
    EXPECT_EQ(c.changed().size(), 9u);
    EXPECT_EQ(c.at(2, 3), kWhite);
    EXPECT_EQ(c.at(4, 5), kWhite);
    EXPECT_EQ(c.at(5, 5), 0u);
    EXPECT_EQ(c.at(1, 3), 0u);
}

// Vertex at (0, 0): only the part from (0, 0) to (2, 2) is visible, a white 2 x 2 inside
// bordered by black at x = 2 and y = 2.
TEST(FrameRect, HandleAtCornerIsClipped) {
    Canvas c(8, 8, 0xFF336699u);
    c.bitmap.FillRectClipped(-2, -2, 2, 2, kWhite);
    c.bitmap.FrameRectClipped(-3, -3, 3, 3, kBlack);
    const TColor32 bg = 0xFF336699u;
    const TColor32 expected[4][4] = {{kWhite, kWhite, kBlack, bg},
                                     {kWhite, kWhite, kBlack, bg},
                                     {kBlack, kBlack, kBlack, bg},
                                     {bg, bg, bg, bg}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(argb(c.at(x, y)), argb(expected[y][x])) << x << "," << y;
    EXPECT_EQ(c.changed(bg).size(), 9u);
}

TEST(FrameRect, WholePictureAndThinRectangles) {
    Canvas c(7, 5);
    c.bitmap.FrameRectClipped(c.bitmap.BoundsRect(), kBlack);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const bool edge = x == 0 || x == 6 || y == 0 || y == 4;
            EXPECT_EQ(c.at(x, y), edge ? kBlack : 0u) << x << "," << y;
        }

    Canvas high(6, 6);
    high.bitmap.FrameRectClipped(1, 2, 5, 3, kWhite); // one pixel high: top side only
    EXPECT_EQ(high.changed(), (std::vector<std::string>{"1,2=FFFFFFFF", "2,2=FFFFFFFF",
                                                        "3,2=FFFFFFFF", "4,2=FFFFFFFF"}));
    Canvas wide(6, 6);
    wide.bitmap.FrameRectClipped(3, 1, 4, 5, kWhite); // one pixel wide: one column
    EXPECT_EQ(wide.changed(), (std::vector<std::string>{"3,1=FFFFFFFF", "3,2=FFFFFFFF",
                                                        "3,3=FFFFFFFF", "3,4=FFFFFFFF"}));
    Canvas empty(6, 6);
    empty.bitmap.FrameRectClipped(3, 1, 3, 5, kWhite);
    empty.bitmap.FrameRectClipped(10, 1, 12, 5, kWhite);
    EXPECT_TRUE(empty.changed().empty());
}

TEST(Lines, HorzAndVertClippedOrderAndClipTheirEnds) {
    Canvas c(5, 5);
    std::vector<Report> reports;
    c.bitmap.OnAreaChanged = [&](TCustomBitmap32*, const TRect& A, std::uint32_t I) {
        reports.push_back({A, I});
    };
    c.bitmap.HorzLineClipped(9, 1, -3, kWhite);
    c.bitmap.VertLineClipped(4, 7, 3, kBlack);
    c.bitmap.HorzLineClipped(0, 5, 4, kWhite); // below the picture: nothing
    EXPECT_EQ(c.changed(), (std::vector<std::string>{"0,1=FFFFFFFF", "1,1=FFFFFFFF", "2,1=FFFFFFFF",
                                                     "3,1=FFFFFFFF", "4,1=FFFFFFFF", "4,3=FF000000",
                                                     "4,4=FF000000"}));
    EXPECT_EQ(reports,
              (std::vector<Report>{{{0, 1, 4, 2}, kAreaInfoRect}, {{4, 3, 5, 4}, kAreaInfoRect}}));
}

TEST(Lines, MeasuringOnlyReports) {
    Canvas c(10, 10);
    std::vector<Report> reports;
    c.bitmap.StartMeasuring([&](TCustomBitmap32*, const TRect& A, std::uint32_t I) {
        reports.push_back({A, I});
    });
    c.bitmap.FillRectClipped(-2, -2, 2, 2, kWhite);
    c.bitmap.HorzLineClipped(-5, 3, 20, kWhite);
    c.bitmap.VertLineClipped(3, 8, 2, kWhite);
    c.bitmap.FrameRectClipped(1, 1, 4, 4, kWhite);
    c.bitmap.StippledLine(1.5f, 2.25f, 8, 9);
    c.bitmap.StopMeasuring();
    EXPECT_TRUE(c.changed().empty());
    EXPECT_EQ(c.bitmap.StippleCounter(), 0.0f);
    EXPECT_EQ(reports, (std::vector<Report>{
                           {{-2, -2, 2, 2}, kAreaInfoRect},
                           {{-5, 3, 20, 4}, kAreaInfoRect},
                           {{3, 8, 4, 2}, kAreaInfoRect},
                           // frame: top, bottom, left, right
                           {{1, 1, 3, 2}, kAreaInfoRect},
                           {{1, 3, 3, 4}, kAreaInfoRect},
                           {{1, 2, 2, 2}, kAreaInfoRect},
                           {{3, 2, 4, 2}, kAreaInfoRect},
                           // the unnormalised area of the line, rounded ends
                           {{1, 2, 8, 9}, kAreaInfoLine + 4}, // 1.5 rounds down
                       }));
}

// --- stipple ------------------------------------------------------------------------------

TEST(Stipple, ColourSequence) {
    TCustomBitmap32 b;
    b.SetStippleCounter(2.5f);
    EXPECT_EQ(b.NextStippleColor(), kBlack); // empty pattern
    EXPECT_EQ(b.StippleCounter(), 2.5f);

    b.SetStipplePattern({kBlack, kBlack, kWhite, kWhite});
    EXPECT_EQ(b.StippleCounter(), 0.0f);
    b.SetStippleStep(0.5f);
    std::vector<std::string> seq;
    for (int i = 0; i < 9; ++i)
        seq.push_back(argb(b.NextStippleColor()));
    // counters 0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5, 4 (wraps to 0)
    EXPECT_EQ(seq,
              (std::vector<std::string>{"FF000000", "FF000000", "FF000000", "FF808080", "FFFFFFFF",
                                        "FFFFFFFF", "FFFFFFFF", "FF7F7F7F", "FF000000"}));
    EXPECT_EQ(b.StippleCounter(), 0.5f);

    // Negative counters are brought back into the ring.
    b.SetStippleCounter(-0.25f);
    EXPECT_EQ(argb(b.NextStippleColor()), argb(mix(kWhite, kBlack, 255 - 191)));
    EXPECT_EQ(b.StippleCounter(), 4.25f);
}

// Far out of range the whole-pattern steps would stall; the colour still comes back.
TEST(Stipple, HugeOrInfiniteCounterDoesNotHang) {
    TCustomBitmap32 b;
    b.SetStipplePattern({kBlack, kBlack, kWhite, kWhite});
    b.SetStippleStep(0.5f);
    for (float start : {-1e30f, 3e9f, std::numeric_limits<float>::infinity(),
                        -std::numeric_limits<float>::infinity(), -70000000.0f}) {
        b.SetStippleCounter(start);
        (void)b.NextStippleColor();
        EXPECT_GE(b.StippleCounter(), 0.0f) << start;
        EXPECT_LE(b.StippleCounter(), 4.5f) << start;
    }
    // 3e9 is a whole multiple of the pattern: the same colour as counter 0.
    b.SetStippleCounter(3e9f);
    EXPECT_EQ(b.NextStippleColor(), kBlack);
}

TEST(Stipple, AdvanceWrapsIntoThePattern) {
    TCustomBitmap32 b;
    b.SetStipplePattern({kBlack, kBlack, kWhite, kWhite});
    b.SetStippleStep(0.5f);
    b.SetStippleCounter(1.0f);
    b.AdvanceStipple(6);
    EXPECT_EQ(b.StippleCounter(), 0.0f);
    b.AdvanceStipple(3);
    EXPECT_EQ(b.StippleCounter(), 1.5f);
    b.AdvanceStipple(-5);
    EXPECT_EQ(b.StippleCounter(), 3.0f);
    b.SetStipplePattern({});
    b.SetStippleCounter(1.25f);
    b.AdvanceStipple(7);
    EXPECT_EQ(b.StippleCounter(), 1.25f);
}

// --- sub-pixel points -----------------------------------------------------------------------

TEST(Subpixel, WeightsFromTheGammaTable) {
    const TGammaTable& g = GammaTable();
    Canvas c(4, 4);
    c.bitmap.PutSubpixel(256 + 64, 2 * 256, 0xFF102030u); // x = 1.25, y = 2
    const std::uint32_t w0 = (255 * g[255 - 64] * 255) >> 16, w1 = (255 * g[64] * 255) >> 16;
    EXPECT_EQ(c.changed(), (std::vector<std::string>{
                               "1,2=" + argb(mix(0xFF102030u, 0, w0)),
                               "2,2=" + argb(mix(0xFF102030u, 0, w1)),
                           }));

    Canvas whole(3, 3, 0xFF0000FFu);
    whole.bitmap.PutSubpixel(256, 256, kWhite);
    EXPECT_EQ(whole.changed(0xFF0000FFu),
              (std::vector<std::string>{"1,1=" + argb(mix(kWhite, 0xFF0000FFu, 253))}));
}

TEST(Subpixel, ClippedAtHalfAPixelBeforeTheCorner) {
    const TGammaTable& g = GammaTable();
    Canvas c(4, 4);
    c.bitmap.PutSubpixelClipped(-128, -128, kWhite);
    const std::uint32_t w = (255 * g[128] * g[128]) >> 16;
    EXPECT_EQ(c.changed(), (std::vector<std::string>{"0,0=" + argb(mix(kWhite, 0, w))}));

    Canvas outside(4, 4);
    outside.bitmap.PutSubpixelClipped(-257, 10, kWhite);
    outside.bitmap.PutSubpixelClipped(4 * 256, 10, kWhite);
    outside.bitmap.PutSubpixelClipped(100, 4 * 256 + 3, kWhite);
    EXPECT_TRUE(outside.changed().empty());
}

// --- ClipLine -----------------------------------------------------------------------------

struct ClipCase {
    std::int32_t x1, y1, x2, y2;
    bool result;
    std::int32_t rx1, ry1, rx2, ry2;
};

TEST(ClipLine, Cases) {
    const std::vector<ClipCase> cases = {
        {2, 3, 8, 9, true, 2, 3, 8, 9},      // inside
        {-5, 1, -1, 9, false, -5, 1, -1, 9}, // left of the box
        {1, 12, 9, 11, false, 1, 12, 9, 11}, // below
        {-10, 5, 20, 5, true, 0, 5, 10, 5},  // across both x edges
        {5, -10, 5, 20, true, 5, 0, 5, 10},  // across both y edges
        {-4, -2, 6, 8, true, 0, 2, 6, 8},    // y edge first to (-2, 0), then x edge
        {3, 4, 3, 4, true, 3, 4, 3, 4},      // a point
        {0, 0, 10, 10, true, 0, 0, 10, 10},  // on the edges is inside
        {-1, 3, 4, -3, true, 0, 1, 1, 0},    // MulDiv: -2.5 -> -3, -1.5 -> -2
    };
    for (const ClipCase& k : cases) {
        std::int32_t x1 = k.x1, y1 = k.y1, x2 = k.x2, y2 = k.y2;
        const bool r = TCustomBitmap32::ClipLine(x1, y1, x2, y2, 0, 0, 10, 10);
        EXPECT_EQ(r, k.result) << k.x1 << " " << k.y1 << " " << k.x2 << " " << k.y2;
        if (r) {
            EXPECT_EQ((std::vector<std::int32_t>{x1, y1, x2, y2}),
                      (std::vector<std::int32_t>{k.rx1, k.ry1, k.rx2, k.ry2}))
                << k.x1 << " " << k.y1 << " " << k.x2 << " " << k.y2;
        }
    }
}

// --- stippled lines -----------------------------------------------------------------------

TEST(StippledLine, HorizontalLineWithoutLastPoint) {
    Canvas c(40, 30);
    std::vector<Report> reports;
    c.bitmap.OnAreaChanged = [&](TCustomBitmap32*, const TRect& A, std::uint32_t I) {
        reports.push_back({A, I});
    };
    c.bitmap.StippledLine(10, 20, 30, 20);
    std::vector<std::string> expected;
    const std::uint32_t w = (255u * 255 * 255) >> 16; // 253
    for (int x = 10; x < 30; ++x)
        expected.push_back(std::to_string(x) + ",20=" + argb(mix(kBlack, 0, w)));
    EXPECT_EQ(c.changed(), expected);
    // Well inside the bitmap: the fast form, reported as a line of width 2.
    EXPECT_EQ(reports, (std::vector<Report>{{{10, 20, 30, 20}, kAreaInfoLine + 2}}));
}

TEST(StippledLine, VerticalLineWithLastPointRunsThroughThePattern) {
    Canvas c(8, 10);
    c.bitmap.SetStipplePattern({0xFFFF0000u, 0xFF00FF00u});
    c.bitmap.StippledLine(5, 2, 5, 6, true);
    std::vector<std::string> expected;
    for (int y = 2; y <= 6; ++y)
        expected.push_back("5," + std::to_string(y) + "=" +
                           argb(mix(y % 2 == 0 ? 0xFFFF0000u : 0xFF00FF00u, 0, 253)));
    EXPECT_EQ(c.changed(), expected);
    // Five stepped points and the (transparent) last point: six steps round a ring of two.
    EXPECT_EQ(c.bitmap.StippleCounter(), 2.0f);
}

TEST(StippledLine, LeftoverFractionMakesTheLastPointPartlyOpaque) {
    const TGammaTable& g = GammaTable();
    Canvas c(40, 30);
    c.bitmap.StippledLine(10, 20, 12.5f, 20);
    // Two stepped points at x = 10 and 11; the last one halfway between 11 and 12.5, that is
    // at 11.75 (fx = 192), with alpha (255 * 0.5 step) = 127.
    const TColor32 last = 0x7F000000u;
    EXPECT_EQ(
        c.changed(),
        (std::vector<std::string>{
            "10,20=" + argb(mix(kBlack, 0, 253)),
            "11,20=" + argb(mix(last, mix(kBlack, 0, 253), (127u * g[255 - 192] * 255) >> 16)),
            "12,20=" + argb(mix(last, 0, (127u * g[192] * 255) >> 16)),
        }));
}

TEST(StippledLine, TooShortOrOutsideDrawsNothing) {
    Canvas c(20, 20);
    std::vector<Report> reports;
    c.bitmap.OnAreaChanged = [&](TCustomBitmap32*, const TRect& A, std::uint32_t I) {
        reports.push_back({A, I});
    };
    c.bitmap.SetStipplePattern({kBlack, kBlack, kWhite, kWhite});
    c.bitmap.SetStippleStep(0.5f);
    c.bitmap.StippledLineFixed(3 * 65536, 3 * 65536, 3 * 65536 + 200, 3 * 65536);
    EXPECT_TRUE(c.changed().empty());
    EXPECT_EQ(c.bitmap.StippleCounter(), 0.0f);

    // Wholly outside (above the picture): no pixel, no report, the counter moves on by the
    // line's length (10 pixels at step 0.5).
    reports.clear();
    c.bitmap.StippledLine(2, -30, 12, -30);
    EXPECT_TRUE(c.changed().empty());
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(c.bitmap.StippleCounter(), 1.0f);
}

TEST(StippledLine, ClippedLineKeepsThePatternAnchored) {
    // The same line drawn across the left edge and, shifted by 20, wholly inside a wider
    // bitmap shows the same colours on the common pixels.
    Canvas clipped(20, 10), full(40, 10);
    for (Canvas* c : {&clipped, &full}) {
        c->bitmap.SetStipplePattern({kBlack, kBlack, kWhite, kWhite});
        c->bitmap.SetStippleStep(0.5f);
    }
    clipped.bitmap.StippledLine(-10, 5, 15, 5);
    full.bitmap.StippledLine(10, 5, 35, 5);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(argb(clipped.at(x, 5)), argb(full.at(x + 20, 5))) << x;
    EXPECT_NE(clipped.at(3, 5), 0u);
}

// A line that clipping shrinks to a single point on the right edge must not divide 0 by 0.
TEST(StippledLine, LineClippedToAPointOnTheRightEdge) {
    Canvas c(16, 16);
    std::vector<Report> reports;
    c.bitmap.OnAreaChanged = [&](TCustomBitmap32*, const TRect& A, std::uint32_t I) {
        reports.push_back({A, I});
    };
    c.bitmap.SetStipplePattern({kBlack, kWhite});
    EXPECT_NO_THROW(c.bitmap.StippledLine(16, 5, 26, 5));
    EXPECT_NO_THROW(c.bitmap.StippledLine(3, 16, 3, 40));
    EXPECT_TRUE(c.changed().empty());
    EXPECT_EQ(reports, (std::vector<Report>{{{16, 5, 26, 5}, kAreaInfoLine + 4},
                                            {{3, 16, 3, 40}, kAreaInfoLine + 4}}));
}

} // namespace
} // namespace schauplatz
