#pragma once

#include "elements/codecs/PixelTarget.h"

namespace schauplatz {

// Decodes an icon file (".ico") with BMP and PNG entries. The largest entry
// is taken, at the highest bit depth among entries of equal size (as their
// own headers give them); when it cannot be decoded the next best is tried.
// Pixels keep their alpha. When no pixel of a BMP entry has a non-zero alpha
// (every entry below 32 bits, and 32-bit entries without alpha), the AND mask
// gives the transparency: masked pixels get alpha 0 and the colour they show
// over white, the others are opaque.
bool decodeIcon(ByteSpan file, PixelTarget& target);

} // namespace schauplatz
