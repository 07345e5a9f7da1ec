#include "placementaid/FeatureData.h"
#include "placementaid/Geometry.h"
#include "placementaid/PlacementAid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace schauplatz::placementaid {

namespace {

using detail::TFeatureData;
using detail::TLine;

// Radii beyond this are clamped: a query stays a look at a few grid cells.
constexpr double kMaxRadius = 64.0;
// A corner weaker than this is texture (a short or faint edge), not a place to snap to.
constexpr float kMinSnapStrength = 0.15f;
// Corners at least this much weaker than the strongest one in reach do not compete with it;
// those nearly as strong compete by distance.
constexpr float kClearlyStronger = 1.5f;
constexpr double kMinCrossingSine = 0.42; // 25 degrees
constexpr double kCrossingReach = 2.0;    // how far past its seen end an edge may be met

std::optional<TPointD> snapToCorner(const TFeatureData& D, TPointD P, double Radius,
                                    const std::optional<TPointD>& Inward) {
    if (Radius <= 0.0) return std::nullopt;
    const auto strengthOf = [&](const detail::TCorner& C) {
        return Inward ? C.strengthToward(*Inward) : C.Strength;
    };
    float strongest = 0.0f;
    D.CornerCells.visit(P, Radius, [&](std::uint32_t I) {
        const auto& c = D.Corners[I];
        if (detail::distance(c.Position, P) <= Radius)
            strongest = std::max(strongest, strengthOf(c));
    });
    if (strongest < kMinSnapStrength) return std::nullopt;
    std::optional<TPointD> best;
    double bestDistance = std::numeric_limits<double>::max();
    D.CornerCells.visit(P, Radius, [&](std::uint32_t I) {
        const auto& c = D.Corners[I];
        const double d = detail::distance(c.Position, P);
        if (d <= Radius && strengthOf(c) * kClearlyStronger >= strongest && d < bestDistance) {
            bestDistance = d;
            best = c.Position;
        }
    });
    return best;
}

bool withinExtent(const TLine& L, TPointD P) {
    const double t = L.project(P);
    return t >= L.T0 - kCrossingReach && t <= L.T1 + kCrossingReach;
}

TSnapResult snapToEdge(const TFeatureData& D, TPointD P, double Radius) {
    if (Radius <= 0.0) return {};
    std::vector<std::uint32_t> near;
    D.LineCells.visit(P, Radius, [&](std::uint32_t I) {
        if (std::find(near.begin(), near.end(), I) == near.end() &&
            detail::distance(D.Lines[I].nearestPoint(P), P) <= Radius)
            near.push_back(I);
    });
    TSnapResult out;
    double bestCrossing = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < near.size(); ++i)
        for (std::size_t j = i + 1; j < near.size(); ++j) {
            const TLine& a = D.Lines[near[i]];
            const TLine& b = D.Lines[near[j]];
            if (detail::sineBetween(a.Dir, b.Dir) < kMinCrossingSine) continue;
            const auto meet = detail::intersect(a.Origin, a.Dir, b.Origin, b.Dir);
            if (!meet || !withinExtent(a, *meet) || !withinExtent(b, *meet)) continue;
            const double d = detail::distance(*meet, P);
            if (d <= Radius && d < bestCrossing) {
                bestCrossing = d;
                out = {TSnapKind::EdgeCrossing, detail::roundPoint(*meet), *meet};
            }
        }
    if (out.Kind != TSnapKind::None) return out;
    double bestDistance = std::numeric_limits<double>::max();
    for (std::uint32_t i : near) {
        const TPointD q = D.Lines[i].nearestPoint(P);
        const double d = detail::distance(q, P);
        if (d < bestDistance) {
            bestDistance = d;
            out = {TSnapKind::Edge, detail::roundPoint(q), q};
        }
    }
    return out;
}

} // namespace

namespace detail {

double usableRadius(double R) {
    if (std::isnan(R)) return 0.0;
    return std::clamp(R, 0.0, kMaxRadius);
}

} // namespace detail

std::optional<TPointD> inwardDirection(const TQuad& Quad, std::size_t Vertex) {
    if (Vertex >= Quad.size()) return std::nullopt;
    TPointD middle{};
    for (std::size_t i = 0; i < Quad.size(); ++i)
        if (i != Vertex)
            middle = middle + (1.0 / 3.0) * TPointD{double(Quad[i].X), double(Quad[i].Y)};
    const TPointD d = middle - TPointD{double(Quad[Vertex].X), double(Quad[Vertex].Y)};
    const double length = detail::norm(d);
    if (!(length > 1e-9)) return std::nullopt;
    return (1.0 / length) * d;
}

TSnapResult TFacadeFeatures::snap(TPointD Pointer, TSnapRadii Radii,
                                  std::optional<TPointD> Inward) const {
    const TSnapResult none{TSnapKind::None, detail::roundPoint(Pointer), Pointer};
    if (!std::isfinite(Pointer.X) || !std::isfinite(Pointer.Y)) return none;
    if (Inward &&
        !(std::isfinite(Inward->X) && std::isfinite(Inward->Y) && detail::norm(*Inward) > 1e-9))
        Inward.reset();
    if (const auto corner =
            snapToCorner(*m_data, Pointer, detail::usableRadius(Radii.Corner), Inward))
        return {TSnapKind::Corner, detail::roundPoint(*corner), *corner};
    const TSnapResult edge = snapToEdge(*m_data, Pointer, detail::usableRadius(Radii.Edge));
    return edge.Kind == TSnapKind::None ? none : edge;
}

} // namespace schauplatz::placementaid
