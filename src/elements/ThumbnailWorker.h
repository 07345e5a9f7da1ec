#pragma once

// The element list's thumbnail worker: one background thread per list, at
// the lowest priority, that walks the entries and makes the thumbnails of
// those in view. The list owns it, starts it after each filling and stops it
// before entries change.
//
// A walk that made no thumbnail ends in a rest: the thread sleeps until the
// list wakes it (a scroll, a resize, the end of a scroll animation, a paint,
// the end of a change) or asks it to end, so an idle program does not wake.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace schauplatz {

class TElementListBox;

class TThumbnailWorker {
public:
    // Sleep after each entry for which no thumbnail was made.
    static constexpr std::chrono::milliseconds kIdleSleep{10};

    explicit TThumbnailWorker(TElementListBox& list);
    ~TThumbnailWorker(); // asks to end and joins
    TThumbnailWorker(const TThumbnailWorker&) = delete;
    TThumbnailWorker& operator=(const TThumbnailWorker&) = delete;

    void Terminate();
    // Ends a rest (or keeps the next one from starting).
    void Wake();
    bool Resting() const { return m_resting.load(); }
    bool Finished() const { return m_finished.load(); }
    // Waits up to timeout for the thread to finish; true when it has.
    bool WaitFinished(std::chrono::milliseconds timeout);
    void Join();

private:
    void run();
    // True when a thumbnail was made for the entry in this visit.
    bool visit(std::size_t index);
    // Sleeps, but wakes at once when asked to end.
    void sleepFor(std::chrono::milliseconds duration);
    // Sleeps until woken after `seen` wakes, or asked to end.
    void rest(std::uint64_t seen);
    bool terminated() const { return m_terminated.load(); }

    TElementListBox& m_list;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_resting{false};
    std::uint64_t m_wakes = 0; // under m_wakeLock
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace schauplatz
