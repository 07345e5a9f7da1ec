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

// True when the data starts like a JPEG (SOI marker followed by a marker).
bool looksLikeJpeg(ByteSpan data);

} // namespace schauplatz
