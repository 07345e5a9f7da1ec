#pragma once

#include "elements/codecs/PixelTarget.h"

#include <optional>

namespace schauplatz {

// A device-independent bitmap (the information header, palette, masks and
// pixels of a BMP file or of an icon entry) read into a 32-bit picture.
//
// Supported: 1, 4, 8, 16, 24 and 32 bits per pixel; no compression, RLE8,
// RLE4, bit fields (3 or 4 masks); 12-byte core headers, the 16- and 64-byte
// two-dimensional headers, 40-byte and longer headers (V2 to V5); top-down
// and bottom-up rows.
//
// Colours: palette and 24-bit pictures are opaque; 16-bit ones too. A 32-bit
// picture keeps its alpha: the fourth byte without compression; with bit
// fields the alpha mask's value, or 255 when there is no alpha mask. An n-bit
// channel is widened by repeating its top bits. RLE pixels never written are
// opaque black, runs past the end of a row are cut there, and a stream that
// ends early leaves the rest black. Palette indices beyond the stored palette
// give opaque black.
//
// Refused (false): unknown header sizes and compressions, sizes beyond the
// picture limits, uncompressed pixel data shorter than the rows need.

// The BMP file as a whole ("BM", file header, DIB).
bool decodeBmpFile(ByteSpan file, PixelTarget& target);
// Whether decodeBmpFile would give a picture, found out without decoding it.
bool bmpFileDecodes(ByteSpan file);

// An icon's DIB: the stored height counts the colour rows and the AND mask.
struct IconDibResult {
    int bitsPerPixel = 0;
    // One byte per pixel, 1 where the AND mask marks the pixel transparent;
    // empty when the file holds no (complete) mask.
    std::vector<std::uint8_t> andMask;
};
std::optional<IconDibResult> decodeIconDib(ByteSpan dib, PixelTarget& target);

// Size and depth from a DIB header without decoding; height halved for icons.
bool peekDibSize(ByteSpan dib, bool icon, std::int64_t& width, std::int64_t& height,
                 int& bitsPerPixel);

// Widens an n-bit channel value to 8 bits by repeating its top bits (5 bits v
// give v*8 + v/4); channels wider than 8 bits keep their top 8 bits.
constexpr std::uint32_t widenChannel(std::uint32_t value, int bits) {
    if (bits <= 0) return 0;
    if (bits >= 8) return (value >> (bits - 8)) & 0xFF;
    std::uint32_t result = 0;
    for (int shift = 8 - bits; shift > -bits; shift -= bits) {
        result |= shift >= 0 ? value << shift : value >> -shift;
    }
    return result & 0xFF;
}

} // namespace schauplatz
