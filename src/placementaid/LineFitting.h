#pragma once

// Straight pieces of edge pixels become lines placed on the gradient's crest to a fraction of
// a pixel; pieces of one straight edge are joined, grown along the crest across the places
// where something interrupts them (a mortar joint meeting a frame), and joined again.

#include "placementaid/EdgeChains.h"
#include "placementaid/FeatureData.h"

#include <optional>
#include <stop_token>
#include <vector>

namespace schauplatz::placementaid::detail {

// Weighted sums of the points a line was fitted through, so joined lines fit all of them.
struct TLineMoments {
    double W = 0.0, X = 0.0, Y = 0.0, XX = 0.0, XY = 0.0, YY = 0.0;
    void add(TPointD P, double Weight);
    void add(const TLineMoments& Other);
};

struct TAxis {
    TPointD Origin;
    TPointD Dir;
    double Spread = 0.0; // root mean square distance across
};

// The total-least-squares line of the points; Dir points right (or down when vertical).
TAxis principalAxis(const TLineMoments& Moments);
inline constexpr double kMaxLineResidual = 0.6; // pixels: rounder than this is no straight edge

struct TFittedLine {
    TLine Line;
    TLineMoments Moments;
    double Support = 0.0; // crest points found (about one per pixel of seen edge)
};

// The line through the crest of the gradient along the piece; nothing when too little of it
// is a clean edge of at least MinContrast grey levels.
std::optional<TFittedLine> refinePiece(const TGradientPlanes& Gradient, const TEdgePiece& Piece,
                                       double MinContrast);

// Which line holds each edge pixel, so that a line growing along an edge another line already
// holds stops there (joining after growing puts the two together) instead of walking it again.
class TLineOwners {
public:
    TLineOwners(std::int32_t Width, std::int32_t Height);
    // The pixels along the line's extent go to Id unless another line holds them.
    void claim(const TLine& Line, std::uint32_t Id);
    // Id + 1 of the line holding the pixel, 0 for none or outside the picture.
    std::uint32_t owner(std::int32_t X, std::int32_t Y) const;
    void set(std::int32_t X, std::int32_t Y, std::uint32_t Id);

private:
    std::int32_t m_width;
    std::int32_t m_height;
    std::vector<std::uint32_t> m_owner;
};

// Follows the crest beyond both ends of line Lines[Id] for as long as it goes on straight, with
// gaps of a few pixels, and fits the line anew. Stops where a collinear line holds the edge.
void growLine(const TGradientPlanes& Gradient, std::vector<TFittedLine>& Lines, std::uint32_t Id,
              double MinContrast, TLineOwners& Owners);

// The share of the line's extent where its crest is found on it (TLine::Solidity).
double measureSolidity(const TGradientPlanes& Gradient, const TLine& Line, double MinContrast);

// Joins lines that continue each other (same direction and offset, gap of a few pixels).
std::vector<TFittedLine> joinCollinear(std::vector<TFittedLine> Lines, std::int32_t Width,
                                       std::int32_t Height, const std::stop_token& Stop);

} // namespace schauplatz::placementaid::detail
