#pragma once

// What the window keeps for placing, showing and accepting elements beyond its
// state record: the undo step, the preview's freshness, the frame layer and the
// picture dialog's last file.

#include "project/TProjectFolders.h"
#include "raster/Rect.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace schauplatz {

class TCustomLayer;

struct PlacementState {
    // The frame layer on the workspace view (owned by the view's layer list).
    TCustomLayer* frameLayer = nullptr;

    // One level of undo: whether the undo picture may be put back, and the record line
    // the acceptance appended (taken back with it).
    bool undoAvailable = false;
    std::size_t undoLineIndex = 0;
    std::string undoLine;

    // The file the picture dialog offers again.
    std::string lastPictureFile;

    // Change counters of the background and the workspace bitmap, and the values
    // they had when the preview was last built (0: never).
    std::uint64_t backgroundGeneration = 1;
    std::uint64_t workspaceGeneration = 1;
    std::uint64_t previewBackground = 0;
    std::uint64_t previewWorkspace = 0;

    // Where the last rendering put the element, in workspace pixels.
    TRect elementArea{};

    // The per-instance folders whose picture store keeps pictures a record line must name.
    std::unique_ptr<TProjectFolders> projectFolders;
};

} // namespace schauplatz
