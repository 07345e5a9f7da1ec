#pragma once

// The first stage of the extraction: the smoothed picture's gradient and its thin edge pixels.

#include "placementaid/FeatureData.h"

#include <cstdint>
#include <vector>

namespace schauplatz::placementaid::detail {

struct TEdgeMap {
    TGradientPlanes Gradient;
    std::vector<std::uint8_t> Edges; // non-zero: an edge pixel (thin, after hysteresis)
    double NoiseLevel = 0.0;         // grey levels: typical step between neighbouring pixels
    double LowThreshold = 0.0;       // grey levels
    double HighThreshold = 0.0;      // grey levels
};

// Each channel smoothed and differentiated; per pixel the channel with the steepest gradient.
TEdgeMap computeEdgeMap(const TFacadePicture& Picture);

} // namespace schauplatz::placementaid::detail
