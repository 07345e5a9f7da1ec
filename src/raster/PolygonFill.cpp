#include "raster/PolygonFill.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace schauplatz {
namespace {

struct Edge {
    double x0, y0, x1, y1; // y0 < y1
    int direction;         // +1 when the outline runs downwards, -1 upwards
    std::int32_t firstRow; // rows whose centre lies in [y0, y1)
    std::int32_t lastRow;
};

struct Crossing {
    double x;
    int direction;
};

double clampCoordinate(double v) {
    if (std::isnan(v)) return 0.0;
    return std::clamp(v, -kMaxFillCoordinate, kMaxFillCoordinate);
}

// Pixel indices whose centre c = i + 0.5 satisfies lo <= c < hi.
std::int64_t firstCentreAtOrAbove(double lo) {
    return static_cast<std::int64_t>(std::ceil(lo - 0.5));
}

// The edges that cross a row centre inside the clip's rows, sorted by their first row.
std::vector<Edge> clippedEdges(const std::vector<FillPolygon>& polygons, const TRect& clip) {
    std::vector<Edge> edges;
    for (const FillPolygon& polygon : polygons) {
        const std::size_t n = polygon.size();
        for (std::size_t i = 0; i < n; ++i) {
            FillPoint a{clampCoordinate(polygon[i].x), clampCoordinate(polygon[i].y)};
            FillPoint b{clampCoordinate(polygon[(i + 1) % n].x),
                        clampCoordinate(polygon[(i + 1) % n].y)};
            if (a.y == b.y) continue; // horizontal edges never cross a row centre
            int direction = 1;
            if (a.y > b.y) {
                std::swap(a, b);
                direction = -1;
            }
            const std::int64_t first = std::max<std::int64_t>(firstCentreAtOrAbove(a.y), clip.Top);
            const std::int64_t last =
                std::min<std::int64_t>(firstCentreAtOrAbove(b.y) - 1, clip.Bottom - 1);
            if (first > last) continue;
            edges.push_back({a.x, a.y, b.x, b.y, direction, static_cast<std::int32_t>(first),
                             static_cast<std::int32_t>(last)});
        }
    }
    std::sort(edges.begin(), edges.end(),
              [](const Edge& l, const Edge& r) { return l.firstRow < r.firstRow; });
    return edges;
}

// Where the active edges cross the centre of a row, from left to right.
void crossingsOf(const std::vector<const Edge*>& active, std::int32_t row,
                 std::vector<Crossing>& crossings) {
    const double centre = row + 0.5;
    crossings.clear();
    for (const Edge* e : active) {
        const double t = (centre - e->y0) / (e->y1 - e->y0);
        crossings.push_back({e->x0 + t * (e->x1 - e->x0), e->direction});
    }
    std::sort(crossings.begin(), crossings.end(),
              [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
}

// The spans of one row between the crossings the rule counts as inside.
void emitSpans(const std::vector<Crossing>& crossings, FillRule rule, const TRect& clip,
               std::int32_t row, const SpanSink& sink) {
    int winding = 0;
    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
        winding += rule == FillRule::Winding ? crossings[i].direction : 1;
        const bool inside = rule == FillRule::Winding ? winding != 0 : (winding & 1) != 0;
        if (!inside) continue;
        // Pixels whose centre lies in [left, right): left edge in, right edge out.
        const std::int64_t x0 =
            std::max<std::int64_t>(firstCentreAtOrAbove(crossings[i].x), clip.Left);
        const std::int64_t x1 =
            std::min<std::int64_t>(firstCentreAtOrAbove(crossings[i + 1].x), clip.Right);
        if (x0 < x1) sink(row, static_cast<std::int32_t>(x0), static_cast<std::int32_t>(x1));
    }
}

} // namespace

void fillPolyPolygon(const std::vector<FillPolygon>& polygons, FillRule rule, const TRect& clip,
                     const SpanSink& sink) {
    if (clip.Right <= clip.Left || clip.Bottom <= clip.Top) return;
    const std::vector<Edge> edges = clippedEdges(polygons, clip);
    if (edges.empty()) return;

    std::vector<const Edge*> active;
    std::vector<Crossing> crossings;
    std::size_t next = 0;
    std::int32_t row = edges.front().firstRow;
    while (next < edges.size() || !active.empty()) {
        if (active.empty() && next < edges.size()) row = std::max(row, edges[next].firstRow);
        while (next < edges.size() && edges[next].firstRow <= row)
            active.push_back(&edges[next++]);
        std::erase_if(active, [row](const Edge* e) { return e->lastRow < row; });
        if (active.empty()) continue;
        crossingsOf(active, row, crossings);
        emitSpans(crossings, rule, clip, row, sink);
        ++row;
    }
}

} // namespace schauplatz
