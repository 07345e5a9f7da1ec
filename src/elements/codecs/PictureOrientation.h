#pragma once

// Turning pixels upright: the eight EXIF orientations (1 = as stored) applied to a picture
// in memory, whole or a strip of rows at a time (so a decoder can turn each strip as it
// comes and never holds the picture twice).

#include "raster/Color32.h"

#include <cstdint>

namespace schauplatz {

// A quarter turn of a picture as the user sees it, in the same numbering: turning right
// (clockwise) is what orientation 6 asks for, turning left what orientation 8 asks for.
inline constexpr int kTurnRight = 6;
inline constexpr int kTurnLeft = 8;

// Places source rows [firstRow, firstRow + rowCount) of a width x height picture where the
// upright picture has them. upright holds the whole upright picture (height x width for
// orientations 5 to 8), rows top to bottom. Orientations outside 2..8 copy unchanged.
void orientRows(const TColor32* rows, std::int32_t width, std::int32_t height,
                std::int32_t firstRow, std::int32_t rowCount, int orientation, TColor32* upright);

// The whole picture at once.
inline void orientPicture(const TColor32* stored, std::int32_t width, std::int32_t height,
                          int orientation, TColor32* upright) {
    orientRows(stored, width, height, 0, height, orientation, upright);
}

} // namespace schauplatz
