#pragma once

// Thin edge pixels linked into chains and cut into straight pieces.

#include "placementaid/FeatureData.h"

#include <cstdint>
#include <stop_token>
#include <vector>

namespace schauplatz::placementaid::detail {

struct TEdgePixel {
    std::int32_t X = 0;
    std::int32_t Y = 0;
};

// A run of chain pixels that stays within a pixel and a half of the straight line between its
// ends, at least MinLength long.
using TEdgePiece = std::vector<TEdgePixel>;

// Edges: width * height bytes, non-zero at edge pixels. A chain only links neighbours whose
// gradients point the same way, so the two sides of a thin joint (opposite gradients a pixel
// or two apart) stay two chains. Returns what was found so far when Stop is triggered (the
// caller checks the token and drops it).
std::vector<TEdgePiece> findStraightPieces(const TGradientPlanes& Gradient,
                                           const std::vector<std::uint8_t>& Edges, double MinLength,
                                           const std::stop_token& Stop);

} // namespace schauplatz::placementaid::detail
