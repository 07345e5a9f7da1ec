#pragma once

#include "elements/codecs/PixelTarget.h"

namespace schauplatz {

// How transparency of a decoded PNG is treated.
enum class PngAlpha {
    // Each pixel composited over opaque white, then opaque (picture files).
    OverWhite,
    // Straight alpha kept as stored (PNG entries of icons).
    Keep,
};

// Decodes a PNG held in memory: every colour type and bit depth, palettes
// with transparency, interlaced files. 16-bit samples keep their high byte;
// gamma and colour profiles are not applied. Returns false for anything that
// is not a decodable PNG (bad CRC of a critical chunk, truncated data, ...)
// or whose size exceeds the picture limits; never throws except std::bad_alloc
// from the target.
bool decodePng(ByteSpan data, PixelTarget& target, PngAlpha alpha);

// True when the data starts with the PNG signature.
bool looksLikePng(ByteSpan data);

// Width and height from the IHDR chunk without decoding; false when absent.
bool peekPngSize(ByteSpan data, std::int64_t& width, std::int64_t& height, int& bitsPerPixel);

// round((c*a + 255*(255-a)) / 255) per colour channel, then opaque. The sum
// equals 255*255 - a*(255-c), so the result is 255 - round(a*(255-c)/255),
// and round(x/255) for 0 <= x <= 255*255 is (x + 128 + ((x + 128) >> 8)) >> 8.
// Exact for all 8-bit inputs.
constexpr TColor32 compositeOverWhite(TColor32 c) {
    const std::uint32_t a = c >> 24;
    auto channel = [a](std::uint32_t v) {
        const std::uint32_t x = a * (255 - v) + 128;
        return 255 - ((x + (x >> 8)) >> 8);
    };
    return 0xFF000000u | (channel((c >> 16) & 0xFF) << 16) | (channel((c >> 8) & 0xFF) << 8) |
           channel(c & 0xFF);
}

// compositeOverWhite over `count` pixels in place, with vector instructions
// where the processor has them (same results).
void compositeOverWhite(TColor32* pixels, std::size_t count);

} // namespace schauplatz
