#include "metafile_writer.h"
#include "testsupport/PictureCompare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace schauplatz {
namespace {

using namespace testing_metafile;
using testing::pictureMatches;

constexpr TColor32 kWhite = 0xFFFFFFFFu;
constexpr TColor32 kRed = 0xFFFF0000u;   // platform 0x0000FF
constexpr TColor32 kBlue = 0xFF0000FFu;  // platform 0xFF0000
constexpr TColor32 kGreen = 0xFF00FF00u; // platform 0x00FF00
constexpr TColor32 kBlack = 0xFF000000u;

// Point-in-polygon at the pixel's own coordinates (the metafile's pixel grid),
// left and top edges inside: the even-odd count of crossings to the right.
bool insidePolygon(const std::vector<std::pair<double, double>>& p, double x, double y,
                   bool winding) {
    int w = 0, crossings = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        auto [ax, ay] = p[i];
        auto [bx, by] = p[(i + 1) % p.size()];
        if (ay == by) continue;
        if (!(y >= std::min(ay, by) && y < std::max(ay, by))) continue;
        const double cx = ax + (y - ay) * (bx - ax) / (by - ay);
        if (cx > x) {
            ++crossings;
            w += ay < by ? 1 : -1;
        }
    }
    return winding ? w != 0 : (crossings & 1) != 0;
}

TEST(MetafileEmf, FrameGivesThePictureSizeAt96Dpi) {
    const DecodedPicture picture = play(EmfWriter(48, 24).finish(), MetafileKind::Enhanced);
    EXPECT_TRUE(pictureMatches(picture, 48, 24, [](int, int) { return kWhite; }));
}

TEST(MetafileEmf, RectangleOutlinesWithThePenAndFillsWithTheBrush) {
    EmfWriter emf(24, 24);
    emf.pen(1, 0, 0, 0x0000FF).brush(2, 0, 0xFF0000).select(1).select(2).rectangle(2, 3, 10, 8);
    // The same with a null pen: the fill alone, one pixel short on the right and bottom.
    emf.select(0x80000008).rectangle(12, 12, 20, 18);
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            if (x >= 2 && x <= 9 && y >= 3 && y <= 7) {
                return (x == 2 || x == 9 || y == 3 || y == 7) ? kRed : kBlue;
            }
            if (x >= 12 && x < 19 && y >= 12 && y < 17) return kBlue;
            return kWhite;
        }));
}

TEST(MetafileEmf, PolygonFillModesAndPolyPolygonFollowThePointInPolygonRule) {
    // A self-crossing star as a 16-bit polygon, drawn twice with both fill modes.
    std::vector<std::pair<double, double>> star;
    for (int i = 0; i < 5; ++i) {
        const double a = -M_PI / 2 + i * 4 * M_PI / 5;
        star.push_back({std::round(12 + 11 * std::cos(a)), std::round(12 + 11 * std::sin(a))});
    }
    for (int mode : {1, 2}) {
        EmfWriter emf(24, 24);
        emf.brush(1, 0, 0x00FF00).select(1).select(0x80000008).record(19, {mode});
        Bytes body(16, 0);
        put32(body, 5);
        for (auto [x, y] : star) {
            put16(body, static_cast<std::uint32_t>(x));
            put16(body, static_cast<std::uint32_t>(y));
        }
        emf.raw(86, body);
        EXPECT_TRUE(pictureMatches(
            play(emf.finish(), MetafileKind::Enhanced), 24, 24,
            [&](int x, int y) { return insidePolygon(star, x, y, mode == 2) ? kGreen : kWhite; }))
            << "fill mode " << mode;
    }
    // Poly-polygon: a square with a square hole (alternate mode).
    EmfWriter emf(24, 24);
    emf.brush(1, 0, 0x00FF00).select(1).select(0x80000008);
    emf.bounded(8, {2, 8, 4, 4, 2, 2, 20, 2, 20, 20, 2, 20, 8, 8, 14, 8, 14, 14, 8, 14});
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            const bool outer = x >= 2 && x < 20 && y >= 2 && y < 20;
            const bool hole = x >= 8 && x < 14 && y >= 8 && y < 14;
            return outer && !hole ? kGreen : kWhite;
        }));
}

TEST(MetafileEmf, MoveLineAndPolylineLeaveTheLastPixelOut) {
    EmfWriter emf(24, 24);
    emf.pen(1, 0, 0, 0x000000).select(1);
    emf.record(27, {2, 2}).record(54, {12, 2}); // MoveToEx, LineTo
    emf.bounded(4, {3, 5, 4, 9, 4, 9, 10});     // Polyline
    Bytes body(16, 0);                          // Polyline16
    put32(body, 2);
    for (int v : {20, 1, 20, 6})
        put16(body, static_cast<std::uint32_t>(v));
    emf.raw(87, body);
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            const bool line = y == 2 && x >= 2 && x < 12;
            const bool poly = (y == 4 && x >= 5 && x < 9) || (x == 9 && y >= 4 && y < 10);
            const bool small = x == 20 && y >= 1 && y < 6;
            return line || poly || small ? kBlack : kWhite;
        }));
}

TEST(MetafileEmf, WidePenCoversItsWidthAroundThePath) {
    EmfWriter emf(24, 24);
    emf.pen(1, 0, 5, 0x0000FF).select(1);
    emf.record(27, {4, 12}).record(54, {20, 12});
    const DecodedPicture picture = play(emf.finish(), MetafileKind::Enhanced);
    ASSERT_EQ(picture.width, 24);
    for (int x = 6; x <= 18; ++x) {
        for (int y = 0; y < 24; ++y)
            EXPECT_EQ(picture.at(x, y), (y >= 10 && y <= 14) ? kRed : kWhite) << x << "," << y;
    }
    EXPECT_EQ(picture.at(2, 12), kRed); // round end
    EXPECT_EQ(picture.at(1, 12), kWhite);
}

TEST(MetafileEmf, EllipsePieChordArcAndRoundRectStayInTheirBoxes) {
    struct Case {
        std::uint32_t type;
        std::vector<std::int32_t> fields;
    };
    // Box (2, 2)-(22, 22): outline pixels from 2 to 21.
    const Case cases[] = {{42, {2, 2, 22, 22}},
                          {44, {2, 2, 22, 22, 8, 8}},
                          {47, {2, 2, 22, 22, 22, 12, 12, 2}},  // pie: right to top
                          {46, {2, 2, 22, 22, 22, 12, 2, 12}},  // chord: upper half
                          {45, {2, 2, 22, 22, 22, 12, 2, 12}}}; // arc: upper half
    for (const Case& c : cases) {
        EmfWriter emf(24, 24);
        emf.pen(1, 0, 0, 0x000000)
            .brush(2, 0, 0xFF0000)
            .select(1)
            .select(2)
            .record(c.type, c.fields);
        const DecodedPicture p = play(emf.finish(), MetafileKind::Enhanced);
        ASSERT_EQ(p.width, 24) << c.type;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) {
                const double r = std::hypot(x - 11.5, y - 11.5);
                if (x < 2 || x > 21 || y < 2 || y > 21) {
                    EXPECT_EQ(p.at(x, y), kWhite) << c.type;
                }
                if (c.type == 42 && r > 10.3) {
                    EXPECT_EQ(p.at(x, y), kWhite) << x << "," << y;
                }
                if (c.type == 42 && r < 8.5) {
                    EXPECT_EQ(p.at(x, y), kBlue) << x << "," << y;
                }
                if (c.type == 47 && r < 8.5 && (x < 11 || y > 12)) {
                    EXPECT_EQ(p.at(x, y), kWhite) << x << "," << y;
                }
                if (c.type == 47 && r < 8.5 && x > 12 && y < 10) {
                    EXPECT_EQ(p.at(x, y), kBlue) << x << "," << y;
                }
                if ((c.type == 46 || c.type == 45) && y > 13) {
                    EXPECT_EQ(p.at(x, y), kWhite) << x << "," << y;
                }
                if (c.type == 46 && r < 8.5 && y < 10) {
                    EXPECT_EQ(p.at(x, y), kBlue) << x << "," << y;
                }
                if (c.type == 45 && r < 8.5) {
                    EXPECT_EQ(p.at(x, y), kWhite) << x << "," << y;
                }
            }
        }
        if (c.type == 44) {
            EXPECT_EQ(p.at(2, 2), kWhite);  // corner cut off
            EXPECT_EQ(p.at(11, 2), kBlack); // straight top edge
            EXPECT_EQ(p.at(11, 11), kBlue);
        }
        if (c.type == 45) {
            EXPECT_EQ(p.at(11, 2), kBlack); // top of the arc
        }
    }
}

TEST(MetafileEmf, BezierPassesThroughItsEndsAndStaysInItsHull) {
    EmfWriter emf(24, 24);
    emf.pen(1, 0, 0, 0x000000).select(1);
    // Count 4: a straight curve from (2,20) to (20,20), then an arch from (2,2) to (20,2).
    emf.bounded(2, {4, 2, 20, 20, 20, 20, 20, 20, 20, 20});
    emf.bounded(2, {4, 2, 2, 2, 14, 20, 14, 20, 2});
    const DecodedPicture p = play(emf.finish(), MetafileKind::Enhanced);
    ASSERT_EQ(p.width, 24);
    for (int x = 2; x < 20; ++x) {
        EXPECT_EQ(p.at(x, 20), kBlack) << x;
    }
    EXPECT_EQ(p.at(2, 2), kBlack);
    EXPECT_EQ(p.at(11, 11), kBlack); // the arch's top: 2 + 0.75 * 12 = 11
    for (int x = 0; x < 24; ++x) {
        for (int y = 0; y < 24; ++y) {
            if (y > 12 && y != 20) {
                EXPECT_EQ(p.at(x, y), kWhite) << x << "," << y;
            }
        }
    }
}

TEST(MetafileEmf, WorldTransformScalesAndMovesShapes) {
    EmfWriter emf(24, 24);
    emf.brush(1, 0, 0xFF0000).select(1).select(0x80000008);
    emf.xform(35, 2, 0, 0, 2, 3, 1);    // SetWorldTransform: x2, then +3/+1
    emf.rectangle(1, 1, 5, 4);          // -> (5,3)-(13,9), filled up to 11 x 7
    emf.xform(36, 1, 0, 0, 1, 0, 0, 1); // ModifyWorldTransform: identity
    emf.rectangle(16, 16, 20, 20);      // -> 16..18
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            if (x >= 5 && x < 12 && y >= 3 && y < 8) return kBlue;
            if (x >= 16 && x < 19 && y >= 16 && y < 19) return kBlue;
            return kWhite;
        }));
}

TEST(MetafileEmf, MappingModeWindowAndViewportMapLogicalUnits) {
    EmfWriter emf(24, 24);
    emf.brush(1, 0, 0x00FF00).select(1).select(0x80000008);
    emf.record(17, {8});                              // anisotropic
    emf.record(10, {100, 100}).record(9, {100, 100}); // window org, ext
    emf.record(12, {2, 4}).record(11, {20, 10});      // viewport org, ext: x / 10, y / 10
    emf.rectangle(100, 100, 200, 200);                // -> (2,4)-(22,14)
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            return (x >= 2 && x < 21 && y >= 4 && y < 13) ? kGreen : kWhite;
        }));
}

TEST(MetafileEmf, SaveRestoreAndClipping) {
    EmfWriter emf(24, 24);
    emf.brush(1, 0, 0xFF0000).brush(2, 0, 0x0000FF).select(0x80000008).select(1);
    emf.record(33, {});                       // SaveDC with the blue brush and no clip
    emf.select(2).record(30, {4, 4, 10, 10}); // red brush, clip to 4..9
    emf.rectangle(0, 0, 24, 24);
    emf.record(34, {-1}); // RestoreDC: blue, unclipped
    emf.rectangle(12, 12, 20, 20);
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            if (x >= 4 && x < 10 && y >= 4 && y < 10) return kRed;
            if (x >= 12 && x < 19 && y >= 12 && y < 19) return kBlue;
            return kWhite;
        }));
}

TEST(MetafileEmf, RegionSelectionClipsToItsBoundsUntilReset) {
    EmfWriter emf(24, 24);
    emf.brush(1, 0, 0xFF0000).select(1).select(0x80000008);
    // ExtSelectClipRgn(RGN_COPY) with one rectangle (3,5)-(9,8), then a fill of everything.
    emf.record(75, {48, 5, 32, 1, 1, 16, 3, 5, 9, 8, 3, 5, 9, 8});
    emf.rectangle(0, 0, 25, 25);
    emf.record(75, {0, 5}); // RGN_COPY without region: no clipping
    emf.rectangle(20, 20, 25, 25);
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            if (x >= 3 && x < 9 && y >= 5 && y < 8) return kBlue;
            if (x >= 20 && y >= 20) return kBlue;
            return kWhite;
        }));
}

TEST(MetafileEmf, HatchedAndNullBrushes) {
    EmfWriter emf(24, 24);
    emf.brush(1, 2, 0x000000, 4).brush(2, 1, 0).select(0x80000008).select(1);
    emf.record(18, {1});         // transparent background
    emf.rectangle(0, 0, 17, 17); // cross hatch over 0..15
    emf.select(2).rectangle(16, 16, 24, 24);
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            if (x < 16 && y < 16 && (x % 8 == 0 || y % 8 == 0)) return kBlack;
            return kWhite;
        }));
    EmfWriter opaque(24, 24);
    opaque.brush(1, 2, 0x000000, 0).select(0x80000008).select(1).record(25, {0x00FF00});
    opaque.rectangle(0, 0, 9, 9);
    EXPECT_TRUE(
        pictureMatches(play(opaque.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            if (x < 8 && y < 8) return y == 0 ? kBlack : kGreen;
            return kWhite;
        }));
}

TEST(MetafileEmf, PathBracketsFillAndStroke) {
    EmfWriter emf(24, 24);
    emf.pen(1, 0, 0, 0x000000).brush(2, 0, 0xFF0000).select(1).select(2);
    emf.record(59, {}); // BeginPath
    emf.record(27, {2, 2}).record(54, {12, 2}).record(54, {12, 12}).record(54, {2, 12});
    emf.record(61, {}).record(60, {}); // CloseFigure, EndPath
    emf.bounded(62, {});               // FillPath
    emf.record(59, {}).rectangle(14, 14, 22, 22).record(60, {});
    emf.bounded(64, {}); // StrokePath
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            if (x >= 2 && x < 12 && y >= 2 && y < 12) return kBlue;
            if (x >= 14 && x <= 21 && y >= 14 && y <= 21 &&
                (x == 14 || x == 21 || y == 14 || y == 21))
                return kBlack;
            return kWhite;
        }));
}

// A 2 x 2 24-bit DIB, bottom-up: red, green in the lower row; blue, white above.
Bytes smallDib() {
    Bytes info;
    for (std::uint32_t v : {40u, 2u, 2u})
        put32(info, v);
    put16(info, 1);
    put16(info, 24);
    for (int i = 0; i < 6; ++i)
        put32(info, 0);
    const std::uint8_t bits[] = {0,   0, 255, 0,   255, 0,   0, 0,  // red, green, padding
                                 255, 0, 0,   255, 255, 255, 0, 0}; // blue, white, padding
    info.insert(info.end(), std::begin(bits), std::end(bits));
    return info;
}

TEST(MetafileEmf, StretchDibitsBitBltAndStretchBltDrawTheDib) {
    const Bytes dib = smallDib();
    EmfWriter emf(24, 24);
    {
        Bytes body(16, 0);
        for (std::int32_t v : {2, 2, 0, 0, 2, 2})
            put32(body, static_cast<std::uint32_t>(v));
        const std::uint32_t offBmi = 8 + 16 + 24 + 32;
        for (std::uint32_t v : {offBmi, 40u, offBmi + 40, 16u, 0u, 0x00CC0020u, 4u, 4u})
            put32(body, v);
        body.insert(body.end(), dib.begin(), dib.end());
        emf.raw(81, body); // StretchDIBits to (2,2) 4 x 4
    }
    {
        Bytes body(16, 0);
        for (std::int32_t v : {10, 10, 4, 2, 0x00CC0020, 0, 0})
            put32(body, static_cast<std::uint32_t>(v));
        for (float f : {1.f, 0.f, 0.f, 1.f, 0.f, 0.f})
            putF(body, f);
        const std::uint32_t offBmi = 8 + 16 + 28 + 24 + 8 + 16 + 8;
        for (std::uint32_t v : {0u, 0u, offBmi, 40u, offBmi + 40, 16u})
            put32(body, v);
        for (std::int32_t v : {2, 1})
            put32(body, static_cast<std::uint32_t>(v)); // source 2 x 1 (top row)
        body.insert(body.end(), dib.begin(), dib.end());
        emf.raw(77, body); // StretchBlt of the top row to (10,10) 4 x 2
    }
    EXPECT_TRUE(
        pictureMatches(play(emf.finish(), MetafileKind::Enhanced), 24, 24, [](int x, int y) {
            if (x >= 2 && x < 6 && y >= 2 && y < 6) {
                const bool right = x >= 4, bottom = y >= 4;
                return bottom ? (right ? kGreen : kRed) : (right ? kWhite : kBlue);
            }
            if (x >= 10 && x < 14 && y >= 10 && y < 12) return x < 12 ? kBlue : kWhite;
            return kWhite;
        }));
}

TEST(MetafileEmf, TextLandsAtItsReferencePointWithinItsExtent) {
    EmfWriter emf(240, 48);
    emf.raw(82, emfFontBody(-20)).select(1).record(18, {1}).record(24, {0x0000FF});
    const std::u16string text = u"HHHH";
    Bytes body(16, 0);
    put32(body, 1);
    putF(body, 1);
    putF(body, 1);
    for (std::int32_t v : {20, 10})
        put32(body, static_cast<std::uint32_t>(v));
    const std::uint32_t offString = 8 + 16 + 12 + 40;
    for (std::uint32_t v : {4u, offString, 0u, 0u, 0u, 0u, 0u, offString + 8})
        put32(body, v);
    for (char16_t c : text)
        put16(body, c);
    for (int i = 0; i < 4; ++i)
        put32(body, 30); // fixed advances of 30 units
    emf.raw(84, body);
    const DecodedPicture p = play(emf.finish(), MetafileKind::Enhanced);
    ASSERT_EQ(p.width, 240);
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (p.at(x, y) == kWhite) {
                continue;
            }
            EXPECT_EQ(p.at(x, y), kRed);
            minX = std::min(minX, x), maxX = std::max(maxX, x);
            minY = std::min(minY, y), maxY = std::max(maxY, y);
        }
    }
    // Top-left alignment: the cell starts at (20, 10); four glyphs 30 pixels apart.
    EXPECT_GE(minX, 20);
    EXPECT_LE(minX, 24);
    EXPECT_GE(maxX, 20 + 90);
    EXPECT_LT(maxX, 20 + 120);
    EXPECT_GE(minY, 10);
    EXPECT_LE(maxY, 10 + 20);
    EXPECT_GE(maxY - minY, 10); // capitals about three quarters of the em
}

} // namespace
} // namespace schauplatz
