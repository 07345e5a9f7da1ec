#pragma once

// The orientation tag of a photo: which way the camera was held. A JPEG keeps it in the
// EXIF block (an APP1 segment "Exif\0\0" holding a TIFF structure), in the first image file
// directory (IFD0), tag 0x0112. Values 1..8 name the eight ways the stored rows and columns
// map to the upright picture; anything else means "as stored".

#include "elements/codecs/PixelTarget.h"

#include <cstddef>
#include <optional>

namespace schauplatz {

// Where the tag was found, so that a transformed copy of the file can reset it in place.
struct ExifOrientation {
    int value = 1;               // 1..8
    std::size_t valueOffset = 0; // offset of the value's bytes within the data searched
    std::size_t valueBytes = 2;  // 2 for SHORT, 4 for LONG
    bool bigEndian = false;      // "MM" byte order
};

// The orientation in IFD0 of a TIFF structure (the EXIF block after its "Exif\0\0").
// Only IFD0 is read, so chains of further directories (and loops in them) are never
// followed. nullopt when the header, the directory or the tag is missing, damaged, points
// outside the data, or holds a value outside 1..8 (0 and 9 and up are ignored).
std::optional<ExifOrientation> findTiffOrientation(ByteSpan tiff);

// The orientation of a JPEG: the first EXIF APP1 segment before the start of scan.
// valueOffset is relative to the start of the JPEG. nullopt as above, or when the data is
// no JPEG or its segments run past the end.
std::optional<ExifOrientation> findJpegOrientation(ByteSpan jpeg);

// 1..8; 1 when the JPEG has no usable orientation tag.
int jpegOrientation(ByteSpan jpeg);

// Orientations 5 to 8 turn the picture a quarter: its width becomes the height.
constexpr bool orientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

} // namespace schauplatz
