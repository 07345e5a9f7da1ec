// Raster core speed, side by side with the physical limit (memset/memcpy over the same
// bytes) and, when built with OpenCV, with its single-threaded nearest-neighbour warp and
// resize. Prints a summary of ratios after the usual table.
//
//   build/release/bench/raster_bench [--benchmark_filter=...]

#include "raster/Bitmap32.h"
#include "raster/Drawing.h"
#include "raster/Rasterizers.h"
#include "raster/Transformation.h"
#include "raster/TransformedFastPath.h"

#include "BenchReporters.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef SCHAUPLATZ_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

using namespace schauplatz;

namespace {

constexpr int kFrameW = 1920, kFrameH = 1080;
constexpr int kElementW = 1000, kElementH = 2000;

struct Quad {
    const char* name;
    float p[8];
};

// Perspective quads: bounding boxes about 1100 x 1000, nearly the whole frame, 200 x 400.
const Quad kQuads[] = {
    {"large", {400, 40, 1500, 100, 1420, 1040, 450, 980}},
    {"fullframe", {10, 5, 1910, 20, 1900, 1075, 20, 1060}},
    {"small", {800, 300, 1000, 320, 990, 700, 810, 690}},
};

// The element: opaque and translucent areas and a fully transparent border, like a door
// picture with glass and a cut-out background.
void fillElement(TBitmap32& b) {
    b.SetSize(kElementW, kElementH);
    std::mt19937 rng(7);
    for (int y = 0; y < kElementH; ++y)
        for (int x = 0; x < kElementW; ++x) {
            std::uint32_t a = 255;
            if (x < 20 || x >= kElementW - 20 || y < 20 || y >= kElementH - 20)
                a = 0;
            else if ((x / 100 + y / 100) % 3 == 0)
                a = 60 + (x + y) % 160;
            b.SetPixel(x, y, (a << 24) | (rng() & 0xFFFFFFu));
        }
    b.SetDrawMode(dmBlend);
    b.SetMasterAlpha(255);
}

TBitmap32& element() {
    static TBitmap32 bitmap;
    static const bool filled = (fillElement(bitmap), true);
    (void)filled;
    return bitmap;
}

void prepareTransformation(TProjectiveTransformation& T, const Quad& Q) {
    T.SetX0(Q.p[0]);
    T.SetY0(Q.p[1]);
    T.SetX1(Q.p[2]);
    T.SetY1(Q.p[3]);
    T.SetX2(Q.p[4]);
    T.SetY2(Q.p[5]);
    T.SetX3(Q.p[6]);
    T.SetY3(Q.p[7]);
    T.SetSourceRect(TFloatRect{0, 0, kElementW - 1.0f, kElementH - 1.0f});
    T.Prepare();
}

TRect boundingBox(const Quad& Q) {
    float minX = Q.p[0], maxX = Q.p[0], minY = Q.p[1], maxY = Q.p[1];
    for (int i = 1; i < 4; ++i) {
        minX = std::min(minX, Q.p[2 * i]);
        maxX = std::max(maxX, Q.p[2 * i]);
        minY = std::min(minY, Q.p[2 * i + 1]);
        maxY = std::max(maxY, Q.p[2 * i + 1]);
    }
    return IntersectRect(TRect{0, 0, kFrameW, kFrameH}, TRect{static_cast<int>(std::floor(minX)),
                                                              static_cast<int>(std::floor(minY)),
                                                              static_cast<int>(std::ceil(maxX)),
                                                              static_cast<int>(std::ceil(maxY))});
}

void setPixelCounter(benchmark::State& State, const TRect& R) {
    State.counters["Mpx"] = static_cast<double>(R.Width()) * R.Height() / 1e6;
}

// --- transformed drawing ----------------------------------------------------------------

enum class Path { Api, General, Fast, FastScalar };

void BM_DrawTransformed(benchmark::State& State, const Quad* Q, Path P) {
    TBitmap32& src = element();
    TBitmap32 dst;
    dst.SetSize(kFrameW, kFrameH);
    TProjectiveTransformation T;
    prepareTransformation(T, *Q);
    const TRect r = boundingBox(*Q);
    for (auto _ : State) {
        switch (P) {
        case Path::Api:
            DrawTransformed(&dst, &src, &T);
            break;
        case Path::General:
            DrawTransformedGeneral(&dst, &src, &T);
            break;
        case Path::Fast:
            DrawProjectiveNearestFast(dst, src, T, r);
            break;
        case Path::FastScalar:
            DrawProjectiveNearestFastScalar(dst, src, T, r);
            break;
        }
        benchmark::DoNotOptimize(dst.Bits());
        benchmark::ClobberMemory();
    }
    setPixelCounter(State, r);
}

// --- whole-frame operations ---------------------------------------------------------------

void BM_Memset(benchmark::State& State) {
    std::vector<TColor32> buffer(static_cast<std::size_t>(kFrameW) * kFrameH);
    for (auto _ : State) {
        std::memset(buffer.data(), 0, buffer.size() * sizeof(TColor32));
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
}

void BM_Memcpy(benchmark::State& State, int W, int H) {
    std::vector<TColor32> a(static_cast<std::size_t>(W) * H, 0xFF102030u), b(a.size());
    for (auto _ : State) {
        std::memcpy(b.data(), a.data(), a.size() * sizeof(TColor32));
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}

void BM_Clear(benchmark::State& State) {
    TBitmap32 b;
    b.SetSize(kFrameW, kFrameH);
    for (auto _ : State) {
        b.Clear(0);
        benchmark::DoNotOptimize(b.Bits());
        benchmark::ClobberMemory();
    }
}

void BM_Assign(benchmark::State& State) {
    TBitmap32 a, b;
    a.SetSize(kFrameW, kFrameH);
    a.Clear(0xFF102030u);
    b.SetSize(kFrameW, kFrameH);
    for (auto _ : State) {
        b.Assign(&a);
        benchmark::DoNotOptimize(b.Bits());
        benchmark::ClobberMemory();
    }
}

constexpr int kStretchSrcW = 4000, kStretchSrcH = 3000, kStretchDstW = 1441, kStretchDstH = 1081;

void fillStretchSource(TBitmap32& S) {
    S.SetSize(kStretchSrcW, kStretchSrcH);
    std::mt19937 rng(3);
    for (int y = 0; y < kStretchSrcH; ++y)
        for (int x = 0; x < kStretchSrcW; ++x)
            S.SetPixel(x, y, 0xFF000000u | rng());
}

TBitmap32& stretchSource() {
    static TBitmap32 bitmap;
    static const bool filled = (fillStretchSource(bitmap), true);
    (void)filled;
    return bitmap;
}

void BM_NearestStretch(benchmark::State& State) {
    TBitmap32& src = stretchSource();
    TBitmap32 dst;
    dst.SetSize(kStretchDstW, kStretchDstH);
    const TRect dr{0, 0, kStretchDstW, kStretchDstH}, sr{0, 0, kStretchSrcW, kStretchSrcH};
    for (auto _ : State) {
        NearestStretch(dst, dr, dr, src, sr, dmOpaque, nullptr);
        benchmark::DoNotOptimize(dst.Bits());
        benchmark::ClobberMemory();
    }
}

// --- one frame of the marching outline ------------------------------------------------------

void BM_MarchingOutline(benchmark::State& State) {
    TBitmap32 buffer;
    buffer.SetSize(kFrameW, kFrameH);
    const float v[4][2] = {{400, 40}, {1400, 40}, {1400, 1040}, {400, 1040}};
    float counter = 0;
    for (auto _ : State) {
        buffer.SetStipplePattern({0xFF000000u, 0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu});
        buffer.SetStippleStep(0.5f);
        buffer.SetStippleCounter(counter);
        counter -= 0.05f;
        for (int i = 0; i < 4; ++i) {
            const int a = (i + 3) % 4, b = i;
            buffer.StippledLine(v[a][0], v[a][1], v[b][0], v[b][1], false);
        }
        for (const auto& p : v) {
            const int x = static_cast<int>(p[0]), y = static_cast<int>(p[1]);
            buffer.FillRectClipped(x - 2, y - 2, x + 2, y + 2, 0xFFFFFFFFu);
            buffer.FrameRectClipped(x - 3, y - 3, x + 3, y + 3, 0xFF000000u);
        }
        benchmark::DoNotOptimize(buffer.Bits());
        benchmark::ClobberMemory();
    }
}

// --- peers ------------------------------------------------------------------------------------

#ifdef SCHAUPLATZ_HAVE_OPENCV

cv::Mat wrap(TCustomBitmap32& B) {
    return cv::Mat(B.Height(), B.Width(), CV_8UC4, B.Bits());
}

// The forward matrix (source to destination) as a row-major 3 x 3.
cv::Mat forwardMatrix(const TProjectiveTransformation& T) {
    const TFloatMatrix& m = T.Matrix();
    cv::Mat M(3, 3, CV_64F);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            M.at<double>(r, c) = m[3 * c + r];
    return M;
}

void BM_OpenCVWarp(benchmark::State& State, const Quad* Q, bool BoundingBoxOnly) {
    cv::setNumThreads(1);
    TBitmap32& src = element();
    TBitmap32 dst;
    dst.SetSize(kFrameW, kFrameH);
    TProjectiveTransformation T;
    prepareTransformation(T, *Q);
    cv::Mat srcMat = wrap(src), dstMat = wrap(dst);
    cv::Mat M = forwardMatrix(T);
    TRect r = BoundingBoxOnly ? boundingBox(*Q) : dst.BoundsRect();
    if (BoundingBoxOnly) {
        cv::Mat shift = (cv::Mat_<double>(3, 3) << 1, 0, -r.Left, 0, 1, -r.Top, 0, 0, 1);
        M = shift * M;
    }
    cv::Mat roi = dstMat(cv::Rect(r.Left, r.Top, r.Width(), r.Height()));
    for (auto _ : State) {
        cv::warpPerspective(srcMat, roi, M, roi.size(), cv::INTER_NEAREST, cv::BORDER_TRANSPARENT);
        benchmark::DoNotOptimize(dst.Bits());
        benchmark::ClobberMemory();
    }
    setPixelCounter(State, r);
}

void BM_OpenCVResize(benchmark::State& State) {
    cv::setNumThreads(1);
    TBitmap32 dst;
    dst.SetSize(kStretchDstW, kStretchDstH);
    cv::Mat srcMat = wrap(stretchSource()), dstMat = wrap(dst);
    for (auto _ : State) {
        cv::resize(srcMat, dstMat, dstMat.size(), 0, 0, cv::INTER_NEAREST);
        benchmark::DoNotOptimize(dst.Bits());
        benchmark::ClobberMemory();
    }
}

#endif

// Every benchmark here reports in milliseconds. With repetitions the mean aggregate replaces
// the single runs.
void printRatio(const bench::CpuTimeReporter& R, const std::string& Label, const std::string& A,
                const std::string& B) {
    bench::printCpuRatio(R, 58, Label, A, B);
}

} // namespace

int main(int argc, char** argv) {
    for (const Quad& q : kQuads) {
        const std::string n = q.name;
        benchmark::RegisterBenchmark(("DrawTransformed/" + n + "/fast").c_str(), BM_DrawTransformed,
                                     &q, Path::Fast)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("DrawTransformed/" + n + "/fast_scalar").c_str(),
                                     BM_DrawTransformed, &q, Path::FastScalar)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("DrawTransformed/" + n + "/api").c_str(), BM_DrawTransformed,
                                     &q, Path::Api)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("DrawTransformed/" + n + "/general").c_str(),
                                     BM_DrawTransformed, &q, Path::General)
            ->Unit(benchmark::kMillisecond);
#ifdef SCHAUPLATZ_HAVE_OPENCV
        benchmark::RegisterBenchmark(("OpenCV_warpPerspective/" + n + "/bbox").c_str(),
                                     BM_OpenCVWarp, &q, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("OpenCV_warpPerspective/" + n + "/frame").c_str(),
                                     BM_OpenCVWarp, &q, false)
            ->Unit(benchmark::kMillisecond);
#endif
    }
    benchmark::RegisterBenchmark("memset/frame", BM_Memset)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memcpy/frame", BM_Memcpy, kFrameW, kFrameH)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Clear/frame", BM_Clear)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Assign/frame", BM_Assign)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("NearestStretch/4000x3000_to_1441x1081", BM_NearestStretch)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memcpy/1441x1081", BM_Memcpy, kStretchDstW, kStretchDstH)
        ->Unit(benchmark::kMillisecond);
#ifdef SCHAUPLATZ_HAVE_OPENCV
    benchmark::RegisterBenchmark("OpenCV_resize/4000x3000_to_1441x1081", BM_OpenCVResize)
        ->Unit(benchmark::kMillisecond);
#endif
    benchmark::RegisterBenchmark("MarchingOutline/1000x1000", BM_MarchingOutline)
        ->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::CpuTimeReporter reporter("mean");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios of mean CPU time (below 1.00x: the first is faster)\n");
    for (const Quad& q : kQuads) {
        const std::string n = q.name;
        const std::string fast = "DrawTransformed/" + n + "/fast";
        printRatio(reporter, "fast path / OpenCV warp on bbox, " + n, fast,
                   "OpenCV_warpPerspective/" + n + "/bbox");
        printRatio(reporter, "fast path / OpenCV warp on frame, " + n, fast,
                   "OpenCV_warpPerspective/" + n + "/frame");
        printRatio(reporter, "DrawTransformed (api) / OpenCV warp on bbox, " + n,
                   "DrawTransformed/" + n + "/api", "OpenCV_warpPerspective/" + n + "/bbox");
        printRatio(reporter, "fast path / general sampler chain, " + n, fast,
                   "DrawTransformed/" + n + "/general");
        printRatio(reporter, "fast path / memcpy of a frame, " + n, fast, "memcpy/frame");
    }
    printRatio(reporter, "Clear / memset (1920x1080)", "Clear/frame", "memset/frame");
    printRatio(reporter, "Assign / memcpy (1920x1080)", "Assign/frame", "memcpy/frame");
    printRatio(reporter, "NearestStretch / memcpy of the destination",
               "NearestStretch/4000x3000_to_1441x1081", "memcpy/1441x1081");
    printRatio(reporter, "NearestStretch / OpenCV resize", "NearestStretch/4000x3000_to_1441x1081",
               "OpenCV_resize/4000x3000_to_1441x1081");
    printRatio(reporter, "marching outline frame / memcpy of a frame", "MarchingOutline/1000x1000",
               "memcpy/frame");
    return 0;
}
