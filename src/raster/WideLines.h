#pragma once

// Pen strokes without anti-aliasing: one-pixel lines and lines of any width.
//
// Stroke coordinates name pixel centres: the point (3, 5) is the centre of
// pixel (3, 5). A one-pixel line from a to b sets one pixel per step along its
// major axis, from the pixel of a up to but not including the pixel of b, so
// the segments of a polyline meet without painting a pixel twice. A wider pen
// covers every pixel whose centre lies within width / 2 of the path (round
// ends and round joins), the pixels on the outline's right and bottom side
// excluded as for filled polygons; each pixel is reported once per stroke.

#include "raster/PolygonFill.h"

namespace schauplatz {

// Wider pens are drawn this wide; a circle has at most this many points.
inline constexpr double kMaxPenWidth = 100000.0;
inline constexpr double kMaxCirclePoints = 1024.0;

// The pixel of a stroke coordinate: nearest, halves up.
std::int64_t strokePixel(double v);

// A one-pixel line from a to b without the last pixel.
void strokeThinLine(FillPoint a, FillPoint b, const TRect& clip, const SpanSink& sink);

// A polyline (closed: its last point joined back to its first). Width <= 1
// draws one-pixel lines, where a closed outline covers all its corners and an
// open one leaves its last pixel out.
void strokePolyline(const std::vector<FillPoint>& points, bool closed, double width,
                    const TRect& clip, const SpanSink& sink);

// Points on a circle of this diameter around centre, counter-clockwise in a
// y-down picture: enough that the chord stays within a quarter pixel of the arc.
std::vector<FillPoint> circlePoints(FillPoint centre, double diameter);

} // namespace schauplatz
