#pragma once

// One element of the composite: the picture that was placed, the path its record line names,
// the quad its corners were dragged to and the settings it is drawn with.

#include "raster/Appearance.h"
#include "raster/Bitmap32.h"
#include "raster/Rect.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace schauplatz {

// One corner of the element quad, in picture pixels.
struct QuadPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    bool operator==(const QuadPoint&) const = default;
};

// Top left, top right, bottom right, bottom left corner of the element picture.
using TQuad = std::array<QuadPoint, 4>;

// The corners' bounding box: Left and Top the smallest coordinates, Right and Bottom the
// largest (the corners themselves, not one past them).
inline TRect QuadBounds(const TQuad& quad) {
    TRect box{quad[0].X, quad[0].Y, quad[0].X, quad[0].Y};
    for (const QuadPoint& p : quad) {
        box.Left = std::min(box.Left, p.X);
        box.Top = std::min(box.Top, p.Y);
        box.Right = std::max(box.Right, p.X);
        box.Bottom = std::max(box.Bottom, p.Y);
    }
    return box;
}

// The picture is shared between the placements and history steps that use it and is never
// changed once it is placed (a mirrored or re-read picture is a new object).
using TSharedPicture = std::shared_ptr<TBitmap32>;

struct TPlacedElement {
    std::string Path;       // as the element record line names it
    TSharedPicture Picture; // as read, with its draw mode and master alpha; may be empty
    TQuad Quad{};
    // How it is drawn; neutral draws it exactly as the record line alone would.
    TAppearance Appearance{};

    bool operator==(const TPlacedElement&) const = default;
};

} // namespace schauplatz
