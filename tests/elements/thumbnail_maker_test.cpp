// Area-averaging reduction, reduced-scale JPEG decoding and the thumbnail maker.

#include "elements/PictureFiles.h"
#include "elements/Thumbnail.h"
#include "picture_fixtures.h"
#include "testsupport/PictureCompare.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace schauplatz {
namespace {

using picture_test::Bytes;
using picture_test::JpegKind;
using picture_test::ScratchFolder;

constexpr PictureSize kArea{114, 194};

using testing::argbText;

::testing::AssertionResult samePixels(const ThumbnailPicture& actual, PictureSize size,
                                      const std::vector<TColor32>& expected) {
    return testing::samePixelList(actual.Width, actual.Height, actual.Pixels, size.Width,
                                  size.Height, expected);
}

// Every pixel within tolerance of one colour (JPEG is lossy).
::testing::AssertionResult allNear(const ThumbnailPicture& picture, TColor32 colour,
                                   int tolerance) {
    for (std::size_t i = 0; i < picture.Pixels.size(); ++i) {
        const TColor32 c = picture.Pixels[i];
        for (int shift : {0, 8, 16, 24}) {
            const int a = static_cast<int>((c >> shift) & 0xFF);
            const int b = static_cast<int>((colour >> shift) & 0xFF);
            if (std::abs(a - b) > tolerance)
                return ::testing::AssertionFailure() << "pixel " << i << " is " << argbText(c)
                                                     << ", expected about " << argbText(colour);
        }
    }
    return ::testing::AssertionSuccess();
}

// --- area averaging -----------------------------------------------------------------------

TEST(AreaAverageResize, ReductionWeighsByOverlap) {
    // Two pixels into one: the mean, exact halves rounded up (15.5 -> 16).
    const std::vector<TColor32> two = {Color32(10, 0, 200), Color32(21, 255, 100)};
    EXPECT_TRUE(
        samePixels(AreaAverageResize(two.data(), {2, 1}, {1, 1}), {1, 1}, {Color32(16, 128, 150)}));
    // Three into two: weights 2:1 and 1:2.
    const std::vector<TColor32> three = {Color32(0, 0, 0), Color32(90, 90, 90),
                                         Color32(180, 180, 180)};
    EXPECT_TRUE(samePixels(AreaAverageResize(three.data(), {3, 1}, {2, 1}), {2, 1},
                           {Color32(30, 30, 30), Color32(150, 150, 150)}));
    // The same vertically.
    EXPECT_TRUE(samePixels(AreaAverageResize(three.data(), {1, 3}, {1, 2}), {1, 2},
                           {Color32(30, 30, 30), Color32(150, 150, 150)}));
}

TEST(AreaAverageResize, TransparentPixelsDoNotTintTheirNeighbours) {
    const std::vector<TColor32> pixels = {0x00FF0000u, 0xFF0000FFu};
    EXPECT_TRUE(
        samePixels(AreaAverageResize(pixels.data(), {2, 1}, {1, 1}), {1, 1}, {0x800000FFu}));
    const std::vector<TColor32> clear = {0x00FF0000u, 0x0000FF00u};
    EXPECT_TRUE(samePixels(AreaAverageResize(clear.data(), {2, 1}, {1, 1}), {1, 1}, {0u}));
}

TEST(AreaAverageResize, EnlargementRepeatsPixels) {
    const std::vector<TColor32> two = {0xFF112233u, 0xFF445566u};
    EXPECT_TRUE(samePixels(AreaAverageResize(two.data(), {2, 1}, {4, 2}), {4, 2},
                           {0xFF112233u, 0xFF112233u, 0xFF445566u, 0xFF445566u, 0xFF112233u,
                            0xFF112233u, 0xFF445566u, 0xFF445566u}));
    const std::vector<TColor32> one = {0x80A0B0C0u};
    EXPECT_TRUE(samePixels(AreaAverageResize(one.data(), {1, 1}, {3, 3}), {3, 3},
                           std::vector<TColor32>(9, 0x80A0B0C0u)));
}

// A plain 2D reference: every target pixel against every source pixel with
// the overlap area in the common integer grid.
ThumbnailPicture referenceResize(const std::vector<TColor32>& source, PictureSize from,
                                 PictureSize to) {
    ThumbnailPicture out;
    out.Width = to.Width;
    out.Height = to.Height;
    auto overlap = [](std::int64_t a0, std::int64_t a1, std::int64_t b0, std::int64_t b1) {
        return std::max<std::int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
    };
    for (std::int64_t ty = 0; ty < to.Height; ++ty)
        for (std::int64_t tx = 0; tx < to.Width; ++tx) {
            std::uint64_t a = 0, r = 0, g = 0, b = 0;
            for (std::int64_t sy = 0; sy < from.Height; ++sy)
                for (std::int64_t sx = 0; sx < from.Width; ++sx) {
                    const std::int64_t w = overlap(tx * from.Width, (tx + 1) * from.Width,
                                                   sx * to.Width, (sx + 1) * to.Width) *
                                           overlap(ty * from.Height, (ty + 1) * from.Height,
                                                   sy * to.Height, (sy + 1) * to.Height);
                    const TColor32 c = source[static_cast<std::size_t>(sy * from.Width + sx)];
                    const std::uint64_t wa = static_cast<std::uint64_t>(w) * AlphaComponent(c);
                    a += wa;
                    r += wa * RedComponent(c);
                    g += wa * GreenComponent(c);
                    b += wa * BlueComponent(c);
                }
            const std::uint64_t area = static_cast<std::uint64_t>(from.Width) * from.Height;
            auto rounded = [](std::uint64_t n, std::uint64_t d) {
                return static_cast<std::uint32_t>((2 * n + d) / (2 * d));
            };
            out.Pixels.push_back(
                a == 0 ? 0u
                       : Color32(rounded(r, a), rounded(g, a), rounded(b, a), rounded(a, area)));
        }
    return out;
}

TEST(AreaAverageResize, MatchesDirectReferenceOnRandomPictures) {
    const unsigned seed = 20261209;
    std::mt19937 random(seed);
    const PictureSize cases[][2] = {{{37, 23}, {7, 5}},   {{23, 37}, {9, 13}},
                                    {{5, 3}, {11, 7}},    {{64, 1}, {3, 1}},
                                    {{13, 17}, {13, 17}}, {{100, 80}, {33, 41}}};
    for (const auto& c : cases) {
        std::vector<TColor32> source(static_cast<std::size_t>(c[0].Width) * c[0].Height);
        for (TColor32& p : source)
            p = random();
        const ThumbnailPicture expected = referenceResize(source, c[0], c[1]);
        EXPECT_TRUE(samePixels(AreaAverageResize(source.data(), c[0], c[1]), c[1], expected.Pixels))
            << "seed " << seed << ", " << c[0].Width << "x" << c[0].Height << " -> " << c[1].Width
            << "x" << c[1].Height;
    }
}

TEST(AreaAverageResize, RefusesMissingOrEmptyPictures) {
    const std::vector<TColor32> one = {0xFFFFFFFFu};
    EXPECT_TRUE(AreaAverageResize(nullptr, {1, 1}, {1, 1}).Empty());
    EXPECT_TRUE(AreaAverageResize(one.data(), {0, 1}, {1, 1}).Empty());
    EXPECT_TRUE(AreaAverageResize(one.data(), {1, 1}, {1, 0}).Empty());
}

// --- reduced-scale JPEG -------------------------------------------------------------------

Bytes solidJpeg(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Bytes samples(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < samples.size(); i += 3) {
        samples[i] = r;
        samples[i + 1] = g;
        samples[i + 2] = b;
    }
    return picture_test::encodeJpeg(JpegKind::Rgb, width, height, samples);
}

TEST(DecodeJpegScaled, SmallestScaleThatCoversTheThumbnail) {
    const Bytes jpeg = solidJpeg(800, 600, 200, 100, 50);
    struct Case {
        PictureSize minimum, expected;
    };
    for (const Case& c : {Case{{100, 75}, {100, 75}},     // 1/8 is enough
                          Case{{114, 86}, {200, 150}},    // 1/8 is 100 wide: 2/8
                          Case{{701, 1}, {800, 600}},     // only the full size
                          Case{{2000, 2000}, {800, 600}}, // never above the full size
                          Case{{0, 0}, {100, 75}}}) {
        DecodedPicture decoded;
        ASSERT_TRUE(DecodeJpegScaled(jpeg, c.minimum, decoded));
        EXPECT_EQ((PictureSize{decoded.width, decoded.height}), c.expected)
            << "minimum " << c.minimum.Width << " x " << c.minimum.Height;
    }
    // Odd sizes round up at reduced scale: 801 / 8 -> 101.
    DecodedPicture odd;
    ASSERT_TRUE(DecodeJpegScaled(solidJpeg(801, 9, 1, 2, 3), {100, 1}, odd));
    EXPECT_EQ((PictureSize{odd.width, odd.height}), (PictureSize{101, 2}));
}

TEST(DecodeJpegScaled, ColoursKindsAndDamage) {
    DecodedPicture colour;
    ASSERT_TRUE(DecodeJpegScaled(solidJpeg(64, 64, 200, 100, 50), {8, 8}, colour));
    ThumbnailPicture asThumbnail{colour.width, colour.height, colour.pixels};
    EXPECT_TRUE(allNear(asThumbnail, Color32(200, 100, 50), 2));

    DecodedPicture grey;
    ASSERT_TRUE(DecodeJpegScaled(
        picture_test::encodeJpeg(JpegKind::Grey, 32, 32, Bytes(32 * 32, 77)), {4, 4}, grey));
    EXPECT_TRUE(allNear({grey.width, grey.height, grey.pixels}, Color32(77, 77, 77), 1));

    // CMYK as the picture reader converts it: C*K/255 and so on.
    Bytes cmyk(16 * 16 * 4);
    for (std::size_t i = 0; i < cmyk.size(); i += 4) {
        cmyk[i] = 255;
        cmyk[i + 1] = 128;
        cmyk[i + 2] = 0;
        cmyk[i + 3] = 255;
    }
    DecodedPicture fromCmyk;
    ASSERT_TRUE(
        DecodeJpegScaled(picture_test::encodeJpeg(JpegKind::Cmyk, 16, 16, cmyk), {2, 2}, fromCmyk));
    EXPECT_TRUE(
        allNear({fromCmyk.width, fromCmyk.height, fromCmyk.pixels}, Color32(255, 128, 0), 2));

    DecodedPicture none;
    Bytes damaged = solidJpeg(64, 64, 1, 2, 3);
    damaged.resize(30);
    EXPECT_FALSE(DecodeJpegScaled(damaged, {8, 8}, none));
    EXPECT_FALSE(DecodeJpegScaled(Bytes{}, {8, 8}, none));
}

// --- the maker --------------------------------------------------------------------------------

TEST(MakeThumbnail, BmpFitsTheAreaWithExactPixels) {
    ScratchFolder folder;
    TBitmap32 picture;
    picture.SetSize(2, 1);
    picture.Bits()[0] = 0xFFFF0000u;
    picture.Bits()[1] = 0xFF0000FFu;
    const std::string path = folder.path("Tür 1; rot.bmp");
    WriteBitmapFile(picture, path);

    const auto made = MakeThumbnail(path, kArea);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->PictureOwnSize, (PictureSize{2, 1}));
    std::vector<TColor32> expected(114 * 57);
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = (i % 114) < 57 ? 0xFFFF0000u : 0xFF0000FFu;
    EXPECT_TRUE(samePixels(made->Thumbnail, {114, 57}, expected));
}

TEST(MakeThumbnail, LargeJpegThroughReducedScale) {
    ScratchFolder folder;
    const std::string path = folder.write("Haustür groß.jpg", solidJpeg(1600, 1200, 30, 140, 220));
    const auto made = MakeThumbnail(path, kArea);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->PictureOwnSize, (PictureSize{1600, 1200}));
    EXPECT_EQ(made->Thumbnail.Width, 114);
    EXPECT_EQ(made->Thumbnail.Height, 86); // 1200 * 114 / 1600 = 85.5 -> 86
    EXPECT_TRUE(allNear(made->Thumbnail, Color32(30, 140, 220), 2));
}

TEST(MakeThumbnail, PngAndMisnamedFiles) {
    ScratchFolder folder;
    picture_test::PngBuilder png;
    png.width = 3;
    png.height = 6;
    png.colourType = 2;
    png.rows.assign(6, Bytes{10, 20, 30, 10, 20, 30, 10, 20, 30});
    const auto fromPng = MakeThumbnail(folder.write("a.png", png.encode()), kArea);
    ASSERT_TRUE(fromPng);
    EXPECT_EQ(fromPng->PictureOwnSize, (PictureSize{3, 6}));
    EXPECT_TRUE(samePixels(fromPng->Thumbnail, {97, 194},
                           std::vector<TColor32>(97 * 194, Color32(10, 20, 30))));

    // A JPEG named .png is still decoded as what it is.
    const auto misnamed = MakeThumbnail(folder.write("b.png", solidJpeg(16, 8, 9, 9, 9)), kArea);
    ASSERT_TRUE(misnamed);
    EXPECT_EQ(misnamed->Thumbnail.Width, 114);
    EXPECT_EQ(misnamed->Thumbnail.Height, 57);
}

TEST(MakeThumbnail, WhatIsNoPictureGivesNone) {
    ScratchFolder folder;
    const std::string text = "keine Bilddaten";
    EXPECT_FALSE(MakeThumbnail(folder.write("text.jpg", Bytes(text.begin(), text.end())), kArea));
    EXPECT_FALSE(MakeThumbnail(folder.write("empty.png", Bytes{}), kArea));
    EXPECT_FALSE(MakeThumbnail(folder.path("gone.bmp"), kArea));
    std::filesystem::create_directory(folder.path("ordner.jpg"));
    EXPECT_FALSE(MakeThumbnail(folder.path("ordner.jpg"), kArea));
    // A header that promises a picture but data that is not one.
    Bytes lying = solidJpeg(64, 64, 1, 2, 3);
    lying.resize(lying.size() / 3);
    for (std::size_t i = lying.size() / 2; i < lying.size(); ++i)
        lying[i] = 0xFF;
    const auto fromLying = MakeThumbnail(folder.write("kaputt.jpg", lying), kArea);
    if (fromLying) {
        EXPECT_EQ(fromLying->Thumbnail.Width, 114); // decoded what was there
    }
    picture_test::BmpBuilder bmp;
    bmp.width = 4;
    bmp.height = 4;
    bmp.pixels = Bytes(3); // far too short for its header
    EXPECT_FALSE(MakeThumbnail(folder.write("kurz.bmp", bmp.file()), kArea));
}

} // namespace
} // namespace schauplatz
