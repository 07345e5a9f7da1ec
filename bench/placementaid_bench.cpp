// Assisted placement on the made facades of the tests: feature extraction of a 1920 x 1080
// facade, a one-click opening fit, one snap query and the start of a vertex drag, side by side
// in the same run with OpenCV's own straight-line detector (LSD) and its Canny edge detector
// on the same picture. Before the table it prints the quality figures (fit and snap hit
// rates, corner errors, false fits on plain walls); after it, the ratios.
//
// Times are medians of repetitions; the machine is shared, so "CPU" (the process's processor
// time, all threads) is the steadier figure, "Time" the wall clock a user waits.

#include "TestFacadeQuality.h"
#include "TestFacades.h"
#include "placementaid/PlacementAid.h"

#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace schauplatz::placementaid::testfacades {
namespace {

// The facades, made once for the whole run.
struct TScene {
    std::vector<TTestFacade> Facades;
    std::vector<std::shared_ptr<const TFacadeFeatures>> Features;
    cv::Mat Grey; // of the first facade, for the peers

    static const TScene& get() {
        static const TScene scene = [] {
            TScene s;
            for (const THouseFrontPlan& plan : standardHouseFronts()) {
                s.Facades.push_back(makeHouseFront(plan));
                s.Features.push_back(extractFacadeFeatures(s.Facades.back().Picture));
            }
            const TBitmap32& p = s.Facades.front().Picture;
            const cv::Mat bgra(p.Height(), p.Width(), CV_8UC4, const_cast<TColor32*>(p.Bits()));
            cv::cvtColor(bgra, s.Grey, cv::COLOR_BGRA2GRAY);
            return s;
        }();
        return scene;
    }
};

void BM_ExtractFeatures1920x1080(benchmark::State& State) {
    const TScene& s = TScene::get();
    const std::size_t which = static_cast<std::size_t>(State.range(0));
    for (auto _ : State)
        benchmark::DoNotOptimize(extractFacadeFeatures(s.Facades[which].Picture));
    State.SetLabel(s.Facades[which].Name);
}

void BM_PeerLineSegmentDetector(benchmark::State& State) {
    const TScene& s = TScene::get();
    const cv::Ptr<cv::LineSegmentDetector> lsd = cv::createLineSegmentDetector();
    std::vector<cv::Vec4f> lines;
    for (auto _ : State) {
        lsd->detect(s.Grey, lines);
        benchmark::DoNotOptimize(lines.data());
    }
    State.SetLabel(std::to_string(lines.size()) + " segments");
}

void BM_PeerCannyOnGrey(benchmark::State& State) {
    const TScene& s = TScene::get();
    cv::Mat edges;
    for (auto _ : State) {
        cv::Canny(s.Grey, edges, 40, 80);
        benchmark::DoNotOptimize(edges.data);
    }
}

void BM_FitOpening(benchmark::State& State) {
    const TScene& s = TScene::get();
    std::size_t i = 0;
    for (auto _ : State) {
        const TTestFacade& f = s.Facades[i % s.Facades.size()];
        const TOpeningTruth& t = f.Openings[(i / s.Facades.size()) % f.Openings.size()];
        benchmark::DoNotOptimize(s.Features[i % s.Facades.size()]->fitOpening(t.Click));
        ++i;
    }
}

void BM_FitOnPlainWallClick(benchmark::State& State) {
    const TScene& s = TScene::get();
    std::size_t i = 0;
    for (auto _ : State) {
        const TPointD click{40.0 + 37.0 * static_cast<double>(i % 40), 700.0};
        benchmark::DoNotOptimize(s.Features.front()->fitOpening(click));
        ++i;
    }
}

void BM_SnapQuery(benchmark::State& State) {
    const TScene& s = TScene::get();
    const TTestFacade& f = s.Facades.front();
    std::size_t i = 0;
    for (auto _ : State) {
        const TOpeningTruth& t = f.Openings[i % f.Openings.size()];
        const TPointD c = t.Corners[(i / f.Openings.size()) % 4];
        const double d = static_cast<double>(i % 9) - 4.0;
        benchmark::DoNotOptimize(
            s.Features.front()->snap({c.X + d, c.Y - d}, {}, TPointD{0.6, 0.8}));
        ++i;
    }
}

void BM_VertexDragStart(benchmark::State& State) {
    const TScene& s = TScene::get();
    const TTestFacade& f = s.Facades.front();
    std::size_t i = 0;
    for (auto _ : State) {
        const TOpeningTruth& t = f.Openings[i % f.Openings.size()];
        TQuad q{};
        for (std::size_t k = 0; k < 4; ++k)
            q[k] = {static_cast<std::int32_t>(t.Corners[k].X) + 3,
                    static_cast<std::int32_t>(t.Corners[k].Y) - 2};
        const TVertexDrag drag(s.Features.front(), q, i % 4);
        benchmark::DoNotOptimize(drag.opening());
        ++i;
    }
}

constexpr int kRepetitions = 5;

BENCHMARK(BM_ExtractFeatures1920x1080)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PeerLineSegmentDetector)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PeerCannyOnGrey)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FitOpening)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FitOnPlainWallClick)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SnapQuery)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_VertexDragStart)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);

void printQuality() {
    const TScene& s = TScene::get();
    TFitFigures fits;
    TSnapFigures plain, placed;
    for (std::size_t i = 0; i < s.Facades.size(); ++i) {
        add(fits, measureFits(*s.Features[i], s.Facades[i]));
        add(plain, measureSnaps(s.Features[i], s.Facades[i], TDragContext::Plain));
        add(placed, measureSnaps(s.Features[i], s.Facades[i], TDragContext::Placed));
    }
    std::printf("Quality on the %zu made facades (%d openings):\n", s.Facades.size(),
                fits.Openings);
    std::printf("  one-click fit: %d of %d (%.1f %%) with every corner within %.1f px; corner "
                "error median %.2f px, 90 %% %.2f px\n",
                fits.Found, fits.Openings, 100.0 * fits.Found / fits.Openings, kFitTolerance,
                median(fits.Errors), percentile(fits.Errors, 0.9));
    std::printf("  corner drags started within %.0f px, element anywhere: %.1f %% within %.0f px "
                "(%d drags)\n",
                kDragStartReach, 100.0 * plain.Landed / plain.Drags, kSnapTolerance, plain.Drags);
    std::printf("  corner drags started within %.0f px, element roughly in the opening: %.1f %% "
                "within %.0f px\n",
                kDragStartReach, 100.0 * placed.Landed / placed.Drags, kSnapTolerance);
    int wallFits = 0, wallClicks = 0;
    for (const TWall wall : {TWall::Brick, TWall::Plaster}) {
        const auto f =
            extractFacadeFeatures(makeHouseFront(plainWall(wall, 1920, 1080, 5)).Picture);
        wallFits += countFits(*f, 40.0);
        wallClicks += (1920 / 40) * (1080 / 40);
    }
    std::printf("  plain walls (brick, plaster): %d false fits in %d clicks\n\n", wallFits,
                wallClicks);
}

// Keeps each benchmark's median so the ratios can be printed afterwards.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_times[run.run_name.function_name +
                        (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] = {
                    run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(), run.time_unit};
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto lsd = m_times.find("BM_PeerLineSegmentDetector");
        if (lsd == m_times.end()) return;
        std::printf("\nMedians, and extraction against OpenCV's line segment detector:\n");
        for (const auto& [name, t] : m_times) {
            const bool sameUnit = t.Unit == lsd->second.Unit;
            std::printf("  %-40s wall %9.3f  cpu %9.3f %s", name.c_str(), t.Real, t.Cpu,
                        benchmark::GetTimeUnitString(t.Unit));
            if (sameUnit && lsd->second.Real > 0)
                std::printf("   %.2f x LSD (wall), %.2f x (cpu)", t.Real / lsd->second.Real,
                            t.Cpu / lsd->second.Cpu);
            std::printf("\n");
        }
    }

private:
    struct TTimes {
        double Real;
        double Cpu;
        benchmark::TimeUnit Unit;
    };
    std::map<std::string, TTimes> m_times;
};

} // namespace
} // namespace schauplatz::placementaid::testfacades

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    schauplatz::placementaid::testfacades::printQuality();
    schauplatz::placementaid::testfacades::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
