#pragma once

// What the window keeps for assisted placement: the facade's edges and corners (found on a
// worker thread), the corner drag that snaps onto them, and the quad before a one-click fit.

#include "MainUnit/FacadeFeatureWorker.h"
#include "composition/PlacedElement.h"
#include "placementaid/PlacementAid.h"

#include <cstdint>
#include <optional>
#include <string>

namespace schauplatz {

struct FormSnapState {
    TFacadeFeatureWorker worker;
    // The number of the facade shown; every facade shown gets a new one.
    std::uint64_t facade = 0;
    // The shown facade's features are still to be asked for (at the next idle pass).
    bool startWanted = false;
    // The corner drag in progress with snapping, and where the corner would be without it.
    std::optional<placementaid::TVertexDrag> drag;
    QuadPoint free{};
    // The quad before the last one-click fit and the quad it gave: Escape right after the fit
    // goes back while the quad is still the fitted one.
    std::optional<TQuad> beforeFit;
    TQuad fitted{};
    // What the status bar says about snapping or fitting ("" for nothing).
    std::string notice;
};

} // namespace schauplatz
