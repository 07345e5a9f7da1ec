#include "placementaid/EdgeChains.h"

#include <array>
#include <cmath>
#include <utility>

namespace schauplatz::placementaid::detail {

namespace {

// Straight neighbours first, so a chain keeps to a thin line instead of cutting corners.
constexpr std::array<std::pair<int, int>, 8> kNeighbours{
    {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {1, 1}, {-1, 1}, {-1, -1}, {1, -1}}};
constexpr double kStraightTolerance = 1.5;
constexpr std::uint8_t kVisited = 2;

// Gradients within about 45 degrees of each other: cosine squared at least 49 / 100.
constexpr std::int64_t kLinkCosineNum = 49;
constexpr std::int64_t kLinkCosineDen = 100;

class TChainLinker {
public:
    TChainLinker(const TGradientPlanes& G, const std::vector<std::uint8_t>& Edges)
        : m_g(G), m_width(G.Width), m_height(G.Height), m_marks(Edges.size()) {
        for (std::size_t i = 0; i < Edges.size(); ++i)
            m_marks[i] = Edges[i] != 0 ? 1 : 0;
    }

    bool isOpen(std::int32_t X, std::int32_t Y) const {
        return X >= 0 && Y >= 0 && X < m_width && Y < m_height && mark(X, Y) == 1;
    }
    int openNeighbours(std::int32_t X, std::int32_t Y) const {
        int n = 0;
        for (auto [dx, dy] : kNeighbours)
            n += isOpen(X + dx, Y + dy) ? 1 : 0;
        return n;
    }
    std::vector<TEdgePixel> trace(std::int32_t X, std::int32_t Y) {
        std::vector<TEdgePixel> chain{{X, Y}};
        setMark(X, Y, kVisited);
        for (bool moved = true; moved;) {
            moved = false;
            for (auto [dx, dy] : kNeighbours) {
                if (!isOpen(X + dx, Y + dy) || !alike(X, Y, X + dx, Y + dy)) continue;
                X += dx;
                Y += dy;
                chain.push_back({X, Y});
                setMark(X, Y, kVisited);
                moved = true;
                break;
            }
        }
        return chain;
    }

private:
    bool alike(std::int32_t X, std::int32_t Y, std::int32_t U, std::int32_t V) const {
        const std::size_t a = static_cast<std::size_t>(Y) * m_width + X;
        const std::size_t b = static_cast<std::size_t>(V) * m_width + U;
        const std::int64_t ax = m_g.G[a].X, ay = m_g.G[a].Y, bx = m_g.G[b].X, by = m_g.G[b].Y;
        const std::int64_t dot = ax * bx + ay * by;
        // dot >= cos * |a| * |b|, squared; whole numbers, exact.
        return dot >= 0 && dot * dot * kLinkCosineDen >=
                               kLinkCosineNum * (ax * ax + ay * ay) * (bx * bx + by * by);
    }
    std::uint8_t mark(std::int32_t X, std::int32_t Y) const {
        return m_marks[static_cast<std::size_t>(Y) * m_width + X];
    }
    void setMark(std::int32_t X, std::int32_t Y, std::uint8_t V) {
        m_marks[static_cast<std::size_t>(Y) * m_width + X] = V;
    }

    const TGradientPlanes& m_g;
    std::int32_t m_width;
    std::int32_t m_height;
    std::vector<std::uint8_t> m_marks;
};

// Douglas-Peucker: cuts the chain where it leaves the chord, keeps the long straight runs.
void splitStraight(const std::vector<TEdgePixel>& Chain, double MinLength,
                   std::vector<TEdgePiece>& Out) {
    std::vector<std::pair<std::size_t, std::size_t>> stack{{0, Chain.size() - 1}};
    while (!stack.empty()) {
        const auto [a, b] = stack.back();
        stack.pop_back();
        // Too few pixels for a piece, however they lie (a closed loop has a short chord, so
        // the count decides).
        if (static_cast<double>(b - a + 1) < MinLength) continue;
        // Distances to the chord, times its length (a closed loop: to its end point).
        const std::int64_t dx = Chain[b].X - Chain[a].X, dy = Chain[b].Y - Chain[a].Y;
        const double chord = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
        std::size_t worst = a;
        double worstDistance = 0.0;
        for (std::size_t i = a + 1; i < b; ++i) {
            const std::int64_t px = Chain[i].X - Chain[a].X, py = Chain[i].Y - Chain[a].Y;
            const double d = chord < 1.0
                                 ? std::hypot(static_cast<double>(px), static_cast<double>(py))
                                 : std::abs(static_cast<double>(px * dy - py * dx)) / chord;
            if (d > worstDistance) {
                worstDistance = d;
                worst = i;
            }
        }
        if (worstDistance <= kStraightTolerance) {
            if (std::hypot(Chain[b].X - Chain[a].X, Chain[b].Y - Chain[a].Y) < MinLength) continue;
            Out.emplace_back(Chain.begin() + static_cast<std::ptrdiff_t>(a),
                             Chain.begin() + static_cast<std::ptrdiff_t>(b) + 1);
            continue;
        }
        stack.push_back({a, worst});
        stack.push_back({worst, b});
    }
}

} // namespace

std::vector<TEdgePiece> findStraightPieces(const TGradientPlanes& Gradient,
                                           const std::vector<std::uint8_t>& Edges, double MinLength,
                                           const std::stop_token& Stop) {
    std::vector<TEdgePiece> pieces;
    const std::int32_t width = Gradient.Width;
    TChainLinker linker(Gradient, Edges);
    // Chains start at their ends first, so a line is traced from one end to the other; what is
    // left (closed loops) starts anywhere.
    std::vector<std::uint32_t> edgePixels;
    for (std::size_t i = 0; i < Edges.size(); ++i)
        if (Edges[i] != 0) edgePixels.push_back(static_cast<std::uint32_t>(i));
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t n = 0; n < edgePixels.size(); ++n) {
            if ((n & 4095) == 0 && Stop.stop_requested()) return pieces;
            const auto x =
                static_cast<std::int32_t>(edgePixels[n] % static_cast<std::uint32_t>(width));
            const auto y =
                static_cast<std::int32_t>(edgePixels[n] / static_cast<std::uint32_t>(width));
            if (!linker.isOpen(x, y)) continue;
            if (pass == 0 && linker.openNeighbours(x, y) > 1) continue;
            const std::vector<TEdgePixel> chain = linker.trace(x, y);
            if (chain.size() >= 2) splitStraight(chain, MinLength, pieces);
        }
    }
    return pieces;
}

} // namespace schauplatz::placementaid::detail
