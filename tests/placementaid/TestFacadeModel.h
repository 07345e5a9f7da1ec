#pragma once

// The flat house front as a colour function of front centimetres, and the projective map that
// puts it into the picture. Internal to the facade maker.

#include "TestFacades.h"

#include <array>
#include <cstdint>

namespace schauplatz::placementaid::testfacades {

struct TSample {
    float R = 0, G = 0, B = 0;
    std::uint32_t Region = 0; // equal inside one flat part (a brick, a pane, a frame)
};

// Maps the plane by a 3 x 3 matrix, row-major, with the divide.
struct THomography {
    std::array<double, 9> M{};
    TPointD map(TPointD P) const;
    // The map taking From[i] to To[i].
    static THomography fromCorners(const std::array<TPointD, 4>& From,
                                   const std::array<TPointD, 4>& To);
};

class TFrontModel {
public:
    explicit TFrontModel(const THouseFrontPlan& Plan) : m_plan(Plan) {}
    TSample at(TPointD Front) const;

private:
    TSample wall(double X, double Y) const;
    bool opening(std::size_t Index, double X, double Y, TSample& Out) const;

    const THouseFrontPlan& m_plan;
};

std::uint32_t mixBits(std::uint32_t V);
// Smooth noise in -1..1 with features about one unit apart.
double valueNoise(double X, double Y, std::uint32_t Seed);

} // namespace schauplatz::placementaid::testfacades
