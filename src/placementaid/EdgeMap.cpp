#include "placementaid/EdgeMap.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace schauplatz::placementaid::detail {

namespace {

// Edges weaker than this many grey levels are never taken, however clean the picture.
constexpr double kMinHighContrast = 10.0;
// Above the noise: a picture's own grain must not make edges.
constexpr double kHighPerNoise = 6.0;
constexpr double kLowPerHigh = 0.5;
// Gaussian sigma before differentiating: enough against grain and JPEG blocks, little enough
// that a frame's edge a few pixels from a mortar joint keeps its own crest.
constexpr double kSmoothing = 0.7;
constexpr std::size_t kNoiseStride = 7;

// The median of |Gx| and |Gy| over the picture, in grey levels: in flat and gently shaded
// areas it measures the grain (noise, compression), and edges are too few to move it.
double medianGradient(const std::vector<std::int16_t>& GX, const std::vector<std::int16_t>& GY) {
    std::array<std::uint32_t, 1024> histogram{};
    std::uint64_t counted = 0;
    // Every few pixels tell the grain as well as all of them.
    for (const auto* plane : {&GX, &GY})
        for (std::size_t i = 0; i < plane->size(); i += kNoiseStride, ++counted)
            ++histogram[std::min<std::size_t>(static_cast<std::size_t>(std::abs((*plane)[i])),
                                              1023)];
    const std::uint64_t half = counted / 2;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < histogram.size(); ++i) {
        sum += histogram[i];
        if (sum > half) return static_cast<double>(i) / kGradientPerGreyLevel;
    }
    return 1023.0 / kGradientPerGreyLevel;
}

// Where (X, Y) is steeper than the gradient so far, it replaces it. Plain loops over whole
// rows, so the compiler can vectorise them.
void keepSteeper(const std::int16_t* X, const std::int16_t* Y, std::vector<std::int16_t>& GX,
                 std::vector<std::int16_t>& GY) {
    std::int16_t* gx = GX.data();
    std::int16_t* gy = GY.data();
    const std::size_t count = GX.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t now = gx[i] * gx[i] + gy[i] * gy[i];
        const std::int32_t other = X[i] * X[i] + Y[i] * Y[i];
        const bool steeper = other > now;
        gx[i] = steeper ? X[i] : gx[i];
        gy[i] = steeper ? Y[i] : gy[i];
    }
}

} // namespace

TEdgeMap computeEdgeMap(const TFacadePicture& Picture) {
    TEdgeMap out;
    const std::int32_t w = Picture.width(), h = Picture.height();
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    out.Gradient.Width = w;
    out.Gradient.Height = h;
    out.Edges.assign(count, 0);

    // OpenCV reads and writes our own buffers through Mat headers where it can.
    std::vector<std::int16_t> planeX(count), planeY(count);
    cv::Mat gx(h, w, CV_16S, planeX.data());
    cv::Mat gy(h, w, CV_16S, planeY.data());
    cv::Mat smooth, cx, cy;
    for (std::size_t c = 0; c < 3; ++c) {
        const cv::Mat plane(h, w, CV_8U, const_cast<std::uint8_t*>(Picture.channel(c).data()));
        cv::GaussianBlur(plane, smooth, cv::Size(5, 5), kSmoothing, kSmoothing,
                         cv::BORDER_REPLICATE);
        // The first channel goes straight into the result, the others replace it where steeper.
        cv::Mat& dx = c == 0 ? gx : cx;
        cv::Mat& dy = c == 0 ? gy : cy;
        cv::Sobel(smooth, dx, CV_16S, 1, 0, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
        cv::Sobel(smooth, dy, CV_16S, 0, 1, 3, 1.0, 0.0, cv::BORDER_REPLICATE);
        if (c > 0) keepSteeper(cx.ptr<std::int16_t>(), cy.ptr<std::int16_t>(), planeX, planeY);
    }

    out.NoiseLevel = medianGradient(planeX, planeY);
    out.HighThreshold = std::max(kMinHighContrast, kHighPerNoise * out.NoiseLevel);
    out.LowThreshold = kLowPerHigh * out.HighThreshold;
    cv::Mat edges(h, w, CV_8U, out.Edges.data());
    cv::Canny(gx, gy, edges, out.LowThreshold * kGradientPerGreyLevel,
              out.HighThreshold * kGradientPerGreyLevel, false);
    out.Gradient.G.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        out.Gradient.G[i] = {planeX[i], planeY[i]};
    return out;
}

} // namespace schauplatz::placementaid::detail
