#pragma once

// Small plane geometry on TPointD.

#include "placementaid/PlacementAid.h"

#include <cmath>
#include <optional>

namespace schauplatz::placementaid {

// Beside TPointD, so argument-dependent lookup finds them everywhere.
constexpr TPointD operator+(TPointD A, TPointD B) {
    return {A.X + B.X, A.Y + B.Y};
}
constexpr TPointD operator-(TPointD A, TPointD B) {
    return {A.X - B.X, A.Y - B.Y};
}
constexpr TPointD operator*(double S, TPointD A) {
    return {S * A.X, S * A.Y};
}

} // namespace schauplatz::placementaid

namespace schauplatz::placementaid::detail {

constexpr double dot(TPointD A, TPointD B) {
    return A.X * B.X + A.Y * B.Y;
}
constexpr double cross(TPointD A, TPointD B) {
    return A.X * B.Y - A.Y * B.X;
}
inline double norm(TPointD A) {
    return std::hypot(A.X, A.Y);
}
inline double distance(TPointD A, TPointD B) {
    return norm(A - B);
}

// Where the lines P + s * D and Q + t * E meet; nothing when they are (nearly) parallel.
inline std::optional<TPointD> intersect(TPointD P, TPointD D, TPointD Q, TPointD E) {
    const double det = cross(D, E);
    if (std::abs(det) < 1e-9) return std::nullopt;
    const double s = cross(Q - P, E) / det;
    return P + s * D;
}

// |sin| of the angle between two unit directions.
inline double sineBetween(TPointD D, TPointD E) {
    return std::abs(cross(D, E));
}

// Rounded to the nearest integer point, halves to even.
TPoint roundPoint(TPointD P);

} // namespace schauplatz::placementaid::detail
