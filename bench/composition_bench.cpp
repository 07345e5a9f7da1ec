// The document model on a full-size facade, side by side in one run: taking up, putting back
// and undoing one element of a composite of 20, beside a plain replay of the whole composite
// and one rendering of one element; loading a 20-element project through the model; and the
// history's memory after 100 acceptances.
//
// Setting: a 1920 x 1080 facade, 20 elements (doors and windows of 300 x 600 to 500 x 400
// pixels) on a 5 x 4 grid of openings with a little perspective, neighbours overlapping.

#include "composition/ProjectReplay.h"
#include "elements/PictureFiles.h"
#include "project/ProjectArchive.h"
#include "raster/Drawing.h"
#include "raster/Transformation.h"
#include "support/U_SYSTOOLS.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>

namespace schauplatz {
namespace {

constexpr int kFacadeW = 1920;
constexpr int kFacadeH = 1080;
constexpr int kElements = 20;

TSharedPicture pattern(int w, int h, std::uint32_t seed) {
    auto picture = std::make_shared<TBitmap32>();
    picture->SetDrawMode(dmBlend);
    picture->SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = (static_cast<std::uint32_t>(x) * 2654435761u) ^
                                    (static_cast<std::uint32_t>(y) * 40503u) ^ seed;
            picture->SetPixel(x, y, 0xFF000000u | (v & 0x00FFFFFFu));
        }
    return picture;
}

struct Scene {
    TSharedPicture facade = pattern(kFacadeW, kFacadeH, 1);
    std::vector<TPlacedElement> elements;
    Scene() {
        std::mt19937 rng(7);
        const TSharedPicture pictures[] = {pattern(300, 600, 2), pattern(500, 400, 3),
                                           pattern(400, 500, 4)};
        for (int i = 0; i < kElements; ++i) {
            const int x = (i % 5) * 380 + 20, y = (i / 5) * 265 + 15;
            const int w = 330 + static_cast<int>(rng() % 60),
                      h = 240 + static_cast<int>(rng() % 40);
            const auto d = [&rng] { return static_cast<int>(rng() % 21) - 10; };
            elements.push_back(
                {"C:/Muster/Element " + std::to_string(i % 3) + ".bmp", pictures[i % 3],
                 TQuad{QuadPoint{x + d(), y + d()}, QuadPoint{x + w + d(), y + d()},
                       QuadPoint{x + w + d(), y + h + d()}, QuadPoint{x + d(), y + h + d()}}});
        }
    }
    TComposition composed() const {
        TComposition c;
        c.SetFacade("C:/Bilder/Haus.bmp", facade);
        for (const TPlacedElement& e : elements)
            c.Accept(e);
        return c;
    }
};

const Scene& scene() {
    static const Scene s;
    return s;
}

void BM_ReplayWholeComposite(benchmark::State& state) {
    for (auto _ : state) {
        TComposition c;
        c.SetFacade("f", scene().facade);
        for (const TPlacedElement& e : scene().elements)
            c.AppendReplayed(e);
        benchmark::DoNotOptimize(c.Background().Bits());
    }
}
BENCHMARK(BM_ReplayWholeComposite)->Unit(benchmark::kMillisecond);

// One element rendered as the window renders it: cleared workspace, drawn through its quad.
void BM_RenderOneElement(benchmark::State& state) {
    TBitmap32 workspace;
    workspace.SetSize(kFacadeW, kFacadeH);
    const TPlacedElement& e = scene().elements[7];
    TProjectiveTransformation T;
    T.SetX0(static_cast<float>(e.Quad[0].X));
    T.SetY0(static_cast<float>(e.Quad[0].Y));
    T.SetX1(static_cast<float>(e.Quad[1].X));
    T.SetY1(static_cast<float>(e.Quad[1].Y));
    T.SetX2(static_cast<float>(e.Quad[2].X));
    T.SetY2(static_cast<float>(e.Quad[2].Y));
    T.SetX3(static_cast<float>(e.Quad[3].X));
    T.SetY3(static_cast<float>(e.Quad[3].Y));
    T.SetSourceRect(TFloatRect{0, 0, static_cast<float>(e.Picture->Width() - 1),
                               static_cast<float>(e.Picture->Height() - 1)});
    for (auto _ : state) {
        workspace.Clear(0);
        DrawTransformed(&workspace, e.Picture.get(), &T);
        benchmark::DoNotOptimize(workspace.Bits());
    }
}
BENCHMARK(BM_RenderOneElement)->Unit(benchmark::kMillisecond);

void BM_TakeUp(benchmark::State& state) {
    TComposition c = scene().composed();
    for (auto _ : state) {
        c.TakeUp(7);
        state.PauseTiming();
        c.CancelEdit();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TakeUp)->Unit(benchmark::kMillisecond);

void BM_PutBackChanged(benchmark::State& state) {
    TComposition c = scene().composed();
    TPlacedElement moved = scene().elements[7];
    for (auto _ : state) {
        state.PauseTiming();
        c.TakeUp(7);
        moved.Quad[2].X += 1;
        state.ResumeTiming();
        c.PutBack(moved, 7);
    }
}
BENCHMARK(BM_PutBackChanged)->Unit(benchmark::kMillisecond);

void BM_UndoOfAPutBack(benchmark::State& state) {
    TComposition c = scene().composed();
    TPlacedElement moved = scene().elements[7];
    moved.Quad[2].X += 15;
    c.TakeUp(7);
    c.PutBack(moved, 7);
    for (auto _ : state) {
        c.Undo();
        state.PauseTiming();
        c.Redo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoOfAPutBack)->Unit(benchmark::kMillisecond);

// The undo picture the side panel shows after each change.
void BM_UndoPicture(benchmark::State& state) {
    TComposition c = scene().composed();
    for (auto _ : state) {
        TBitmap32 picture = c.UndoPicture();
        benchmark::DoNotOptimize(picture.Bits());
    }
}
BENCHMARK(BM_UndoPicture)->Unit(benchmark::kMillisecond);

// A 20-element project written once, then loaded through the model again and again.
void BM_LoadProject20(benchmark::State& state) {
    const std::string folder = GetTempFolder() + "composition-bench/";
    std::filesystem::create_directories(folder);
    const std::string facadePath = folder + "Haus.bmp";
    WriteBitmapFile(*scene().facade, facadePath);
    std::map<std::string, std::string> written;
    TComposition c;
    c.SetFacade(facadePath, scene().facade);
    for (TPlacedElement e : scene().elements) {
        const std::string path = folder + std::filesystem::path(e.Path).filename().string();
        if (!written.count(path)) WriteBitmapFile(*e.Picture, path);
        written[path] = path;
        e.Path = path;
        c.AppendReplayed(e);
    }
    TProjectFolders folders(GetTempFolder());
    TZipArchive zip;
    const std::string project = folder + "p20.vbk";
    writeProjectArchive(project, c.RecordLines(), folders, zip);
    for (auto _ : state) {
        std::optional<TLoadedProject> loaded = LoadProjectFile(project, folders, zip);
        benchmark::DoNotOptimize(loaded->composition.Background().Bits());
        folders.DropOlderPictureSets();
    }
    state.counters["archive_MB"] =
        static_cast<double>(std::filesystem::file_size(project)) / (1024.0 * 1024.0);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadProject20)->Unit(benchmark::kMillisecond)->Iterations(5);

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// 100 acceptances of one door picture on the facade, each its own step: the peak memory of
// the process grows by the composition (facade, background, drawing scratch) and the
// history's element records; no background is kept per step.
void BM_HistoryOfAHundredAcceptances(benchmark::State& state) {
    const long before = peakKilobytes();
    for (auto _ : state) {
        TComposition c;
        c.SetFacade("f", scene().facade);
        const TSharedPicture door = scene().elements[0].Picture;
        for (int i = 0; i < 100; ++i)
            c.Accept({"d.bmp", door,
                      TQuad{QuadPoint{i * 17, 40}, QuadPoint{i * 17 + 80, 42},
                            QuadPoint{i * 17 + 80, 200}, QuadPoint{i * 17, 198}}});
        benchmark::DoNotOptimize(c.Background().Bits());
        state.counters["history_picture_MB"] =
            static_cast<double>(c.History().pictureBytes(c.Elements())) / (1024.0 * 1024.0);
    }
    state.counters["peak_growth_MB"] = static_cast<double>(peakKilobytes() - before) / 1024.0;
}
BENCHMARK(BM_HistoryOfAHundredAcceptances)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace schauplatz

BENCHMARK_MAIN();
