#pragma once

// What the window keeps for placing, showing and accepting elements beyond its
// state record: the undo step, the preview's freshness, the frame layer and the
// picture dialog's last file.

#include "project/TProjectFolders.h"
#include "raster/Appearance.h"
#include "raster/Bitmap32.h"
#include "raster/Rect.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace schauplatz {

class TCustomLayer;

struct PlacementState {
    // The frame layer on the workspace view (owned by the view's layer list).
    TCustomLayer* frameLayer = nullptr;

    // The element picture as the composition keeps it, shared by every placement of the
    // unchanged picture: valid while elementPicture equals placedPictureOf. Loading,
    // mirroring and a new opacity count elementPicture up.
    std::shared_ptr<TBitmap32> placedPicture;
    std::uint64_t elementPicture = 1;
    std::uint64_t placedPictureOf = 0;
    // The path the record line names for ElementFile (a copy without ";" when it has one),
    // kept for the ElementFile it was made for.
    std::string recordedPath;
    std::string recordedPathOf;

    // The quad and picture the element was last offered with at its default place: while
    // both are unchanged the user has not touched it, and the saved picture leaves it out.
    std::array<std::int32_t, 8> offeredQuad{};
    std::uint64_t offeredPicture = 0;

    // The document state last saved or loaded (see TComposition::StateId).
    std::uint64_t savedState = 0;
    // The element picture is the mirror image of ElementFile's picture; its record line then
    // names a mirrored copy kept in the picture store, made once per picture.
    bool mirrored = false;
    std::string mirroredCopy;
    std::uint64_t mirroredCopyOf = 0;

    // Where the element taken up for editing goes in the order when it is put back.
    std::size_t editPosition = 0;
    // The composition generation the window last showed.
    std::uint64_t shownComposition = 0;

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

    // The settings of the element being placed, those new elements take (last chosen, kept
    // between runs) and those it was last offered with.
    TAppearance appearance;
    TAppearance lastUsed;
    TAppearance offeredAppearance;
    // The settings the workspace bitmap was drawn with: without smoothing while a corner is
    // dragged (smoothPending then), the element's own otherwise.
    TAppearance workspaceAppearance;
    bool smoothPending = false;
    // Idle passes since the last drag step while the smooth rendering waits; true while the
    // smooth rendering replaces the stand-in.
    int restingPasses = 0;
    bool renderingAtRest = false;

    // The per-instance folders whose picture store keeps pictures a record line must name.
    std::unique_ptr<TProjectFolders> projectFolders;
};

} // namespace schauplatz
