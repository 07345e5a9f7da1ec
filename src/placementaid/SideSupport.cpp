#include "placementaid/SideSupport.h"

#include "placementaid/Geometry.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace schauplatz::placementaid::detail {

namespace {

constexpr double kAlignment = 0.8;
constexpr std::array<double, 3> kAcross{-1.0, 0.0, 1.0};
constexpr double kCornerMargin = 3.0; // pixels at each corner left out (blurred there)
constexpr double kEndWindow = 8.0;    // pixels next to a corner that must be seen

} // namespace

TSideSupport::TSideSupport(const TLine& Line, double T0, std::vector<std::int8_t> Signs,
                           std::vector<float> Strength)
    : m_line(Line), m_t0(T0), m_positive(Signs.size() + 1), m_negative(Signs.size() + 1),
      m_sum(Signs.size() + 1) {
    for (std::size_t i = 0; i < Signs.size(); ++i) {
        m_positive[i + 1] = m_positive[i] + (Signs[i] > 0 ? 1u : 0u);
        m_negative[i + 1] = m_negative[i] + (Signs[i] < 0 ? 1u : 0u);
        m_sum[i + 1] = m_sum[i] + (Signs[i] != 0 ? Strength[i] : 0.0);
    }
}

std::size_t TSideSupport::count(std::ptrdiff_t I, std::ptrdiff_t J, int Sign) const {
    const auto last = static_cast<std::ptrdiff_t>(m_positive.size() - 1);
    const auto i = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(I, 0, last));
    const auto j = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(J, 0, last));
    if (j <= i) return 0;
    if (Sign == 0) return (m_positive[j] - m_positive[i]) + (m_negative[j] - m_negative[i]);
    const auto& c = Sign > 0 ? m_positive : m_negative;
    return c[j] - c[i];
}

// Samples outside the measured range count as unseen.
double TSideSupport::share(std::ptrdiff_t I, std::ptrdiff_t J, int Sign) const {
    if (J <= I) return 0.0;
    return static_cast<double>(count(I, J, Sign)) / static_cast<double>(J - I);
}

// Sample k sits at m_t0 + k.
std::ptrdiff_t TSideSupport::index(double T) const {
    return static_cast<std::ptrdiff_t>(std::floor(T - m_t0 + 0.5));
}

int TSideSupport::signAt(std::ptrdiff_t I) const {
    if (I < 0 || I + 1 >= static_cast<std::ptrdiff_t>(m_positive.size())) return 0;
    const auto i = static_cast<std::size_t>(I);
    if (m_positive[i + 1] != m_positive[i]) return 1;
    return m_negative[i + 1] != m_negative[i] ? -1 : 0;
}

std::ptrdiff_t TSideSupport::unseenRun(std::ptrdiff_t I, int Step, std::ptrdiff_t Limit) const {
    std::ptrdiff_t run = 0;
    while (run < Limit && signAt(I + run * Step) == 0)
        ++run;
    return run;
}

TSideSeen TSideSupport::seen(TPointD A, TPointD B) const {
    const double ta = m_line.project(A), tb = m_line.project(B);
    const double lo = std::min(ta, tb), hi = std::max(ta, tb);
    const double margin = std::min(kCornerMargin, 0.1 * (hi - lo));
    const std::ptrdiff_t first = index(lo + margin),
                         last = std::max(index(hi - margin) + 1, first + 1);
    // Either polarity counts: along a door's foot the frame is brighter than the step and the
    // leaf darker, and one side of an opening may run along walls of two colours.
    const std::size_t seenCount = count(first, last, 0);
    TSideSeen out;
    out.Coverage = static_cast<double>(seenCount) / static_cast<double>(last - first);
    const auto clampIndex = [this](std::ptrdiff_t I) {
        return static_cast<std::size_t>(
            std::clamp<std::ptrdiff_t>(I, 0, static_cast<std::ptrdiff_t>(m_sum.size() - 1)));
    };
    out.Contrast = seenCount > 0 ? (m_sum[clampIndex(last)] - m_sum[clampIndex(first)]) /
                                       static_cast<double>(seenCount) / kGradientPerGreyLevel
                                 : 0.0;
    const auto window = static_cast<std::ptrdiff_t>(kEndWindow);
    out.EndCoverage = std::min(share(first, first + window, 0), share(last - window, last, 0));
    // From each corner inwards: how far until the edge is seen?
    const std::ptrdiff_t atLo = index(lo), atHi = index(hi);
    const std::ptrdiff_t limit = std::max<std::ptrdiff_t>(atHi - atLo, 0);
    const double gapLo = static_cast<double>(unseenRun(atLo, 1, limit));
    const double gapHi = static_cast<double>(unseenRun(atHi, -1, limit));
    out.GapAtA = ta <= tb ? gapLo : gapHi;
    out.GapAtB = ta <= tb ? gapHi : gapLo;
    return out;
}

TSideSupport measureSide(const TFeatureData& Data, const TLine& Line, TPointD Near, double Reach) {
    // The line's seen extent does not limit it: a side may be an edge seen only in parts (a
    // frame's edge interrupted by joints), which the sampling here measures as it is.
    const double t = Line.project(Near);
    const double t0 = std::floor(t - Reach), t1 = std::ceil(t + Reach);
    const auto samples = static_cast<std::size_t>(t1 - t0) + 1;
    std::vector<std::int8_t> signs(samples, 0);
    std::vector<float> strength(samples, 0.0f);
    const TPointD n = Line.normal();
    const double threshold = Data.EdgeThreshold * kGradientPerGreyLevel;
    for (std::size_t k = 0; k < samples; ++k) {
        const TPointD q = Line.at(t0 + static_cast<double>(k));
        double best = 0.0, bestSquare = 0.0;
        for (double a : kAcross) {
            const TPointD g = Data.Gradient.at(q + a * n);
            const double across = dot(g, n);
            if (std::abs(across) > std::abs(best)) {
                best = across;
                bestSquare = dot(g, g);
            }
        }
        if (std::abs(best) >= threshold && best * best >= kAlignment * kAlignment * bestSquare) {
            signs[k] = best > 0.0 ? 1 : -1;
            strength[k] = static_cast<float>(std::abs(best));
        }
    }
    return TSideSupport(Line, t0, std::move(signs), std::move(strength));
}

} // namespace schauplatz::placementaid::detail
