#pragma once

// The inside of TFacadeFeatures: the gradient planes, the straight lines and the corners, and
// the grids that find them near a point. Plain data, built once by the extraction and then only
// read.

#include "placementaid/Geometry.h"
#include "placementaid/PlacementAid.h"

#include <array>
#include <cstdint>
#include <vector>

namespace schauplatz::placementaid::detail {

// Brightness gradient of the smoothed picture (3 x 3 Sobel after a Gaussian of sigma 1), one
// value per pixel, taken at the pixel's centre.
struct TGradientPlanes {
    // Both components side by side: walking down a steep line costs one cache line per row.
    struct TGrad {
        std::int16_t X = 0;
        std::int16_t Y = 0;
    };
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<TGrad> G; // rows top to bottom

    // Bilinear between pixel centres; 0 outside the picture.
    TPointD at(TPointD P) const;
};

// How strongly that filter answers a step of one grey level, at the step. Thresholds and
// contrasts are in grey levels and converted with it.
inline constexpr double kGradientPerGreyLevel = 3.28;

// A straight edge: Origin + t * Dir for t in [T0, T1]. The normal (-Dir.Y, Dir.X) points to
// the brighter side when Polarity is +1.
struct TLine {
    TPointD Origin;
    TPointD Dir;
    double T0 = 0.0;
    double T1 = 0.0;
    float Contrast = 0.0f; // grey levels
    float Solidity = 1.0f; // share of the extent where the edge is seen (joints in a row: half)
    std::int8_t Polarity = 1;

    TPointD at(double T) const { return {Origin.X + T * Dir.X, Origin.Y + T * Dir.Y}; }
    double project(TPointD P) const { return (P.X - Origin.X) * Dir.X + (P.Y - Origin.Y) * Dir.Y; }
    TPointD normal() const { return {-Dir.Y, Dir.X}; }
    // Signed distance along the normal.
    double offset(TPointD P) const { return (P.Y - Origin.Y) * Dir.X - (P.X - Origin.X) * Dir.Y; }
    double length() const { return T1 - T0; }
    // The nearest point of the seen extent.
    TPointD nearestPoint(TPointD P) const;
};

// One edge leaving a corner.
struct TCornerArm {
    TPointD Dir;           // unit, away from the corner
    float Reach = 0.0f;    // pixels of edge seen along it
    float Contrast = 0.0f; // grey levels
};

// Where edges meet: two arms (an L), three (a T) or four (a crossing edge and a joint). Each
// pair of neighbouring arms less than 180 degrees apart bounds a quarter; a quarter is as
// strong as its fainter and shorter arm allow.
struct TCorner {
    TPointD Position;
    float Strength = 0.0f; // of the strongest quarter
    std::array<TCornerArm, 4> Arms{};
    std::uint8_t ArmCount = 0; // arms sorted by angle

    // The strength of the quarter that holds the direction Inward; 0 when none does.
    float strengthToward(TPointD Inward) const;
    float strongestQuarter() const;
};

// Indices of items by square cells, for lookups around a point.
class TCellGrid {
public:
    TCellGrid() = default;
    TCellGrid(std::int32_t Width, std::int32_t Height, std::int32_t CellSize);
    void add(std::int32_t CellX, std::int32_t CellY, std::uint32_t Item);
    // Every item of the cells touching the square around P (an item may come more than once).
    template <typename F>
    void visit(TPointD P, double Radius, F&& Each) const;
    std::int32_t cellSize() const { return m_cellSize; }
    std::int32_t columns() const { return m_columns; }
    std::int32_t rows() const { return m_rows; }

private:
    std::int32_t m_cellSize = 1;
    std::int32_t m_columns = 0;
    std::int32_t m_rows = 0;
    std::vector<std::vector<std::uint32_t>> m_cells;
};

template <typename F>
void TCellGrid::visit(TPointD P, double Radius, F&& Each) const {
    if (m_columns == 0 || m_rows == 0) return;
    const auto cell = [this](double V, std::int32_t Count) {
        const double c = V / m_cellSize;
        if (c < 0.0) return std::int32_t{0};
        if (c >= Count - 1) return Count - 1;
        return static_cast<std::int32_t>(c);
    };
    const std::int32_t x0 = cell(P.X - Radius, m_columns), x1 = cell(P.X + Radius, m_columns);
    const std::int32_t y0 = cell(P.Y - Radius, m_rows), y1 = cell(P.Y + Radius, m_rows);
    for (std::int32_t y = y0; y <= y1; ++y)
        for (std::int32_t x = x0; x <= x1; ++x)
            for (std::uint32_t item : m_cells[static_cast<std::size_t>(y) * m_columns + x])
                Each(item);
}

struct TFeatureData {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    TGradientPlanes Gradient;
    double EdgeThreshold = 0.0; // grey levels a side of an opening must show, per sample
    std::vector<TLine> Lines;
    std::vector<TCorner> Corners;
    TCellGrid LineCells;
    TCellGrid CornerCells;
};

// A search radius as queries use it: not a number or below 0 is 0, beyond 64 pixels is 64 (a
// query stays a look at a few grid cells).
double usableRadius(double R);

// Puts every line into the cells its extent passes through.
TCellGrid makeLineGrid(std::int32_t Width, std::int32_t Height, const std::vector<TLine>& Lines);
TCellGrid makeCornerGrid(std::int32_t Width, std::int32_t Height,
                         const std::vector<TCorner>& Corners);

} // namespace schauplatz::placementaid::detail
