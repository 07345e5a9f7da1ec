// Scanline filling: a star of many points over a 1920 x 1080 clip (long rows, many crossings
// per row) and a poly-polygon of many small triangles (short rows, edges coming and going),
// each under both fill rules. The sink only sums the spans, so the time is the filling's own.
//
//   build/release/bench/polyfill_bench [--benchmark_filter=...]

#include "raster/PolygonFill.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using namespace schauplatz;

namespace {

const TRect kClip{0, 0, 1920, 1080};

// A star of Points tips around the frame's centre, drawn in one stroke so that it crosses
// itself (the rules differ on the overlaps).
std::vector<FillPolygon> star(int Points) {
    FillPolygon p;
    const double cx = 960.3, cy = 540.7, r = 700.0;
    const int step = Points / 2 - 1;
    for (int i = 0; i < Points; ++i) {
        const double a = 2.0 * 3.14159265358979 * ((i * step) % Points) / Points;
        p.push_back({cx + r * std::cos(a), cy + 0.75 * r * std::sin(a)});
    }
    return {p};
}

// Count triangles spread over the frame (fixed seed), a part of each reaching past the clip.
std::vector<FillPolygon> triangles(int Count) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> x(-40.0, 1960.0), y(-40.0, 1120.0), d(-30.0, 30.0);
    std::vector<FillPolygon> polygons;
    for (int i = 0; i < Count; ++i) {
        const double px = x(rng), py = y(rng);
        polygons.push_back({{px, py}, {px + d(rng), py + d(rng)}, {px + d(rng), py + d(rng)}});
    }
    return polygons;
}

void BM_Fill(benchmark::State& State, const std::vector<FillPolygon>* Polygons, FillRule Rule) {
    std::int64_t covered = 0;
    const SpanSink sink = [&covered](std::int32_t, std::int32_t X0, std::int32_t X1) {
        covered += X1 - X0;
    };
    for (auto _ : State) {
        covered = 0;
        fillPolyPolygon(*Polygons, Rule, kClip, sink);
        benchmark::DoNotOptimize(covered);
    }
    State.counters["pixels"] = static_cast<double>(covered);
}

} // namespace

int main(int argc, char** argv) {
    static const std::vector<FillPolygon> stars = star(101);
    static const std::vector<FillPolygon> small = triangles(5000);
    benchmark::RegisterBenchmark("Fill/star101/alternate", BM_Fill, &stars, FillRule::Alternate)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Fill/star101/winding", BM_Fill, &stars, FillRule::Winding)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Fill/triangles5000/alternate", BM_Fill, &small,
                                 FillRule::Alternate)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Fill/triangles5000/winding", BM_Fill, &small, FillRule::Winding)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
