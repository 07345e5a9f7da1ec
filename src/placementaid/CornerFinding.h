#pragma once

// Corners: where a straight edge ends on another one (an L or a T), at the lines' meeting
// point, so to a fraction of a pixel.

#include "placementaid/FeatureData.h"

#include <vector>

namespace schauplatz::placementaid::detail {

// Contrast (grey levels) and edge length (pixels) at which a corner counts as fully clear.
inline constexpr double kClearContrast = 24.0;
inline constexpr double kClearArm = 48.0;

std::vector<TCorner> findCorners(std::int32_t Width, std::int32_t Height,
                                 const std::vector<TLine>& Lines, const TCellGrid& LineCells);

} // namespace schauplatz::placementaid::detail
