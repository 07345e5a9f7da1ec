#pragma once

// The element list's thumbnail worker: one background thread per list, at
// the lowest priority, that walks the entries and makes the thumbnails of
// those in view. The list owns it, starts it after each filling and stops it
// before entries change.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
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
    bool terminated() const { return m_terminated.load(); }

    TElementListBox& m_list;
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_finished{false};
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace schauplatz
