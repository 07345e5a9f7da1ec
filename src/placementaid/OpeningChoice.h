#pragma once

// The quads tried around a click and the choice among them: the clearest one, grown to the
// whole opening when it is a pane or the glass of it.

#include "placementaid/FeatureData.h"

#include <array>
#include <vector>

namespace schauplatz::placementaid::detail {

enum TSide : std::size_t { kTop, kRight, kBottom, kLeft };

struct TQuadTry {
    std::array<std::size_t, 4> Pick{}; // candidate per side, nearest to the click first
    std::array<TPointD, 4> Corners{};  // top left, top right, bottom right, bottom left
    double Clarity = 0.0;              // the weakest side's coverage times its contrast's clearness
    double Completeness = 1.0;         // the weakest side's coverage
    double Area = 0.0;
};

// Nothing when every quad holds wall texture (rows of joints) inside.
std::optional<TQuadTry> chooseOpening(const TFeatureData& Data, const std::vector<TQuadTry>& Tries);

} // namespace schauplatz::placementaid::detail
