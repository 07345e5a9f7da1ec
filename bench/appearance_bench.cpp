// The element's appearance rendering side by side with the exact nearest-neighbour rendering
// it keeps as the default, and with OpenCV's bilinear perspective warp on the same quad.
// Every iteration clears the element's area first, as the window does before a render.
//
//   build/release/bench/appearance_bench [--benchmark_filter=...]

#include "composition/PlacedElement.h"
#include "raster/Appearance.h"
#include "raster/Bitmap32.h"
#include "raster/Drawing.h"
#include "raster/ElementRendering.h"
#include "raster/LightMatching.h"
#include "raster/Rasterizers.h"
#include "raster/Transformation.h"

#include "BenchReporters.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
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

struct Scene {
    const char* name;
    TElementQuad quad;
};

// "large": the drag benchmark's quad, bounding box 1100 x 1000 (a 2 : 1 reduction in
// height); "small": 200 x 400, a 5 : 1 reduction that needs the box pyramid.
const Scene kScenes[] = {
    {"large", {TPoint{400, 40}, TPoint{1500, 100}, TPoint{1420, 1040}, TPoint{450, 980}}},
    {"small", {TPoint{800, 300}, TPoint{1000, 320}, TPoint{990, 700}, TPoint{810, 690}}},
};

// A door-like picture: opaque and translucent areas, a fully transparent border.
TBitmap32& element() {
    static TBitmap32 b;
    if (b.IsEmpty()) {
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
    }
    return b;
}

TRect clearArea(const TElementQuad& Q) {
    const TRect box = QuadBounds(TQuad{QuadPoint{Q[0].X, Q[0].Y}, QuadPoint{Q[1].X, Q[1].Y},
                                       QuadPoint{Q[2].X, Q[2].Y}, QuadPoint{Q[3].X, Q[3].Y}});
    return IntersectRect(TRect{box.Left - 3, box.Top - 3, box.Right + 4, box.Bottom + 4},
                         TRect{0, 0, kFrameW, kFrameH});
}

void clear(TBitmap32& Dst, const TRect& R) {
    for (std::int32_t y = R.Top; y < R.Bottom; ++y)
        std::fill_n(Dst.PixelPointer(R.Left, y), R.Width(), TColor32{0});
}

enum class Kind { Before, Exact, Nearest, NearestLit, Smooth, SmoothLitShadow, AutoMatch };

// The light and shadow settings of the lit kinds.
void light(TAppearance& a) {
    a.Brightness = -20;
    a.Contrast = -10;
    a.Temperature = 25;
    a.ShadowDepth = 60;
    a.ShadowDarkness = 50;
}

TAppearance appearanceOf(Kind K) {
    TAppearance a;
    switch (K) {
    case Kind::NearestLit:
        light(a);
        break;
    case Kind::Nearest:
        a.Opacity = 254; // the appearance layer without smoothing, light or shadow
        break;
    case Kind::Smooth:
        a.Smooth = true;
        break;
    case Kind::SmoothLitShadow:
        a.Smooth = true;
        light(a);
        break;
    default:
        break;
    }
    return a;
}

void BM_Render(benchmark::State& State, const Scene* S, Kind K) {
    TBitmap32& picture = element();
    TBitmap32 dst;
    dst.SetSize(kFrameW, kFrameH);
    const TRect area = clearArea(S->quad);
    const TAppearance a = appearanceOf(K);
    TBitmap32 facade;
    if (K == Kind::AutoMatch) {
        facade.SetSize(kFrameW, kFrameH);
        facade.Clear(0xFF806040u);
    }
    for (auto _ : State) {
        clear(dst, area);
        if (K == Kind::Before) {
            // What the window's RenderElement did: its transformation, then transformed drawing.
            TProjectiveTransformation T;
            SetupElementTransformation(T, S->quad, picture);
            DrawTransformed(&dst, &picture, &T);
        } else if (K == Kind::AutoMatch) {
            benchmark::DoNotOptimize(AutoMatchAppearance(facade, picture, S->quad, a));
        } else {
            RenderElementInto(dst, picture, S->quad, a, dst.BoundsRect());
        }
        benchmark::DoNotOptimize(dst.Bits());
        benchmark::ClobberMemory();
    }
}

#ifdef SCHAUPLATZ_HAVE_OPENCV

void BM_OpenCV(benchmark::State& State, const Scene* S, int Interpolation) {
    cv::setNumThreads(1);
    TBitmap32& picture = element();
    TBitmap32 dst;
    dst.SetSize(kFrameW, kFrameH);
    TProjectiveTransformation T;
    SetupElementTransformation(T, S->quad, picture);
    T.Prepare();
    const TFloatMatrix& m = T.Matrix();
    cv::Mat M(3, 3, CV_64F);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            M.at<double>(r, c) = m[3 * c + r];
    const TRect area = clearArea(S->quad);
    const cv::Mat shift = (cv::Mat_<double>(3, 3) << 1, 0, -area.Left, 0, 1, -area.Top, 0, 0, 1);
    M = shift * M;
    cv::Mat src(picture.Height(), picture.Width(), CV_8UC4, picture.Bits());
    cv::Mat out(dst.Height(), dst.Width(), CV_8UC4, dst.Bits());
    cv::Mat roi = out(cv::Rect(area.Left, area.Top, area.Width(), area.Height()));
    for (auto _ : State) {
        clear(dst, area);
        cv::warpPerspective(src, roi, M, roi.size(), Interpolation, cv::BORDER_TRANSPARENT);
        benchmark::DoNotOptimize(dst.Bits());
        benchmark::ClobberMemory();
    }
}

#endif

// Median CPU time with repetitions, else the mean.
void printRatio(const bench::CpuTimeReporter& R, const std::string& Label, const std::string& A,
                const std::string& B) {
    bench::printCpuRatio(R, 52, Label, A, B);
}

const char* kindName(Kind K) {
    switch (K) {
    case Kind::Before:
        return "before";
    case Kind::Exact:
        return "exact";
    case Kind::Nearest:
        return "nearest_layer";
    case Kind::NearestLit:
        return "nearest_light_shadow";
    case Kind::Smooth:
        return "smooth";
    case Kind::SmoothLitShadow:
        return "smooth_light_shadow";
    case Kind::AutoMatch:
        return "auto_match";
    }
    return "";
}

} // namespace

int main(int argc, char** argv) {
    const Kind kinds[] = {Kind::Before, Kind::Exact,           Kind::Nearest,  Kind::NearestLit,
                          Kind::Smooth, Kind::SmoothLitShadow, Kind::AutoMatch};
    for (const Scene& s : kScenes) {
        for (const Kind k : kinds)
            benchmark::RegisterBenchmark(
                (std::string("Element/") + s.name + "/" + kindName(k)).c_str(), BM_Render, &s, k)
                ->Unit(benchmark::kMillisecond);
#ifdef SCHAUPLATZ_HAVE_OPENCV
        benchmark::RegisterBenchmark(
            (std::string("OpenCV_warpPerspective/") + s.name + "/linear").c_str(), BM_OpenCV, &s,
            static_cast<int>(cv::INTER_LINEAR))
            ->Unit(benchmark::kMillisecond);
#endif
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::CpuTimeReporter reporter("median");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios of CPU time (median with repetitions, else mean)\n");
    for (const Scene& s : kScenes) {
        const std::string p = std::string("Element/") + s.name + "/";
        printRatio(reporter, std::string("exact entry point / before, ") + s.name, p + "exact",
                   p + "before");
        printRatio(reporter, std::string("smooth / exact, ") + s.name, p + "smooth", p + "exact");
        printRatio(reporter, std::string("smooth + light + shadow / smooth, ") + s.name,
                   p + "smooth_light_shadow", p + "smooth");
        printRatio(reporter, std::string("nearest + light + shadow / nearest layer, ") + s.name,
                   p + "nearest_light_shadow", p + "nearest_layer");
        printRatio(reporter, std::string("smooth / OpenCV bilinear warp, ") + s.name, p + "smooth",
                   std::string("OpenCV_warpPerspective/") + s.name + "/linear");
    }
    return 0;
}
