#include "TestFacadeModel.h"

#include <cmath>
#include <stdexcept>

namespace schauplatz::placementaid::testfacades {

namespace {

struct TRgb {
    float R, G, B;
};

constexpr std::array<TRgb, 4> kFrames{
    {{238, 238, 234}, {62, 66, 72}, {96, 66, 44}, {226, 218, 196}}};
constexpr std::array<TRgb, 4> kLeaves{{{118, 78, 48}, {40, 82, 62}, {58, 60, 64}, {124, 34, 32}}};

// Region numbers: the parts outside the front, then bricks, then 16 per opening.
enum : std::uint32_t {
    kSky = 1,
    kGround,
    kNeighbour,
    kPlinth,
    kMortar,
    kPlaster,
    kBrickBase = 1000,
    kOpeningBase = 1u << 30
};
enum : std::uint32_t { kFramePart, kGlassPart, kLeafPart, kDoorGlassPart, kHandlePart, kSillPart };
enum : std::uint32_t { kStepPart = 6, kLintelPart = 7 };

constexpr double kBrickLength = 24.0, kBrickHeight = 7.1, kJoint = 1.2;
constexpr double kPlinthHeight = 50.0;

TSample sample(TRgb C, std::uint32_t Region, float Shift = 0.0f) {
    return {C.R + Shift, C.G + Shift, C.B + Shift, Region};
}

double smoothstep(double E0, double E1, double X) {
    const double t = std::clamp((X - E0) / (E1 - E0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

TSample glass(double U, double V, std::uint32_t Region) {
    const double reflection = 26.0 * std::exp(-std::pow((U + 0.8 * V - 0.7) / 0.18, 2.0));
    const double lift = 26.0 * (1.0 - V);
    return {static_cast<float>(52 + lift + reflection),
            static_cast<float>(62 + lift * 1.1 + reflection),
            static_cast<float>(72 + lift * 1.3 + reflection), Region};
}

} // namespace

std::uint32_t mixBits(std::uint32_t V) {
    V ^= V >> 16;
    V *= 0x7feb352dU;
    V ^= V >> 15;
    V *= 0x846ca68bU;
    V ^= V >> 16;
    return V;
}

double valueNoise(double X, double Y, std::uint32_t Seed) {
    const double fx = std::floor(X), fy = std::floor(Y);
    const auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
    const auto corner = [Seed](std::int32_t A, std::int32_t B) {
        const std::uint32_t h = mixBits(static_cast<std::uint32_t>(A) * 0x9E3779B1u ^
                                        mixBits(static_cast<std::uint32_t>(B) + Seed));
        return static_cast<double>(h) / 2147483647.5 - 1.0;
    };
    const double tx = smoothstep(0, 1, X - fx), ty = smoothstep(0, 1, Y - fy);
    const double top = corner(ix, iy) + (corner(ix + 1, iy) - corner(ix, iy)) * tx;
    const double bottom = corner(ix, iy + 1) + (corner(ix + 1, iy + 1) - corner(ix, iy + 1)) * tx;
    return top + (bottom - top) * ty;
}

TPointD THomography::map(TPointD P) const {
    const double w = M[6] * P.X + M[7] * P.Y + M[8];
    return {(M[0] * P.X + M[1] * P.Y + M[2]) / w, (M[3] * P.X + M[4] * P.Y + M[5]) / w};
}

THomography THomography::fromCorners(const std::array<TPointD, 4>& From,
                                     const std::array<TPointD, 4>& To) {
    // Eight equations in the eight unknowns m0..m7 (m8 = 1), solved with partial pivoting.
    std::array<std::array<double, 9>, 8> a{};
    for (std::size_t i = 0; i < 4; ++i) {
        const double x = From[i].X, y = From[i].Y, u = To[i].X, v = To[i].Y;
        a[2 * i] = {x, y, 1, 0, 0, 0, -u * x, -u * y, u};
        a[2 * i + 1] = {0, 0, 0, x, y, 1, -v * x, -v * y, v};
    }
    for (std::size_t c = 0; c < 8; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < 8; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
        if (std::abs(a[pivot][c]) < 1e-12) throw std::runtime_error("degenerate corners");
        std::swap(a[c], a[pivot]);
        for (std::size_t r = 0; r < 8; ++r) {
            if (r == c) continue;
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k < 9; ++k)
                a[r][k] -= f * a[c][k];
        }
    }
    THomography h;
    for (std::size_t i = 0; i < 8; ++i)
        h.M[i] = a[i][8] / a[i][i];
    h.M[8] = 1.0;
    return h;
}

TSample TFrontModel::wall(double X, double Y) const {
    const std::uint32_t seed = m_plan.Seed;
    if (m_plan.Plinth && Y > m_plan.FrontHeight - kPlinthHeight)
        return sample({120, 118, 112}, kPlinth,
                      static_cast<float>(4 * valueNoise(X / 3, Y / 3, seed)));
    if (m_plan.Wall == TWall::Plaster) {
        const double mottle =
            5 * valueNoise(X / 60, Y / 60, seed) + 3 * valueNoise(X / 2, Y / 2, seed + 7);
        return sample({214, 204, 184}, kPlaster, static_cast<float>(mottle));
    }
    const double course = std::floor(Y / (kBrickHeight + kJoint));
    const double shift = std::fmod(course, 2.0) == 0.0 ? 0.0 : 0.5 * (kBrickLength + kJoint);
    const double column = std::floor((X + shift) / (kBrickLength + kJoint));
    const double inY = Y - course * (kBrickHeight + kJoint);
    const double inX = X + shift - column * (kBrickLength + kJoint);
    if (inY >= kBrickHeight || inX >= kBrickLength)
        return sample({188, 182, 172}, kMortar, static_cast<float>(3 * valueNoise(X, Y, seed + 3)));
    const auto id = static_cast<std::uint32_t>(static_cast<std::int32_t>(course) * 4099 +
                                               static_cast<std::int32_t>(column) + 100000);
    const std::uint32_t h = mixBits(id ^ seed);
    const double tone = ((h & 0xFF) / 127.5 - 1.0) * 0.13;
    const double red = (((h >> 8) & 0xFF) / 127.5 - 1.0) * 9.0;
    const double grain = 5 * valueNoise(X / 1.5, Y / 1.5, seed + 11);
    return {static_cast<float>(148 * (1 + tone) + red + grain),
            static_cast<float>(72 * (1 + tone) + grain),
            static_cast<float>(52 * (1 + tone) + grain), kBrickBase + id};
}

bool TFrontModel::opening(std::size_t Index, double X, double Y, TSample& Out) const {
    const TOpeningPlan& o = m_plan.Openings[Index];
    const auto region = [Index](std::uint32_t Part) {
        return kOpeningBase + static_cast<std::uint32_t>(Index) * 16 + Part;
    };
    if (o.Sill && X >= o.Left - 6 && X < o.Right + 6 && Y >= o.Bottom && Y < o.Bottom + 5) {
        Out = sample({205, 204, 198}, region(kSillPart));
        return true;
    }
    if (o.Lintel && X >= o.Left - 10 && X < o.Right + 10 && Y >= o.Top - 14 && Y < o.Top) {
        Out = sample({176, 173, 166}, region(kLintelPart),
                     static_cast<float>(3 * valueNoise(X / 2, Y / 2, m_plan.Seed + 5)));
        return true;
    }
    if (o.Door && X >= o.Left - 20 && X < o.Right + 20 && Y >= o.Bottom && Y < o.Bottom + 15) {
        Out = sample({170, 168, 160}, region(kStepPart));
        return true;
    }
    if (X < o.Left || X >= o.Right || Y < o.Top || Y >= o.Bottom) return false;
    const double f = o.Frame;
    const TRgb frame = kFrames[o.Palette % kFrames.size()];
    const bool inFrame =
        X < o.Left + f || X >= o.Right - f || Y < o.Top + f || (!o.Door && Y >= o.Bottom - f);
    const double middle = 0.5 * (o.Left + o.Right);
    if (inFrame || (o.Mullion && std::abs(X - middle) < 0.5 * f)) {
        Out = sample(frame, region(kFramePart));
        return true;
    }
    const double u = (X - o.Left - f) / (o.Right - o.Left - 2 * f);
    const double v = (Y - o.Top - f) / (o.Bottom - o.Top - (o.Door ? 1 : 2) * f);
    if (!o.Door) {
        Out = glass(u, v, region(kGlassPart));
        return true;
    }
    if (u >= 0.55 && u < 0.8 && v >= 0.1 && v < 0.55) {
        Out = glass((u - 0.55) / 0.25, (v - 0.1) / 0.45, region(kDoorGlassPart));
    } else if (u >= 0.08 && u < 0.14 && v >= 0.5 && v < 0.56) {
        Out = sample({200, 200, 205}, region(kHandlePart));
    } else {
        const TRgb leaf = kLeaves[o.Palette % kLeaves.size()];
        Out = sample(leaf, region(kLeafPart),
                     static_cast<float>(4 * valueNoise(X / 8, Y / 40, m_plan.Seed)));
    }
    return true;
}

TSample TFrontModel::at(TPointD Front) const {
    const double x = Front.X, y = Front.Y;
    if (y < 0)
        return sample({176, 200, 226}, kSky, static_cast<float>(-12 * smoothstep(0, -300, y)));
    if (y >= m_plan.FrontHeight)
        return sample({110, 105, 95}, kGround, static_cast<float>(5 * valueNoise(x / 4, y / 4, 5)));
    if (x < 0 || x >= m_plan.FrontWidth) return sample({190, 185, 170}, kNeighbour);
    TSample out;
    for (std::size_t i = 0; i < m_plan.Openings.size(); ++i)
        if (opening(i, x, y, out)) return out;
    return wall(x, y);
}

} // namespace schauplatz::placementaid::testfacades
