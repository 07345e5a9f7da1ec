#include "placementaid/CornerFinding.h"

#include "placementaid/Geometry.h"

#include <algorithm>
#include <cmath>

namespace schauplatz::placementaid::detail {

namespace {

constexpr double kMinCornerSine = 0.42; // 25 degrees between the edges
constexpr double kReach = 6.0;          // how far short of the meeting point an edge may end
constexpr double kMinArm = 4.0;         // pixels: shorter is no arm
constexpr double kSameCorner = 1.5;
constexpr float kMinStrength = 0.02f;

double clearness(double Value, double Full) {
    return std::min(1.0, Value / Full);
}

void addArms(const TLine& L, double T, TCorner& C) {
    const double reaches[2] = {L.T1 - T, T - L.T0};
    const TPointD dirs[2] = {L.Dir, -1.0 * L.Dir};
    for (int i = 0; i < 2; ++i)
        if (reaches[i] >= kMinArm && C.ArmCount < C.Arms.size())
            C.Arms[C.ArmCount++] = {dirs[i], static_cast<float>(reaches[i] * L.Solidity),
                                    L.Contrast};
}

double angleOf(TPointD D) {
    return std::atan2(D.Y, D.X);
}

// At most four arms: a plain insertion sort.
void sortByAngle(TCorner& C) {
    for (std::uint8_t i = 1; i < C.ArmCount; ++i)
        for (std::uint8_t j = i; j > 0 && angleOf(C.Arms[j].Dir) < angleOf(C.Arms[j - 1].Dir); --j)
            std::swap(C.Arms[j], C.Arms[j - 1]);
}

void cornersAtEnd(const std::vector<TLine>& Lines, const TCellGrid& Cells, std::uint32_t A,
                  TPointD End, std::vector<TCorner>& Out) {
    const TLine& a = Lines[A];
    Cells.visit(End, kReach, [&](std::uint32_t B) {
        if (B == A) return; // a pair met from both lines' ends is one corner, kept once
        const TLine& b = Lines[B];
        if (sineBetween(a.Dir, b.Dir) < kMinCornerSine) return;
        const auto meet = intersect(a.Origin, a.Dir, b.Origin, b.Dir);
        if (!meet) return;
        const double ta = a.project(*meet), tb = b.project(*meet);
        if (ta < a.T0 - kReach || ta > a.T1 + kReach || tb < b.T0 - kReach || tb > b.T1 + kReach)
            return;
        // At least one of the two must end at the meeting point: crossings are no corners.
        const bool aEnds = std::min(std::abs(ta - a.T0), std::abs(ta - a.T1)) <= kReach;
        const bool bEnds = std::min(std::abs(tb - b.T0), std::abs(tb - b.T1)) <= kReach;
        if (!aEnds && !bEnds) return;
        TCorner c;
        c.Position = *meet;
        addArms(a, ta, c);
        addArms(b, tb, c);
        sortByAngle(c);
        c.Strength = c.strongestQuarter();
        if (c.Strength >= kMinStrength) Out.push_back(c);
    });
}

// As clear as the fainter arm and as long as the shorter one: where a short joint meets a long
// edge it is brick, where two long edges meet it is an opening's corner.
float quarterStrength(const TCornerArm& A, const TCornerArm& B) {
    return static_cast<float>(clearness(std::min(A.Contrast, B.Contrast), kClearContrast) *
                              clearness(std::min(A.Reach, B.Reach), kClearArm));
}

} // namespace

float TCorner::strengthToward(TPointD Inward) const {
    for (std::uint8_t i = 0; i < ArmCount; ++i) {
        const TCornerArm& a = Arms[i];
        const TCornerArm& b = Arms[(i + 1) % ArmCount];
        // Neighbours in angle order: the quarter from a to b, less than a half turn wide.
        if (cross(a.Dir, b.Dir) <= 0.0) continue;
        if (cross(a.Dir, Inward) > 0.0 && cross(Inward, b.Dir) > 0.0) return quarterStrength(a, b);
    }
    return 0.0f;
}

float TCorner::strongestQuarter() const {
    float best = 0.0f;
    for (std::uint8_t i = 0; i < ArmCount; ++i) {
        const TCornerArm& a = Arms[i];
        const TCornerArm& b = Arms[(i + 1) % ArmCount];
        if (cross(a.Dir, b.Dir) > 0.0) best = std::max(best, quarterStrength(a, b));
    }
    return best;
}

namespace {

// Of corners closer than kSameCorner the strongest stays.
std::vector<TCorner> withoutDuplicates(std::int32_t Width, std::int32_t Height,
                                       std::vector<TCorner> Corners) {
    std::stable_sort(Corners.begin(), Corners.end(),
                     [](const TCorner& A, const TCorner& B) { return A.Strength > B.Strength; });
    std::vector<TCorner> kept;
    TCellGrid cells(Width, Height, 8);
    for (const TCorner& c : Corners) {
        bool near = false;
        cells.visit(c.Position, kSameCorner, [&](std::uint32_t K) {
            near = near || distance(kept[K].Position, c.Position) < kSameCorner;
        });
        if (near) continue;
        cells.add(static_cast<std::int32_t>(std::floor(c.Position.X / 8)),
                  static_cast<std::int32_t>(std::floor(c.Position.Y / 8)),
                  static_cast<std::uint32_t>(kept.size()));
        kept.push_back(c);
    }
    return kept;
}

} // namespace

std::vector<TCorner> findCorners(std::int32_t Width, std::int32_t Height,
                                 const std::vector<TLine>& Lines, const TCellGrid& LineCells) {
    std::vector<TCorner> found;
    for (std::uint32_t a = 0; a < Lines.size(); ++a) {
        cornersAtEnd(Lines, LineCells, a, Lines[a].at(Lines[a].T0), found);
        cornersAtEnd(Lines, LineCells, a, Lines[a].at(Lines[a].T1), found);
    }
    std::vector<TCorner> inside;
    for (const TCorner& c : found)
        if (c.Position.X >= 0 && c.Position.Y >= 0 && c.Position.X <= Width &&
            c.Position.Y <= Height)
            inside.push_back(c);
    return withoutDuplicates(Width, Height, std::move(inside));
}

} // namespace schauplatz::placementaid::detail
