// Work budgets of the picture decoders: an icon whose thousands of entries all fail is given
// up after a few tries, and a PNG full of compressed texts costs no inflating of them.

#include "elements/codecs/IconCodec.h"
#include "elements/codecs/PngCodec.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace schauplatz::picture_test {
namespace {

void putBig32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

Bytes chunk(const char* type, const Bytes& data) {
    Bytes out;
    putBig32(out, static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    putBig32(out,
             static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
    return out;
}

// A PNG whose header claims width x height and whose pixel data ends after the first row:
// the decoder allocates the picture, then fails.
Bytes pngWithoutPixels(std::uint32_t width, std::uint32_t height) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    putBig32(header, width);
    putBig32(header, height);
    for (std::uint8_t b : {8, 6, 0, 0, 0}) // 8-bit RGBA, no interlace
        header.push_back(b);
    const std::vector<std::uint8_t> row(1 + std::size_t{width} * 4, 0);
    uLongf packedSize = compressBound(static_cast<uLong>(row.size()));
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, row.data(), static_cast<uLong>(row.size()), 9);
    packed.resize(packedSize);
    for (const Bytes& part : {chunk("IHDR", header), chunk("IDAT", packed), chunk("IEND", {})})
        png.insert(png.end(), part.begin(), part.end());
    return png;
}

TEST(IconBudget, ThousandsOfFailingEntriesAreGivenUpAfterAFew) {
    const Bytes broken = pngWithoutPixels(4096, 4096);
    // 65535 directory entries, all naming the same broken picture.
    Bytes icon(6, 0);
    put16(icon, 2, 1);
    put16(icon, 4, 65535);
    const std::uint32_t offset = 6 + 16 * 65535;
    for (int i = 0; i < 65535; ++i) {
        Bytes entry(16, 0);
        put16(entry, 4, 1);
        put16(entry, 6, 32);
        put32(entry, 8, static_cast<std::uint32_t>(broken.size()));
        put32(entry, 12, offset);
        icon.insert(icon.end(), entry.begin(), entry.end());
    }
    icon.insert(icon.end(), broken.begin(), broken.end());
    CountingTarget target;
    EXPECT_FALSE(decodeIcon(icon, target));
    EXPECT_GE(target.allocations, 1);
    EXPECT_LE(target.allocations, 4) << "four times the largest entry's area";
}

TEST(IconBudget, AnEntryAfterFailingOnesStillDecodes) {
    BmpBuilder dib;
    dib.width = 32;
    dib.height = 64; // colour rows and mask
    dib.bitsPerPixel = 32;
    std::vector<Bytes> rows;
    for (int y = 0; y < 32; ++y)
        rows.push_back(Bytes(32 * 4, 0x80));
    dib.pixels = paddedRows(rows);
    const Bytes mask(32 * 4, 0);
    dib.pixels.insert(dib.pixels.end(), mask.begin(), mask.end());
    const Bytes icon = buildIcon({{pngWithoutPixels(64, 64), 64, 64, 32},
                                  {pngWithoutPixels(48, 48), 48, 48, 32},
                                  {dib.dib(), 32, 32, 32}});
    CountingTarget target;
    ASSERT_TRUE(decodeIcon(icon, target));
    EXPECT_EQ(target.width, 32);
    EXPECT_EQ(target.allocations, 3);
}

// 400 compressed texts, each inflating to 16 MiB, are skipped unread: the picture is the one
// without them (bench/hostile_inputs png-texts shows the time they no longer cost).
TEST(PngBudget, CompressedTextsAreSkippedWithoutChangingThePicture) {
    PngBuilder builder;
    builder.width = 3;
    builder.height = 2;
    builder.colourType = 2;
    builder.rows = {{10, 20, 30, 40, 50, 60, 70, 80, 90}, {1, 2, 3, 4, 5, 6, 7, 8, 9}};
    const Bytes plain = builder.encode();

    const std::vector<std::uint8_t> zeros(16 << 20, 0);
    uLongf packedSize = compressBound(static_cast<uLong>(zeros.size()));
    Bytes packed(packedSize);
    ASSERT_EQ(
        compress2(packed.data(), &packedSize, zeros.data(), static_cast<uLong>(zeros.size()), 9),
        Z_OK);
    packed.resize(packedSize);
    Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    text.insert(text.end(), packed.begin(), packed.end());
    const Bytes ztxt = chunk("zTXt", text);
    Bytes bomb(plain.begin(), plain.begin() + 33); // signature and IHDR
    for (int i = 0; i < 400; ++i)
        bomb.insert(bomb.end(), ztxt.begin(), ztxt.end());
    bomb.insert(bomb.end(), plain.begin() + 33, plain.end());
    EXPECT_LT(bomb.size(), 8u << 20);

    DecodedPicture expected, actual;
    ASSERT_TRUE(decodePng(plain, expected, PngAlpha::Keep));
    ASSERT_TRUE(decodePng(bomb, actual, PngAlpha::Keep));
    EXPECT_TRUE(samePicture(actual, 3, 2, expected.pixels));
}

} // namespace
} // namespace schauplatz::picture_test
