// The thumbnail worker's schedule, driven by a fake maker that records which
// entries it was asked for and can be held at a chosen entry. The tests wait on
// what the worker itself reports (the maker's calls, the window's repaint
// requests, its resting latch) and assert order and content, never durations:
// the list's pauses while scrolling are measured in
// bench/elementlist_scroll_bench.cpp.

#include "elements/ElementListBox.h"
#include "elements/PictureFiles.h"
#include "picture_fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace schauplatz {
namespace {

using namespace std::chrono_literals;
using picture_test::Bytes;
using picture_test::ScratchFolder;

// Only a hang reaches this bound on a wait; no result depends on it.
constexpr auto kHangGuard = 60s;

// Something the worker reported; waiters check their condition on every report.
class Reports {
public:
    void report() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_count;
        }
        m_changed.notify_all();
    }
    // True once condition holds after a report (or at once); false only on a hang.
    bool waitUntil(const std::function<bool()>& condition) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, kHangGuard, condition);
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::uint64_t m_count = 0;
};

// A maker that records the file names it was asked for, and can be held
// inside one chosen file until released.
class FakeMaker {
public:
    std::optional<ThumbnailResult> make(const std::string& path, PictureSize area) {
        const std::string name = path.substr(path.find_last_of('/') + 1);
        std::unique_lock<std::mutex> lock(m_lock);
        m_calls.push_back(name);
        ++m_inside;
        m_changed.notify_all();
        if (name == m_holdAt) m_changed.wait(lock, [&] { return m_released; });
        --m_inside;
        if (name.find("kaputt") != std::string::npos) return std::nullopt;
        if (name.find("wirft") != std::string::npos) throw std::runtime_error("decoder failed");
        ThumbnailResult result;
        result.Thumbnail.Width = area.Width;
        result.Thumbnail.Height = 1;
        result.Thumbnail.Pixels.assign(static_cast<std::size_t>(area.Width), 0xFF102030u);
        result.PictureOwnSize = {640, 480};
        ++m_finished;
        m_changed.notify_all();
        return result;
    }
    void holdAt(const std::string& name) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_holdAt = name;
        m_released = false;
    }
    void release() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_released = true;
        m_changed.notify_all();
    }
    // Waits until the maker was asked for n files in all.
    bool waitForCalls(std::size_t n) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, kHangGuard, [&] { return m_calls.size() >= n; });
    }
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_calls;
    }
    int finished() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_finished;
    }
    // Calls that began and have not returned.
    int inside() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_inside;
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
    std::string m_holdAt;
    bool m_released = true;
    int m_finished = 0;
    int m_inside = 0;
};

// The worker asks for a repaint after it wrote an entry's thumbnail fields: the report
// the tests wait on for "made".
class FakeWindow : public ElementListWindow {
public:
    std::atomic<int> repaints{0};
    int processEventsCalls = 0;
    int contentChanges = 0;
    bool destroyed = false;
    std::function<void()> onProcessEvents;
    Reports reports;

    void RequestRepaint() override {
        ++repaints;
        reports.report();
    }
    void ProcessEvents() override {
        ++processEventsCalls;
        if (onProcessEvents) onProcessEvents();
    }
    void ContentChanged() override { ++contentChanges; }
    void ListDestroyed() override { destroyed = true; }
};

// Entries e00.bmp .. eNN.bmp; a viewport of exactly `visible` entries
// (10 spacing + n * 210 minus the last spacing).
class ElementListWorkerTest : public ::testing::Test {
protected:
    void fill(int count) {
        for (int i = 0; i < count; ++i)
            m_folder.write(name(i), Bytes{1});
        m_list.AddImagesFromFolder(m_folder.path("") + "*.bmp");
    }
    static std::string name(int i) {
        return std::string("e") + (i < 10 ? "0" : "") + std::to_string(i) + ".bmp";
    }
    void attach(int visibleEntries) {
        m_list.SetThumbnailMaker(
            [this](const std::string& path, PictureSize area) { return m_maker.make(path, area); });
        m_list.SetViewportSize(170, 10 + visibleEntries * 210 - 10);
        m_list.AttachWindow(m_window);
    }
    // Scrolls so that entry `first` is the first in view.
    void scrollToEntry(int first) { m_list.SetScrollPosition(10 + first * 210); }
    // Waits for entries in view to be made: the worker reports each through the window.
    bool waitUntil(const std::function<bool()>& condition) {
        return m_window.reports.waitUntil(condition);
    }
    bool made(int i) const {
        return m_list.ThumbnailStateOf(static_cast<std::size_t>(i)) == TThumbnailState::Made;
    }
    // The worker walked the entries without making anything and waits for a change. Its
    // resting latch reports nothing, so it is looked at until it is set; the short pause
    // between looks only leaves the processor to the idle-priority worker.
    bool workerRests() {
        for (auto guard = kHangGuard / 1ms; guard > 0; --guard) {
            if (m_list.WorkerResting()) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    ScratchFolder m_folder;
    FakeMaker m_maker;
    FakeWindow m_window;
    TElementListBox m_list; // last: goes first, stopping the worker
};

TEST_F(ElementListWorkerTest, NoWindowNoWorker) {
    fill(3);
    EXPECT_FALSE(m_list.WorkerRunning());
    attach(3);
    EXPECT_TRUE(m_list.WorkerRunning());
    m_list.DetachWindow();
    EXPECT_FALSE(m_list.WorkerRunning());
}

TEST_F(ElementListWorkerTest, OnlyVisibleEntriesGetThumbnails) {
    fill(10);
    attach(3);
    ASSERT_TRUE(waitUntil([&] { return made(0) && made(1) && made(2); }));
    ASSERT_TRUE(workerRests()); // a walk over all entries made nothing more
    EXPECT_EQ(m_maker.calls(), (std::vector<std::string>{name(0), name(1), name(2)}));
    for (int i = 3; i < 10; ++i)
        EXPECT_EQ(m_list.ThumbnailStateOf(i), TThumbnailState::NotMade) << i;
    const ThumbnailPicture first = m_list.ThumbnailOf(0);
    EXPECT_EQ(first.Width, kElementPictureArea.Width); // the maker was given the picture area
    m_list.WithThumbnail(0, [](const TElementListBoxItem& item) {
        EXPECT_EQ(item.PictureOwnSize, (PictureSize{640, 480}));
    });
    EXPECT_GE(m_window.repaints.load(), 3);
}

TEST_F(ElementListWorkerTest, AfterAScrollItStartsAtTheFirstVisibleEntry) {
    // Four entries in view: 5..8. The worker is held while making entry 6.
    fill(12);
    scrollToEntry(5);
    m_maker.holdAt(name(6));
    attach(4);
    ASSERT_TRUE(m_maker.waitForCalls(2));
    EXPECT_EQ(m_maker.calls(), (std::vector<std::string>{name(5), name(6)}));
    // Scroll up by one: 4..7 in view. A walk that went on would take 7 next
    // and come back to 4 only after the last entry; the restart takes 4 first.
    scrollToEntry(4);
    m_maker.release();
    ASSERT_TRUE(waitUntil([&] { return made(4) && made(7); }));
    EXPECT_EQ(m_maker.calls(), (std::vector<std::string>{name(5), name(6), name(4), name(7)}));
    EXPECT_FALSE(made(8)); // scrolled out of view before its turn
}

TEST_F(ElementListWorkerTest, NothingIsMadeDuringAScrollAnimation) {
    fill(6);
    m_list.SetScrollAnimating(true);
    attach(3);
    ASSERT_TRUE(workerRests());
    EXPECT_TRUE(m_maker.calls().empty());
    m_list.SetScrollAnimating(false);
    ASSERT_TRUE(waitUntil([&] { return made(0) && made(1) && made(2); }));
}

TEST_F(ElementListWorkerTest, TheEntryBeingPaintedIsLeftAlone) {
    fill(3);
    std::optional<TElementListBox::PaintingEntry> painting;
    painting.emplace(m_list, 1);
    attach(3);
    ASSERT_TRUE(waitUntil([&] { return made(0) && made(2); }));
    ASSERT_TRUE(workerRests());
    EXPECT_FALSE(made(1));
    painting.reset();
    ASSERT_TRUE(waitUntil([&] { return made(1); }));
}

TEST_F(ElementListWorkerTest, FailingFilesEndWithAnEmptyBoxAndAreNotRetried) {
    m_folder.write("a kaputt.bmp", Bytes{1});
    m_folder.write("b wirft.bmp", Bytes{1});
    m_folder.write("c gut.bmp", Bytes{1});
    m_list.AddImagesFromFolder(m_folder.path("") + "*.bmp");
    attach(3);
    ASSERT_TRUE(waitUntil([&] { return made(0) && made(1) && made(2); }));
    ASSERT_TRUE(workerRests());
    EXPECT_EQ(m_maker.calls().size(), 3u);
    EXPECT_TRUE(m_list.ThumbnailOf(0).Empty());
    EXPECT_TRUE(m_list.ThumbnailOf(1).Empty());
    EXPECT_FALSE(m_list.ThumbnailOf(2).Empty());
}

TEST_F(ElementListWorkerTest, RefillWaitsForTheWorkerBeforeRemovingEntries) {
    fill(4);
    m_maker.holdAt(name(1));
    attach(4);
    ASSERT_TRUE(m_maker.waitForCalls(2)); // held inside entry 1
    // The stop handles the window's events while it waits; the entries must
    // all still be there then. The first round of events lets the maker go.
    std::size_t countWhileWaiting = 0;
    m_window.onProcessEvents = [&] {
        countWhileWaiting = std::max(countWhileWaiting, m_list.Count());
        m_maker.release();
    };
    m_list.Clear();
    EXPECT_FALSE(m_list.WorkerRunning());
    EXPECT_GE(m_window.processEventsCalls, 1);
    EXPECT_EQ(countWhileWaiting, 4u);
    EXPECT_EQ(m_maker.finished(), 2); // the held entry was finished before the clear
    EXPECT_EQ(m_list.Count(), 0u);
    EXPECT_FALSE(m_list.RestartRequested());

    // Refilled: the worker runs again and makes the new entries.
    m_window.onProcessEvents = nullptr;
    m_folder.write("neu.bmp", Bytes{1});
    m_list.AddImagesFromFolder(m_folder.path("") + "neu.bmp");
    EXPECT_TRUE(m_list.WorkerRunning());
    ASSERT_TRUE(waitUntil([&] { return made(0); }));
}

TEST_F(ElementListWorkerTest, AHandlerThatRefillsDuringTheStopIsWaitedForToo) {
    fill(3);
    attach(3);
    bool nested = false;
    m_window.onProcessEvents = [&] {
        if (nested) return;
        nested = true;
        // A command handled while the stop waits fills the list again,
        // which starts a new worker; the outer stop must end that one too.
        m_list.AddImagesFromFolder(m_folder.path("") + "*.bmp");
    };
    m_list.Clear();
    EXPECT_TRUE(nested);
    EXPECT_FALSE(m_list.WorkerRunning());
    EXPECT_EQ(m_list.Count(), 0u);
}

TEST_F(ElementListWorkerTest, DestroyingTheListEndsTheWorker) {
    fill(3);
    auto list = std::make_unique<TElementListBox>();
    FakeWindow window;
    list->SetThumbnailMaker(
        [this](const std::string& path, PictureSize area) { return m_maker.make(path, area); });
    list->AddImagesFromFolder(m_folder.path("") + "*.bmp");
    list->SetViewportSize(170, 640);
    m_maker.holdAt(name(1));
    list->AttachWindow(window);
    ASSERT_TRUE(m_maker.waitForCalls(2)); // held inside entry 1
    // The hold ends while the list is being destroyed; the destruction must wait for the
    // file in hand and end the walk there or at the next entry.
    std::thread releaser([&] { m_maker.release(); });
    list.reset();
    EXPECT_EQ(m_maker.inside(), 0) << "the list went while its worker was making a thumbnail";
    EXPECT_EQ(m_maker.finished(), static_cast<int>(m_maker.calls().size()));
    const std::vector<std::string> calls = m_maker.calls();
    ASSERT_GE(calls.size(), 2u);
    ASSERT_LE(calls.size(), 3u);
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(calls[i], name(static_cast<int>(i)));
    EXPECT_TRUE(window.destroyed);
    releaser.join();
}

// With nothing left to make the worker does not wake: no walk in the rest, until the list
// scrolls (or resizes, or ends an animation); then it walks, makes what came into view, rests.
TEST_F(ElementListWorkerTest, WithNothingToMakeTheWorkerSleepsUntilTheListChanges) {
    fill(8);
    attach(3);
    ASSERT_TRUE(waitUntil([&] { return made(0) && made(1) && made(2); }));
    ASSERT_TRUE(workerRests());
    const std::uint64_t walks = m_list.CompletedWalks();
    // What changes nothing does not wake it: the same scroll position, the same size, reads.
    scrollToEntry(0);
    m_list.SetViewportSize(170, 10 + 3 * 210 - 10);
    EXPECT_FALSE(m_list.ThumbnailOf(0).Empty());
    EXPECT_TRUE(m_list.WorkerResting());

    // The scroll wakes it for exactly two walks: one that makes what came into view, one
    // that finds nothing left and ends in the rest. A wake by anything else in the
    // meantime would add a walk.
    scrollToEntry(4);
    ASSERT_TRUE(waitUntil([&] { return made(4) && made(5) && made(6); }));
    ASSERT_TRUE(workerRests());
    EXPECT_EQ(m_list.CompletedWalks(), walks + 2);
    EXPECT_FALSE(made(3));
    EXPECT_FALSE(made(7));
    // A resize that shows one more entry wakes it as well.
    m_list.SetViewportSize(170, 10 + 4 * 210 - 10);
    ASSERT_TRUE(waitUntil([&] { return made(7); }));
}

TEST_F(ElementListWorkerTest, AnEmptyListIdlesInsteadOfSpinning) {
    attach(3);
    // One walk over no entries, then the rest: a spinning loop would never rest, or walk
    // again and again before it does.
    ASSERT_TRUE(workerRests());
    EXPECT_EQ(m_list.CompletedWalks(), 1u);
    EXPECT_TRUE(m_maker.calls().empty());
}

// --- with the real thumbnail maker -----------------------------------------------------------

TEST(ElementListRealMaker, NoPictureAndVanishedFilesGetEmptyBoxes) {
    ScratchFolder folder;
    TBitmap32 picture;
    picture.SetSize(4, 2);
    for (int i = 0; i < 8; ++i)
        picture.Bits()[i] = 0xFF204060u;
    WriteBitmapFile(picture, folder.path("a Tür; 1.bmp"));
    const std::string text = "kein Bild";
    folder.write("b notiz.bmp", Bytes(text.begin(), text.end()));
    WriteBitmapFile(picture, folder.path("c weg.bmp"));
    TElementListBox list;
    list.AddImagesFromFolder(folder.path("") + "*.bmp");
    ASSERT_EQ(list.Count(), 3u);
    std::filesystem::remove(folder.path("c weg.bmp")); // gone before the worker gets to it

    FakeWindow window;
    list.SetViewportSize(170, 700);
    list.AttachWindow(window);
    auto allMade = [&] {
        for (std::size_t i = 0; i < 3; ++i)
            if (list.ThumbnailStateOf(i) != TThumbnailState::Made) return false;
        return true;
    };
    ASSERT_TRUE(window.reports.waitUntil(allMade));
    list.DetachWindow();

    const ThumbnailPicture made = list.ThumbnailOf(0);
    EXPECT_EQ(made.Width, 114);
    EXPECT_EQ(made.Height, 57);
    EXPECT_EQ(made.Pixel(0, 0), 0xFF204060u);
    list.WithThumbnail(0, [](const TElementListBoxItem& item) {
        EXPECT_EQ(item.PictureOwnSize, (PictureSize{4, 2}));
    });
    EXPECT_TRUE(list.ThumbnailOf(1).Empty());
    EXPECT_TRUE(list.ThumbnailOf(2).Empty());
}

} // namespace
} // namespace schauplatz
