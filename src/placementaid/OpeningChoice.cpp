#include "placementaid/OpeningChoice.h"

#include "placementaid/CornerFinding.h"
#include "placementaid/Geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace schauplatz::placementaid::detail {

namespace {

// An enclosing quad seen at least this completely is the opening, the first one a pane.
constexpr double kOpeningCompleteness = 0.85;
constexpr double kSameCompleteness = 0.02;
constexpr double kMaxOpeningGrowth = 6.0;
constexpr double kCloseSideShare = 0.25; // of the inner quad's size across
constexpr double kCloseSizeShare = 0.12; // of its width plus height (a narrow pane)
constexpr double kCloseSidePixels = 6.0;
constexpr double kMinGrowStep = 5.0; // pixels
// A frame is about equally wide all round: the widest side at most this much wider.
constexpr double kFrameLikeness = 2.0;
constexpr double kFrameLikenessPixels = 4.0;
// Edge length inside the middle of a quad, per pixel of the middle's size, beyond which the
// quad is a stretch of wall: joints every few pixels, not glass, a leaf or a pane.
constexpr double kMaxInsideEdges = 6.0;
constexpr double kMiddleShare = 0.5; // the middle: the quad shrunk to half about its centre

TPointD sideMiddle(const TQuadTry& Q, std::size_t Side) {
    return 0.5 * (Q.Corners[Side] + Q.Corners[(Side + 1) % 4]);
}

// Outer holds Inner as a frame holds its glass: at least three sides moved out by about the
// same width, a frame's (the fourth the same, as under a door's leaf standing on the step, or
// far, where the bar between two panes was). A stretch of wall around a window, a sill or a
// band along one side moves the sides by unlike amounts or too few of them.
bool enclosesClosely(const TQuadTry& Outer, const TQuadTry& Inner) {
    for (std::size_t s = 0; s < 4; ++s)
        if (Outer.Pick[s] < Inner.Pick[s]) return false;
    const double width = distance(sideMiddle(Inner, kLeft), sideMiddle(Inner, kRight));
    const double height = distance(sideMiddle(Inner, kTop), sideMiddle(Inner, kBottom));
    double least = std::numeric_limits<double>::max(), most = 0.0;
    int frameSides = 0;
    for (std::size_t s = 0; s < 4; ++s) {
        if (Outer.Pick[s] == Inner.Pick[s]) continue;
        const double across = s == kTop || s == kBottom ? height : width;
        // Across the side, not along it: a pane's top is the left half of the window's.
        const TPointD a = Inner.Corners[s], b = Inner.Corners[(s + 1) % 4];
        const double gap = std::abs(cross(b - a, sideMiddle(Outer, s) - a)) / distance(a, b);
        // A side moved by a pixel or three is the far edge of a joint along the same outline.
        if (gap < kMinGrowStep) return false;
        const double reach = std::max(
            {kCloseSideShare * across, kCloseSizeShare * (width + height), kCloseSidePixels});
        if (gap > reach) continue;
        ++frameSides;
        least = std::min(least, gap);
        most = std::max(most, gap);
    }
    return frameSides >= 3 && most <= kFrameLikeness * least + kFrameLikenessPixels;
}

// The part of the segment From..To inside the convex, clockwise quad Q (Cyrus-Beck).
double lengthInside(TPointD From, TPointD To, const std::array<TPointD, 4>& Q) {
    double t0 = 0.0, t1 = 1.0;
    for (std::size_t i = 0; i < 4; ++i) {
        const TPointD a = Q[i], edge = Q[(i + 1) % 4] - a;
        const double f0 = cross(edge, From - a), f1 = cross(edge, To - a);
        if (f0 < 0.0 && f1 < 0.0) return 0.0;
        if (f0 < 0.0) t0 = std::max(t0, f0 / (f0 - f1));
        if (f1 < 0.0) t1 = std::min(t1, f0 / (f0 - f1));
    }
    return t1 > t0 ? (t1 - t0) * distance(From, To) : 0.0;
}

bool wallInside(const TFeatureData& D, const TQuadTry& Q) {
    TPointD centre{};
    for (const TPointD c : Q.Corners)
        centre = centre + 0.25 * c;
    std::array<TPointD, 4> middle{};
    double reach = 0.0;
    for (std::size_t i = 0; i < 4; ++i) {
        middle[i] = centre + kMiddleShare * (Q.Corners[i] - centre);
        reach = std::max(reach, distance(middle[i], centre));
    }
    std::vector<std::uint32_t> seen;
    double inside = 0.0;
    D.LineCells.visit(centre, reach, [&](std::uint32_t I) {
        if (std::find(seen.begin(), seen.end(), I) != seen.end()) return;
        seen.push_back(I);
        const TLine& l = D.Lines[I];
        // Faint lines (wood grain, soft reflections) weigh less than joints.
        inside += lengthInside(l.at(l.T0), l.at(l.T1), middle) *
                  std::min(1.0, l.Contrast / kClearContrast);
    });
    const double size = std::sqrt(kMiddleShare * kMiddleShare * Q.Area);
    return inside > kMaxInsideEdges * size;
}

} // namespace

std::optional<TQuadTry> chooseOpening(const TFeatureData& Data,
                                      const std::vector<TQuadTry>& Tries) {
    std::vector<int> wall(Tries.size(), -1); // -1 not yet looked at, else 0 / 1
    const auto isWall = [&](std::size_t I) {
        if (wall[I] < 0) wall[I] = wallInside(Data, Tries[I]) ? 1 : 0;
        return wall[I] == 1;
    };
    const auto clearer = [&](std::size_t A, std::size_t B) {
        const TQuadTry &a = Tries[A], &b = Tries[B];
        return a.Clarity != b.Clarity ? a.Clarity > b.Clarity : a.Area < b.Area;
    };
    std::vector<std::size_t> order(Tries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), clearer);
    const auto first =
        std::find_if(order.begin(), order.end(), [&](std::size_t I) { return !isWall(I); });
    if (first == order.end()) return std::nullopt;
    std::size_t chosen = *first;
    const auto completer = [&](std::size_t A, std::size_t B) {
        const TQuadTry &a = Tries[A], &b = Tries[B];
        if (std::abs(a.Completeness - b.Completeness) > kSameCompleteness)
            return a.Completeness > b.Completeness;
        return a.Clarity > b.Clarity;
    };
    // Out from the clearest quad, as long as one encloses it closely and is as completely
    // seen: a click on the glass or in a pane fits the whole opening, however faint the
    // frame's outline against the wall next to the glass's.
    for (bool grown = true; grown;) {
        grown = false;
        std::optional<std::size_t> next;
        for (std::size_t i = 0; i < Tries.size(); ++i) {
            const TQuadTry& q = Tries[i];
            if (!enclosesClosely(q, Tries[chosen]) ||
                q.Area > kMaxOpeningGrowth * Tries[chosen].Area ||
                q.Completeness < kOpeningCompleteness)
                continue;
            if ((!next || completer(i, *next)) && !isWall(i)) next = i;
        }
        if (next) {
            chosen = *next;
            grown = true;
        }
    }
    return Tries[chosen];
}

} // namespace schauplatz::placementaid::detail
