#pragma once

// How much of a stretch of a line the picture shows as an edge: sampled once per pixel along
// the line, summed up front, so any stretch between two corners is measured at once.

#include "placementaid/FeatureData.h"

#include <vector>

namespace schauplatz::placementaid::detail {

struct TSideSeen {
    double Coverage = 0.0;    // share of the stretch with an edge across it
    double EndCoverage = 0.0; // the same next to the worse of the two corners
    double Contrast = 0.0;    // mean step across, grey levels
    // Pixels from the corner at A / at B to the first sample seen as this side's edge.
    double GapAtA = 0.0;
    double GapAtB = 0.0;
};

class TSideSupport {
public:
    TSideSupport(const TLine& Line, double T0, std::vector<std::int8_t> Signs,
                 std::vector<float> Strength);
    // The stretch between the points of the line nearest A and B.
    TSideSeen seen(TPointD A, TPointD B) const;

private:
    // Samples [I, J) with a positive / negative (Sign 0: either) edge; indices are clamped.
    std::size_t count(std::ptrdiff_t I, std::ptrdiff_t J, int Sign) const;
    double share(std::ptrdiff_t I, std::ptrdiff_t J, int Sign) const;
    std::ptrdiff_t index(double T) const;
    // Samples from I stepping by Step (+1 or -1) until one with an edge, at most Limit.
    std::ptrdiff_t unseenRun(std::ptrdiff_t I, int Step, std::ptrdiff_t Limit) const;
    int signAt(std::ptrdiff_t I) const;

    TLine m_line;
    double m_t0 = 0.0;
    std::vector<std::uint32_t> m_positive;
    std::vector<std::uint32_t> m_negative;
    std::vector<double> m_sum; // strengths of the samples with an edge
};

// Samples the line from Reach before to Reach after its point nearest Near.
TSideSupport measureSide(const TFeatureData& Data, const TLine& Line, TPointD Near, double Reach);

} // namespace schauplatz::placementaid::detail
