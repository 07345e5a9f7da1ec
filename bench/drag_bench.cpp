// What the user feels while placing an element on a full-size facade: one drag step (the
// mouse move's RenderElement and the repaint into what the window shows) and the idle passes
// after the release (preview build and frame repaint), side by side with a plain memcpy of
// one 1920 x 1080 frame in the same run. The ratios to that memcpy, and of each drag step to
// the step as the view did it before it had a view scale, are printed at the end.
//
// Setting: a 1920 x 1080 facade, a 1000 x 2000 element under a quad whose bounding box is
// about 1100 x 1000. "Today" is the workspace view alone, as large as the workspace and shown
// one to one (the window showed its buffer as it was). The screen steps see it through the
// workspace screen of a maximized window on a 1366 x 768 screen (a visible area of
// 987 x 730), at 1:1 and at "Ganzes Bild" (51 %). A zoom step changes the scale of the whole
// view and repaints it.
//
// Snapping's cost: the same screen step at 1:1 on a made brick house front (the placement-aid
// tests' first), a corner dragged next to a window's corner with "Einrasten" on and off, and
// the snap query of the drag alone.

#include "MainUnit/MainUnit.h"
#include "TestFacades.h"
#include "elements/PictureFiles.h"
#include "raster/view/ScaledPresentation.h"
#include "testsupport/NullFormHost.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <stdlib.h>

namespace schauplatz {
namespace {

constexpr int kFacadeW = 1920;
constexpr int kFacadeH = 1080;

void writePicture(const std::string& path, int w, int h, std::uint32_t seed) {
    TBitmap32 picture;
    picture.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = (static_cast<std::uint32_t>(x) * 2654435761u) ^
                                    (static_cast<std::uint32_t>(y) * 40503u) ^ seed;
            picture.SetPixel(x, y, 0xFF000000u | (v & 0x00FFFFFFu));
        }
    WriteBitmapFile(picture, path);
}

constexpr int kVisibleW = 987;
constexpr int kVisibleH = 730;

// One window with facade and element loaded, kept for the whole run; seen through its screen
// when one is given a size.
struct Scene {
    testing::NullFormHost host;
    std::string folder;
    std::unique_ptr<TForm_Schauplatz> form;
    bool withScreen = false;

    explicit Scene(int screenW = 0, int screenH = 0) : withScreen(screenW > 0) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dragbench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern + "/";
        writePicture(folder + "facade.bmp", kFacadeW, kFacadeH, 7);
        writePicture(folder + "door.bmp", 1000, 2000, 9);
        form = std::make_unique<TForm_Schauplatz>(host, folder);
        form->FormCreate();
        form->LoadFacade(folder + "facade.bmp");
        form->LoadElementPicture(folder + "door.bmp");
        if (withScreen)
            form->WorkspaceScreen.Resize(screenW, screenH);
        else
            form->WorkingPlaceImage.Resize(kFacadeW, kFacadeH);
        reset();
        // A scene that did not come together would time nothing.
        const TBitmap32& ws = form->WorkingPlaceImage.Bitmap();
        long drawn = 0;
        for (int i = 0; i < ws.Width() * ws.Height(); ++i)
            drawn += ws.Bits()[i] != 0 ? 1 : 0;
        std::fprintf(stderr, "workspace %d x %d, element %d x %d, %ld element pixels drawn\n",
                     ws.Width(), ws.Height(), form->ImageSelectedDoor.Bitmap().Width(),
                     form->ImageSelectedDoor.Bitmap().Height(), drawn);
        if (drawn == 0) std::abort();
    }
    void paint() {
        if (withScreen)
            form->WorkspaceScreen.Paint();
        else
            form->WorkingPlaceImage.Paint();
    }
    // Bounding box 1100 x 1000, slightly in perspective; rendered, painted, previewed.
    void reset() {
        form->Vertices = {QuadPoint{400, 40}, QuadPoint{1500, 90}, QuadPoint{1460, 1040},
                          QuadPoint{420, 1000}};
        form->RenderElement();
        paint();
        form->CombineHintergrundAndOverlay();
        paint();
    }
    // Grabs the bottom right corner (scrolled into view on a screen).
    void grabCorner() {
        reset();
        if (withScreen) {
            TWorkspaceScreen& screen = form->WorkspaceScreen;
            const TPoint at = screen.ToScreen(TPoint{1460, 1040});
            screen.ScrollTo(screen.ScrollPosition().X + at.X - 500,
                            screen.ScrollPosition().Y + at.Y - 400);
            paint();
            m_at = screen.ToScreen(TPoint{1460, 1040});
            screen.MouseDown(mbLeft, ssLeft, m_at.X, m_at.Y);
        } else {
            form->WorkingPlaceImage.MouseDown(mbLeft, ssLeft, 1460, 1040);
        }
        if (form->ActiveVertex != 2) std::abort();
    }
    // Moves the mouse one pixel diagonally, back and forth.
    void step(int& dx) {
        if (withScreen) {
            m_at = TPoint{m_at.X + dx, m_at.Y + dx};
            form->WorkspaceScreen.MouseMove(ssLeft, m_at.X, m_at.Y);
        } else {
            form->WorkingPlaceImage.MouseMove(ssLeft, form->LastMouseX + dx, form->LastMouseY + dx);
        }
        dx = -dx;
    }
    void letGo() {
        if (withScreen)
            form->WorkspaceScreen.MouseUp(mbLeft, 0, m_at.X, m_at.Y);
        else
            form->WorkingPlaceImage.MouseUp(mbLeft, 0, form->LastMouseX, form->LastMouseY);
    }
    TPoint m_at{};

    ~Scene() {
        form->FormDestroy();
        form.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

Scene& scene() {
    static Scene instance;
    return instance;
}

Scene& screenScene() {
    static Scene instance(kVisibleW, kVisibleH);
    return instance;
}

// Grabs the bottom right corner and moves it one pixel back and forth: the view as it was
// before it had a view scale ("today").
void BM_DragStep(benchmark::State& state) {
    Scene& s = scene();
    TWorkspaceImage32& view = s.form->WorkingPlaceImage;
    s.grabCorner();
    int dx = 1;
    for (auto _ : state) {
        s.step(dx);
        view.Paint();
    }
    s.letGo();
    state.counters["picture_paints"] = static_cast<double>(view.PaintStatistics().picturePaints);
    benchmark::DoNotOptimize(view.Buffer().Bits());
}

// The same drag step seen through the screen, at 1:1 and at "Ganzes Bild".
void dragOnScreen(benchmark::State& state, bool fitted) {
    Scene& s = screenScene();
    TWorkspaceScreen& screen = s.form->WorkspaceScreen;
    if (fitted)
        screen.Fit();
    else
        screen.SetScale(TViewScale{});
    s.grabCorner();
    int dx = 1;
    for (auto _ : state) {
        s.step(dx);
        screen.Paint();
    }
    s.letGo();
    state.counters["scale_percent"] = screen.Scale().RoundedPercent();
    benchmark::DoNotOptimize(screen.ShownImage().Image);
}

void BM_DragStepScreen100(benchmark::State& state) {
    dragOnScreen(state, false);
}

void BM_DragStepScreenFit(benchmark::State& state) {
    dragOnScreen(state, true);
}

// A zoom step: the scale changes (about the middle) and the whole view is painted anew.
// Between 50 % and 67 % every screen pixel averages a block of the picture; between 150 %
// and 200 % each one shows one picture pixel.
void zoomBetween(benchmark::State& state, int lowPercent) {
    Scene& s = screenScene();
    TWorkspaceScreen& screen = s.form->WorkspaceScreen;
    s.reset();
    screen.SetScale(TViewScale::Percent(lowPercent));
    screen.Paint();
    int direction = 1;
    for (auto _ : state) {
        screen.ZoomSteps(direction, kVisibleW / 2, kVisibleH / 2);
        screen.Paint();
        direction = -direction;
    }
    benchmark::DoNotOptimize(screen.ShownImage().Image);
}

void BM_ZoomStepReduced(benchmark::State& state) {
    zoomBetween(state, 50);
}

void BM_ZoomStepEnlarged(benchmark::State& state) {
    zoomBetween(state, 150);
}

// RenderElement alone: the workspace cleared and the element drawn through the quad.
void BM_RenderElement(benchmark::State& state) {
    Scene& s = scene();
    s.reset();
    for (auto _ : state) {
        s.form->RenderElement();
        benchmark::DoNotOptimize(s.form->WorkingPlaceImage.Bitmap().Bits());
        benchmark::ClobberMemory();
    }
    s.form->WorkingPlaceImage.Paint();
}

// The same drag step with the whole view composed again, as every repaint did before the
// view kept its composition.
void BM_DragStepFullRepaint(benchmark::State& state) {
    Scene& s = scene();
    TWorkspaceImage32& view = s.form->WorkingPlaceImage;
    s.grabCorner();
    int dx = 1;
    for (auto _ : state) {
        s.step(dx);
        view.Invalidate();
        view.Paint();
    }
    s.letGo();
}

// The first idle pass after a release: the preview is built, the frame moves on.
void BM_IdlePassAfterRelease(benchmark::State& state) {
    Scene& s = scene();
    TWorkspaceImage32& view = s.form->WorkingPlaceImage;
    s.reset();
    for (auto _ : state) {
        state.PauseTiming();
        s.form->RenderElement(); // what the last move of the drag did
        view.Paint();
        state.ResumeTiming();
        s.form->AppEventsIdle();
        view.Paint();
    }
}

// An idle pass while nothing but the frame changes.
void BM_IdlePassSteady(benchmark::State& state) {
    Scene& s = scene();
    TWorkspaceImage32& view = s.form->WorkingPlaceImage;
    s.reset();
    s.form->AppEventsIdle();
    view.Paint();
    for (auto _ : state) {
        s.form->AppEventsIdle();
        view.Paint();
    }
}

// The idle pass as it would be without the kept composition and preview: a full repaint and
// a preview build every time.
void BM_IdlePassEverything(benchmark::State& state) {
    Scene& s = scene();
    TWorkspaceImage32& view = s.form->WorkingPlaceImage;
    s.reset();
    for (auto _ : state) {
        s.form->AppEventsIdle();
        s.form->CombineHintergrundAndOverlay();
        view.Invalidate();
        view.Paint();
    }
}

// The reduction alone: the whole 1920 x 1080 picture at "Ganzes Bild" (51 %) into the
// visible area, every screen pixel an area average.
void BM_PresentFitted(benchmark::State& state) {
    Scene& s = screenScene();
    TBitmap32& picture = s.form->ImageHintergrund.Bitmap();
    TBitmap32 screen;
    screen.SetSize(kVisibleW, kVisibleH);
    const TViewScale fit = FitScale(kFacadeW, kFacadeH, kVisibleW, kVisibleH);
    for (auto _ : state) {
        PresentScaled(TScaledSource{&picture, kFacadeW, kFacadeH}, screen, screen.BoundsRect(), fit,
                      0, 0, 0);
        benchmark::DoNotOptimize(screen.Bits());
        benchmark::ClobberMemory();
    }
}

void BM_MemcpyFrame(benchmark::State& state) {
    const std::size_t bytes = std::size_t{kFacadeW} * kFacadeH * 4;
    std::vector<std::uint8_t> a(bytes, 1);
    std::vector<std::uint8_t> b(bytes, 2);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}

// The made brick front, its features found, the element roughly in the first window and its
// bottom right corner grabbed four pixels off the window's corner.
struct SnapScene {
    testing::NullFormHost host;
    std::string folder;
    std::unique_ptr<TForm_Schauplatz> form;
    placementaid::testfacades::TTestFacade front;
    TPoint at{};

    SnapScene() {
        namespace tf = placementaid::testfacades;
        std::string pattern =
            (std::filesystem::temp_directory_path() / "snapbench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern + "/";
        front = tf::makeHouseFront(tf::standardHouseFronts().front());
        WriteBitmapFile(front.Picture, folder + "front.bmp");
        writePicture(folder + "door.bmp", 200, 300, 9);
        form = std::make_unique<TForm_Schauplatz>(host, folder);
        form->FormCreate();
        form->LoadFacade(folder + "front.bmp");
        form->LoadElementPicture(folder + "door.bmp");
        form->WorkspaceScreen.Resize(kVisibleW, kVisibleH);
        form->WorkspaceScreen.SetScale(TViewScale{});
        if (!form->WaitForFacadeFeatures()) std::abort();
        const auto& c = front.Openings.front().Corners;
        for (std::size_t i = 0; i < 4; ++i)
            form->Vertices[i] = QuadPoint{static_cast<int>(c[i].X) + (i == 1 || i == 2 ? -5 : 5),
                                          static_cast<int>(c[i].Y) + (i >= 2 ? -5 : 5)};
        form->RenderElement();
        TWorkspaceScreen& screen = form->WorkspaceScreen;
        const TPoint corner = screen.ToScreen(TPoint{form->Vertices[2].X, form->Vertices[2].Y});
        screen.ScrollTo(screen.ScrollPosition().X + corner.X - 500,
                        screen.ScrollPosition().Y + corner.Y - 400);
        screen.Paint();
    }
    // Grabs the bottom right corner and takes it next to the window's corner (four pixels
    // off) or into the middle of its pane, far from any corner or edge.
    void grab(bool snapping, bool nearCorner) {
        if (form->Item("Einrasten1").checked != snapping) form->ClickMenuItem("Einrasten1");
        TWorkspaceScreen& screen = form->WorkspaceScreen;
        at = screen.ToScreen(TPoint{form->Vertices[2].X, form->Vertices[2].Y});
        screen.MouseDown(mbLeft, ssLeft, at.X, at.Y);
        if (form->ActiveVertex != 2) std::abort();
        const auto& o = front.Openings.front();
        const placementaid::TPointD to =
            nearCorner ? placementaid::TPointD{o.Corners[2].X + 4, o.Corners[2].Y + 3} : o.Click;
        const TPoint target =
            screen.ToScreen(TPoint{static_cast<int>(to.X), static_cast<int>(to.Y)});
        screen.MouseMove(ssLeft, target.X, target.Y);
        at = target;
        screen.Paint();
    }
    void letGo() { form->WorkspaceScreen.MouseUp(mbLeft, 0, at.X, at.Y); }
    ~SnapScene() {
        form->FormDestroy();
        form.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

SnapScene& snapScene() {
    static SnapScene instance;
    return instance;
}

// One pixel diagonally back and forth. Near the corner a snapping vertex stays on it (a
// smaller repaint than the free one's); in the pane both move alike, so that pair shows what
// the snap query adds to the same drawing.
void dragSnapScene(benchmark::State& state, bool snapping, bool nearCorner) {
    SnapScene& s = snapScene();
    s.grab(snapping, nearCorner);
    TWorkspaceScreen& screen = s.form->WorkspaceScreen;
    int dx = 1;
    for (auto _ : state) {
        s.at = TPoint{s.at.X + dx, s.at.Y + dx};
        screen.MouseMove(ssLeft, s.at.X, s.at.Y);
        screen.Paint();
        dx = -dx;
    }
    state.counters["snapped"] = s.form->ViewStatus().Notice.empty() ? 0 : 1;
    s.letGo();
}

void BM_DragStepSnapOnNear(benchmark::State& state) {
    dragSnapScene(state, true, true);
}

void BM_DragStepSnapOffNear(benchmark::State& state) {
    dragSnapScene(state, false, true);
}

void BM_DragStepSnapOnPane(benchmark::State& state) {
    dragSnapScene(state, true, false);
}

void BM_DragStepSnapOffPane(benchmark::State& state) {
    dragSnapScene(state, false, false);
}

// The query a snapping drag step adds: next to the corner of the opening the drag fitted at
// its start (a distance), and in the pane (the search of every corner and edge near it).
void snapQuery(benchmark::State& state, bool nearCorner) {
    SnapScene& s = snapScene();
    const auto& v = s.form->Vertices;
    const placementaid::TVertexDrag drag(s.form->FacadeFeatures(),
                                         {TPoint{v[0].X, v[0].Y}, TPoint{v[1].X, v[1].Y},
                                          TPoint{v[2].X, v[2].Y}, TPoint{v[3].X, v[3].Y}},
                                         2);
    const auto& o = s.front.Openings.front();
    const placementaid::TPointD at =
        nearCorner ? placementaid::TPointD{o.Corners[2].X + 4, o.Corners[2].Y + 3} : o.Click;
    double d = 1.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(drag.snap({at.X + d, at.Y + d}, {10.0, 6.0}));
        d = -d;
    }
}

void BM_SnapQueryNear(benchmark::State& state) {
    snapQuery(state, true);
}

void BM_SnapQueryPane(benchmark::State& state) {
    snapQuery(state, false);
}

// The press on a corner: with "Einrasten" on it fits the opening the element sits in once.
void pressCorner(benchmark::State& state, bool snapping) {
    SnapScene& s = snapScene();
    if (s.form->Item("Einrasten1").checked != snapping) s.form->ClickMenuItem("Einrasten1");
    TWorkspaceScreen& screen = s.form->WorkspaceScreen;
    const TPoint at = screen.ToScreen(TPoint{s.form->Vertices[2].X, s.form->Vertices[2].Y});
    for (auto _ : state) {
        screen.MouseDown(mbLeft, ssLeft, at.X, at.Y);
        state.PauseTiming();
        screen.MouseUp(mbLeft, 0, at.X, at.Y);
        state.ResumeTiming();
    }
}

void BM_PressCornerSnapOn(benchmark::State& state) {
    pressCorner(state, true);
}

void BM_PressCornerSnapOff(benchmark::State& state) {
    pressCorner(state, false);
}

BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderElement)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepScreen100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepScreenFit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomStepReduced)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomStepEnlarged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentFitted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepFullRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdlePassAfterRelease)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdlePassSteady)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdlePassEverything)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepSnapOffNear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepSnapOnNear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepSnapOffPane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragStepSnapOnPane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PressCornerSnapOff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PressCornerSnapOn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapQueryNear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapQueryPane)->Unit(benchmark::kMillisecond);

// Prints each result as a multiple of the memcpy of one frame after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // Processor time: on a machine shared with other work the wall time also counts the
        // waits for the processor. With repetitions the median stands for the run.
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && m_times.count(run.run_name.str()) == 0)
                m_times[run.run_name.str()] = run.GetAdjustedCPUTime();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_times[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto memcpyTime = m_times.find("BM_MemcpyFrame");
        if (memcpyTime == m_times.end() || memcpyTime->second <= 0) return;
        std::printf("\nProcessor time, and its ratio to a memcpy of one 1920 x 1080 frame:\n");
        for (const auto& [name, time] : m_times)
            std::printf("  %-28s %8.3f ms  %6.2f x\n", name.c_str(), time,
                        time / memcpyTime->second);
        std::printf("\nDrag steps with \"Einrasten\" on against off:\n");
        for (const char* place : {"DragStepSnap|Near", "DragStepSnap|Pane", "PressCornerSnap|"}) {
            const std::string p(place);
            const std::string stem = "BM_" + p.substr(0, p.find('|'));
            const std::string tail = p.substr(p.find('|') + 1);
            const auto on = m_times.find(stem + "On" + tail);
            const auto off = m_times.find(stem + "Off" + tail);
            if (on != m_times.end() && off != m_times.end() && off->second > 0)
                std::printf("  %-24s %6.2f x (%+.4f ms)\n", (stem + tail).c_str(),
                            on->second / off->second, on->second - off->second);
        }
        for (const char* name : {"BM_SnapQueryNear", "BM_SnapQueryPane"})
            if (const auto query = m_times.find(name); query != m_times.end())
                std::printf("  %s alone: %.3f microseconds\n", name, query->second * 1000.0);
        const auto today = m_times.find("BM_DragStep");
        if (today == m_times.end() || today->second <= 0) return;
        std::printf("\nDrag steps against the step of the view before its view scale:\n");
        for (const char* name : {"BM_DragStepScreen100", "BM_DragStepScreenFit"})
            if (const auto found = m_times.find(name); found != m_times.end())
                std::printf("  %-28s %6.2f x\n", name, found->second / today->second);
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace
} // namespace schauplatz

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    schauplatz::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
