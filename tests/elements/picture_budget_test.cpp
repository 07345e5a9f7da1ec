// Work budgets of the picture decoders: an icon whose thousands of entries all fail is given
// up after a few tries, and a PNG full of compressed texts costs no inflating of them.

#include "HostileFiles.h"
#include "elements/codecs/IconCodec.h"
#include "elements/codecs/PngCodec.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

namespace schauplatz::picture_test {
namespace {

TEST(IconBudget, ThousandsOfFailingEntriesAreGivenUpAfterAFew) {
    // 65535 directory entries, all naming the same broken picture of 4096 x 4096.
    const Bytes icon = hostile::iconOfFailingEntries(65535);
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
    const Bytes icon = buildIcon({{hostile::pngWithoutPixels(64, 64), 64, 64, 32},
                                  {hostile::pngWithoutPixels(48, 48), 48, 48, 32},
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

    const Bytes bomb = hostile::pngWithCompressedTexts(plain, 400);
    EXPECT_LT(bomb.size(), 8u << 20);

    DecodedPicture expected, actual;
    ASSERT_TRUE(decodePng(plain, expected, PngAlpha::Keep));
    ASSERT_TRUE(decodePng(bomb, actual, PngAlpha::Keep));
    EXPECT_TRUE(samePicture(actual, 3, 2, expected.pixels));
}

} // namespace
} // namespace schauplatz::picture_test
