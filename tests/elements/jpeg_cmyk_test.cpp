// The CMYK turn shared by the full and the thumbnail JPEG decode: every pair of channel and K
// byte against the exact rounding, and the in-memory byte order the library writes.

#include "elements/codecs/JpegDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace schauplatz {
namespace {

TColor32 storedCmyk(std::uint8_t c, std::uint8_t m, std::uint8_t y, std::uint8_t k) {
    const std::uint8_t bytes[4] = {c, m, y, k};
    TColor32 pixel = 0;
    std::memcpy(&pixel, bytes, sizeof pixel);
    return pixel;
}

std::uint8_t rounded(int channel, int k) {
    return static_cast<std::uint8_t>(std::lround(channel * k / 255.0));
}

TEST(JpegCmyk, EveryChannelAndKRoundsToNearest) {
    std::vector<TColor32> pixels;
    for (int k = 0; k < 256; ++k)
        for (int v = 0; v < 256; ++v)
            pixels.push_back(storedCmyk(
                static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(255 - v),
                static_cast<std::uint8_t>((v * 7) & 0xFF), static_cast<std::uint8_t>(k)));
    cmykToColours(pixels.data(), pixels.size());
    std::size_t i = 0;
    for (int k = 0; k < 256; ++k) {
        for (int v = 0; v < 256; ++v, ++i) {
            const TColor32 expected =
                Color32(rounded(v, k), rounded(255 - v, k), rounded((v * 7) & 0xFF, k));
            ASSERT_EQ(pixels[i], expected) << "channel " << v << " k " << k;
        }
    }
}

TEST(JpegCmyk, LeavesPixelsPastTheCountAlone) {
    std::vector<TColor32> pixels{storedCmyk(200, 100, 50, 255), storedCmyk(1, 2, 3, 4)};
    const TColor32 untouched = pixels[1];
    cmykToColours(pixels.data(), 1);
    EXPECT_EQ(pixels[0], Color32(200, 100, 50));
    EXPECT_EQ(pixels[1], untouched);
}

} // namespace
} // namespace schauplatz
