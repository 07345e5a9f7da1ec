#pragma once

// What the window keeps for viewing and fine placement beyond its state record: which part of
// the element quad the keyboard moves.

#include <cstdint>
#include <string>

namespace schauplatz {

// What the arrow keys move: nothing, a corner, or the whole quad.
inline constexpr std::int32_t kNoSelection = -1;
inline constexpr std::int32_t kQuadSelected = 4;

struct FormViewState {
    // kNoSelection, a corner 0..3, or kQuadSelected.
    std::int32_t Selection = kNoSelection;
};

// The status bar's texts.
struct TViewStatus {
    std::string Scale;   // "50 %"; "(ganzes Bild)" added while the picture is fitted
    std::string Pointer; // the picture pixel under the pointer, "" when it is elsewhere
    std::string Corners; // the four corners, the selected one(s) in brackets
};

} // namespace schauplatz
