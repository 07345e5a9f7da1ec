#include "raster/WideLines.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace schauplatz {
namespace {

double clampCoordinate(double v) {
    if (std::isnan(v)) return 0.0;
    return std::clamp(v, -kMaxFillCoordinate, kMaxFillCoordinate);
}

// floor(n / d) for d > 0.
std::int64_t floorDiv(std::int64_t n, std::int64_t d) {
    const std::int64_t q = n / d;
    return (n % d != 0 && n < 0) ? q - 1 : q;
}

// The minor coordinate of step i on a line of major length d and minor change m
// (d > 0): nearest to i * m / d, halves up.
std::int64_t minorAt(std::int64_t i, std::int64_t m, std::int64_t d) {
    return floorDiv(2 * i * m + d, 2 * d);
}

// Positive area in the picture's y-down sense means clockwise on screen; all
// pieces of a wide stroke get one orientation so that the winding rule unites them.
double signedArea(const FillPolygon& polygon) {
    double sum = 0.0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const FillPoint& a = polygon[i];
        const FillPoint& b = polygon[(i + 1) % polygon.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum / 2.0;
}

void addOriented(std::vector<FillPolygon>& pieces, FillPolygon polygon) {
    if (signedArea(polygon) < 0.0) std::reverse(polygon.begin(), polygon.end());
    pieces.push_back(std::move(polygon));
}

} // namespace

std::int64_t strokePixel(double v) {
    return static_cast<std::int64_t>(std::floor(clampCoordinate(v) + 0.5));
}

void strokeThinLine(FillPoint a, FillPoint b, const TRect& clip, const SpanSink& sink) {
    const std::int64_t x0 = strokePixel(a.x), y0 = strokePixel(a.y);
    const std::int64_t x1 = strokePixel(b.x), y1 = strokePixel(b.y);
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    const std::int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    if (ax == 0 && ay == 0) return;
    auto plot = [&](std::int64_t x, std::int64_t y) {
        if (x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom) {
            sink(static_cast<std::int32_t>(y), static_cast<std::int32_t>(x),
                 static_cast<std::int32_t>(x + 1));
        }
    };
    const bool xMajor = ax >= ay;
    const std::int64_t length = xMajor ? ax : ay;
    const std::int64_t step = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const std::int64_t minor = xMajor ? dy : dx;
    const std::int64_t start = xMajor ? x0 : y0;
    // Only the steps whose major coordinate lies inside the clip are visited,
    // so a line a billion pixels long costs no more than one across the picture.
    const std::int64_t lo = xMajor ? clip.Left : clip.Top;
    const std::int64_t hi = (xMajor ? clip.Right : clip.Bottom) - 1;
    std::int64_t iFirst = 0, iLast = length - 1;
    if (step > 0) {
        iFirst = std::max(iFirst, lo - start);
        iLast = std::min(iLast, hi - start);
    } else {
        iFirst = std::max(iFirst, start - hi);
        iLast = std::min(iLast, start - lo);
    }
    for (std::int64_t i = iFirst; i <= iLast; ++i) {
        const std::int64_t major = start + step * i;
        const std::int64_t other = (xMajor ? y0 : x0) + minorAt(i, minor, length);
        if (xMajor) {
            plot(major, other);
        } else {
            plot(other, major);
        }
    }
}

std::vector<FillPoint> circlePoints(FillPoint centre, double diameter) {
    const double r = diameter / 2.0;
    // Chord error r(1 - cos(pi/n)) <= 1/4.
    // Counted in doubles and clamped before the cast: for a huge circle the
    // angle step rounds to 0 and the quotient is infinite.
    double count = 8.0;
    if (r > 0.25) {
        const double step = 2.0 * std::acos(std::max(-1.0, 1.0 - 0.25 / r));
        count = step > 0.0 ? std::ceil(2.0 * std::numbers::pi / step) : kMaxCirclePoints;
    }
    const int n = static_cast<int>(std::clamp(count, 8.0, kMaxCirclePoints));
    std::vector<FillPoint> points;
    points.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * i / n;
        points.push_back({centre.x + r * std::cos(t), centre.y - r * std::sin(t)});
    }
    return points;
}

void strokePolyline(const std::vector<FillPoint>& input, bool closed, double width,
                    const TRect& clip, const SpanSink& sink) {
    if (input.empty()) return;
    std::vector<FillPoint> points;
    points.reserve(input.size() + 1);
    for (const FillPoint& p : input)
        points.push_back({clampCoordinate(p.x), clampCoordinate(p.y)});
    if (closed && points.size() > 1) points.push_back(points.front());

    if (!(width > 1.0)) {
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            strokeThinLine(points[i], points[i + 1], clip, sink);
        }
        return;
    }
    width = std::min(width, kMaxPenWidth);
    const double half = width / 2.0;
    // Each segment a rectangle, each point a disc, all filled together with the
    // winding rule: the union, every pixel once. Fill coordinates are pixel
    // corners, so the pieces move by half a pixel.
    std::vector<FillPolygon> pieces;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const FillPoint p{points[i].x + 0.5, points[i].y + 0.5};
        if (i == 0 || points[i] != points[i - 1]) addOriented(pieces, circlePoints(p, width));
        if (i + 1 == points.size()) break;
        const FillPoint q{points[i + 1].x + 0.5, points[i + 1].y + 0.5};
        const double dx = q.x - p.x, dy = q.y - p.y;
        const double length = std::hypot(dx, dy);
        if (length == 0.0) continue;
        const double nx = -dy / length * half, ny = dx / length * half;
        addOriented(pieces, {{p.x + nx, p.y + ny},
                             {q.x + nx, q.y + ny},
                             {q.x - nx, q.y - ny},
                             {p.x - nx, p.y - ny}});
    }
    fillPolyPolygon(pieces, FillRule::Winding, clip, sink);
}

} // namespace schauplatz
