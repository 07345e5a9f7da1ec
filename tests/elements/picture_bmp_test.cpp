// BMP files of every kind read through ReadPictureFile, with exact pixels.

#include "elements/PictureFiles.h"
#include "elements/codecs/BmpCodec.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

namespace schauplatz::picture_test {
namespace {

constexpr TColor32 kBlack = 0xFF000000;

class BmpRead : public ::testing::Test {
protected:
    ReadResult read(const BmpBuilder& bmp, const std::string& name = "picture.bmp") {
        return readPictureFile(m_folder.write(name, bmp.file()));
    }
    ScratchFolder m_folder;
};

Bytes bgr(std::initializer_list<std::uint32_t> colours) {
    Bytes out;
    for (std::uint32_t c : colours) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c >> 16));
    }
    return out;
}

Bytes le16s(std::initializer_list<std::uint16_t> values) {
    Bytes out;
    for (std::uint16_t v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

Bytes le32s(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (std::uint32_t v : values)
        put32(out, out.size(), v);
    return out;
}

TEST_F(BmpRead, TwentyFourBitBottomUpAndTopDownAreOpaque) {
    BmpBuilder bmp;
    bmp.width = 3;
    bmp.height = 2;
    // Bottom row first, each row padded from 9 to 12 bytes.
    bmp.pixels =
        paddedRows({bgr({0xFFFFFF, 0x000000, 0x102030}), bgr({0xFF0000, 0x00FF00, 0x0000FF})});
    const std::vector<TColor32> expected = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                            0xFFFFFFFF, 0xFF000000, 0xFF102030};
    EXPECT_TRUE(samePicture(read(bmp), 3, 2, expected));

    bmp.height = -2;
    bmp.pixels =
        paddedRows({bgr({0xFF0000, 0x00FF00, 0x0000FF}), bgr({0xFFFFFF, 0x000000, 0x102030})});
    EXPECT_TRUE(samePicture(read(bmp, "topdown.bmp"), 3, 2, expected));
}

TEST_F(BmpRead, PalettePicturesOfOneFourAndEightBits) {
    BmpBuilder one;
    one.width = 10;
    one.height = 2;
    one.bitsPerPixel = 1;
    one.palette = {0x112233, 0xAABBCC};
    // Bottom row 0101111100, top row 1010000011.
    one.pixels = paddedRows({{0x5F, 0x00}, {0xA0, 0xC0}});
    const std::string top = "1010000011";
    const std::string bottom = "0101111100";
    std::vector<TColor32> expected;
    for (char bit : top + bottom)
        expected.push_back(bit == '1' ? 0xFFAABBCC : 0xFF112233);
    EXPECT_TRUE(samePicture(read(one, "one.bmp"), 10, 2, expected));

    BmpBuilder four;
    four.width = 3;
    four.height = 1;
    four.bitsPerPixel = 4;
    four.coloursUsed = 4;
    four.palette = {0x000000, 0x010203, 0x405060, 0xF0E0D0};
    four.pixels = paddedRows({{0x12, 0x30}});
    EXPECT_TRUE(samePicture(read(four, "four.bmp"), 3, 1, {0xFF010203, 0xFF405060, 0xFFF0E0D0}));

    BmpBuilder eight;
    eight.width = 2;
    eight.height = 2;
    eight.bitsPerPixel = 8;
    eight.coloursUsed = 3;
    eight.palette = {0x0A0B0C, 0x808080, 0xFEDCBA};
    // Index 7 lies beyond the three stored colours: opaque black.
    eight.pixels = paddedRows({{2, 7}, {0, 1}});
    EXPECT_TRUE(
        samePicture(read(eight, "eight.bmp"), 2, 2, {0xFF0A0B0C, 0xFF808080, 0xFFFEDCBA, kBlack}));
}

TEST_F(BmpRead, CoreAndTwoDimensionalHeaders) {
    BmpBuilder core;
    core.headerSize = 12;
    core.width = 4;
    core.height = 1;
    core.bitsPerPixel = 8;
    for (std::uint32_t i = 0; i < 256; ++i)
        core.palette.push_back((i << 16) | ((255 - i) << 8) | (i / 2));
    core.pixels = paddedRows({{0, 1, 200, 255}});
    EXPECT_TRUE(samePicture(read(core, "core8.bmp"), 4, 1,
                            {0xFF00FF00, 0xFF01FE00, 0xFFC83764, 0xFFFF007F}));

    BmpBuilder core24;
    core24.headerSize = 12;
    core24.width = 1;
    core24.height = 2;
    core24.pixels = paddedRows({bgr({0x123456}), bgr({0xABCDEF})});
    EXPECT_TRUE(samePicture(read(core24, "core24.bmp"), 1, 2, {0xFFABCDEF, 0xFF123456}));

    BmpBuilder twoDimensional;
    twoDimensional.headerSize = 64;
    twoDimensional.width = 2;
    twoDimensional.height = 1;
    twoDimensional.bitsPerPixel = 4;
    twoDimensional.coloursUsed = 2;
    twoDimensional.palette = {0x00FF00, 0x0000FF};
    twoDimensional.pixels = paddedRows({{0x10}});
    EXPECT_TRUE(samePicture(read(twoDimensional, "os2.bmp"), 2, 1, {0xFF0000FF, 0xFF00FF00}));
}

TEST_F(BmpRead, SixteenBitChannelsAreWidenedByRepeatingTopBits) {
    BmpBuilder rgb555;
    rgb555.width = 5;
    rgb555.height = 1;
    rgb555.bitsPerPixel = 16;
    rgb555.pixels = paddedRows({le16s({0x7FFF, 0x7C00, 0x0001, 0x0200, 0x8000})});
    // 5 bits v become v*8 + v/4: 1 -> 8, 16 -> 132; the top bit is not a channel.
    EXPECT_TRUE(samePicture(read(rgb555, "555.bmp"), 5, 1,
                            {0xFFFFFFFF, 0xFFFF0000, 0xFF000008, 0xFF008400, kBlack}));

    BmpBuilder rgb565 = rgb555;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.pixels = paddedRows({le16s({0xFFFF, 0x07E0, 0x0020, 0x8000, 0x001F})});
    // 6 bits v become v*4 + v/16: 1 -> 4.
    EXPECT_TRUE(samePicture(read(rgb565, "565.bmp"), 5, 1,
                            {0xFFFFFFFF, 0xFF00FF00, 0xFF000400, 0xFF840000, 0xFF0000FF}));
}

TEST_F(BmpRead, ThirtyTwoBitBitFieldsTakeAlphaFromTheAlphaMaskOnly) {
    BmpBuilder noAlphaMask;
    noAlphaMask.width = 2;
    noAlphaMask.height = 1;
    noAlphaMask.bitsPerPixel = 32;
    noAlphaMask.compression = 3;
    noAlphaMask.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    noAlphaMask.pixels = le32s({0x12345678, 0x00ABCDEF});
    EXPECT_TRUE(samePicture(read(noAlphaMask, "bf.bmp"), 2, 1, {0xFF345678, 0xFFABCDEF}));

    BmpBuilder v4 = noAlphaMask;
    v4.headerSize = 108;
    v4.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    EXPECT_TRUE(samePicture(read(v4, "v4.bmp"), 2, 1, {0x12345678, 0x00ABCDEF}));

    // Ten-bit colour channels keep their top eight bits; a two-bit alpha 10b repeats to 0xAA.
    BmpBuilder wide = noAlphaMask;
    wide.compression = 6;
    wide.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
    wide.pixels = le32s({0x80000000u | (0x3FFu << 20) | (0x200u << 10) | 0x001u, 0xFFFFFFFF});
    EXPECT_TRUE(samePicture(read(wide, "wide.bmp"), 2, 1, {0xAAFF8000, 0xFFFFFFFF}));
}

TEST_F(BmpRead, UncompressedThirtyTwoBitKeepsStoredAlphaWithAnyHeaderLength) {
    for (std::uint32_t headerSize : {40u, 108u, 124u}) {
        BmpBuilder bmp;
        bmp.headerSize = headerSize;
        bmp.width = 2;
        bmp.height = 2;
        bmp.bitsPerPixel = 32;
        // Masks in a long header do not apply without bit-field compression.
        if (headerSize > 40) bmp.masks = {0xFF, 0xFF00, 0xFF0000, 0};
        bmp.pixels = le32s({0x80102030, 0x00FFFFFF, 0xFF000000, 0x01020304}); // bottom row first
        const ReadResult result = read(bmp, "alpha" + std::to_string(headerSize) + ".bmp");
        EXPECT_TRUE(samePicture(result, 2, 2, {0xFF000000, 0x01020304, 0x80102030, 0x00FFFFFF}))
            << "header of " << headerSize << " bytes";
    }
}

TEST_F(BmpRead, RunLengthEightBits) {
    BmpBuilder bmp;
    bmp.width = 6;
    bmp.height = 3;
    bmp.bitsPerPixel = 8;
    bmp.compression = 1;
    bmp.coloursUsed = 4;
    bmp.palette = {0x000010, 0x100000, 0x001000, 0x777777};
    bmp.pixels = {
        0x03, 0x01, 0x00, 0x03, 0x02, 0x03, 0x02, 0x00, 0x00, 0x00, // 1 1 1 | 2 3 2 (padded) | EOL
        0x00, 0x02, 0x02, 0x00, 0x02, 0x03, 0x00, 0x00,             // skip 2 | 3 3 | EOL
        0x08, 0x01, 0x00, 0x01, // eight 1s cut at the row end | EOB
    };
    const TColor32 one = 0xFF100000, two = 0xFF001000, three = 0xFF777777;
    EXPECT_TRUE(samePicture(read(bmp, "rle8.bmp"), 6, 3,
                            {one, one, one, one, one, one,                 //
                             kBlack, kBlack, three, three, kBlack, kBlack, //
                             one, one, one, two, three, two}));
}

TEST_F(BmpRead, RunLengthFourBits) {
    BmpBuilder bmp;
    bmp.width = 5;
    bmp.height = 2;
    bmp.bitsPerPixel = 4;
    bmp.compression = 2;
    for (std::uint32_t i = 0; i < 16; ++i)
        bmp.palette.push_back(i * 0x111111);
    bmp.pixels = {
        0x05, 0x12, 0x00, 0x00,                         // 1 2 1 2 1 | EOL
        0x00, 0x03, 0x34, 0x50, 0x00, 0x02, 0x01, 0x00, // literal 3 4 5 | skip 1
        0x01, 0xF0, 0x00, 0x01,                         // 15 | EOB
    };
    auto grey = [](std::uint32_t i) { return 0xFF000000 | (i * 0x111111); };
    EXPECT_TRUE(samePicture(read(bmp, "rle4.bmp"), 5, 2,
                            {grey(3), grey(4), grey(5), kBlack, grey(15), //
                             grey(1), grey(2), grey(1), grey(2), grey(1)}));
}

TEST_F(BmpRead, RunLengthStreamEndingEarlyLeavesTheRestBlack) {
    BmpBuilder bmp;
    bmp.width = 3;
    bmp.height = 2;
    bmp.bitsPerPixel = 8;
    bmp.compression = 1;
    bmp.coloursUsed = 2;
    bmp.palette = {0x000000, 0xFFFFFF};
    bmp.pixels = {0x02, 0x01, 0x00, 0x05, 0x01}; // literal of five cut off after one pixel
    EXPECT_TRUE(samePicture(read(bmp, "rle-short.bmp"), 3, 2,
                            {kBlack, kBlack, kBlack, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
}

TEST_F(BmpRead, ShortPaletteEndsWhereThePixelsBegin) {
    BmpBuilder bmp;
    bmp.width = 4;
    bmp.height = 1;
    bmp.bitsPerPixel = 8;
    bmp.coloursUsed = 0; // claims 256 colours, holds two
    bmp.palette = {0x102030, 0x405060};
    bmp.pixels = paddedRows({{0, 1, 2, 255}});
    EXPECT_TRUE(
        samePicture(read(bmp, "short.bmp"), 4, 1, {0xFF102030, 0xFF405060, kBlack, kBlack}));
}

TEST_F(BmpRead, ZeroPixelOffsetFallsBackToTheEndOfThePalette) {
    BmpBuilder bmp;
    bmp.width = 1;
    bmp.height = 1;
    bmp.pixels = paddedRows({bgr({0x0A0B0C})});
    bmp.pixelOffset = 0;
    EXPECT_TRUE(samePicture(read(bmp, "zero-offset.bmp"), 1, 1, {0xFF0A0B0C}));
}

TEST(BmpChannels, WideningRepeatsTopBits) {
    EXPECT_EQ(widenChannel(0, 5), 0u);
    EXPECT_EQ(widenChannel(31, 5), 255u);
    EXPECT_EQ(widenChannel(16, 5), 132u);
    EXPECT_EQ(widenChannel(1, 1), 255u);
    EXPECT_EQ(widenChannel(5, 3), 0xB6u); // 101 101 10
    EXPECT_EQ(widenChannel(0x2AB, 10), 0xAAu);
    for (std::uint32_t v = 0; v < 32; ++v)
        EXPECT_EQ(widenChannel(v, 5), v * 8 + v / 4);
    for (std::uint32_t v = 0; v < 64; ++v)
        EXPECT_EQ(widenChannel(v, 6), v * 4 + v / 16);
    for (std::uint32_t v = 0; v < 256; ++v)
        EXPECT_EQ(widenChannel(v, 8), v);
}

} // namespace
} // namespace schauplatz::picture_test
