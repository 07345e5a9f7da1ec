#pragma once

#include "elements/codecs/PixelTarget.h"

#include <string>

namespace schauplatz {

// True when the data starts like a HEIF file: an "ftyp" box naming a HEIF brand (HEIC,
// HEIF, AVIF and their sequence brands).
bool looksLikeHeif(ByteSpan data);

// "AVIF" for AV1-coded files, "HEIC" for everything else HEIF (as the messages name them).
std::string heifFormatName(ByteSpan data);

// The primary picture's width and height as the file's boxes give them (after its
// rotation and cropping), without decoding; false when they cannot be read.
bool peekHeifSize(ByteSpan data, std::int64_t& width, std::int64_t& height);

// Decodes the primary picture of a HEIF file (HEIC, AVIF) held in memory through libheif,
// with the file's own rotation, mirroring and cropping applied (upright), 8 bits per
// channel (deeper pictures are reduced by libheif), its alpha where it has one (opaque
// otherwise), colours not premultiplied. Returns false for anything that is not a
// decodable HEIF picture or whose size exceeds the picture limits (for HEIF 16384 per side,
// which libheif enforces on every picture it decodes), with a German reason
// in *reason when given: a missing decoder for the file's coding is named as such. Never
// throws except std::bad_alloc from the target.
bool decodeHeif(ByteSpan data, PixelTarget& target, std::string* reason = nullptr);

} // namespace schauplatz
