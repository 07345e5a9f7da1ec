#pragma once

#include "elements/codecs/PixelTarget.h"

#include <string>

namespace schauplatz {

// True when the data starts like a WebP file ("RIFF", size, "WEBP").
bool looksLikeWebp(ByteSpan data);

// Width and height from the bitstream header without decoding; false when absent.
bool peekWebpSize(ByteSpan data, std::int64_t& width, std::int64_t& height);

// Decodes a still WebP picture (lossy or lossless) held in memory, straight into the
// target, with its alpha where it has one (opaque otherwise), colours not premultiplied.
// Returns false for anything that is not a decodable still WebP or whose size exceeds the
// picture limits, with a German reason in *reason when given ("beschädigt", animated, too
// large). Never throws except std::bad_alloc from the target.
bool decodeWebp(ByteSpan data, PixelTarget& target, std::string* reason = nullptr);

} // namespace schauplatz
