// Thumbnails of today's pictures: HEIC, AVIF and WebP files get theirs, and a photo with an
// orientation tag is shown upright, with its upright size as the picture's own.

#include "new_format_fixtures.h"

#include "elements/Thumbnail.h"
#include "elements/codecs/PngCodec.h"

namespace schauplatz::picture_test {
namespace {

constexpr PictureSize kArea{114, 194};

TEST(ThumbnailNewFormats, HeifAndWebpFilesGetThumbnailsOverWhite) {
    ScratchFolder folder;
    const RgbaPicture source = gradientPicture(96, 64, true);
    const Bytes heic = encodeHeif(source, HeifCoding::Hevc, true);
    const Bytes avif = encodeHeif(source, HeifCoding::Av1, false);
    const Bytes webp = encodeWebp(source, WebpKind::Lossless, true);
    for (const auto& [name, bytes] :
         {std::pair<std::string, Bytes>{"a.heic", heic}, {"b.avif", avif}, {"c.webp", webp}}) {
        SCOPED_TRACE(name);
        const std::string path = folder.write(name, bytes);
        const auto own = ReadPictureHeaderSize(path);
        ASSERT_TRUE(own);
        EXPECT_EQ(*own, (PictureSize{96, 64}));
        const auto thumbnail = MakeThumbnail(path, kArea);
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->PictureOwnSize, (PictureSize{96, 64}));
        EXPECT_EQ(thumbnail->Thumbnail.Width, 114);
        EXPECT_EQ(thumbnail->Thumbnail.Height, 76);
        // Opaque, and the clear right third shows white as a PNG's would.
        for (const TColor32 c : thumbnail->Thumbnail.Pixels)
            ASSERT_EQ(c >> 24, 0xFFu);
        if (name != "b.avif") {
            EXPECT_EQ(thumbnail->Thumbnail.Pixel(110, 40), 0xFFFFFFFFu);
        }
    }
    // Damaged files get none.
    EXPECT_FALSE(
        MakeThumbnail(folder.write("d.webp", Bytes(webp.begin(), webp.begin() + 40)), kArea));
    EXPECT_FALSE(
        MakeThumbnail(folder.write("e.heic", Bytes(heic.begin(), heic.begin() + 300)), kArea));
}

TEST(ThumbnailNewFormats, TaggedPhotoIsShownUpright) {
    ScratchFolder folder;
    // Stored 64 x 128 with the left half red and the right half blue; orientation 6 turns
    // it right, so the upright picture is 128 x 64 with the red half on top.
    RgbaPicture tall;
    tall.width = 64;
    tall.height = 128;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool red = x < 32;
            tall.samples.insert(tall.samples.end(),
                                {static_cast<std::uint8_t>(red ? 0xD0 : 0), 0,
                                 static_cast<std::uint8_t>(red ? 0 : 0xD0), 0xFF});
        }
    const std::string path =
        folder.write("hoch.jpg", withExif(encodeJpegOf(tall, false), orientationTiff(6, true)));
    const auto thumbnail = MakeThumbnail(path, kArea);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->PictureOwnSize, (PictureSize{128, 64}));
    ASSERT_EQ(thumbnail->Thumbnail.Width, 114);
    ASSERT_EQ(thumbnail->Thumbnail.Height, 57);
    // Turned right: the stored left (red) half is on top.
    EXPECT_LE(largestDifference({thumbnail->Thumbnail.Pixel(57, 5)}, {0xFFD00000}), 8);
    EXPECT_LE(largestDifference({thumbnail->Thumbnail.Pixel(57, 52)}, {0xFF0000D0}), 8);
    // Without the tag it lies as stored.
    const std::string plain = folder.write("quer.jpg", encodeJpegOf(tall, false));
    const auto untagged = MakeThumbnail(plain, kArea);
    ASSERT_TRUE(untagged);
    EXPECT_EQ(untagged->PictureOwnSize, (PictureSize{64, 128}));
}

} // namespace
} // namespace schauplatz::picture_test
