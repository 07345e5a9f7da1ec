#pragma once

// Writers for the sample pictures. The BMP writer is our own: a 54-byte
// header (file header and BITMAPINFOHEADER), rows bottom-up.

#include "Canvas.h"

#include <string>

namespace samples {

// 24 bits per pixel, rows padded to four bytes; alpha is dropped.
void writeBmp24(const Canvas& canvas, const std::string& path);
// 32 bits per pixel (blue, green, red, alpha), no compression.
void writeBmp32(const Canvas& canvas, const std::string& path);
// 8-bit RGB, or RGBA when withAlpha.
void writePng(const Canvas& canvas, const std::string& path, bool withAlpha);
// Baseline JPEG of the colour channels.
void writeJpeg(const Canvas& canvas, const std::string& path, int quality);

} // namespace samples
