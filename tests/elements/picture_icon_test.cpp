// Icons: the largest entry at the highest depth, alpha kept, AND mask when
// no pixel has alpha, PNG entries.

#include "elements/PictureFiles.h"
#include "elements/codecs/IconCodec.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <png.h>

namespace schauplatz::picture_test {
namespace {

// An icon DIB: header with doubled height, palette, colour rows bottom-up, AND mask rows.
// `colours` are top row first: 0xAARRGGBB for 32 bits, 0x00RRGGBB (or palette indices) otherwise.
Bytes iconDib(int width, int height, int bits, const std::vector<std::uint32_t>& colours,
              const std::vector<int>& mask, const std::vector<std::uint32_t>& palette = {}) {
    BmpBuilder dib;
    dib.width = width;
    dib.height = 2 * height;
    dib.bitsPerPixel = static_cast<std::uint16_t>(bits);
    dib.palette = palette;
    dib.coloursUsed = static_cast<std::uint32_t>(palette.size());
    std::vector<Bytes> rows;
    for (int y = height - 1; y >= 0; --y) {
        Bytes row;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colours[static_cast<std::size_t>(y * width + x)];
            if (bits == 8) {
                row.push_back(static_cast<std::uint8_t>(c));
            } else {
                for (int b = 0; b < bits / 8; ++b)
                    row.push_back(static_cast<std::uint8_t>(c >> (8 * b)));
            }
        }
        rows.push_back(row);
    }
    Bytes pixels = paddedRows(rows);
    std::vector<Bytes> maskRows;
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>((width + 7) / 8), 0);
        for (int x = 0; x < width; ++x) {
            if (mask[static_cast<std::size_t>(y * width + x)]) row[x / 8] |= 0x80 >> (x % 8);
        }
        maskRows.push_back(row);
    }
    const Bytes maskBytes = paddedRows(maskRows);
    pixels.insert(pixels.end(), maskBytes.begin(), maskBytes.end());
    dib.pixels = pixels;
    return dib.dib();
}

std::vector<std::uint32_t> pattern(int count, std::uint32_t seed, std::uint32_t alphaMask) {
    std::vector<std::uint32_t> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(((static_cast<std::uint32_t>(i) * 2654435761u + seed) & alphaMask) |
                      ((static_cast<std::uint32_t>(i) * 0x1F3D5B79u) & 0x00FFFFFF));
    }
    return out;
}

class IconRead : public ::testing::Test {
protected:
    ReadResult read(const std::vector<IconImage>& images) {
        return readPictureFile(m_folder.write("icon.ico", buildIcon(images)));
    }
    ScratchFolder m_folder;
};

TEST_F(IconRead, LargestEntryAtHighestDepthKeepsItsAlpha) {
    const std::vector<int> noMask(32 * 32, 0);
    const std::vector<std::uint32_t> big32 = pattern(32 * 32, 7, 0xFF000000);
    std::vector<std::uint32_t> palette(256, 0x123456);
    const IconImage small{
        iconDib(16, 16, 8, std::vector<std::uint32_t>(256, 1), std::vector<int>(256, 0), palette),
        16, 16, 8};
    const IconImage big24{iconDib(32, 32, 24, pattern(32 * 32, 1, 0), noMask), 32, 32, 24};
    const IconImage big32Image{iconDib(32, 32, 32, big32, noMask), 32, 32, 32};
    // The 32-bit entry wins whatever the order of the directory.
    for (const auto& order : {std::vector<IconImage>{small, big24, big32Image},
                              std::vector<IconImage>{big32Image, small, big24}}) {
        EXPECT_TRUE(
            samePicture(read(order), 32, 32, std::vector<TColor32>(big32.begin(), big32.end())));
    }
}

TEST_F(IconRead, AndMaskGivesTransparencyWhenNoPixelHasAlpha) {
    // 2 x 2: top row red, green; bottom row blue, black. Mask: top right and bottom left.
    const std::vector<std::uint32_t> colours = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000};
    const std::vector<int> mask = {0, 1, 1, 0};
    // Masked pixels get alpha 0 and the colour they show over white (white XOR colour).
    const std::vector<TColor32> expected = {0xFFFF0000, 0x00FF00FF, 0x00FFFF00, 0xFF000000};
    EXPECT_TRUE(samePicture(read({{iconDib(2, 2, 24, colours, mask), 2, 2, 24}}), 2, 2, expected));
    // A 32-bit entry whose fourth bytes are all zero behaves the same.
    EXPECT_TRUE(samePicture(read({{iconDib(2, 2, 32, colours, mask), 2, 2, 32}}), 2, 2, expected));
}

TEST_F(IconRead, PngEntryKeepsStraightAlpha) {
    PngBuilder png;
    png.width = 48;
    png.height = 48;
    png.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    std::vector<TColor32> expected;
    for (int y = 0; y < 48; ++y) {
        Bytes row;
        for (int x = 0; x < 48; ++x) {
            const std::uint8_t r = static_cast<std::uint8_t>(x * 5),
                               g = static_cast<std::uint8_t>(y * 5), b = 77,
                               a = static_cast<std::uint8_t>((x + y) * 2);
            row.insert(row.end(), {r, g, b, a});
            expected.push_back(Color32(r, g, b, a));
        }
        png.rows.push_back(row);
    }
    const IconImage bmp{
        iconDib(32, 32, 32, pattern(32 * 32, 3, 0xFF000000), std::vector<int>(32 * 32, 0)), 32, 32,
        32};
    // Directory sizes of 0 mean 256; the entries' own headers decide.
    EXPECT_TRUE(samePicture(read({bmp, {png.encode(), 0, 0, 32}}), 48, 48, expected));
}

TEST_F(IconRead, DamagedBestEntryFallsBackToTheNextAndBrokenDirectoriesGiveNothing) {
    const std::vector<std::uint32_t> colours = pattern(4, 9, 0xFF000000);
    const IconImage good{iconDib(2, 2, 32, colours, {0, 0, 0, 0}), 2, 2, 32};
    PngBuilder grey;
    grey.width = grey.height = 4;
    grey.rows.assign(4, Bytes{1, 2, 3, 4});
    Bytes brokenPng = grey.encode();
    brokenPng.resize(brokenPng.size() - 20); // cut into the image data
    EXPECT_TRUE(samePicture(read({{brokenPng, 4, 4, 8}, good}), 2, 2,
                            std::vector<TColor32>(colours.begin(), colours.end())));

    Bytes wrongType = buildIcon({good});
    put16(wrongType, 2, 3);
    CountingTarget target;
    EXPECT_FALSE(decodeIcon(wrongType, target));

    Bytes manyEntries = buildIcon({good});
    put16(manyEntries, 4, 65535); // claims more entries than the file holds
    EXPECT_TRUE(decodeIcon(manyEntries, target));

    Bytes farOffset = buildIcon({good});
    put32(farOffset, 6 + 12, 0x7FFFFFFF);
    CountingTarget none;
    EXPECT_FALSE(decodeIcon(farOffset, none));
    EXPECT_EQ(none.allocations, 0);
}

} // namespace
} // namespace schauplatz::picture_test
