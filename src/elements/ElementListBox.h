#pragma once

// The element list: the pictures of the pattern folder as a column of
// thumbnails. TElementListBox is the list without its platform: entries,
// selection, layout and visibility, the scroll state the widget reports, and
// the thumbnail worker that fills in the thumbnails in the background.
//
// Threads. Everything here is called on the user-interface thread, except
// what the worker does: it reads the entries and writes the thumbnail fields
// (state, thumbnail, picture size) of one entry at a time under the list's
// lock. Entries are added or removed only after the worker was stopped and
// has ended. Readers of thumbnail fields on the user-interface thread go
// through WithThumbnail / ThumbnailStateOf / ThumbnailOf, which take the lock.

#include "elements/Thumbnail.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace schauplatz {

class TThumbnailWorker;

enum class TThumbnailState { NotMade, BeingMade, Made };

struct TElementListBoxItem {
    std::string FullPath; // the mask's folder part followed by FileName
    std::string FileName; // bare name as the folder listing gives it
    std::uintmax_t FileSize = 0;
    std::filesystem::file_time_type LastWriteTime{};
    // Thumbnail fields, written by the worker under the list's lock. A file
    // that gives no thumbnail ends as Made with an empty one (an empty box).
    TThumbnailState ThumbnailState = TThumbnailState::NotMade;
    ThumbnailPicture Thumbnail;
    PictureSize PictureOwnSize; // the picture's own width and height
};

// The list's fixed layout, in pixels: one column of entry boxes with the
// spacing above the first, between all and left of the column.
inline constexpr std::int32_t kElementItemWidth = 120;
inline constexpr std::int32_t kElementItemHeight = 200;
inline constexpr std::int32_t kElementItemSpacing = 10;
inline constexpr std::int32_t kElementPictureMargin = 3;
inline constexpr PictureSize kElementPictureArea{kElementItemWidth - 2 * kElementPictureMargin,
                                                 kElementItemHeight - 2 * kElementPictureMargin};

// An entry box in viewport coordinates (Right and Bottom exclusive).
struct ElementItemRect {
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// What the list needs from the window that shows it.
class ElementListWindow {
public:
    virtual ~ElementListWindow() = default;
    // Called from the worker thread: only queue a repaint, never paint here.
    virtual void RequestRepaint() = 0;
    // Handles the window's pending events (while a stop waits for the worker).
    virtual void ProcessEvents() = 0;
    // The entries or their number changed (scroll range, selection).
    virtual void ContentChanged() = 0;
    // The list goes away; the window must not call it any more.
    virtual void ListDestroyed() = 0;
};

class TElementListBox {
public:
    TElementListBox();
    ~TElementListBox(); // stops the worker and waits for it
    TElementListBox(const TElementListBox&) = delete;
    TElementListBox& operator=(const TElementListBox&) = delete;

    // --- Entries (user-interface thread) ---------------------------------
    std::size_t Count() const { return m_items.size(); }
    // The entry's fixed fields; thumbnail fields only through the lock below.
    const TElementListBoxItem& Item(std::size_t index) const { return m_items.at(index); }
    // Stops the worker, then removes every entry.
    void Clear();
    // Stops the worker, appends one entry per file matching Mask (a folder
    // followed by a file pattern such as "*.jpg"), starts the worker again.
    void AddImagesFromFolder(const std::string& Mask);
    // While the update count is above 0 the worker waits before each walk.
    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate() {
        --m_updateCount;
        wakeWorker();
    }

    // --- Thumbnail fields under the list's lock ----------------------------
    template <typename Function>
    void WithThumbnail(std::size_t index, Function&& function) const {
        std::lock_guard<std::mutex> lock(m_thumbnailLock);
        function(m_items.at(index));
    }
    TThumbnailState ThumbnailStateOf(std::size_t index) const;
    ThumbnailPicture ThumbnailOf(std::size_t index) const;

    // While one exists the worker leaves that entry alone.
    class PaintingEntry {
    public:
        PaintingEntry(TElementListBox& list, std::size_t index) : m_list(list) {
            m_list.m_paintingIndex.store(static_cast<std::int64_t>(index));
        }
        ~PaintingEntry() {
            m_list.m_paintingIndex.store(-1);
            m_list.wakeWorker(); // it may have left this entry for later
        }
        PaintingEntry(const PaintingEntry&) = delete;
        PaintingEntry& operator=(const PaintingEntry&) = delete;

    private:
        TElementListBox& m_list;
    };

    // --- Selection ---------------------------------------------------------
    int ItemIndex = -1; // selected entry, -1 for none
    int HotIndex = -1;  // entry under the mouse, -1 for none

    // --- Layout, scrolling and visibility -------------------------------------
    std::int32_t ContentHeight() const;
    std::int32_t MaxScrollPosition() const;
    std::int32_t ScrollPosition() const { return m_scrollY.load(); }
    std::int32_t ViewportWidth() const { return m_viewportWidth.load(); }
    std::int32_t ViewportHeight() const { return m_viewportHeight.load(); }
    // Both ask the worker to restart at the first visible entry when they change something.
    void SetScrollPosition(std::int32_t y); // clamped to 0 .. MaxScrollPosition
    void SetViewportSize(std::int32_t width, std::int32_t height);
    ElementItemRect ItemRect(std::size_t index) const;
    // The entry whose box holds the viewport point, -1 for none.
    int IndexAt(std::int32_t x, std::int32_t y) const;
    bool IsVisible(std::size_t index) const; // at least partly in the viewport
    std::size_t FirstVisibleIndex() const;   // Count() when none is visible
    // While a scroll animation runs the worker makes no thumbnail.
    void SetScrollAnimating(bool animating) {
        m_scrollAnimating.store(animating);
        if (!animating) wakeWorker();
    }
    bool ScrollAnimating() const { return m_scrollAnimating.load(); }
    void RequestRestart() {
        m_restartRequested.store(true);
        wakeWorker();
    }
    bool RestartRequested() const { return m_restartRequested.load(); }

    // --- Window and worker ---------------------------------------------------
    // The list has a window from AttachWindow until DetachWindow (or until
    // the list goes). Attaching starts the worker.
    void AttachWindow(ElementListWindow& window);
    void DetachWindow();
    bool HasWindow() const { return m_window != nullptr; }
    // Replaces the function that makes one thumbnail (the worker is stopped
    // and started again around the change). An empty function restores
    // MakeThumbnail.
    void SetThumbnailMaker(ThumbnailMaker maker);
    // Starts the worker if the list has a window and none is running.
    void StartWorker();
    // Asks the worker to end and waits for it, handling the window's events
    // meanwhile; then forgets any pending restart.
    void StopWorker();
    bool WorkerRunning() const { return m_worker != nullptr; }
    // The worker made every thumbnail it could and waits, without waking, until the list
    // scrolls, resizes, ends a scroll animation, paints or changes.
    bool WorkerResting() const;
    // Walks the worker completed to the last entry, since the list was made
    // (diagnostics and tests).
    std::uint64_t CompletedWalks() const { return m_completedWalks.load(); }

private:
    friend class TThumbnailWorker;
    void stopWorker(bool handleEvents);
    // Something changed that may let the worker make a thumbnail it had to leave.
    void wakeWorker();
    void contentChanged();

    std::vector<TElementListBoxItem> m_items;
    mutable std::mutex m_thumbnailLock;
    ThumbnailMaker m_maker;
    ElementListWindow* m_window = nullptr;
    std::unique_ptr<TThumbnailWorker> m_worker;

    std::atomic<std::int32_t> m_scrollY{0};
    std::atomic<std::int32_t> m_viewportWidth{0};
    std::atomic<std::int32_t> m_viewportHeight{0};
    std::atomic<bool> m_scrollAnimating{false};
    std::atomic<bool> m_restartRequested{false};
    std::atomic<int> m_updateCount{0};
    std::atomic<std::int64_t> m_paintingIndex{-1};
    std::atomic<std::uint64_t> m_completedWalks{0};
};

} // namespace schauplatz
