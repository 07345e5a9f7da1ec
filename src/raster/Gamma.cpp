#include "raster/Gamma.h"

#include "raster/FixedPoint.h"

#include <cmath>

namespace schauplatz {

namespace {

TGammaTable makeGammaTable() {
    constexpr float kGamma = 0.7f;
    TGammaTable table{};
    for (int i = 0; i < 256; ++i) {
        const TExtended x = static_cast<TExtended>(i) / 255;
        // 0^0.7 is 0; powl handles it, but say so rather than rely on it.
        const TExtended p = i == 0 ? 0.0L : std::pow(x, static_cast<TExtended>(kGamma));
        table[i] = static_cast<std::uint8_t>(RoundToInt64(255 * p));
    }
    return table;
}

} // namespace

const TGammaTable& GammaTable() {
    static const TGammaTable table = makeGammaTable();
    return table;
}

} // namespace schauplatz
