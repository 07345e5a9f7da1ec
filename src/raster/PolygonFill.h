#pragma once

// Scanline filling of polygons and poly-polygons without anti-aliasing.
//
// A pixel (x, y) is inside when its centre (x + 0.5, y + 0.5) is inside the
// outline under the chosen fill rule. Edges through a centre count on their
// left and top side and not on their right and bottom side, so two polygons
// that share an edge never both paint a pixel of it and a rectangle from
// (0, 0) to (4, 4) covers exactly pixels 0..3 in both directions.

#include "raster/Rect.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace schauplatz {

struct FillPoint {
    double x = 0.0;
    double y = 0.0;
    friend constexpr bool operator==(const FillPoint&, const FillPoint&) = default;
};

using FillPolygon = std::vector<FillPoint>;

enum class FillRule {
    Alternate, // even-odd: inside where an odd number of edges lies to the left
    Winding    // non-zero: inside where the edges' directions do not cancel out
};

// Receives the covered pixels [x0, x1) of row y, left to right, rows top down.
using SpanSink = std::function<void(std::int32_t y, std::int32_t x0, std::int32_t x1)>;

// Coordinates beyond this magnitude are clamped before rasterizing; a picture
// is never larger than 65535 pixels, so nothing visible is lost and the
// arithmetic stays far from overflow.
inline constexpr double kMaxFillCoordinate = 1.0e7;

// Fills all polygons together (each closed implicitly), reporting only spans
// inside Clip. Polygons with fewer than three points contribute their edges
// like any other (a degenerate polygon covers nothing).
void fillPolyPolygon(const std::vector<FillPolygon>& polygons, FillRule rule, const TRect& clip,
                     const SpanSink& sink);

} // namespace schauplatz
