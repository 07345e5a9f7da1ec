// The one-click fit: around the click, the nearest lines on each side are the candidates for
// the opening's four sides; every combination is tried, measured against the picture's
// gradient, and the choice among the convincing ones is OpeningChoice's.
//
//            top candidates (nearest first)
//        ------------------------------
//   left |                            | right
//        |            x click         |
//        ------------------------------
//            bottom candidates

#include "placementaid/CornerFinding.h"
#include "placementaid/FeatureData.h"
#include "placementaid/Geometry.h"
#include "placementaid/OpeningChoice.h"
#include "placementaid/PlacementAid.h"
#include "placementaid/SideSupport.h"

#include <algorithm>
#include <cmath>

namespace schauplatz::placementaid {

namespace {

using detail::kBottom;
using detail::kLeft;
using detail::kRight;
using detail::kTop;
using detail::TFeatureData;
using detail::TLine;
using detail::TQuadTry;
using detail::TSideSeen;
using detail::TSideSupport;

constexpr std::size_t kCandidatesPerSide = 12;
constexpr double kMinSideLine = 16.0; // pixels: shorter lines cannot be a side
constexpr double kMinSide = 24.0;     // pixels: smaller quads are bricks, not openings
constexpr double kMaxTilt = 0.643;    // sine of 40 degrees off horizontal or vertical
// How far past its seen ends a line may pass the click and still bound it.
constexpr double kExtentShare = 0.1;
constexpr double kMaxExtentReach = 8.0;
constexpr double kMinClickDistance = 3.0;
constexpr double kSameEdgeDistance = 1.5;  // pixels: candidates this close in distance and
constexpr double kSameEdgeSine = 0.035;    // direction (2 degrees) are pieces of one edge
constexpr double kMaxReachShare = 0.6;     // of the picture's larger side
constexpr double kMaxCornerCosine = 0.643; // corners between 50 and 130 degrees
constexpr double kMaxAreaShare = 0.6;      // of the picture
constexpr double kMinCoverage = 0.85;      // of a side's length seen as edge
constexpr double kMinEndCoverage = 0.6;    // next to each corner
constexpr double kMinSideContrast = 6.0;   // grey levels
constexpr double kMaxCornerGap = 4.0;      // pixels
constexpr double kCornerGapPerRatio = 2.0; // more pixels per doubling of the other's contrast
constexpr double kMaxCornerGapCap = 7.0;

struct TCandidate {
    std::uint32_t Line;
    double Distance;
};

bool facesClick(const TLine& L, TPointD Click, std::size_t Side, double& Distance) {
    const bool across = Side == kTop || Side == kBottom;
    if ((across ? std::abs(L.Dir.Y) : std::abs(L.Dir.X)) > kMaxTilt) return false;
    if (L.length() < kMinSideLine) return false;
    const double t = L.project(Click);
    const double tolerance = std::min(kExtentShare * L.length(), kMaxExtentReach) + 2.0;
    if (t < L.T0 - tolerance || t > L.T1 + tolerance) return false;
    const TPointD toLine = L.at(t) - Click;
    Distance = detail::norm(toLine);
    if (Distance < kMinClickDistance) return false;
    switch (Side) {
    case kTop:
        return toLine.Y < 0.0;
    case kBottom:
        return toLine.Y > 0.0;
    case kLeft:
        return toLine.X < 0.0;
    default:
        return toLine.X > 0.0;
    }
}

std::vector<TCandidate> candidatesFor(const TFeatureData& D, TPointD Click, std::size_t Side) {
    std::vector<TCandidate> out;
    const double reach = kMaxReachShare * std::max(D.Width, D.Height);
    for (std::uint32_t i = 0; i < D.Lines.size(); ++i) {
        double distance = 0.0;
        if (facesClick(D.Lines[i], Click, Side, distance) && distance <= reach)
            out.push_back({i, distance});
    }
    std::sort(out.begin(), out.end(), [](const TCandidate& A, const TCandidate& B) {
        return A.Distance != B.Distance ? A.Distance < B.Distance : A.Line < B.Line;
    });
    // Pieces of one edge (broken where glass reflects or a bar meets it) are one candidate, the
    // longest: the side is measured along the line, not along the piece.
    std::vector<TCandidate> kept;
    for (const TCandidate& c : out) {
        const TLine& line = D.Lines[c.Line];
        const auto same = std::find_if(kept.begin(), kept.end(), [&](const TCandidate& K) {
            const TLine& k = D.Lines[K.Line];
            return std::abs(K.Distance - c.Distance) <= kSameEdgeDistance &&
                   detail::sineBetween(k.Dir, line.Dir) <= kSameEdgeSine;
        });
        if (same == kept.end()) {
            if (kept.size() == kCandidatesPerSide) break;
            kept.push_back(c);
        } else if (line.length() > D.Lines[same->Line].length()) {
            *same = c;
        }
    }
    return kept;
}

double quadArea(const std::array<TPointD, 4>& C) {
    double twice = 0.0;
    for (std::size_t i = 0; i < 4; ++i)
        twice += detail::cross(C[i], C[(i + 1) % 4]);
    return 0.5 * twice;
}

// Convex, clockwise on screen, around the click, with sides long enough and corners not too
// sharp, inside the picture.
bool plausibleShape(const std::array<TPointD, 4>& C, TPointD Click, const TFeatureData& D) {
    for (std::size_t i = 0; i < 4; ++i) {
        const TPointD a = C[i], b = C[(i + 1) % 4], c = C[(i + 2) % 4];
        const TPointD ab = b - a, bc = c - b;
        const double lab = detail::norm(ab), lbc = detail::norm(bc);
        if (lab < kMinSide) return false;
        if (detail::cross(ab, bc) <= 0.0 || detail::cross(ab, Click - a) <= 0.0) return false;
        if (std::abs(detail::dot(ab, bc)) > kMaxCornerCosine * lab * lbc) return false;
        if (a.X < -1.0 || a.Y < -1.0 || a.X > D.Width + 1.0 || a.Y > D.Height + 1.0) return false;
    }
    return quadArea(C) <= kMaxAreaShare * D.Width * D.Height;
}

// Each side's edge runs right up to both corners: a quad whose corner lies off the end of an
// edge is not this opening's outline. Blur takes a pixel or two at a corner, more from a faint
// side that meets a much stronger one (a frame's edge meeting the sill).
bool edgesReachCorners(const std::array<TSideSeen, 4>& Seen) {
    const auto allowed = [](double Own, double Other) {
        const double ratio = std::max(1.0, Other / std::max(Own, 1.0));
        return std::min(kMaxCornerGapCap, kMaxCornerGap + kCornerGapPerRatio * std::log2(ratio));
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const TSideSeen& before = Seen[(i + 3) % 4]; // ends at corner i
        const TSideSeen& after = Seen[i];            // starts at corner i
        if (before.GapAtB > allowed(before.Contrast, after.Contrast) ||
            after.GapAtA > allowed(after.Contrast, before.Contrast))
            return false;
    }
    return true;
}

bool convincing(const TSideSeen& S) {
    return S.Coverage >= kMinCoverage && S.EndCoverage >= kMinEndCoverage &&
           S.Contrast >= kMinSideContrast;
}

// All quads of the candidates. Corners depend on two sides' lines and a side's measure on
// three (its own and its two neighbours'), so both are kept and reused across the quads.
class TQuadSearch {
public:
    TQuadSearch(const TFeatureData& Data, TPointD Click) : m_data(Data), m_click(Click) {
        double farthest = 0.0;
        for (std::size_t s = 0; s < 4; ++s) {
            m_candidates[s] = candidatesFor(Data, Click, s);
            for (const TCandidate& c : m_candidates[s])
                farthest = std::max(farthest, c.Distance);
        }
        // Corners of quads around the click lie within this reach of it along any side.
        const double reach = 2.0 * farthest + kMinSide;
        for (std::size_t s = 0; s < 4; ++s)
            for (const TCandidate& c : m_candidates[s])
                m_support[s].push_back(detail::measureSide(Data, Data.Lines[c.Line], Click, reach));
    }

    bool empty() const {
        return std::any_of(m_candidates.begin(), m_candidates.end(),
                           [](const auto& C) { return C.empty(); });
    }

    std::vector<TQuadTry> allQuads() {
        for (std::size_t c = 0; c < 4; ++c) {
            const std::size_t before = m_candidates[(c + 3) % 4].size();
            const std::size_t after = m_candidates[c].size();
            m_corners[c].assign(before * after, std::nullopt);
            for (std::size_t i = 0; i < before; ++i)
                for (std::size_t j = 0; j < after; ++j)
                    m_corners[c][i * after + j] = corner(c, i, j);
        }
        std::vector<TQuadTry> tries;
        std::array<std::size_t, 4> pick{};
        for (pick[kTop] = 0; pick[kTop] < m_candidates[kTop].size(); ++pick[kTop])
            for (pick[kRight] = 0; pick[kRight] < m_candidates[kRight].size(); ++pick[kRight])
                for (pick[kBottom] = 0; pick[kBottom] < m_candidates[kBottom].size();
                     ++pick[kBottom])
                    for (pick[kLeft] = 0; pick[kLeft] < m_candidates[kLeft].size(); ++pick[kLeft])
                        if (auto q = tryQuad(pick)) tries.push_back(*q);
        return tries;
    }

private:
    // Corner c lies between side (c + 3) % 4 (candidate I) and side c (candidate J).
    std::optional<TPointD> corner(std::size_t C, std::size_t I, std::size_t J) const {
        const TLine& a = m_data.Lines[m_candidates[(C + 3) % 4][I].Line];
        const TLine& b = m_data.Lines[m_candidates[C][J].Line];
        return detail::intersect(a.Origin, a.Dir, b.Origin, b.Dir);
    }

    const TSideSeen& seen(std::size_t Side, const std::array<std::size_t, 4>& Pick,
                          const std::array<TPointD, 4>& Corners) {
        const std::size_t n = kCandidatesPerSide;
        const std::size_t key = (Pick[(Side + 3) % 4] * n + Pick[Side]) * n + Pick[(Side + 1) % 4];
        auto& cache = m_seen[Side];
        if (cache.empty()) cache.resize(n * n * n);
        auto& entry = cache[key];
        if (!entry)
            entry = m_support[Side][Pick[Side]].seen(Corners[Side], Corners[(Side + 1) % 4]);
        return *entry;
    }

    std::optional<TQuadTry> tryQuad(const std::array<std::size_t, 4>& Pick) {
        TQuadTry q;
        q.Pick = Pick;
        for (std::size_t c = 0; c < 4; ++c) {
            const auto& meet = m_corners[c][Pick[(c + 3) % 4] * m_candidates[c].size() + Pick[c]];
            if (!meet) return std::nullopt;
            q.Corners[c] = *meet;
        }
        if (!plausibleShape(q.Corners, m_click, m_data)) return std::nullopt;
        std::array<TSideSeen, 4> sides;
        q.Clarity = 1.0;
        for (std::size_t s = 0; s < 4; ++s) {
            sides[s] = seen(s, Pick, q.Corners);
            if (!convincing(sides[s])) return std::nullopt;
            q.Completeness = std::min(q.Completeness, sides[s].Coverage);
            q.Clarity =
                std::min(q.Clarity, sides[s].Coverage *
                                        std::min(1.0, sides[s].Contrast / detail::kClearContrast));
        }
        if (!edgesReachCorners(sides)) return std::nullopt;
        q.Area = quadArea(q.Corners);
        return q;
    }

    const TFeatureData& m_data;
    TPointD m_click;
    std::array<std::vector<TCandidate>, 4> m_candidates;
    std::array<std::vector<TSideSupport>, 4> m_support;
    std::array<std::vector<std::optional<TPointD>>, 4> m_corners;
    std::array<std::vector<std::optional<TSideSeen>>, 4> m_seen;
};

} // namespace

std::optional<TOpeningFit> TFacadeFeatures::fitOpening(TPointD Click) const {
    const TFeatureData& d = *m_data;
    if (!std::isfinite(Click.X) || !std::isfinite(Click.Y) || Click.X < 0.0 || Click.Y < 0.0 ||
        Click.X > d.Width || Click.Y > d.Height)
        return std::nullopt;
    TQuadSearch search(d, Click);
    if (search.empty()) return std::nullopt;
    const std::vector<TQuadTry> tries = search.allQuads();
    if (tries.empty()) return std::nullopt;
    const auto chosen = detail::chooseOpening(d, tries);
    if (!chosen) return std::nullopt;
    TOpeningFit fit;
    fit.Exact = chosen->Corners;
    for (std::size_t i = 0; i < 4; ++i)
        fit.Quad[i] = detail::roundPoint(chosen->Corners[i]);
    fit.Clarity = chosen->Clarity;
    return fit;
}

} // namespace schauplatz::placementaid
