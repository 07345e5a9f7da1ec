#pragma once

// Lossless turning of a JPEG file: the coded blocks are rearranged (libjpeg-turbo's
// TurboJPEG transform), nothing is decoded and coded again, so the photo loses nothing.

#include "elements/codecs/PixelTarget.h"

#include <optional>
#include <vector>

namespace schauplatz {

// Applies what an EXIF orientation (2..8) asks for, or a quarter turn (kTurnRight,
// kTurnLeft), to a JPEG held in memory. Only a perfect transform is made: when the
// picture's width or height is not a whole number of coding blocks where the turn needs
// it, nothing is cut off and nullopt is returned. Every marker segment is kept; the
// orientation tag, when there is one, is set to 1, so the result means what it shows.
// nullopt as well for data that is no JPEG, a picture beyond the size limits, or any
// library error. Never throws except std::bad_alloc.
std::optional<std::vector<std::uint8_t>> transformJpegLosslessly(ByteSpan jpeg, int orientation);

// Sets the EXIF orientation tag of a JPEG to 1 in place; false when it has none.
bool resetJpegOrientation(std::vector<std::uint8_t>& jpeg);

} // namespace schauplatz
