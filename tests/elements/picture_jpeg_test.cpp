// JPEG files: RGB, greyscale, CMYK and YCCK against libjpeg's own decode of
// the same file; orientation tags are not applied.

#include "elements/PictureFiles.h"
#include "elements/codecs/JpegCodec.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <jpeglib.h>

namespace schauplatz::picture_test {
namespace {

Bytes samples(int width, int height, int components) {
    Bytes out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                out.push_back(static_cast<std::uint8_t>((x * 13 + y * 29 + c * 71) % 256));
            }
        }
    }
    return out;
}

std::vector<TColor32> referenceColours(const Bytes& jpeg, J_COLOR_SPACE space, int& width,
                                       int& height) {
    const Bytes decoded = referenceJpegDecode(jpeg, space, width, height);
    std::vector<TColor32> colours;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < count; ++i) {
        if (space == JCS_GRAYSCALE) {
            colours.push_back(Color32(decoded[i], decoded[i], decoded[i]));
        } else if (space == JCS_RGB) {
            colours.push_back(Color32(decoded[3 * i], decoded[3 * i + 1], decoded[3 * i + 2]));
        } else {
            const double k = decoded[4 * i + 3];
            auto channel = [&](int c) {
                return static_cast<std::uint32_t>(std::lround(decoded[4 * i + c] * k / 255.0));
            };
            colours.push_back(Color32(channel(0), channel(1), channel(2)));
        }
    }
    return colours;
}

class JpegRead : public ::testing::Test {
protected:
    ScratchFolder m_folder;
};

TEST_F(JpegRead, ColourGreyCmykAndYcckMatchTheLibrarysDecode) {
    struct Kind {
        JpegKind kind;
        int components;
        J_COLOR_SPACE reference;
        const char* name;
    };
    for (const Kind& k : {Kind{JpegKind::Rgb, 3, JCS_RGB, "rgb.jpg"},
                          Kind{JpegKind::Grey, 1, JCS_GRAYSCALE, "grey.jpg"},
                          Kind{JpegKind::Cmyk, 4, JCS_CMYK, "cmyk.jpg"},
                          Kind{JpegKind::Ycck, 4, JCS_CMYK, "ycck.jpeg"}}) {
        // 21 x 11 is no multiple of the sampling blocks: edges get decoded too.
        const Bytes jpeg = encodeJpeg(k.kind, 21, 11, samples(21, 11, k.components));
        int width = 0, height = 0;
        const std::vector<TColor32> expected = referenceColours(jpeg, k.reference, width, height);
        ASSERT_EQ(width, 21);
        EXPECT_TRUE(samePicture(readPictureFile(m_folder.write(k.name, jpeg)), 21, 11, expected))
            << k.name;
    }
}

TEST_F(JpegRead, CmykComesOutAsProductsOfTheStoredValues) {
    // A flat colour survives compression exactly enough to check by hand:
    // stored C=200, M=100, Y=0, K=255 gives R=200, G=100, B=0.
    Bytes flat;
    for (int i = 0; i < 16 * 16; ++i)
        flat.insert(flat.end(), {200, 100, 0, 255});
    const Bytes jpeg = encodeJpeg(JpegKind::Cmyk, 16, 16, flat, 100);
    int width = 0, height = 0;
    const Bytes stored = referenceJpegDecode(jpeg, JCS_CMYK, width, height);
    ASSERT_EQ(stored[3], 255) << "the library kept K";
    const ReadResult result = readPictureFile(m_folder.write("flat.jpg", jpeg));
    ASSERT_EQ(result.width, 16);
    const TColor32 expected =
        Color32(static_cast<std::uint32_t>(std::lround(stored[0] * 255 / 255.0)),
                static_cast<std::uint32_t>(std::lround(stored[1] * 255 / 255.0)),
                static_cast<std::uint32_t>(std::lround(stored[2] * 255 / 255.0)));
    EXPECT_EQ(result.pixels[0], expected);
    EXPECT_NEAR(static_cast<int>(RedComponent(result.pixels[0])), 200, 1);
    EXPECT_NEAR(static_cast<int>(GreenComponent(result.pixels[0])), 100, 1);
}

TEST_F(JpegRead, OrientationTagIsNotApplied) {
    const Bytes plain = encodeJpeg(JpegKind::Rgb, 16, 8, samples(16, 8, 3));
    // An Exif block saying "rotate 90 degrees" (orientation 6) right after SOI.
    const Bytes exif = {0xFF, 0xE1, 0x00, 0x22, 'E',  'x',  'i',  'f',  0,
                        0,    'I',  'I',  0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, // TIFF header
                        0x01, 0x00,                                           // one entry
                        0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x06,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    Bytes tagged = plain;
    tagged.insert(tagged.begin() + 2, exif.begin(), exif.end());
    const ReadResult expected = readPictureFile(m_folder.write("plain.jpg", plain));
    const ReadResult rotated = readPictureFile(m_folder.write("tagged.jpg", tagged));
    ASSERT_EQ(expected.width, 16);
    EXPECT_TRUE(samePicture(rotated, 16, 8, expected.pixels));
}

TEST_F(JpegRead, ExtensionIsComparedWithoutCaseAndAFileWithoutExtensionIsRecognised) {
    const Bytes jpeg = encodeJpeg(JpegKind::Rgb, 8, 8, samples(8, 8, 3));
    const ReadResult lower = readPictureFile(m_folder.write("a.jpg", jpeg));
    ASSERT_EQ(lower.width, 8);
    EXPECT_TRUE(samePicture(readPictureFile(m_folder.write("b.JPEG", jpeg)), 8, 8, lower.pixels));
    EXPECT_TRUE(samePicture(readPictureFile(m_folder.write("c.Jpg", jpeg)), 8, 8, lower.pixels));
    EXPECT_TRUE(
        samePicture(readPictureFile(m_folder.write("noextension", jpeg)), 8, 8, lower.pixels));
}

TEST(JpegDecoder, RefusesOversizedFramesBeforeAllocating) {
    Bytes jpeg = encodeJpeg(JpegKind::Grey, 8, 8, samples(8, 8, 1));
    // Patch the frame header (SOF0) to 65535 x 65535: over 2^28 pixels.
    bool patched = false;
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = jpeg[i + 6] = jpeg[i + 7] = jpeg[i + 8] = 0xFF;
            patched = true;
            break;
        }
    }
    ASSERT_TRUE(patched);
    CountingTarget target;
    EXPECT_FALSE(decodeJpeg(jpeg, target));
    EXPECT_EQ(target.allocations, 0);
}

TEST(JpegDecoder, TruncatedFileKeepsItsSizeAndGarbageIsRefused) {
    const Bytes jpeg = encodeJpeg(JpegKind::Rgb, 32, 32, samples(32, 32, 3));
    const Bytes half(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
    CountingTarget truncated;
    ASSERT_TRUE(decodeJpeg(half, truncated)); // the library fills the missing rows
    EXPECT_EQ(truncated.width, 32);
    EXPECT_EQ(truncated.height, 32);
    for (TColor32 c : truncated.pixels)
        ASSERT_EQ(AlphaComponent(c), 255u);

    CountingTarget garbage;
    const Bytes text = {0xFF, 0xD8, 0xFF, 'h', 'e', 'l', 'l', 'o'};
    EXPECT_FALSE(decodeJpeg(text, garbage));
    EXPECT_FALSE(decodeJpeg(Bytes{}, garbage));
    EXPECT_EQ(garbage.allocations, 0);
}

} // namespace
} // namespace schauplatz::picture_test
