// The drawing operations of the metafile canvas: lines, polygons, box shapes,
// Bézier curves and paths, flattened in picture coordinates.

#include "elements/metafile/MetafileCanvas.h"

#include "raster/WideLines.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <numbers>

namespace schauplatz::metafile {
namespace {

constexpr int kMaxBezierDepth = 10;
constexpr double kFlatness = 0.25; // pixels
constexpr std::size_t kMaxPathPoints = std::size_t{1} << 22;
// Drawing work of the rasterizers, in the canvas's units (about a nanosecond): each edge is
// set up and sorted once; every row sorts the crossings of the edges active there, so a
// crossing costs more the more share its row; a scaled bitmap pixel takes a few divisions.
constexpr std::int64_t kEdgeWork = 16;
constexpr std::int64_t kCrossingWork = 8;
constexpr std::int64_t kBitmapPixelWork = 4;

double clampedCoordinate(double v) {
    return std::isnan(v) ? 0.0 : std::clamp(v, -kMaxFillCoordinate, kMaxFillCoordinate);
}

// What one call of the polygon filler costs, worked out before it runs: its edges, the
// crossings of every clip row (counted per row from the edges' row spans) and the pixels of
// the bounding box within the clip.
class FillEstimate {
public:
    explicit FillEstimate(const TRect& clip) : m_clip(clip) {}

    // An edge, or a part of an outline that crosses each of its rows `count` times, from y0
    // to y1 (rows taken generously, one more at the ends).
    void addSpan(double y0, double y1, std::int64_t count = 1) {
        const double lo = std::min(clampedCoordinate(y0), clampedCoordinate(y1));
        const double hi = std::max(clampedCoordinate(y0), clampedCoordinate(y1));
        const auto first = static_cast<std::int32_t>(std::max<double>(std::floor(lo), m_clip.Top));
        const auto last =
            static_cast<std::int32_t>(std::min<double>(std::ceil(hi), m_clip.Bottom - 1));
        if (first > last) return;
        m_spans.push_back({first, last, count});
        m_top = std::min(m_top, first);
        m_bottom = std::max(m_bottom, last);
    }
    void addEdges(std::int64_t edges) { m_edges += edges; }
    void addPoint(FillPoint p, double margin = 0) {
        m_left = std::min(m_left, clampedCoordinate(p.x) - margin);
        m_right = std::max(m_right, clampedCoordinate(p.x) + margin);
        m_upper = std::min(m_upper, clampedCoordinate(p.y) - margin);
        m_lower = std::max(m_lower, clampedCoordinate(p.y) + margin);
    }

    std::int64_t work() const { return m_edges * kEdgeWork + crossingWork() + area(); }

private:
    struct Span {
        std::int32_t first, last;
        std::int64_t count;
    };

    std::int64_t crossingWork() const {
        if (m_spans.empty()) return 0;
        std::vector<std::int64_t> change(static_cast<std::size_t>(m_bottom - m_top) + 2, 0);
        for (const Span& span : m_spans) {
            change[static_cast<std::size_t>(span.first - m_top)] += span.count;
            change[static_cast<std::size_t>(span.last - m_top) + 1] -= span.count;
        }
        std::int64_t work = 0, active = 0;
        for (std::size_t row = 0; row + 1 < change.size(); ++row) {
            active += change[row];
            const auto bits =
                std::bit_width(static_cast<std::uint64_t>(std::max<std::int64_t>(active, 0)));
            work += active * kCrossingWork * (2 + static_cast<std::int64_t>(bits));
        }
        return work;
    }
    std::int64_t area() const {
        const double w = std::min(m_right, static_cast<double>(m_clip.Right)) -
                         std::max(m_left, static_cast<double>(m_clip.Left));
        const double h = std::min(m_lower, static_cast<double>(m_clip.Bottom)) -
                         std::max(m_upper, static_cast<double>(m_clip.Top));
        return w > 0 && h > 0 ? static_cast<std::int64_t>((w + 1) * (h + 1)) : 0;
    }

    TRect m_clip;
    std::vector<Span> m_spans;
    std::int32_t m_top = INT32_MAX, m_bottom = INT32_MIN;
    std::int64_t m_edges = 0;
    double m_left = 1e300, m_upper = 1e300, m_right = -1e300, m_lower = -1e300;
};

// An upper bound of what filling the figures together costs.
std::int64_t fillWork(const std::vector<Figure>& figures, const TRect& clip) {
    FillEstimate estimate(clip);
    for (const Figure& figure : figures) {
        const std::size_t n = figure.points.size();
        estimate.addEdges(static_cast<std::int64_t>(n));
        for (std::size_t i = 0; i < n; ++i) {
            estimate.addSpan(figure.points[i].y, figure.points[(i + 1) % n].y);
            estimate.addPoint(figure.points[i]);
        }
    }
    return estimate.work();
}

// The same for a stroke: one-pixel lines step along their major axis within the clip; wider
// pens fill a disc at every point and a rectangle along every segment, all in one filling.
std::int64_t strokeWork(const Figure& figure, double width, const TRect& clip) {
    const std::vector<FillPoint>& p = figure.points;
    const std::size_t segments = p.empty() ? 0 : p.size() - (figure.closed ? 0 : 1);
    if (!(width > 1.0)) {
        std::int64_t work = 0;
        const double extent = std::max(clip.Right - clip.Left, clip.Bottom - clip.Top);
        for (std::size_t i = 0; i < segments; ++i) {
            const FillPoint& a = p[i];
            const FillPoint& b = p[(i + 1) % p.size()];
            const double major =
                std::max(std::abs(clampedCoordinate(b.x) - clampedCoordinate(a.x)),
                         std::abs(clampedCoordinate(b.y) - clampedCoordinate(a.y)));
            work += static_cast<std::int64_t>(std::min(major, extent)) + 1;
        }
        return work;
    }
    width = std::min(width, kMaxPenWidth);
    const double half = width / 2;
    const auto discEdges = static_cast<std::int64_t>(circlePoints({0, 0}, width).size());
    FillEstimate estimate(clip);
    for (const FillPoint& point : p) {
        estimate.addEdges(discEdges);
        estimate.addSpan(point.y - half, point.y + half, 2); // a disc crosses each row twice
        estimate.addPoint(point, half + 1);
    }
    for (std::size_t i = 0; i < segments; ++i) {
        const FillPoint& a = p[i];
        const FillPoint& b = p[(i + 1) % p.size()];
        estimate.addEdges(4);
        estimate.addSpan(std::min(a.y, b.y) - half, std::max(a.y, b.y) + half, 2);
    }
    return estimate.work();
}

double distanceToChord(FillPoint p, FillPoint a, FillPoint b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = std::hypot(dx, dy);
    if (length == 0) return std::hypot(p.x - a.x, p.y - a.y);
    return std::abs((p.x - a.x) * dy - (p.y - a.y) * dx) / length;
}

void flattenCubic(FillPoint p0, FillPoint p1, FillPoint p2, FillPoint p3, int depth,
                  std::vector<FillPoint>& out) {
    const bool flat =
        std::max(distanceToChord(p1, p0, p3), distanceToChord(p2, p0, p3)) <= kFlatness;
    if (flat || depth >= kMaxBezierDepth || !std::isfinite(p1.x + p2.x + p1.y + p2.y)) {
        out.push_back(p3);
        return;
    }
    auto mid = [](FillPoint a, FillPoint b) { return FillPoint{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
    const FillPoint a = mid(p0, p1), b = mid(p1, p2), c = mid(p2, p3);
    const FillPoint d = mid(a, b), e = mid(b, c), m = mid(d, e);
    flattenCubic(p0, a, d, m, depth + 1, out);
    flattenCubic(m, e, c, p3, depth + 1, out);
}

// Segments for a full turn of an ellipse whose larger radius is r pixels, so
// that no chord strays more than a quarter pixel from the curve.
int ellipseSegments(double r) {
    if (!(r > 0.25)) return 8;
    const double step = 2.0 * std::acos(std::max(-1.0, 1.0 - kFlatness / r));
    return std::clamp(static_cast<int>(std::ceil(2.0 * std::numbers::pi / step)), 8, 4096);
}

// Angle of (u, v) about the box centre, counter-clockwise on a y-down picture.
double unitAngle(double u, double v) {
    return std::atan2(-(v - 0.5), u - 0.5);
}

FillPoint unitPoint(double angle) {
    return {0.5 + 0.5 * std::cos(angle), 0.5 - 0.5 * std::sin(angle)};
}

} // namespace

// Box shapes are laid out in unit coordinates (u, v) in 0..1 of their box.
// With an axis-aligned mapping the box is taken in pixels with its right and
// bottom edges one pixel in, so that a rectangle from 0 to 4 outlines pixels
// 0 and 3 and fills the pixels between; otherwise the logical box is mapped.
std::vector<FillPoint> MetafileCanvas::boxOutline(double l, double t, double r, double b,
                                                  const std::vector<FillPoint>& unitPoints) {
    const Xform x = logicalToPicture();
    std::vector<FillPoint> out;
    out.reserve(unitPoints.size());
    if (x.axisAligned()) {
        const FillPoint p = x.apply({l, t}), q = x.apply({r, b});
        double left = std::min(p.x, q.x), right = std::max(p.x, q.x);
        double top = std::min(p.y, q.y), bottom = std::max(p.y, q.y);
        if (right - left >= 1) right -= 1;
        if (bottom - top >= 1) bottom -= 1;
        for (const FillPoint& u : unitPoints) {
            out.push_back({left + u.x * (right - left), top + u.y * (bottom - top)});
            note(out.back());
        }
        return out;
    }
    for (const FillPoint& u : unitPoints) {
        out.push_back(x.apply({l + u.x * (r - l), t + u.y * (b - t)}));
        note(out.back());
    }
    return out;
}

double MetafileCanvas::boxPixelRadius(double l, double t, double r, double b) const {
    const Xform x = logicalToPicture();
    const FillPoint a = x.apply({l, t}), c = x.apply({r, b}), d = x.apply({r, t});
    const double radius =
        std::max({std::hypot(c.x - a.x, c.y - a.y), std::hypot(d.x - a.x, d.y - a.y)}) / 2;
    return std::isfinite(radius) ? std::min(radius, 1e7) : 0.0;
}

void MetafileCanvas::fillFigures(const std::vector<Figure>& figures) {
    if (m_dc.brush.kind == BrushKind::Null || m_width == 0) return;
    chargeWork(fillWork(figures, clipRect()));
    std::vector<FillPolygon> polygons;
    for (const Figure& figure : figures) {
        FillPolygon polygon;
        polygon.reserve(figure.points.size());
        for (const FillPoint& p : figure.points)
            polygon.push_back({p.x + 0.5, p.y + 0.5});
        polygons.push_back(std::move(polygon));
    }
    fillPolyPolygon(
        polygons, m_dc.fillRule, clipRect(),
        [this](std::int32_t y, std::int32_t x0, std::int32_t x1) { paintBrushSpan(y, x0, x1); });
}

void MetafileCanvas::strokeFigures(const std::vector<Figure>& figures) {
    if (m_dc.pen.null || m_width == 0) return;
    const TColor32 color = m_dc.pen.color;
    const double width = penPixels();
    for (const Figure& figure : figures) {
        chargeWork(strokeWork(figure, width, clipRect()));
        strokePolyline(figure.points, figure.closed, width, clipRect(),
                       [this, color](std::int32_t y, std::int32_t x0, std::int32_t x1) {
                           paintSpan(y, x0, x1, color);
                       });
    }
}

// Inside a path bracket shapes become figures of the path; outside they are drawn.
void MetafileCanvas::shape(const std::vector<Figure>& figures, bool fill) {
    if (m_pathOpen) {
        for (const Figure& f : figures) {
            if (m_pathPoints + f.points.size() > kMaxPathPoints) return;
            m_pathPoints += f.points.size();
            m_path.push_back(f);
        }
        return;
    }
    if (fill) fillFigures(figures);
    strokeFigures(figures);
}

void MetafileCanvas::moveTo(FillPoint p) {
    m_dc.position = p;
    if (m_pathOpen) {
        m_path.push_back({toPicture({p}), false});
        ++m_pathPoints;
    }
}

void MetafileCanvas::lineTo(FillPoint p) {
    polylineTo({p});
}

void MetafileCanvas::polyline(const std::vector<FillPoint>& points) {
    if (points.empty()) return;
    shape({{toPicture(points), false}}, false);
}

void MetafileCanvas::polylineTo(const std::vector<FillPoint>& points) {
    if (points.empty()) return;
    std::vector<FillPoint> all;
    all.reserve(points.size() + 1);
    all.push_back(m_dc.position);
    all.insert(all.end(), points.begin(), points.end());
    m_dc.position = points.back();
    std::vector<FillPoint> picture = toPicture(all);
    if (m_pathOpen && !m_path.empty() && !m_path.back().closed) {
        if (m_path.back().points.size() + picture.size() > kMaxPathPoints) return;
        m_path.back().points.insert(m_path.back().points.end(), picture.begin() + 1, picture.end());
        m_pathPoints += picture.size() - 1;
        return;
    }
    shape({{std::move(picture), false}}, false);
}

std::vector<FillPoint> MetafileCanvas::flattenBezier(const std::vector<FillPoint>& points,
                                                     FillPoint start) const {
    std::vector<FillPoint> out{start};
    FillPoint current = start;
    for (std::size_t i = 0; i + 2 < points.size(); i += 3) {
        flattenCubic(current, points[i], points[i + 1], points[i + 2], 0, out);
        current = points[i + 2];
    }
    return out;
}

void MetafileCanvas::polyBezier(const std::vector<FillPoint>& points) {
    if (points.empty()) return;
    const std::vector<FillPoint> picture = toPicture(points);
    const std::vector<FillPoint> rest(picture.begin() + 1, picture.end());
    shape({{flattenBezier(rest, picture.front()), false}}, false);
}

void MetafileCanvas::polyBezierTo(const std::vector<FillPoint>& points) {
    if (points.size() < 3) return;
    std::vector<FillPoint> all{m_dc.position};
    all.insert(all.end(), points.begin(),
               points.end() - static_cast<std::ptrdiff_t>(points.size() % 3));
    m_dc.position = all.back();
    const std::vector<FillPoint> picture = toPicture(all);
    const std::vector<FillPoint> rest(picture.begin() + 1, picture.end());
    std::vector<FillPoint> flat = flattenBezier(rest, picture.front());
    if (m_pathOpen && !m_path.empty() && !m_path.back().closed) {
        if (m_path.back().points.size() + flat.size() > kMaxPathPoints) return;
        m_path.back().points.insert(m_path.back().points.end(), flat.begin() + 1, flat.end());
        m_pathPoints += flat.size() - 1;
        return;
    }
    shape({{std::move(flat), false}}, false);
}

void MetafileCanvas::polyPolygon(const std::vector<std::vector<FillPoint>>& polygons) {
    std::vector<Figure> figures;
    for (const auto& polygon : polygons) {
        if (!polygon.empty()) figures.push_back({toPicture(polygon), true});
    }
    shape(figures, true);
}

void MetafileCanvas::polyPolyline(const std::vector<std::vector<FillPoint>>& lines) {
    std::vector<Figure> figures;
    for (const auto& line : lines) {
        if (!line.empty()) figures.push_back({toPicture(line), false});
    }
    shape(figures, false);
}

void MetafileCanvas::rectangle(double l, double t, double r, double b) {
    shape({{boxOutline(l, t, r, b, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}), true}}, true);
}

void MetafileCanvas::ellipse(double l, double t, double r, double b) {
    const int n = ellipseSegments(boxPixelRadius(l, t, r, b));
    std::vector<FillPoint> unit;
    for (int i = 0; i < n; ++i)
        unit.push_back(unitPoint(2.0 * std::numbers::pi * i / n));
    shape({{boxOutline(l, t, r, b, unit), true}}, true);
}

void MetafileCanvas::roundRect(double l, double t, double r, double b, double cornerW,
                               double cornerH) {
    const double boxW = std::abs(r - l), boxH = std::abs(b - t);
    const double cu = boxW > 0 ? std::min(std::abs(cornerW) / boxW, 1.0) : 0.0;
    const double cv = boxH > 0 ? std::min(std::abs(cornerH) / boxH, 1.0) : 0.0;
    const int n = std::max(2, ellipseSegments(boxPixelRadius(l, t, r, b) * std::max(cu, cv)) / 4);
    std::vector<FillPoint> unit;
    // Quarter ellipses centred inside each corner, counter-clockwise from the top right.
    const FillPoint centres[4] = {
        {1 - cu / 2, cv / 2}, {cu / 2, cv / 2}, {cu / 2, 1 - cv / 2}, {1 - cu / 2, 1 - cv / 2}};
    for (int corner = 0; corner < 4; ++corner) {
        for (int i = 0; i <= n; ++i) {
            const double a = (corner + static_cast<double>(i) / n) * std::numbers::pi / 2;
            unit.push_back({centres[corner].x + cu / 2 * std::cos(a),
                            centres[corner].y - cv / 2 * std::sin(a)});
        }
    }
    shape({{boxOutline(l, t, r, b, unit), true}}, true);
}

void MetafileCanvas::arc(ArcKind kind, double l, double t, double r, double b, FillPoint start,
                         FillPoint end) {
    const double w = r - l, h = b - t;
    if (w == 0 || h == 0) return;
    const double a0 = unitAngle((start.x - l) / w, (start.y - t) / h);
    double a1 = unitAngle((end.x - l) / w, (end.y - t) / h);
    double sweep = a1 - a0;
    if (m_dc.arcClockwise) {
        if (sweep >= 0) sweep -= 2 * std::numbers::pi;
    } else if (sweep <= 0) {
        sweep += 2 * std::numbers::pi;
    }
    const int full = ellipseSegments(boxPixelRadius(l, t, r, b));
    const int n =
        std::max(1, static_cast<int>(std::ceil(full * std::abs(sweep) / (2 * std::numbers::pi))));
    std::vector<FillPoint> unit;
    for (int i = 0; i <= n; ++i)
        unit.push_back(unitPoint(a0 + sweep * i / n));
    if (kind == ArcKind::Pie) unit.push_back({0.5, 0.5});
    const bool closed = kind != ArcKind::Arc;
    shape({{boxOutline(l, t, r, b, unit), closed}}, closed);
}

void MetafileCanvas::clearPath() {
    m_path.clear();
    m_pathPoints = 0;
}

void MetafileCanvas::beginPath() {
    clearPath();
    m_pathOpen = true;
}

void MetafileCanvas::abortPath() {
    clearPath();
    m_pathOpen = false;
}

void MetafileCanvas::closeFigure() {
    if (!m_path.empty()) m_path.back().closed = true;
}

void MetafileCanvas::fillPath() {
    if (m_pathOpen) return;
    fillFigures(m_path);
    clearPath();
}

void MetafileCanvas::strokePath() {
    if (m_pathOpen) return;
    strokeFigures(m_path);
    clearPath();
}

void MetafileCanvas::strokeAndFillPath() {
    if (m_pathOpen) return;
    fillFigures(m_path);
    strokeFigures(m_path);
    clearPath();
}

// The clip follows the path's bounding box: clipping stays rectangular.
void MetafileCanvas::selectClipPath() {
    if (m_pathOpen || m_path.empty()) return;
    double l = 1e18, t = 1e18, r = -1e18, b = -1e18;
    for (const Figure& f : m_path) {
        for (const FillPoint& p : f.points) {
            l = std::min(l, p.x + 0.5);
            t = std::min(t, p.y + 0.5);
            r = std::max(r, p.x + 0.5);
            b = std::max(b, p.y + 0.5);
        }
    }
    clearPath();
    if (l > r) return;
    auto pixel = [](double v) {
        return static_cast<std::int32_t>(std::ceil(std::clamp(v, -1e9, 1e9) - 0.5));
    };
    setClipPixels(TRect{pixel(l), pixel(t), pixel(r), pixel(b)});
}

void MetafileCanvas::patternFill(double l, double t, double r, double b) {
    const Xform x = logicalToPicture();
    std::vector<FillPoint> corners = {x.apply({l, t}), x.apply({r, t}), x.apply({r, b}),
                                      x.apply({l, b})};
    for (const FillPoint& p : corners)
        note(p);
    if (m_width == 0 || m_dc.brush.kind == BrushKind::Null) return;
    chargeWork(fillWork({{corners, true}}, clipRect()));
    fillPolyPolygon(
        {corners}, FillRule::Alternate, clipRect(),
        [this](std::int32_t y, std::int32_t x0, std::int32_t x1) { paintBrushSpan(y, x0, x1); });
}

void MetafileCanvas::drawBitmap(const DecodedPicture& bitmap, std::int32_t srcX, std::int32_t srcY,
                                std::int32_t srcW, std::int32_t srcH, double dstX, double dstY,
                                double dstW, double dstH) {
    const Xform x = logicalToPicture();
    const FillPoint a = x.apply({dstX, dstY}), c = x.apply({dstX + dstW, dstY + dstH});
    note(a);
    note(c);
    if (m_width == 0 || bitmap.width <= 0 || bitmap.height <= 0 || srcW == 0 || srcH == 0) return;
    if (!std::isfinite(a.x + a.y + c.x + c.y)) return;
    // Mirroring: a negative extent on either side turns the picture round.
    const bool flipX = (c.x < a.x) != (srcW < 0);
    const bool flipY = (c.y < a.y) != (srcH < 0);
    const std::int64_t sx0 = std::min<std::int64_t>(srcX, std::int64_t{srcX} + srcW);
    const std::int64_t sy0 = std::min<std::int64_t>(srcY, std::int64_t{srcY} + srcH);
    const std::int64_t sw = std::abs(std::int64_t{srcW}), sh = std::abs(std::int64_t{srcH});
    const double left = std::min(a.x, c.x), right = std::max(a.x, c.x);
    const double top = std::min(a.y, c.y), bottom = std::max(a.y, c.y);
    const TRect clip = clipRect();
    const std::int64_t x0 = std::max<std::int64_t>(
        clip.Left, static_cast<std::int64_t>(std::ceil(std::max(left, -1e9) - 0.5)));
    const std::int64_t x1 = std::min<std::int64_t>(
        clip.Right, static_cast<std::int64_t>(std::ceil(std::min(right, 1e9) - 0.5)));
    const std::int64_t y0 = std::max<std::int64_t>(
        clip.Top, static_cast<std::int64_t>(std::ceil(std::max(top, -1e9) - 0.5)));
    const std::int64_t y1 = std::min<std::int64_t>(
        clip.Bottom, static_cast<std::int64_t>(std::ceil(std::min(bottom, 1e9) - 0.5)));
    const double scaleX = sw / (right - left), scaleY = sh / (bottom - top);
    if (x1 > x0 && y1 > y0) chargeWork(kBitmapPixelWork * (x1 - x0) * (y1 - y0));
    for (std::int64_t py = y0; py < y1; ++py) {
        std::int64_t v = static_cast<std::int64_t>(std::floor((py + 0.5 - top) * scaleY));
        v = std::clamp<std::int64_t>(v, 0, sh - 1);
        if (flipY) v = sh - 1 - v;
        const std::int64_t sy = sy0 + v;
        if (sy < 0 || sy >= bitmap.height) continue;
        for (std::int64_t px = x0; px < x1; ++px) {
            std::int64_t u = static_cast<std::int64_t>(std::floor((px + 0.5 - left) * scaleX));
            u = std::clamp<std::int64_t>(u, 0, sw - 1);
            if (flipX) u = sw - 1 - u;
            const std::int64_t sx = sx0 + u;
            if (sx < 0 || sx >= bitmap.width) continue;
            m_pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(m_width) +
                     static_cast<std::size_t>(px)] =
                bitmap.at(static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy)) |
                0xFF000000u;
        }
    }
}

} // namespace schauplatz::metafile
