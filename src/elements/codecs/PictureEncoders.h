#pragma once

// Encoders for pictures that leave the program as PNG or JPEG files. Both write the colour
// channels of every pixel as they are and ignore the alpha byte, as the screen shows a
// picture; callers that need alpha write a 32-bit BMP.

#include "raster/Color32.h"

#include <cstdint>
#include <vector>

namespace schauplatz {

// zlib's default balance of size and speed; the benchmark compares libpng at the same level.
inline constexpr int kPngCompressionLevel = 6;
inline constexpr int kJpegExportQuality = 92;

// An 8-bit RGB PNG (no alpha, not interlaced, with an sRGB chunk): red, green and blue of
// every pixel exactly. Throws std::runtime_error naming libpng's complaint, or
// std::bad_alloc.
std::vector<std::uint8_t> encodePngRgb(const TColor32* pixels, std::int32_t width,
                                       std::int32_t height,
                                       int compressionLevel = kPngCompressionLevel);

// A baseline JPEG with JFIF header, 4:4:4 (no chroma subsampling), libjpeg's accurate DCT
// and an EXIF block that marks the colours as sRGB (ColorSpace 1) and the picture as
// upright (Orientation 1). Throws std::runtime_error naming libjpeg's complaint, or
// std::bad_alloc.
std::vector<std::uint8_t> encodeJpegRgb(const TColor32* pixels, std::int32_t width,
                                        std::int32_t height, int quality = kJpegExportQuality);

// The EXIF block encodeJpegRgb writes ("Exif\0\0" and a little-endian TIFF structure).
std::vector<std::uint8_t> srgbExifBlock();

} // namespace schauplatz
