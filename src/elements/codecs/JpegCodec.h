#pragma once

#include "elements/codecs/PixelTarget.h"

namespace schauplatz {

// Decodes a JPEG held in memory with the library's default decoding (integer
// slow DCT, fancy upsampling). Greyscale comes out grey; CMYK and YCCK come
// out as R = round(C*K/255), G = round(M*K/255), B = round(Y*K/255) of the
// stored (Adobe, inverted) values. No colour profile and no orientation tag
// is applied. The result is opaque. Returns false for anything that is not a
// decodable JPEG or whose size exceeds the picture limits; never throws except
// std::bad_alloc from the target.
bool decodeJpeg(ByteSpan data, PixelTarget& target);

// decodeJpeg turned upright for an EXIF orientation (1..8, anything else as 1): the same
// pixels, placed as orientPicture places them. The rows are decoded in strips and each
// strip is turned into the target at once, so the picture is never held twice.
bool decodeJpegUpright(ByteSpan data, int orientation, PixelTarget& target);

// True when the data starts like a JPEG (SOI marker followed by a marker).
bool looksLikeJpeg(ByteSpan data);

} // namespace schauplatz
