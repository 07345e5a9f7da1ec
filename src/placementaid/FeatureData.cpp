#include "placementaid/FeatureData.h"

#include <algorithm>
#include <cmath>

namespace schauplatz::placementaid::detail {

TPoint roundPoint(TPointD P) {
    // Saturates instead of overflowing; NaN gives 0.
    const auto round = [](double V) {
        if (!(V == V)) return std::int32_t{0};
        const double r = std::nearbyint(std::clamp(V, -2147483648.0, 2147483647.0));
        return static_cast<std::int32_t>(r);
    };
    return TPoint{round(P.X), round(P.Y)};
}

TPointD TGradientPlanes::at(TPointD P) const {
    // Values sit at pixel centres (x + 0.5, y + 0.5).
    const double u = P.X - 0.5, v = P.Y - 0.5;
    if (!(u >= 0.0 && v >= 0.0 && u <= Width - 1 && v <= Height - 1)) return {};
    const auto x0 = std::min(static_cast<std::int32_t>(u), Width - 2 < 0 ? 0 : Width - 2);
    const auto y0 = std::min(static_cast<std::int32_t>(v), Height - 2 < 0 ? 0 : Height - 2);
    const std::int32_t x1 = std::min(x0 + 1, Width - 1), y1 = std::min(y0 + 1, Height - 1);
    const double fx = u - x0, fy = v - y0;
    const auto row0 = static_cast<std::size_t>(y0) * Width;
    const auto row1 = static_cast<std::size_t>(y1) * Width;
    const TGrad a = G[row0 + x0], b = G[row0 + x1], c = G[row1 + x0], d = G[row1 + x1];
    const auto mix = [fx, fy](double A, double B, double C, double D) {
        return (A + (B - A) * fx) * (1.0 - fy) + (C + (D - C) * fx) * fy;
    };
    return {mix(a.X, b.X, c.X, d.X), mix(a.Y, b.Y, c.Y, d.Y)};
}

TPointD TLine::nearestPoint(TPointD P) const {
    return at(std::clamp(project(P), T0, T1));
}

TCellGrid::TCellGrid(std::int32_t Width, std::int32_t Height, std::int32_t CellSize)
    : m_cellSize(std::max(CellSize, 1)),
      m_columns((std::max(Width, 1) + m_cellSize - 1) / m_cellSize),
      m_rows((std::max(Height, 1) + m_cellSize - 1) / m_cellSize),
      m_cells(static_cast<std::size_t>(m_columns) * static_cast<std::size_t>(m_rows)) {}

void TCellGrid::add(std::int32_t CellX, std::int32_t CellY, std::uint32_t Item) {
    if (CellX < 0 || CellY < 0 || CellX >= m_columns || CellY >= m_rows) return;
    auto& cell = m_cells[static_cast<std::size_t>(CellY) * m_columns + CellX];
    if (cell.empty() || cell.back() != Item) cell.push_back(Item);
}

namespace {
constexpr std::int32_t kGridCell = 16;
}

TCellGrid makeLineGrid(std::int32_t Width, std::int32_t Height, const std::vector<TLine>& Lines) {
    TCellGrid grid(Width, Height, kGridCell);
    const double step = kGridCell / 4.0;
    for (std::uint32_t i = 0; i < Lines.size(); ++i) {
        const TLine& line = Lines[i];
        const auto count = static_cast<std::int32_t>(std::ceil(line.length() / step));
        for (std::int32_t k = 0; k <= count; ++k) {
            const TPointD p = line.at(std::min(line.T0 + k * step, line.T1));
            grid.add(static_cast<std::int32_t>(std::floor(p.X / kGridCell)),
                     static_cast<std::int32_t>(std::floor(p.Y / kGridCell)), i);
        }
    }
    return grid;
}

TCellGrid makeCornerGrid(std::int32_t Width, std::int32_t Height,
                         const std::vector<TCorner>& Corners) {
    TCellGrid grid(Width, Height, kGridCell);
    for (std::uint32_t i = 0; i < Corners.size(); ++i) {
        const TPointD p = Corners[i].Position;
        grid.add(static_cast<std::int32_t>(std::floor(p.X / kGridCell)),
                 static_cast<std::int32_t>(std::floor(p.Y / kGridCell)), i);
    }
    return grid;
}

} // namespace schauplatz::placementaid::detail
