#include "TestFacades.h"
#include "TestFacadeModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace schauplatz::placementaid::testfacades {

namespace {

constexpr int kSuper = 4; // samples per axis where a pixel holds a part's border
constexpr double kTruthMargin = 4.0;

// Normal deviates from the generator's raw output (the standard distributions differ between
// libraries; this does not).
class TGrain {
public:
    explicit TGrain(std::uint32_t Seed) : m_engine(Seed) {}
    double next() {
        if (m_hasSpare) {
            m_hasSpare = false;
            return m_spare;
        }
        const double u1 = (static_cast<double>(m_engine()) + 1.0) / 4294967297.0;
        const double u2 = static_cast<double>(m_engine()) / 4294967296.0;
        const double r = std::sqrt(-2.0 * std::log(u1));
        m_spare = r * std::sin(2.0 * std::numbers::pi * u2);
        m_hasSpare = true;
        return r * std::cos(2.0 * std::numbers::pi * u2);
    }

private:
    std::mt19937 m_engine;
    double m_spare = 0.0;
    bool m_hasSpare = false;
};

std::uint8_t toByte(double V) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(V), 0L, 255L));
}

// Soft light across the picture: brighter towards one side, a little darker towards the foot.
double shading(double X, double Y, std::int32_t W, std::int32_t H, std::uint32_t Seed) {
    const double phase = (Seed % 7) * 0.7;
    return 0.82 + 0.22 * (0.5 + 0.5 * std::sin(X / W * std::numbers::pi * 0.9 + phase)) -
           0.08 * Y / H;
}

TSample average(const TFrontModel& Model, const THomography& ToFront, std::int32_t X,
                std::int32_t Y) {
    TSample sum;
    for (int j = 0; j < kSuper; ++j)
        for (int i = 0; i < kSuper; ++i) {
            const TSample s =
                Model.at(ToFront.map({X + (i + 0.5) / kSuper, Y + (j + 0.5) / kSuper}));
            sum.R += s.R;
            sum.G += s.G;
            sum.B += s.B;
        }
    const float n = kSuper * kSuper;
    return {sum.R / n, sum.G / n, sum.B / n, 0};
}

TOpeningTruth truthOf(const TOpeningPlan& O, const THomography& ToPicture, std::mt19937& Rng) {
    TOpeningTruth t;
    t.Door = O.Door;
    t.Corners = {ToPicture.map({O.Left, O.Top}), ToPicture.map({O.Right, O.Top}),
                 ToPicture.map({O.Right, O.Bottom}), ToPicture.map({O.Left, O.Bottom})};
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    const double f = O.Frame;
    double u = 0.5 + jitter(Rng), v = 0.5 + jitter(Rng);
    double left = O.Left + f, right = O.Right - f, top = O.Top + f, bottom = O.Bottom - f;
    if (O.Mullion) right = 0.5 * (O.Left + O.Right) - 0.5 * f; // the left pane
    if (O.Door) {
        bottom = O.Bottom;
        u = 0.2 + 0.25 * (jitter(Rng) + 0.3) / 0.6;
        v = 0.65 + 0.2 * (jitter(Rng) + 0.3) / 0.6;
    }
    t.Click = ToPicture.map({left + u * (right - left), top + v * (bottom - top)});
    return t;
}

bool inside(const TOpeningTruth& T, std::int32_t W, std::int32_t H) {
    return std::all_of(T.Corners.begin(), T.Corners.end(), [&](TPointD P) {
        return P.X >= kTruthMargin && P.Y >= kTruthMargin && P.X <= W - kTruthMargin &&
               P.Y <= H - kTruthMargin;
    });
}

} // namespace

TTestFacade makeHouseFront(const THouseFrontPlan& Plan) {
    const std::array<TPointD, 4> front{
        {{0, 0}, {Plan.FrontWidth, 0}, {Plan.FrontWidth, Plan.FrontHeight}, {0, Plan.FrontHeight}}};
    const THomography toPicture = THomography::fromCorners(front, Plan.Corners);
    const THomography toFront = THomography::fromCorners(Plan.Corners, front);
    const TFrontModel model(Plan);
    const std::int32_t w = Plan.Width, h = Plan.Height;

    std::vector<TSample> centres(static_cast<std::size_t>(w) * h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            centres[static_cast<std::size_t>(y) * w + x] =
                model.at(toFront.map({x + 0.5, y + 0.5}));

    TTestFacade out;
    out.Name = Plan.Name;
    out.Picture.SetSize(w, h);
    TGrain grain(Plan.Seed * 2654435761u + 17u);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint32_t region = centres[static_cast<std::size_t>(y) * w + x].Region;
            bool border = false;
            for (std::int32_t dy = -1; dy <= 1 && !border; ++dy)
                for (std::int32_t dx = -1; dx <= 1 && !border; ++dx) {
                    const std::int32_t nx = std::clamp(x + dx, 0, w - 1);
                    const std::int32_t ny = std::clamp(y + dy, 0, h - 1);
                    border = centres[static_cast<std::size_t>(ny) * w + nx].Region != region;
                }
            const TSample s = border ? average(model, toFront, x, y)
                                     : centres[static_cast<std::size_t>(y) * w + x];
            const double light = shading(x + 0.5, y + 0.5, w, h, Plan.Seed);
            out.Picture.SetPixel(x, y,
                                 Color32(toByte(s.R * light + Plan.Grain * grain.next()),
                                         toByte(s.G * light + Plan.Grain * grain.next()),
                                         toByte(s.B * light + Plan.Grain * grain.next())));
        }
    if (Plan.JpegQuality > 0) jpegRoundTrip(out.Picture, Plan.JpegQuality);

    std::mt19937 clicks(Plan.Seed + 1000u);
    for (const TOpeningPlan& o : Plan.Openings) {
        TOpeningTruth t = truthOf(o, toPicture, clicks);
        if (inside(t, w, h)) out.Openings.push_back(t);
    }
    return out;
}

TBitmap32 makeOneColour(std::int32_t Width, std::int32_t Height, TColor32 Colour) {
    TBitmap32 b;
    b.SetSize(Width, Height);
    b.Clear(Colour);
    return b;
}

TBitmap32 makeNoise(std::int32_t Width, std::int32_t Height, std::uint32_t Seed) {
    TBitmap32 b;
    b.SetSize(Width, Height);
    std::mt19937 rng(Seed);
    for (std::int32_t y = 0; y < Height; ++y)
        for (std::int32_t x = 0; x < Width; ++x)
            b.SetPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
    return b;
}

TBitmap32 makeDiagonalStripes(std::int32_t Width, std::int32_t Height, double Period) {
    TBitmap32 b;
    b.SetSize(Width, Height);
    for (std::int32_t y = 0; y < Height; ++y)
        for (std::int32_t x = 0; x < Width; ++x) {
            int white = 0;
            for (int j = 0; j < kSuper; ++j)
                for (int i = 0; i < kSuper; ++i) {
                    const double s = (x + (i + 0.5) / kSuper + y + (j + 0.5) / kSuper) / Period;
                    white += s - std::floor(s) >= 0.5 ? 1 : 0;
                }
            const auto v =
                static_cast<std::uint32_t>(std::lround(255.0 * white / (kSuper * kSuper)));
            b.SetPixel(x, y, Color32(v, v, v));
        }
    return b;
}

std::uint64_t pixelHash(const TCustomBitmap32& Picture) {
    std::uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](std::uint64_t V) {
        h ^= V;
        h *= 1099511628211ull;
    };
    mix(static_cast<std::uint32_t>(Picture.Width()));
    mix(static_cast<std::uint32_t>(Picture.Height()));
    const std::size_t n = static_cast<std::size_t>(Picture.Width()) * Picture.Height();
    for (std::size_t i = 0; i < n; ++i)
        mix(Picture.Bits()[i]);
    return h;
}

} // namespace schauplatz::placementaid::testfacades
