#include "placementaid/LineFitting.h"

#include "placementaid/Geometry.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace schauplatz::placementaid::detail {
namespace {

constexpr double kAlignment = 0.8;    // share of the gradient that must cross the line
constexpr double kMinSeenShare = 0.6; // of the piece's length
constexpr std::size_t kMinPoints = 8;
constexpr int kProfileReach = 2; // pixels either side of the first guess
// Pixels without crest that growing steps over (where a joint meets or runs along a frame):
// a share of the length seen so far, within bounds.
constexpr double kGrowGapShare = 0.4;
constexpr double kMinGrowGap = 8.0;
constexpr double kMaxGrowGap = 24.0;
constexpr double kGrowOffset = 0.8; // pixels a grown crest point may lie off the line
constexpr double kGrowReach = 1.6;  // pixels off the line a crest still continues it
constexpr std::size_t kRefitEvery = 24;
constexpr std::int32_t kSolidityStride = 3;
constexpr double kSameEdgeSine = 0.05; // 3 degrees

struct TCrest {
    TPointD Point;
    double Strength = 0.0; // gradient across, in filter units
};

// Finds the gradient's crest across a line one pixel row (for steep lines) or column (for flat
// ones) at a time, from the whole pixels around the line and a parabola through the top three:
// along a row the profile across a straight edge is as symmetric as along its normal, and whole
// pixels need no interpolation.
class TCrestFinder {
public:
    TCrestFinder(const TGradientPlanes& G, double MinStrength)
        : m_g(G), m_minStrength(MinStrength) {}

    // Major axis: x for lines flatter than 45 degrees, y for steeper ones.
    static bool flat(const TLine& L) { return std::abs(L.Dir.X) >= std::abs(L.Dir.Y); }
    static double majorOf(const TLine& L, TPointD P) { return flat(L) ? P.X : P.Y; }

    std::optional<TCrest> at(const TLine& L, int Polarity, std::int32_t K) const {
        const bool isFlat = flat(L);
        const double major = K + 0.5;
        const double minor = isFlat ? L.Origin.Y + (major - L.Origin.X) * L.Dir.Y / L.Dir.X
                                    : L.Origin.X + (major - L.Origin.Y) * L.Dir.X / L.Dir.Y;
        const auto centre = static_cast<std::int32_t>(std::floor(minor));
        const std::int32_t limit = isFlat ? m_g.Height : m_g.Width;
        if (K < 0 || K >= (isFlat ? m_g.Width : m_g.Height) || centre - kProfileReach < 0 ||
            centre + kProfileReach >= limit)
            return std::nullopt;
        const TPointD n = L.normal();
        std::array<double, 2 * kProfileReach + 1> across{};
        for (int j = -kProfileReach; j <= kProfileReach; ++j) {
            const std::size_t i = index(isFlat, K, centre + j);
            across[j + kProfileReach] = Polarity * (m_g.G[i].X * n.X + m_g.G[i].Y * n.Y);
        }
        const auto peak =
            static_cast<int>(std::max_element(across.begin(), across.end()) - across.begin());
        if (peak == 0 || peak == 2 * kProfileReach) return std::nullopt;
        const double y0 = across[peak];
        if (y0 < m_minStrength) return std::nullopt;
        const std::size_t top = index(isFlat, K, centre + peak - kProfileReach);
        const double gx = m_g.G[top].X, gy = m_g.G[top].Y;
        if (y0 * y0 < kAlignment * kAlignment * (gx * gx + gy * gy)) return std::nullopt;
        const double ym = across[peak - 1], yp = across[peak + 1];
        const double curvature = ym - 2.0 * y0 + yp;
        const double shift =
            curvature < 0.0 ? std::clamp(0.5 * (ym - yp) / curvature, -0.5, 0.5) : 0.0;
        const double crest = centre + peak - kProfileReach + 0.5 + shift;
        return TCrest{isFlat ? TPointD{major, crest} : TPointD{crest, major}, y0};
    }

private:
    std::size_t index(bool Flat, std::int32_t K, std::int32_t J) const {
        return Flat ? static_cast<std::size_t>(J) * m_g.Width + K
                    : static_cast<std::size_t>(K) * m_g.Width + J;
    }

    const TGradientPlanes& m_g;
    double m_minStrength;
};

int polarityAlong(const TGradientPlanes& G, const TEdgePiece& Piece, TPointD N) {
    double sum = 0.0;
    for (const TEdgePixel& p : Piece) {
        const std::size_t i = static_cast<std::size_t>(p.Y) * G.Width + p.X;
        sum += G.G[i].X * N.X + G.G[i].Y * N.Y;
    }
    return sum >= 0.0 ? 1 : -1;
}

TLine lineOf(const TAxis& Axis) {
    TLine line;
    line.Origin = Axis.Origin;
    line.Dir = Axis.Dir;
    return line;
}

// Moves the line onto the moments' axis, keeping which side is brighter.
void refit(TFittedLine& L) {
    const TLine old = L.Line;
    const TAxis axis = principalAxis(L.Moments);
    L.Line.Origin = axis.Origin;
    L.Line.Dir = axis.Dir;
    if (dot(L.Line.normal(), old.normal()) < 0.0)
        L.Line.Polarity = static_cast<std::int8_t>(-old.Polarity);
    L.Line.T0 = L.Line.project(old.at(old.T0));
    L.Line.T1 = L.Line.project(old.at(old.T1));
    if (L.Line.T0 > L.Line.T1) std::swap(L.Line.T0, L.Line.T1);
}

// The pixel the line passes at major-axis pixel K.
std::pair<std::int32_t, std::int32_t> linePixel(const TLine& L, std::int32_t K) {
    const double major = K + 0.5;
    if (TCrestFinder::flat(L)) {
        const double y = L.Origin.Y + (major - L.Origin.X) * L.Dir.Y / L.Dir.X;
        return {K, static_cast<std::int32_t>(std::floor(y))};
    }
    const double x = L.Origin.X + (major - L.Origin.Y) * L.Dir.X / L.Dir.Y;
    return {static_cast<std::int32_t>(std::floor(x)), K};
}

// Whether line B runs along line A at A's point P, the same way bright to dark.
bool sameEdge(const TLine& A, const TLine& B, TPointD P) {
    return sineBetween(A.Dir, B.Dir) <= kSameEdgeSine && std::abs(B.offset(P)) <= kGrowOffset &&
           A.Polarity * B.Polarity * dot(A.normal(), B.normal()) > 0.0;
}

struct TGrowth {
    const TCrestFinder& Finder;
    std::vector<TFittedLine>& Lines;
    std::uint32_t Id;
    TLineOwners& Owners;
};

void growTowards(TGrowth& G, int Direction) {
    TFittedLine& L = G.Lines[G.Id];
    std::size_t sinceRefit = 0;
    int misses = 0;
    const double a = TCrestFinder::majorOf(L.Line, L.Line.at(L.Line.T0));
    const double b = TCrestFinder::majorOf(L.Line, L.Line.at(L.Line.T1));
    auto k = static_cast<std::int32_t>(std::floor(Direction > 0 ? std::max(a, b) : std::min(a, b)));
    while (misses <= std::clamp(kGrowGapShare * L.Line.length(), kMinGrowGap, kMaxGrowGap)) {
        k += Direction;
        // Outside the picture the finder always fails; the gap ends the walk there too.
        const auto crest = G.Finder.at(L.Line, L.Line.Polarity, k);
        const double off = crest ? std::abs(L.Line.offset(crest->Point)) : kGrowReach + 1.0;
        if (off > kGrowReach) {
            ++misses;
            continue;
        }
        const auto [px, py] = linePixel(L.Line, k);
        const std::uint32_t holder = G.Owners.owner(px, py);
        if (holder != 0 && holder - 1 != G.Id &&
            sameEdge(L.Line, G.Lines[holder - 1].Line,
                     L.Line.at(L.Line.project({px + 0.5, py + 0.5}))))
            break;
        // A crest a little off the line (where a joint runs along the edge for a stretch)
        // carries the walk on, but only crests on the line move it.
        misses = 0;
        if (off > kGrowOffset) continue;
        L.Moments.add(crest->Point, crest->Strength);
        L.Support += 1.0;
        const double t = L.Line.project(crest->Point);
        L.Line.T0 = std::min(L.Line.T0, t);
        L.Line.T1 = std::max(L.Line.T1, t);
        if (++sinceRefit == kRefitEvery) {
            refit(L);
            sinceRefit = 0;
        }
    }
}

} // namespace

void TLineMoments::add(TPointD P, double Weight) {
    W += Weight;
    X += Weight * P.X;
    Y += Weight * P.Y;
    XX += Weight * P.X * P.X;
    XY += Weight * P.X * P.Y;
    YY += Weight * P.Y * P.Y;
}

void TLineMoments::add(const TLineMoments& O) {
    W += O.W;
    X += O.X;
    Y += O.Y;
    XX += O.XX;
    XY += O.XY;
    YY += O.YY;
}

TAxis principalAxis(const TLineMoments& M) {
    const double mx = M.X / M.W, my = M.Y / M.W;
    const double cxx = M.XX / M.W - mx * mx, cyy = M.YY / M.W - my * my;
    const double cxy = M.XY / M.W - mx * my;
    const double angle = 0.5 * std::atan2(2.0 * cxy, cxx - cyy);
    TPointD dir{std::cos(angle), std::sin(angle)};
    if (dir.X < 0.0 || (dir.X == 0.0 && dir.Y < 0.0)) dir = -1.0 * dir;
    // The smaller eigenvalue of the scatter: the mean square distance across the axis.
    const double mean = 0.5 * (cxx + cyy);
    const double diff = std::sqrt(0.25 * (cxx - cyy) * (cxx - cyy) + cxy * cxy);
    return {{mx, my}, dir, std::sqrt(std::max(0.0, mean - diff))};
}

std::optional<TFittedLine> refinePiece(const TGradientPlanes& Gradient, const TEdgePiece& Piece,
                                       double MinContrast) {
    TLineMoments guess;
    for (const TEdgePixel& p : Piece)
        guess.add({p.X + 0.5, p.Y + 0.5}, 1.0);
    TLine first = lineOf(principalAxis(guess));
    first.Polarity = static_cast<std::int8_t>(polarityAlong(Gradient, Piece, first.normal()));
    const bool flat = TCrestFinder::flat(first);
    std::int32_t k0 = flat ? Piece.front().X : Piece.front().Y, k1 = k0;
    for (const TEdgePixel& p : Piece) {
        k0 = std::min(k0, flat ? p.X : p.Y);
        k1 = std::max(k1, flat ? p.X : p.Y);
    }

    const TCrestFinder finder(Gradient, MinContrast * kGradientPerGreyLevel);
    TFittedLine out;
    std::vector<TPointD> points;
    std::vector<double> strengths;
    points.reserve(static_cast<std::size_t>(k1 - k0 + 1));
    strengths.reserve(static_cast<std::size_t>(k1 - k0 + 1));
    for (std::int32_t k = k0; k <= k1; ++k) {
        const auto crest = finder.at(first, first.Polarity, k);
        if (!crest) continue;
        points.push_back(crest->Point);
        strengths.push_back(crest->Strength);
        out.Moments.add(crest->Point, crest->Strength);
    }
    if (points.size() < kMinPoints ||
        static_cast<double>(points.size()) < kMinSeenShare * (k1 - k0 + 1))
        return std::nullopt;
    const TAxis axis = principalAxis(out.Moments);
    if (axis.Spread > kMaxLineResidual) return std::nullopt;

    out.Line = lineOf(axis);
    out.Line.T0 = out.Line.T1 = out.Line.project(points.front());
    for (TPointD p : points) {
        out.Line.T0 = std::min(out.Line.T0, out.Line.project(p));
        out.Line.T1 = std::max(out.Line.T1, out.Line.project(p));
    }
    std::nth_element(strengths.begin(), strengths.begin() + strengths.size() / 2, strengths.end());
    out.Line.Contrast = static_cast<float>(strengths[strengths.size() / 2] / kGradientPerGreyLevel);
    out.Line.Polarity = static_cast<std::int8_t>(
        dot(out.Line.normal(), first.normal()) * first.Polarity >= 0 ? 1 : -1);
    out.Support = static_cast<double>(points.size());
    return out;
}

double measureSolidity(const TGradientPlanes& Gradient, const TLine& Line, double MinContrast) {
    const TCrestFinder finder(Gradient, MinContrast * kGradientPerGreyLevel);
    const double a = TCrestFinder::majorOf(Line, Line.at(Line.T0));
    const double b = TCrestFinder::majorOf(Line, Line.at(Line.T1));
    const auto k0 = static_cast<std::int32_t>(std::floor(std::min(a, b)));
    const auto k1 = static_cast<std::int32_t>(std::floor(std::max(a, b)));
    // Every few pixels is as good a measure and much cheaper on a wall full of long joints.
    std::int32_t seen = 0, looked = 0;
    for (std::int32_t k = k0; k <= k1; k += kSolidityStride, ++looked) {
        const auto crest = finder.at(Line, Line.Polarity, k);
        seen += crest && std::abs(Line.offset(crest->Point)) <= kGrowOffset ? 1 : 0;
    }
    return static_cast<double>(seen) / static_cast<double>(looked);
}

// Cells of 2 x 2 pixels: a quarter of the memory, and whether the owner runs along the same
// edge is decided by its offset anyway.
TLineOwners::TLineOwners(std::int32_t Width, std::int32_t Height)
    : m_width((Width + 1) / 2), m_height((Height + 1) / 2),
      m_owner(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), 0u) {}

std::uint32_t TLineOwners::owner(std::int32_t X, std::int32_t Y) const {
    if (X < 0 || Y < 0 || X / 2 >= m_width || Y / 2 >= m_height) return 0;
    return m_owner[static_cast<std::size_t>(Y / 2) * m_width + X / 2];
}

void TLineOwners::set(std::int32_t X, std::int32_t Y, std::uint32_t Id) {
    if (X < 0 || Y < 0 || X / 2 >= m_width || Y / 2 >= m_height) return;
    std::uint32_t& o = m_owner[static_cast<std::size_t>(Y / 2) * m_width + X / 2];
    if (o == 0) o = Id + 1;
}

void TLineOwners::claim(const TLine& Line, std::uint32_t Id) {
    const double a = TCrestFinder::majorOf(Line, Line.at(Line.T0));
    const double b = TCrestFinder::majorOf(Line, Line.at(Line.T1));
    const auto k0 = static_cast<std::int32_t>(std::floor(std::min(a, b)));
    const auto k1 = static_cast<std::int32_t>(std::floor(std::max(a, b)));
    for (std::int32_t k = k0; k <= k1; ++k) {
        const auto [x, y] = linePixel(Line, k);
        set(x, y, Id);
    }
}

void growLine(const TGradientPlanes& Gradient, std::vector<TFittedLine>& Lines, std::uint32_t Id,
              double MinContrast, TLineOwners& Owners) {
    const TCrestFinder finder(Gradient, MinContrast * kGradientPerGreyLevel);
    TGrowth growth{finder, Lines, Id, Owners};
    const TFittedLine before = Lines[Id];
    growTowards(growth, 1);
    growTowards(growth, -1);
    TFittedLine& line = Lines[Id];
    refit(line);
    // Growing must not bend the line: if the crest it followed was not straight, keep the line
    // as it was.
    if (principalAxis(line.Moments).Spread > kMaxLineResidual) line = before;
}

} // namespace schauplatz::placementaid::detail
