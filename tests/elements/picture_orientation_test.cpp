// EXIF orientation: the tag reader on good and hostile EXIF blocks, and the eight
// orientations turning pixels upright, in memory, in the JPEG decoder and in the lossless
// JPEG turn.

#include "new_format_fixtures.h"

#include "elements/codecs/ExifOrientation.h"
#include "elements/codecs/JpegCodec.h"
#include "elements/codecs/JpegTransform.h"
#include "elements/codecs/PictureOrientation.h"

namespace schauplatz::picture_test {
namespace {

// The upright picture A B C / D E F and how a camera stores it for each orientation,
// written out from the tag's definition (which side the stored 0th row and 0th column are).
constexpr TColor32 A = 0xFF0000A0, B = 0xFF00B000, C = 0xFFC00000, D = 0xFF00D0D0, E = 0xFFE000E0,
                   F = 0xFFF0F000;
struct StoredLayout {
    int orientation;
    std::int32_t width, height;
    std::vector<TColor32> pixels;
};
const std::vector<StoredLayout>& storedLayouts() {
    static const std::vector<StoredLayout> layouts = {
        {1, 3, 2, {A, B, C, D, E, F}}, // 0th row top, 0th column left
        {2, 3, 2, {C, B, A, F, E, D}}, // top, right
        {3, 3, 2, {F, E, D, C, B, A}}, // bottom, right
        {4, 3, 2, {D, E, F, A, B, C}}, // bottom, left
        {5, 2, 3, {A, D, B, E, C, F}}, // left, top
        {6, 2, 3, {C, F, B, E, A, D}}, // right, top
        {7, 2, 3, {F, C, E, B, D, A}}, // right, bottom
        {8, 2, 3, {D, A, E, B, F, C}}, // left, bottom
    };
    return layouts;
}
const std::vector<TColor32> kUpright = {A, B, C, D, E, F};

TEST(PictureOrientation, EveryOrientationTurnsTheStoredPixelsUpright) {
    for (const StoredLayout& layout : storedLayouts()) {
        SCOPED_TRACE("orientation " + std::to_string(layout.orientation));
        std::vector<TColor32> upright(6, 0);
        orientPicture(layout.pixels.data(), layout.width, layout.height, layout.orientation,
                      upright.data());
        EXPECT_EQ(upright, kUpright);
    }
}

TEST(PictureOrientation, StripsPlacedOneByOneGiveTheWholePicture) {
    // A 37 x 41 picture of distinct pixels, handed over in strips of 5 rows (the last short).
    const std::int32_t w = 37, h = 41;
    std::vector<TColor32> stored(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < stored.size(); ++i)
        stored[i] = static_cast<TColor32>(0xFF000000u + i * 2654435761u % 0xFFFFFFu);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        std::vector<TColor32> whole(stored.size()), strips(stored.size());
        orientPicture(stored.data(), w, h, orientation, whole.data());
        for (std::int32_t y = 0; y < h; y += 5)
            orientRows(stored.data() + static_cast<std::size_t>(y) * w, w, h, y, std::min(5, h - y),
                       orientation, strips.data());
        EXPECT_EQ(strips, whole);
        // Corner check against the definition: the stored top-left pixel's place.
        const bool swapped = orientationSwapsSides(orientation);
        const std::int32_t uw = swapped ? h : w, uh = swapped ? w : h;
        const std::int32_t x =
            (orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7) ? uw - 1
                                                                                           : 0;
        const std::int32_t y =
            (orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8) ? uh - 1
                                                                                           : 0;
        EXPECT_EQ(whole[static_cast<std::size_t>(y) * uw + x], stored[0]);
    }
}

TEST(PictureOrientation, EveryPixelOfATallPictureLandsWhereTheTagSays) {
    // 150 and 200 rows: more than one of the turn's internal strips, handed over in strips of
    // 70. 23 x 150 has runs at every alignment and columns left over by the four-column turn;
    // in 64 x 200 every run of a whole strip starts on 16 bytes and is streamed out.
    for (const auto& [w, h] : {std::pair<std::int32_t, std::int32_t>{23, 150}, {64, 200}})
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE("orientation " + std::to_string(orientation) + ", " + std::to_string(w) +
                         " x " + std::to_string(h));
            std::vector<TColor32> stored(static_cast<std::size_t>(w) * h);
            for (std::size_t i = 0; i < stored.size(); ++i)
                stored[i] = static_cast<TColor32>(0xFF000000u + i);
            const bool swapped = orientationSwapsSides(orientation);
            const std::int32_t uw = swapped ? h : w, uh = swapped ? w : h;
            std::vector<TColor32> strips(stored.size());
            for (std::int32_t y = 0; y < h; y += 70)
                orientRows(stored.data() + static_cast<std::size_t>(y) * w, w, h, y,
                           std::min(70, h - y), orientation, strips.data());
            // The tag's meaning: where the stored pixel (x, y) is shown.
            const bool mirrorX =
                orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7;
            const bool mirrorY =
                orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8;
            for (std::int32_t y = 0; y < h; ++y)
                for (std::int32_t x = 0; x < w; ++x) {
                    std::int32_t ux = swapped ? y : x, uy = swapped ? x : y;
                    if (mirrorX) ux = uw - 1 - ux;
                    if (mirrorY) uy = uh - 1 - uy;
                    ASSERT_EQ(strips[static_cast<std::size_t>(uy) * uw + ux],
                              stored[static_cast<std::size_t>(y) * w + x])
                        << x << "," << y;
                }
        }
}

// --- the tag reader ------------------------------------------------------------------------

TEST(ExifOrientationReader, FindsTheTagInBothByteOrders) {
    const Bytes jpeg = encodeJpegOf(gradientPicture(16, 16, false), false);
    for (const bool bigEndian : {false, true}) {
        for (int value = 1; value <= 8; ++value) {
            const Bytes tagged = withExif(jpeg, orientationTiff(value, bigEndian));
            const auto found = findJpegOrientation(tagged);
            ASSERT_TRUE(found) << value;
            EXPECT_EQ(found->value, value);
            EXPECT_EQ(found->bigEndian, bigEndian);
            // The offset points at the value's bytes in the file.
            const std::size_t at = found->valueOffset;
            EXPECT_EQ(bigEndian ? tagged[at + 1] : tagged[at], value);
            EXPECT_EQ(jpegOrientation(tagged), value);
        }
    }
    EXPECT_EQ(jpegOrientation(jpeg), 1) << "no EXIF block";
}

TEST(ExifOrientationReader, ValuesZeroAndNineAndUpAreIgnored) {
    const Bytes jpeg = encodeJpegOf(gradientPicture(16, 16, false), false);
    for (const int value : {0, 9, 255, 0xFFFF}) {
        EXPECT_FALSE(findJpegOrientation(withExif(jpeg, orientationTiff(value, false)))) << value;
        EXPECT_EQ(jpegOrientation(withExif(jpeg, orientationTiff(value, true))), 1) << value;
    }
}

TEST(ExifOrientationReader, DamagedStructuresGiveNoTagAndNeverReadOutside) {
    const Bytes good = orientationTiff(6, false);
    ASSERT_TRUE(findTiffOrientation(good));
    auto damaged = [&](auto change) {
        Bytes tiff = good;
        change(tiff);
        return findTiffOrientation(tiff);
    };
    EXPECT_FALSE(damaged([](Bytes& t) { t[0] = 'X'; })) << "byte order";
    EXPECT_FALSE(damaged([](Bytes& t) { t[2] = 43; })) << "magic 42";
    EXPECT_FALSE(damaged([](Bytes& t) { put32(t, 4, 0xFFFFFFF0u); })) << "IFD beyond the end";
    EXPECT_FALSE(damaged([](Bytes& t) { put32(t, 4, 4); })) << "IFD inside the header";
    EXPECT_FALSE(damaged([](Bytes& t) { put16(t, 8, 0xFFFF); })) << "entry count past the end";
    EXPECT_FALSE(damaged([](Bytes& t) { put16(t, 24, 2); })) << "orientation as ASCII";
    EXPECT_FALSE(damaged([](Bytes& t) { put32(t, 26, 0); })) << "count 0";
    EXPECT_FALSE(damaged([](Bytes& t) { t.resize(30); })) << "cut inside the entry";
    // A LONG value is read too.
    const auto asLong = damaged([](Bytes& t) {
        put16(t, 24, 4);
        put32(t, 30, 8);
    });
    ASSERT_TRUE(asLong);
    EXPECT_EQ(asLong->value, 8);
    EXPECT_EQ(asLong->valueBytes, 4u);
    // A chain of directories that loops back onto IFD0 is never followed.
    const auto looped = damaged([](Bytes& t) { put32(t, 34, 8); });
    ASSERT_TRUE(looped);
    EXPECT_EQ(looped->value, 6);
    // Cut short: nothing until the orientation entry is whole (bytes 22 to 33); the missing
    // pointer to a next directory is never needed.
    for (std::size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_EQ(findTiffOrientation(ByteSpan(good.data(), cut)).has_value(), cut >= 34) << cut;
}

TEST(ExifOrientationReader, JpegSegmentsThatLieOrComeLateGiveNoTag) {
    const Bytes jpeg = encodeJpegOf(gradientPicture(16, 16, false), false);
    Bytes tagged = withExif(jpeg, orientationTiff(6, false));
    Bytes longer = tagged;
    longer[4] = 0xFF; // APP1 length far beyond the file
    EXPECT_FALSE(findJpegOrientation(longer));
    Bytes shorter = tagged;
    shorter[5] = 1; // APP1 length 1: below the length field itself
    shorter[4] = 0;
    EXPECT_FALSE(findJpegOrientation(shorter));
    // Only the first EXIF block counts: a second one with another value is not read.
    Bytes twice = withExif(withExif(jpeg, orientationTiff(3, false)), orientationTiff(0, false));
    EXPECT_FALSE(findJpegOrientation(twice));
    // A tag after the start of scan is image data, not a segment.
    Bytes late(jpeg.begin(), jpeg.end() - 2);
    const Bytes app1 = withExif(Bytes{0xFF, 0xD8}, orientationTiff(6, false));
    late.insert(late.end(), app1.begin() + 2, app1.end());
    late.insert(late.end(), {0xFF, 0xD9});
    EXPECT_FALSE(findJpegOrientation(late));
    EXPECT_FALSE(findJpegOrientation(Bytes{0xFF, 0xD8}));
    for (std::size_t cut = 0; cut < 40; ++cut)
        (void)findJpegOrientation(ByteSpan(tagged.data(), cut)); // no read past the end (ASan)
}

// --- decoding and lossless turning ---------------------------------------------------------

// The upright 48 x 32 block picture A..F (16-pixel blocks) as stored for an orientation.
RgbaPicture storedBlocks(int orientation) {
    const StoredLayout& layout = storedLayouts()[static_cast<std::size_t>(orientation - 1)];
    return blockPicture(layout.width, layout.height, 16, layout.pixels);
}

// The colour at the centre of each upright block, from a picture of 48 x 32.
std::vector<TColor32> blockCentres(const std::vector<TColor32>& pixels, std::int32_t width) {
    std::vector<TColor32> centres;
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 3; ++column)
            centres.push_back(
                pixels[static_cast<std::size_t>(row * 16 + 8) * width + column * 16 + 8]);
    return centres;
}

TEST(JpegUpright, DecoderTurnsEveryOrientationAsTheMemoryTurnDoes) {
    for (const bool subsampled : {false, true}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE("orientation " + std::to_string(orientation) +
                         (subsampled ? " 4:2:0" : " 4:4:4"));
            const Bytes jpeg = withExif(encodeJpegOf(storedBlocks(orientation), subsampled),
                                        orientationTiff(orientation, orientation % 2 == 0));
            DecodedPicture stored, upright;
            ASSERT_TRUE(decodeJpeg(jpeg, stored));
            ASSERT_TRUE(decodeJpegUpright(jpeg, orientation, upright));
            ASSERT_EQ(upright.width, 48);
            ASSERT_EQ(upright.height, 32);
            std::vector<TColor32> expected(stored.pixels.size());
            orientPicture(stored.pixels.data(), stored.width, stored.height, orientation,
                          expected.data());
            EXPECT_EQ(upright.pixels, expected);
            EXPECT_LE(largestDifference(blockCentres(upright.pixels, 48), kUpright), 3);
        }
    }
}

TEST(JpegLosslessTurn, EveryOrientationGivesTheUprightPhotoWithItsTagReset) {
    for (int orientation = 2; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const Bytes jpeg = withExif(encodeJpegOf(storedBlocks(orientation), true),
                                    orientationTiff(orientation, orientation > 4));
        const auto turned = transformJpegLosslessly(jpeg, orientation);
        ASSERT_TRUE(turned);
        const auto tag = findJpegOrientation(*turned);
        ASSERT_TRUE(tag) << "the EXIF block is kept";
        EXPECT_EQ(tag->value, 1);
        DecodedPicture upright;
        ASSERT_TRUE(decodeJpeg(*turned, upright));
        ASSERT_EQ(upright.width, 48);
        ASSERT_EQ(upright.height, 32);
        EXPECT_LE(largestDifference(blockCentres(upright.pixels, 48), kUpright), 3);
    }
}

TEST(JpegLosslessTurn, SizesThatCutABlockAreRefusedNotTrimmed) {
    // 36 x 28 in 4:2:0: neither side is a whole number of 16-pixel blocks.
    const Bytes jpeg = encodeJpegOf(gradientPicture(36, 28, false), true);
    for (const int orientation : {2, 3, 4, 6, 7, 8})
        EXPECT_FALSE(transformJpegLosslessly(jpeg, orientation)) << orientation;
    // Transposing never cuts anything.
    const auto transposed = transformJpegLosslessly(jpeg, 5);
    ASSERT_TRUE(transposed);
    DecodedPicture picture;
    ASSERT_TRUE(decodeJpeg(*transposed, picture));
    EXPECT_EQ(picture.width, 28);
    EXPECT_EQ(picture.height, 36);
    EXPECT_FALSE(transformJpegLosslessly(jpeg, 1));
    EXPECT_FALSE(transformJpegLosslessly(Bytes{1, 2, 3}, 6));
}

TEST(JpegLosslessTurn, ResetWritesOneInTheFilesByteOrder) {
    const Bytes jpeg = encodeJpegOf(gradientPicture(16, 16, false), false);
    for (const bool bigEndian : {false, true}) {
        Bytes tagged = withExif(jpeg, orientationTiff(8, bigEndian));
        ASSERT_TRUE(resetJpegOrientation(tagged));
        EXPECT_EQ(jpegOrientation(tagged), 1);
        EXPECT_EQ(tagged.size(), jpeg.size() + 10 + orientationTiff(8, bigEndian).size());
    }
    Bytes untagged = jpeg;
    EXPECT_FALSE(resetJpegOrientation(untagged));
    EXPECT_EQ(untagged, jpeg);
}

} // namespace
} // namespace schauplatz::picture_test
