#pragma once

// Thumbnails of the element list: the size rule, the header-only size read,
// the reduced-scale JPEG decoding, the area-averaging reduction and the maker
// that puts them together. Everything here is safe to call from the
// thumbnail worker's thread: no shared state, no notifications.

#include "elements/codecs/PixelTarget.h"
#include "raster/Color32.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace schauplatz {

struct PictureSize {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    bool operator==(const PictureSize&) const = default;
};

// A small picture in plain memory: straight (not premultiplied) ARGB, rows
// top to bottom without padding. Empty (0 x 0) until a thumbnail is made.
struct ThumbnailPicture {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<TColor32> Pixels;

    bool Empty() const { return Width <= 0 || Height <= 0; }
    TColor32 Pixel(std::int32_t x, std::int32_t y) const {
        return Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                      static_cast<std::size_t>(x)];
    }
};

// Fits a picture into an area keeping its proportions: the side that limits
// gets the area's size exactly, the other is scaled in proportion and rounded
// to the nearest pixel (exact halves to the even neighbour), at least 1. Small
// pictures are enlarged. A picture or area without pixels gives 0 x 0.
PictureSize FitThumbnailSize(PictureSize picture, PictureSize area);

// The picture's width and height as its file header states them: the first
// start-of-frame marker of a JPEG, the IHDR chunk of a PNG, the information
// header of a BMP (core or later), the bitstream header of a WebP, the boxes
// of a HEIF file (whole file needed). The format is recognised by the data,
// not by the file name. Sizes outside the picture limits count as unreadable.
// The JPEG size is the stored one, before any orientation tag is applied.
std::optional<PictureSize> PictureHeaderSize(ByteSpan data);

// The same without the limits, so a message can name a size that is too large.
struct DeclaredPictureSize {
    std::int64_t Width = 0;
    std::int64_t Height = 0;
};
std::optional<DeclaredPictureSize> PictureHeaderDeclaredSize(ByteSpan data);
// The same for a file; nullopt when it cannot be opened or read.
std::optional<PictureSize> ReadPictureHeaderSize(const std::string& path);

// Decodes a JPEG at the smallest of libjpeg's DCT scalings (n/8, n = 1..8)
// whose output is at least minimum in both directions (full size when none
// is). Opaque result; CMYK and YCCK as the picture reader converts them.
// Returns false for anything that is not a decodable JPEG.
bool DecodeJpegScaled(ByteSpan data, PictureSize minimum, PixelTarget& target);

// Resamples a picture to target size with an area-averaging (box) filter:
// every target pixel is the mean of the source area it covers, weighted by
// the exact overlap, so reductions are clean and free of aliasing; colours
// are weighted by alpha so transparent pixels do not darken their
// neighbours. Integer arithmetic throughout, rounded to nearest.
ThumbnailPicture AreaAverageResize(const TColor32* source, PictureSize sourceSize,
                                   PictureSize target);

// What the maker hands back for one file.
struct ThumbnailResult {
    ThumbnailPicture Thumbnail;
    PictureSize PictureOwnSize; // the picture's own width and height
};

// Makes the thumbnail of one picture file for a picture area: header size,
// fit rule, decoding (JPEGs at reduced scale, other formats through the
// picture reader) and the area-averaging reduction. nullopt when the header
// cannot be read or the picture cannot be decoded. Never throws, except
// std::bad_alloc.
std::optional<ThumbnailResult> MakeThumbnail(const std::string& path, PictureSize area);

// The list's thumbnail maker; tests put a fake in its place.
using ThumbnailMaker =
    std::function<std::optional<ThumbnailResult>(const std::string& path, PictureSize area)>;

} // namespace schauplatz
