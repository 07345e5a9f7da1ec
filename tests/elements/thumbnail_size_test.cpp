// The thumbnail size rule and the header-only size read.

#include "elements/Thumbnail.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

using picture_test::BmpBuilder;
using picture_test::Bytes;
using picture_test::PngBuilder;
using picture_test::ScratchFolder;

constexpr PictureSize kArea{114, 194}; // entry box 120 x 200 less 3 pixels each side

struct FitCase {
    PictureSize picture;
    PictureSize expected;
};

class FitThumbnailSizeTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitThumbnailSizeTest, LimitingSideFitsOtherInProportion) {
    const FitCase& c = GetParam();
    EXPECT_EQ(FitThumbnailSize(c.picture, kArea), c.expected)
        << c.picture.Width << " x " << c.picture.Height;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FitThumbnailSizeTest,
    ::testing::Values(
        // Tall door: the height limits; 1000 * 194 / 2500 = 77.6 -> 78.
        FitCase{{1000, 2500}, {78, 194}},
        // Wide photo: the width limits; 3000 * 114 / 4000 = 85.5, a half: to the even 86.
        FitCase{{4000, 3000}, {114, 86}},
        // 300 * 114 / 1000 = 34.2 -> 34.
        FitCase{{1000, 300}, {114, 34}},
        // Tiny pictures are enlarged: 10 x 20 -> width 114 gives 228 high, too tall, so the
        // height limits: 10 * 194 / 20 = 97.
        FitCase{{10, 20}, {97, 194}}, FitCase{{1, 1}, {114, 114}},
        // Exactly the area's proportion and exactly its size.
        FitCase{{57, 97}, {114, 194}}, FitCase{{114, 194}, {114, 194}},
        // An exact half rounding down to the even neighbour: 114 * 1 / 4 = 28.5 -> 28.
        FitCase{{4, 1}, {114, 28}},
        // A sliver keeps at least one pixel.
        FitCase{{65535, 1}, {114, 1}}, FitCase{{1, 65535}, {1, 194}}));

TEST(FitThumbnailSize, NoPixelsGiveNoThumbnail) {
    EXPECT_EQ(FitThumbnailSize({0, 10}, kArea), (PictureSize{}));
    EXPECT_EQ(FitThumbnailSize({10, -1}, kArea), (PictureSize{}));
    EXPECT_EQ(FitThumbnailSize({10, 10}, {0, 5}), (PictureSize{}));
}

// --- header sizes -----------------------------------------------------------------------

Bytes jpegWithSegments(std::uint16_t width, std::uint16_t height, std::uint8_t sofMarker) {
    Bytes b;
    b.reserve(64);
    b.insert(b.end(), {0xFF, 0xD8});
    // An APP1 segment holding bytes that look like markers, then fill bytes.
    b.insert(b.end(), {0xFF, 0xE1, 0x00, 0x08, 0xFF, 0xC0, 0x00, 0x11, 0x22, 0x33});
    b.insert(b.end(), {0xFF, 0xFF, 0xFF, 0xDB, 0x00, 0x03, 0x00}); // DQT (short)
    b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x02});                   // DHT: not a frame
    b.insert(b.end(), {0xFF, sofMarker, 0x00, 0x0B, 0x08, static_cast<std::uint8_t>(height >> 8),
                       static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(width >> 8),
                       static_cast<std::uint8_t>(width), 0x01, 0x01, 0x11, 0x00});
    return b;
}

TEST(PictureHeaderSize, JpegFirstStartOfFrameAfterOtherSegments) {
    EXPECT_EQ(PictureHeaderSize(jpegWithSegments(4000, 3000, 0xC0)), (PictureSize{4000, 3000}));
    EXPECT_EQ(PictureHeaderSize(jpegWithSegments(17, 65535, 0xC2)), (PictureSize{17, 65535}));
    // A real file from libjpeg.
    const Bytes real =
        picture_test::encodeJpeg(picture_test::JpegKind::Rgb, 33, 7, Bytes(33 * 7 * 3, 0x80));
    EXPECT_EQ(PictureHeaderSize(real), (PictureSize{33, 7}));
}

TEST(PictureHeaderSize, JpegWithoutUsableFrameHeader) {
    Bytes zeroHeight = jpegWithSegments(100, 0, 0xC0); // height from a later DNL: not supported
    EXPECT_FALSE(PictureHeaderSize(zeroHeight));
    Bytes truncated = jpegWithSegments(100, 100, 0xC0);
    truncated.resize(truncated.size() - 8);
    EXPECT_FALSE(PictureHeaderSize(truncated));
    // Start of scan before any frame header.
    EXPECT_FALSE(PictureHeaderSize(Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}));
    // A segment length pointing past the end, and a length below 2.
    EXPECT_FALSE(PictureHeaderSize(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF, 0x00}));
    EXPECT_FALSE(PictureHeaderSize(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xC0}));
}

TEST(PictureHeaderSize, PngHeaderChunk) {
    PngBuilder png;
    png.width = 300;
    png.height = 2;
    png.colourType = 0;
    png.rows.assign(2, Bytes(300, 0x10));
    EXPECT_EQ(PictureHeaderSize(png.encode()), (PictureSize{300, 2}));
    Bytes cut = png.encode();
    cut.resize(20);
    EXPECT_FALSE(PictureHeaderSize(cut));
}

TEST(PictureHeaderSize, BmpInformationHeaders) {
    BmpBuilder info;
    info.width = 5;
    info.height = -3; // top-down
    info.pixels = Bytes(16 * 3, 0);
    EXPECT_EQ(PictureHeaderSize(info.file()), (PictureSize{5, 3}));

    BmpBuilder core;
    core.headerSize = 12;
    core.width = 640;
    core.height = 2;
    core.pixels = Bytes(1920 * 2, 0);
    EXPECT_EQ(PictureHeaderSize(core.file()), (PictureSize{640, 2}));

    BmpBuilder v5 = info;
    v5.headerSize = 124;
    v5.height = 9;
    EXPECT_EQ(PictureHeaderSize(v5.file()), (PictureSize{5, 9}));

    BmpBuilder negativeWidth = info;
    negativeWidth.width = -5;
    EXPECT_FALSE(PictureHeaderSize(negativeWidth.file()));
    BmpBuilder huge = info;
    huge.width = 70000; // beyond the picture limits
    EXPECT_FALSE(PictureHeaderSize(huge.file()));
}

TEST(PictureHeaderSize, OtherDataIsNoPicture) {
    EXPECT_FALSE(PictureHeaderSize(Bytes{}));
    EXPECT_FALSE(PictureHeaderSize(Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}));
    const std::string text = "BM but only text here";
    EXPECT_FALSE(PictureHeaderSize(Bytes(text.begin(), text.end())));
}

TEST(ReadPictureHeaderSize, FilesFoldersAndMissingPaths) {
    ScratchFolder folder;
    const std::string jpeg = folder.write("Tür; Eiche 2.jpg", jpegWithSegments(1200, 2400, 0xC1));
    EXPECT_EQ(ReadPictureHeaderSize(jpeg), (PictureSize{1200, 2400}));
    // The format is taken from the data, not from the name.
    BmpBuilder bmp;
    bmp.width = 2;
    bmp.height = 2;
    bmp.pixels = Bytes(16, 0);
    EXPECT_EQ(ReadPictureHeaderSize(folder.write("really a bmp.png", bmp.file())),
              (PictureSize{2, 2}));
    EXPECT_FALSE(ReadPictureHeaderSize(folder.path("missing.jpg")));
    std::filesystem::create_directory(folder.path("folder.jpg"));
    EXPECT_FALSE(ReadPictureHeaderSize(folder.path("folder.jpg")));
    EXPECT_FALSE(ReadPictureHeaderSize(folder.write("empty.bmp", Bytes{})));
}

} // namespace
} // namespace schauplatz
