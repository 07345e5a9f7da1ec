#include "placementaid/Geometry.h"
#include "placementaid/LineFitting.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace schauplatz::placementaid::detail {

namespace {

constexpr double kJoinAngle = 0.026;    // sine of 1.5 degrees between long pieces
constexpr double kJoinAngleShort = 0.1; // sine of about 6 degrees, for very short pieces
constexpr double kJoinOffset = 1.0;     // pixels across
constexpr double kJoinGap = 10.0;       // pixels along

class TUnionFind {
public:
    explicit TUnionFind(std::size_t N) : m_parent(N) {
        std::iota(m_parent.begin(), m_parent.end(), std::size_t{0});
    }
    std::size_t find(std::size_t I) {
        while (m_parent[I] != I)
            I = m_parent[I] = m_parent[m_parent[I]];
        return I;
    }
    void join(std::size_t A, std::size_t B) { m_parent[find(A)] = find(B); }

private:
    std::vector<std::size_t> m_parent;
};

// Whether the shorter line continues the longer one: its ends lie on the longer line, its
// direction agrees as well as its length allows, and no more than a small gap lies between.
bool continues(const TLine& A, const TLine& B) {
    if (A.Polarity * dot(A.normal(), B.normal()) * B.Polarity < 0.0) return false;
    const TLine& lng = A.length() >= B.length() ? A : B;
    const TLine& shrt = &lng == &A ? B : A;
    const double allowed =
        std::clamp(2.0 * kJoinOffset / std::max(shrt.length(), 1.0), kJoinAngle, kJoinAngleShort);
    if (sineBetween(lng.Dir, shrt.Dir) > allowed) return false;
    if (std::abs(lng.offset(shrt.at(shrt.T0))) > kJoinOffset ||
        std::abs(lng.offset(shrt.at(shrt.T1))) > kJoinOffset)
        return false;
    double s0 = lng.project(shrt.at(shrt.T0)), s1 = lng.project(shrt.at(shrt.T1));
    if (s0 > s1) std::swap(s0, s1);
    return std::max(lng.T0, s0) - std::min(lng.T1, s1) <= kJoinGap;
}

// One line of the group's pieces; nothing when together they are not straight. The pieces'
// moments add up (an edge found twice weighs double, which leaves the line where it is).
std::optional<TFittedLine> joined(const std::vector<TFittedLine>& Lines,
                                  const std::vector<std::size_t>& Members) {
    if (Members.size() == 1) return Lines[Members.front()];
    TFittedLine out;
    double contrast = 0.0, polarity = 0.0;
    for (std::size_t i : Members) {
        out.Moments.add(Lines[i].Moments);
        out.Support += Lines[i].Support;
        contrast += Lines[i].Support * Lines[i].Line.Contrast;
    }
    const TAxis axis = principalAxis(out.Moments);
    if (axis.Spread > kMaxLineResidual) return std::nullopt;
    TLine& line = out.Line;
    line.Origin = axis.Origin;
    line.Dir = axis.Dir;
    line.T0 = std::numeric_limits<double>::max();
    line.T1 = std::numeric_limits<double>::lowest();
    for (std::size_t i : Members) {
        const TLine& m = Lines[i].Line;
        for (double t : {m.T0, m.T1}) {
            line.T0 = std::min(line.T0, line.project(m.at(t)));
            line.T1 = std::max(line.T1, line.project(m.at(t)));
        }
        polarity += Lines[i].Support * m.Polarity * dot(m.normal(), line.normal());
    }
    line.Contrast = static_cast<float>(contrast / out.Support);
    line.Polarity = polarity >= 0.0 ? 1 : -1;
    return out;
}

} // namespace

std::vector<TFittedLine> joinCollinear(std::vector<TFittedLine> Lines, std::int32_t Width,
                                       std::int32_t Height, const std::stop_token& Stop) {
    std::vector<TLine> plain;
    plain.reserve(Lines.size());
    for (const TFittedLine& l : Lines)
        plain.push_back(l.Line);
    const TCellGrid cells = makeLineGrid(Width, Height, plain);
    TUnionFind groups(Lines.size());
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        if ((i & 1023) == 0 && Stop.stop_requested()) return {};
        const TLine& a = plain[i];
        for (const TPointD end : {a.at(a.T0), a.at(a.T1)})
            cells.visit(end, kJoinGap, [&](std::uint32_t J) {
                if (J != i && continues(a, plain[J])) groups.join(i, J);
            });
    }
    // Lines grouped by their group's root, each group in one run.
    std::vector<std::pair<std::size_t, std::size_t>> byRoot(Lines.size());
    for (std::size_t i = 0; i < Lines.size(); ++i)
        byRoot[i] = {groups.find(i), i};
    std::sort(byRoot.begin(), byRoot.end());
    std::vector<TFittedLine> out;
    out.reserve(Lines.size());
    std::vector<std::size_t> group;
    for (std::size_t begin = 0; begin < byRoot.size();) {
        std::size_t end = begin;
        group.clear();
        while (end < byRoot.size() && byRoot[end].first == byRoot[begin].first)
            group.push_back(byRoot[end++].second);
        begin = end;
        if (auto line = joined(Lines, group)) {
            out.push_back(std::move(*line));
            continue;
        }
        // Pieces that do not make one straight line together stay apart.
        for (std::size_t i : group)
            out.push_back(Lines[i]);
    }
    // Longest first, in an order that does not depend on how the pieces were found.
    std::sort(out.begin(), out.end(), [](const TFittedLine& A, const TFittedLine& B) {
        if (A.Line.length() != B.Line.length()) return A.Line.length() > B.Line.length();
        if (A.Line.Origin.Y != B.Line.Origin.Y) return A.Line.Origin.Y < B.Line.Origin.Y;
        return A.Line.Origin.X < B.Line.Origin.X;
    });
    return out;
}

} // namespace schauplatz::placementaid::detail
