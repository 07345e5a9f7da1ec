#include "elements/ElementListBox.h"

#include "elements/ElementListFolder.h"
#include "elements/ThumbnailWorker.h"

#include <algorithm>
#include <utility>

namespace schauplatz {

namespace {
constexpr std::int64_t kItemPitch = kElementItemHeight + kElementItemSpacing;
} // namespace

TElementListBox::TElementListBox() : m_maker(MakeThumbnail) {}

TElementListBox::~TElementListBox() {
    // The window may be half gone already: no event handling here.
    stopWorker(false);
    if (m_window) m_window->ListDestroyed();
}

// --- Entries -------------------------------------------------------------------

void TElementListBox::Clear() {
    StopWorker();
    m_items.clear();
    ItemIndex = -1;
    HotIndex = -1;
    m_scrollY.store(0);
    contentChanged();
}

void TElementListBox::AddImagesFromFolder(const std::string& Mask) {
    StopWorker();
    std::string folder, pattern;
    SplitFileMask(Mask, folder, pattern);
    BeginUpdate();
    for (FolderMatch& match : ListMatchingFiles(Mask)) {
        TElementListBoxItem item;
        item.FullPath = folder + match.FileName;
        item.FileName = std::move(match.FileName);
        item.FileSize = match.FileSize;
        item.LastWriteTime = match.LastWriteTime;
        m_items.push_back(std::move(item));
    }
    EndUpdate();
    contentChanged();
    StartWorker();
}

TThumbnailState TElementListBox::ThumbnailStateOf(std::size_t index) const {
    std::lock_guard<std::mutex> lock(m_thumbnailLock);
    return m_items.at(index).ThumbnailState;
}

ThumbnailPicture TElementListBox::ThumbnailOf(std::size_t index) const {
    std::lock_guard<std::mutex> lock(m_thumbnailLock);
    return m_items.at(index).Thumbnail;
}

void TElementListBox::contentChanged() {
    SetScrollPosition(ScrollPosition()); // clamp to the new content
    if (m_window) m_window->ContentChanged();
}

// --- Layout ---------------------------------------------------------------------

std::int32_t TElementListBox::ContentHeight() const {
    return static_cast<std::int32_t>(std::min<std::int64_t>(
        kElementItemSpacing + kItemPitch * static_cast<std::int64_t>(Count()), INT32_MAX));
}

std::int32_t TElementListBox::MaxScrollPosition() const {
    return std::max(0, ContentHeight() - ViewportHeight());
}

void TElementListBox::SetScrollPosition(std::int32_t y) {
    const std::int32_t clamped = std::clamp(y, 0, MaxScrollPosition());
    if (m_scrollY.exchange(clamped) != clamped) RequestRestart();
}

void TElementListBox::SetViewportSize(std::int32_t width, std::int32_t height) {
    width = std::max(0, width);
    height = std::max(0, height);
    const bool widthChanged = m_viewportWidth.exchange(width) != width;
    const bool heightChanged = m_viewportHeight.exchange(height) != height;
    if (widthChanged || heightChanged) RequestRestart();
    SetScrollPosition(ScrollPosition());
}

ElementItemRect TElementListBox::ItemRect(std::size_t index) const {
    const std::int64_t top =
        kElementItemSpacing + kItemPitch * static_cast<std::int64_t>(index) - ScrollPosition();
    const auto clampedTop =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(top, INT32_MIN / 2, INT32_MAX / 2));
    return {kElementItemSpacing, clampedTop, kElementItemSpacing + kElementItemWidth,
            clampedTop + kElementItemHeight};
}

int TElementListBox::IndexAt(std::int32_t x, std::int32_t y) const {
    if (x < kElementItemSpacing || x >= kElementItemSpacing + kElementItemWidth) return -1;
    const std::int64_t content =
        static_cast<std::int64_t>(y) + ScrollPosition() - kElementItemSpacing;
    if (content < 0 || content % kItemPitch >= kElementItemHeight) return -1;
    const std::int64_t index = content / kItemPitch;
    return index < static_cast<std::int64_t>(Count()) ? static_cast<int>(index) : -1;
}

bool TElementListBox::IsVisible(std::size_t index) const {
    if (index >= Count()) return false;
    const ElementItemRect rect = ItemRect(index);
    return rect.Bottom > 0 && rect.Top < ViewportHeight() && ViewportWidth() > rect.Left;
}

std::size_t TElementListBox::FirstVisibleIndex() const {
    // The first box whose bottom lies below the viewport's top edge.
    const std::int64_t reach =
        static_cast<std::int64_t>(ScrollPosition()) - kElementItemSpacing - kElementItemHeight;
    const std::size_t first = reach < 0 ? 0 : static_cast<std::size_t>(reach / kItemPitch + 1);
    return IsVisible(first) ? first : Count();
}

// --- Window and worker -------------------------------------------------------------

void TElementListBox::AttachWindow(ElementListWindow& window) {
    stopWorker(false);
    m_window = &window;
    StartWorker();
}

void TElementListBox::DetachWindow() {
    stopWorker(false);
    m_window = nullptr;
}

void TElementListBox::SetThumbnailMaker(ThumbnailMaker maker) {
    const bool wasRunning = WorkerRunning();
    StopWorker();
    m_maker = maker ? std::move(maker) : ThumbnailMaker(MakeThumbnail);
    if (wasRunning) StartWorker();
}

void TElementListBox::StartWorker() {
    if (!m_window || m_worker) return;
    m_worker = std::make_unique<TThumbnailWorker>(*this);
}

void TElementListBox::wakeWorker() {
    if (m_worker) m_worker->Wake();
}

bool TElementListBox::WorkerResting() const {
    return m_worker && m_worker->Resting();
}

void TElementListBox::StopWorker() {
    stopWorker(true);
}

void TElementListBox::stopWorker(bool handleEvents) {
    // Handling events may run a handler that refills the list and so starts
    // a new worker; the loop stops whichever worker is current until none is.
    while (m_worker) {
        m_worker->Terminate();
        if (handleEvents && m_window) {
            m_window->ProcessEvents();
            if (!m_worker) break;
            if (!m_worker->WaitFinished(std::chrono::milliseconds(5))) continue;
        }
        std::unique_ptr<TThumbnailWorker> ended = std::move(m_worker);
        ended->Join();
    }
    m_restartRequested.store(false);
}

} // namespace schauplatz
