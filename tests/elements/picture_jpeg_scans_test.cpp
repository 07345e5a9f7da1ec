// Files of several scans: ordinary progressive JPEGs decode exactly as the library's plain
// decode does; hostile ones stop after 500 scans, or earlier at the work budget of a large
// picture, and show what the scans read up to there hold.

#include "HostileFiles.h"
#include "elements/codecs/JpegCodec.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <jpeglib.h>

namespace schauplatz::picture_test {
namespace {

std::vector<TColor32> reference(const Bytes& jpeg, int& width, int& height) {
    const Bytes rgb = referenceJpegDecode(jpeg, JCS_RGB, width, height);
    std::vector<TColor32> colours;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
        colours.push_back(Color32(rgb[i], rgb[i + 1], rgb[i + 2]));
    return colours;
}

TEST(JpegScans, OrdinaryProgressiveFilesDecodeAsTheLibraryDecodesThem) {
    for (const auto& [w, h] : {std::pair{21, 11}, std::pair{64, 48}, std::pair{333, 200}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const Bytes jpeg = hostile::progressiveJpeg(w, h, 0);
        const int natural = hostile::scanCount(jpeg);
        EXPECT_GE(natural, 8) << "a progressive file";
        int width = 0, height = 0;
        const std::vector<TColor32> expected = reference(jpeg, width, height);
        DecodedPicture picture;
        JpegScans scans;
        ASSERT_TRUE(decodeJpeg(jpeg, picture, &scans));
        EXPECT_EQ(scans.read, natural);
        EXPECT_FALSE(scans.stoppedEarly);
        EXPECT_TRUE(samePicture(picture, w, h, expected));

        // Cut in the middle of its scans: the missing parts as the library fills them.
        const Bytes half(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
        const std::vector<TColor32> halfExpected = reference(half, width, height);
        DecodedPicture halfPicture;
        ASSERT_TRUE(decodeJpeg(half, halfPicture));
        EXPECT_TRUE(samePicture(halfPicture, w, h, halfExpected));
    }
}

TEST(JpegScans, TwentyThousandScansStopAt500AndShowWhatTheyHold) {
    const Bytes jpeg = hostile::progressiveJpeg(64, 64, 20000);
    ASSERT_EQ(hostile::scanCount(jpeg), 20000);
    DecodedPicture picture;
    JpegScans scans;
    ASSERT_TRUE(decodeJpeg(jpeg, picture, &scans));
    EXPECT_EQ(scans.read, kMaxJpegScans);
    EXPECT_TRUE(scans.stoppedEarly);

    // The same as a file that ends after those scans, decoded plainly by the library.
    const Bytes first = hostile::firstScans(jpeg, kMaxJpegScans);
    int width = 0, height = 0;
    const std::vector<TColor32> expected = reference(first, width, height);
    EXPECT_TRUE(samePicture(picture, 64, 64, expected));
}

TEST(JpegScans, ALargePictureStopsAtItsWorkBudgetBeforeThat) {
    // 4096 x 4096 claimed by a small file: every scan covers the whole picture.
    const Bytes jpeg =
        hostile::withDeclaredSize(hostile::progressiveJpeg(64, 64, 2000), 4096, 4096);
    CountingTarget picture;
    JpegScans scans;
    ASSERT_TRUE(decodeJpeg(jpeg, picture, &scans));
    EXPECT_EQ(picture.width, 4096);
    EXPECT_TRUE(scans.stoppedEarly);
    // 16 passes' worth of blocks plus the allowance: far fewer than 500 repeated luma scans.
    EXPECT_GT(scans.read, 16);
    EXPECT_LT(scans.read, 100);
}

} // namespace
} // namespace schauplatz::picture_test
