// The element list while it scrolls through 200 camera photos: how long the event loop
// could not react (the longest gap between two of its passes, on the wall clock and in the
// user-interface thread's own processor time) while wheel steps scroll the list down and
// back up and the worker makes the thumbnails of the entries that come to rest.
//
// Run: QT_QPA_PLATFORM=offscreen build/release/bench/elementlist_scroll_bench

#include "elements/ElementListBox.h"
#include "platform/SchauplatzApplication.h"
#include "platform/elementlist/ElementListWidget.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <QWheelEvent>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include <stdlib.h>

namespace {

namespace fs = std::filesystem;
using schauplatz::ElementListWidget;
using schauplatz::TElementListBox;
using schauplatz::TThumbnailState;

qint64 threadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Runs a real event loop for ms milliseconds, so the idle pump sees the queue run empty.
void spinEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool visibleThumbnailsMade(const TElementListBox& list) {
    if (list.Count() == 0) return false;
    for (std::size_t i = list.FirstVisibleIndex(); i < list.Count() && list.IsVisible(i); ++i)
        if (list.ThumbnailStateOf(i) != TThumbnailState::Made) return false;
    return true;
}

// One 4000 x 3000 photo-like JPEG, linked under 200 names, in a folder removed at the end.
class PhotoFolder {
public:
    PhotoFolder() {
        std::string pattern = (fs::temp_directory_path() / "elementlist-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        m_path = pattern + "/";
        QImage photo(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
            for (int x = 0; x < photo.width(); ++x)
                row[x] = qRgb((x * 7 + y) & 0xFF, (y * 3 + (x >> 3)) & 0xFF, ((x ^ y) * 5) & 0xFF);
        }
        const std::string original = m_path + "original.JPG";
        if (!photo.save(QString::fromStdString(original), "JPG", 85)) return;
        for (int i = 0; i < 200; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "foto %03d.jpg", i);
            std::error_code error;
            fs::create_hard_link(original, m_path + name, error);
            if (error) fs::copy_file(original, m_path + name);
        }
        fs::remove(original);
    }
    ~PhotoFolder() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove_all(m_path, ignored);
    }
    PhotoFolder(const PhotoFolder&) = delete;
    PhotoFolder& operator=(const PhotoFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

void BM_ElementListWheelScrollThrough200Photos(benchmark::State& state) {
    PhotoFolder folder;
    if (folder.path().empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    double longestWallMs = 0, longestCpuMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TElementListBox list;
        list.AddImagesFromFolder(folder.path() + "*.jpg");
        ElementListWidget widget(list);
        widget.resize(193, 760);
        widget.show();
        QElapsedTimer ready;
        ready.start();
        while (!visibleThumbnailsMade(list) && ready.elapsed() < 60000)
            spinEventLoop(5);
        state.ResumeTiming();

        // Every pass of the event loop fires the zero timer; the longest time between two
        // passes is how long the window could not react. The thread's own processor time
        // leaves out what other processes took on a busy machine.
        QElapsedTimer clock;
        clock.start();
        qint64 lastPass = clock.nsecsElapsed();
        qint64 lastCpu = threadCpuNanoseconds();
        qint64 longestGap = 0, longestCpuGap = 0;
        QTimer pass;
        pass.setInterval(0);
        QObject::connect(&pass, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            const qint64 cpu = threadCpuNanoseconds();
            longestGap = std::max(longestGap, now - lastPass);
            longestCpuGap = std::max(longestCpuGap, cpu - lastCpu);
            lastPass = now;
            lastCpu = cpu;
        });
        pass.start();

        // Wheel steps down and back up, each a short animation; between them the worker
        // makes the thumbnails of entries that came to rest.
        QWidget* viewport = widget.viewport();
        auto wheel = [&](int delta) {
            const QPointF at(60, 300);
            QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(viewport, &event);
        };
        for (int step = 0; step < 60; ++step) {
            wheel(-240);
            spinEventLoop(step % 10 == 9 ? 400 : 40);
        }
        for (int step = 0; step < 30; ++step) {
            wheel(480);
            spinEventLoop(40);
        }
        spinEventLoop(300);
        pass.stop();
        longestWallMs = std::max(longestWallMs, static_cast<double>(longestGap) / 1e6);
        longestCpuMs = std::max(longestCpuMs, static_cast<double>(longestCpuGap) / 1e6);
    }
    // The figures the window's responsiveness is judged by, over all iterations.
    state.counters["longest_gap_ms"] = longestWallMs;
    state.counters["longest_thread_cpu_gap_ms"] = longestCpuMs;
}
BENCHMARK(BM_ElementListWheelScrollThrough200Photos)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    schauplatz::SchauplatzApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
