#pragma once

#include <array>
#include <cstdint>

namespace schauplatz {

// The anti-aliasing weights of sub-pixel points: GammaTable[i] = Round(255 * (i / 255)^0.7)
// with the exponent as a single (0.699999988...), ties to even. Computed once, shared by all
// bitmaps, never changed.
using TGammaTable = std::array<std::uint8_t, 256>;
const TGammaTable& GammaTable();

} // namespace schauplatz
