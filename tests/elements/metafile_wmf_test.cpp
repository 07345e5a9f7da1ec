#include "metafile_writer.h"
#include "testsupport/PictureCompare.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace schauplatz {
namespace {

using namespace testing_metafile;
using testing::pictureMatches;

constexpr TColor32 kWhite = 0xFFFFFFFFu;
constexpr TColor32 kRed = 0xFFFF0000u;
constexpr TColor32 kBlue = 0xFF0000FFu;
constexpr TColor32 kBlack = 0xFF000000u;

// Old-format records: colours as two words, low word first.
WmfWriter& brush(WmfWriter& w, int style, std::uint32_t bgr, int hatch = 0) {
    return w.record(0x02FC, {style, static_cast<std::int32_t>(bgr & 0xFFFF),
                             static_cast<std::int32_t>(bgr >> 16), hatch});
}
WmfWriter& pen(WmfWriter& w, int style, int width, std::uint32_t bgr) {
    return w.record(0x02FA, {style, width, 0, static_cast<std::int32_t>(bgr & 0xFFFF),
                             static_cast<std::int32_t>(bgr >> 16)});
}

TEST(MetafileWmf, PlaceableHeaderMapsItsBoxOntoThePictureAt96Dpi) {
    WmfWriter wmf;
    pen(wmf, 5, 0, 0);       // object 0: null pen
    brush(wmf, 0, 0xFF0000); // object 1: blue brush
    wmf.record(0x012D, {0}).record(0x012D, {1});
    wmf.record(0x041B, {300, 600, 75, 150}); // Rectangle(150, 75, 600, 300) in twips
    // 960 x 480 twips at 1440 per inch: 64 x 32 pixels, 15 twips a pixel.
    EXPECT_TRUE(pictureMatches(
        play(wmf.finish(true, 0, 0, 960, 480, 1440), MetafileKind::Windows), 64, 32,
        [](int x, int y) { return (x >= 10 && x < 39 && y >= 5 && y < 19) ? kBlue : kWhite; }));
}

TEST(MetafileWmf, WithoutPlaceableHeaderTheDrawingsBoundsGiveTheSize) {
    WmfWriter wmf;
    pen(wmf, 5, 0, 0);
    brush(wmf, 0, 0x0000FF);
    wmf.record(0x012D, {0}).record(0x012D, {1});
    wmf.record(0x0324, {4, 5, 3, 25, 3, 25, 13, 5, 13}); // Polygon
    // Points 5..25 and 3..13: 21 x 11 pixels from (5, 3) on; the fill leaves
    // the last column and row, as on any picture.
    EXPECT_TRUE(pictureMatches(play(wmf.finish(false), MetafileKind::Windows), 21, 11,
                               [](int x, int y) { return (x < 20 && y < 10) ? kRed : kWhite; }));
    // Nothing drawn: no size, no picture.
    EXPECT_EQ(play(WmfWriter().finish(false), MetafileKind::Windows).width, 0);
}

TEST(MetafileWmf, SaveRestoreClipAndObjectSlots) {
    WmfWriter wmf(4);
    pen(wmf, 5, 0, 0);       // 0
    brush(wmf, 0, 0x0000FF); // 1 red
    brush(wmf, 0, 0xFF0000); // 2 blue
    wmf.record(0x012D, {0}).record(0x012D, {1});
    wmf.record(0x001E, {});                                 // SaveDC (red, no clip)
    wmf.record(0x012D, {2}).record(0x0416, {12, 12, 4, 4}); // blue, clip (4,4)-(12,12)
    wmf.record(0x041B, {24, 24, 0, 0});
    wmf.record(0x0127, {static_cast<std::int32_t>(0xFFFF)}); // RestoreDC(-1)
    wmf.record(0x01F0, {1});                                 // delete red: slot 1 free again
    brush(wmf, 0, 0x000000);                                 // black lands in slot 1
    wmf.record(0x012D, {1});
    wmf.record(0x041B, {22, 22, 16, 16});
    wmf.record(0x012D, {9}); // out of range: ignored
    EXPECT_TRUE(pictureMatches(play(wmf.finish(true, 0, 0, 24, 24, 96), MetafileKind::Windows), 24,
                               24, [](int x, int y) {
                                   if (x >= 4 && x < 12 && y >= 4 && y < 12) return kBlue;
                                   if (x >= 16 && x < 21 && y >= 16 && y < 21) return kBlack;
                                   return kWhite;
                               }));
}

TEST(MetafileWmf, LinesEllipseAndStretchDib) {
    WmfWriter wmf;
    wmf.record(0x0214, {2, 1}).record(0x0213, {2, 9}); // MoveTo(1,2) LineTo(9,2)
    pen(wmf, 5, 0, 0);
    brush(wmf, 0, 0xFF0000);
    wmf.record(0x012D, {0}).record(0x012D, {1});
    wmf.record(0x0418, {23, 23, 11, 11}); // Ellipse(11, 11, 23, 23)
    Bytes body;
    for (int v : {0x0020, 0x00CC, 0, 2, 2, 0, 0, 4, 4, 4, 1})
        put16(body, static_cast<std::uint32_t>(v));
    for (std::uint32_t v : {40u, 2u, 2u})
        put32(body, v);
    put16(body, 1);
    put16(body, 24);
    for (int i = 0; i < 6; ++i)
        put32(body, 0);
    for (std::uint8_t v : {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0})
        body.push_back(v);
    wmf.raw(0x0F43, body); // StretchDIB to (1,4) 4 x 4
    const DecodedPicture p = play(wmf.finish(true, 0, 0, 24, 24, 96), MetafileKind::Windows);
    ASSERT_EQ(p.width, 24);
    for (int x = 0; x < 24; ++x)
        EXPECT_EQ(p.at(x, 2), (x >= 1 && x < 9) ? kBlack : kWhite) << x;
    EXPECT_EQ(p.at(1, 4), kBlue);       // top-left of the DIB is its upper row's first pixel
    EXPECT_EQ(p.at(4, 7), 0xFF00FF00u); // bottom right: green
    EXPECT_EQ(p.at(1, 7), kRed);
    EXPECT_EQ(p.at(16, 16), kBlue);  // inside the ellipse
    EXPECT_EQ(p.at(11, 11), kWhite); // its box corner stays empty
    EXPECT_EQ(p.at(22, 16), kWhite); // right of the fill: one pixel in, as null-pen fills are
}

TEST(MetafileWmf, TextOutDrawsInsideItsCell) {
    WmfWriter wmf;
    wmf.raw(0x02FB, wmfFontBody(-16)).record(0x012D, {0}).record(0x0102, {1});
    wmf.record(0x0521, {2, 'I' | ('I' << 8), 4, 6}); // TextOut "II" at (6, 4)
    const DecodedPicture p = play(wmf.finish(true, 0, 0, 48, 24, 96), MetafileKind::Windows);
    ASSERT_EQ(p.width, 48);
    int painted = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 48; ++x) {
            if (p.at(x, y) == kWhite) continue;
            ++painted;
            EXPECT_EQ(p.at(x, y), kBlack);
            EXPECT_TRUE(x >= 6 && x < 6 + 16 && y >= 4 && y < 4 + 16) << x << "," << y;
        }
    }
    EXPECT_GE(painted, 2 * 10); // two strokes of about three quarters of the em
}

} // namespace
} // namespace schauplatz
