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

// round((c*a + 255*(255-a)) / 255) per colour channel, then opaque; exact for
// all 8-bit inputs (the quotient never ends in .5).
constexpr TColor32 compositeOverWhite(TColor32 c) {
    const std::uint32_t a = c >> 24;
    const std::uint32_t white = 255 * (255 - a);
    const std::uint32_t r = (((c >> 16) & 0xFF) * a + white + 127) / 255;
    const std::uint32_t g = (((c >> 8) & 0xFF) * a + white + 127) / 255;
    const std::uint32_t b = ((c & 0xFF) * a + white + 127) / 255;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

} // namespace schauplatz
