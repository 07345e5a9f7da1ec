#pragma once

// Pictures in today's formats made in the tests with the libraries themselves: HEIC and AVIF
// through libheif's encoders, WebP through libwebp, JPEGs with a hand-built EXIF block; and
// the libraries' own decodes as the references the readers are held to.

#include "picture_fixtures.h"

#include <cstdint>
#include <vector>

namespace schauplatz::picture_test {

// Straight (not premultiplied) R, G, B, A bytes, rows top to bottom.
struct RgbaPicture {
    int width = 0;
    int height = 0;
    Bytes samples;
    std::vector<TColor32> colours() const; // as 0xAARRGGBB
};

// Smooth gradients with a little structure, so lossy coders keep them close; with alpha the
// left third is opaque, the middle half-transparent and the right third clear.
RgbaPicture gradientPicture(int width, int height, bool alpha);
// A picture of solid blocks (columns x rows of blockSize pixels), colours from the list.
RgbaPicture blockPicture(int columns, int rows, int blockSize,
                         const std::vector<TColor32>& colours);

enum class HeifCoding { Hevc, Av1 };
// orientation 1..8 is written as the file's own rotation and mirroring (irot, imir).
Bytes encodeHeif(const RgbaPicture& picture, HeifCoding coding, bool alpha, int orientation = 1);
// libheif's decode to interleaved RGBA with the file's transformations applied.
RgbaPicture referenceHeifDecode(const Bytes& file);

enum class WebpKind { Lossy, Lossless };
Bytes encodeWebp(const RgbaPicture& picture, WebpKind kind, bool alpha);
RgbaPicture referenceWebpDecode(const Bytes& file);

// A TIFF structure ("II" or "MM") whose IFD0 holds an orientation tag (and a second entry
// before it), as cameras write it.
Bytes orientationTiff(int orientation, bool bigEndian);
// The JPEG with an APP1 "Exif\0\0" segment holding the TIFF structure, right after SOI.
Bytes withExif(const Bytes& jpeg, const Bytes& tiff);
// An RGB JPEG of the colour channels of the picture (alpha ignored), 4:4:4 or 4:2:0.
Bytes encodeJpegOf(const RgbaPicture& picture, bool subsampled, int quality = 95);

// |a - b| of the channels, largest over the picture (pictures of the same size).
int largestDifference(const std::vector<TColor32>& a, const std::vector<TColor32>& b);

} // namespace schauplatz::picture_test
