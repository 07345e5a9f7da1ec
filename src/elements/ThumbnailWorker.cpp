#include "elements/ThumbnailWorker.h"

#include "elements/ElementListBox.h"

#include <utility>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace schauplatz {
namespace {

// The thread gets the processor only when nothing else wants it: the idle
// scheduling class where the system offers it, and the weakest nice value
// for this thread alone in any case. Failures leave the normal priority.
void lowerThisThreadsPriority() {
#if defined(__linux__)
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, tid, 19);
#endif
}

} // namespace

TThumbnailWorker::TThumbnailWorker(TElementListBox& list)
    : m_list(list), m_thread([this] { run(); }) {}

TThumbnailWorker::~TThumbnailWorker() {
    Terminate();
    Join();
}

void TThumbnailWorker::Terminate() {
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_terminated.store(true);
    }
    m_wake.notify_all();
}

void TThumbnailWorker::Wake() {
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        ++m_wakes;
    }
    m_wake.notify_all();
}

void TThumbnailWorker::rest(std::uint64_t seen) {
    std::unique_lock<std::mutex> lock(m_wakeLock);
    m_resting.store(true);
    m_wake.wait(lock, [&] { return m_wakes != seen || m_terminated.load(); });
    m_resting.store(false);
}

bool TThumbnailWorker::WaitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_wakeLock);
    return m_wake.wait_for(lock, timeout, [this] { return m_finished.load(); });
}

void TThumbnailWorker::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void TThumbnailWorker::sleepFor(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(m_wakeLock);
    m_wake.wait_for(lock, duration, [this] { return m_terminated.load(); });
}

void TThumbnailWorker::run() {
    lowerThisThreadsPriority();
    while (!terminated()) {
        while (m_list.m_updateCount.load() > 0 && !terminated())
            sleepFor(kIdleSleep);
        if (terminated()) break;

        // Wakes from here on end the rest after this walk.
        std::uint64_t seen = 0;
        {
            std::lock_guard<std::mutex> lock(m_wakeLock);
            seen = m_wakes;
        }
        std::size_t start = 0;
        if (m_list.m_restartRequested.exchange(false)) start = m_list.FirstVisibleIndex();

        const std::size_t count = m_list.m_items.size();
        bool left = false;
        bool made = false;
        for (std::size_t index = start; index < count; ++index) {
            if (terminated() || m_list.m_restartRequested.load()) {
                left = true;
                break;
            }
            if (visit(index))
                made = true;
            else
                sleepFor(kIdleSleep);
        }
        if (left) continue;
        ++m_list.m_completedWalks;
        // Nothing made: what is left waits for a change of the list. (An empty list rests
        // at once instead of spinning.)
        if (!made) rest(seen);
    }
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_finished.store(true);
    }
    m_wake.notify_all();
}

bool TThumbnailWorker::visit(std::size_t index) {
    TElementListBoxItem& item = m_list.m_items[index];
    {
        std::lock_guard<std::mutex> lock(m_list.m_thumbnailLock);
        if (item.ThumbnailState != TThumbnailState::NotMade) return false;
        if (!m_list.IsVisible(index) || m_list.m_scrollAnimating.load() ||
            m_list.m_paintingIndex.load() == static_cast<std::int64_t>(index))
            return false;
        item.ThumbnailState = TThumbnailState::BeingMade;
    }

    std::optional<ThumbnailResult> result;
    try {
        result = m_list.m_maker(item.FullPath, kElementPictureArea);
    } catch (...) {
        // Out of memory or a failing maker: the entry keeps an empty box.
        result.reset();
    }

    {
        std::lock_guard<std::mutex> lock(m_list.m_thumbnailLock);
        if (result) {
            item.Thumbnail = std::move(result->Thumbnail);
            item.PictureOwnSize = result->PictureOwnSize;
        }
        item.ThumbnailState = TThumbnailState::Made;
    }
    if (m_list.IsVisible(index) && m_list.m_window) m_list.m_window->RequestRepaint();
    return true;
}

} // namespace schauplatz
