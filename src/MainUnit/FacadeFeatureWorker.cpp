#include "MainUnit/FacadeFeatureWorker.h"

#include <exception>

namespace schauplatz {

TFacadeFeatureWorker::~TFacadeFeatureWorker() {
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.reset();
        m_runningStop.request_stop();
    }
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_changed.notify_all();
        m_thread.join();
    }
}

void TFacadeFeatureWorker::Start(std::uint64_t Facade, placementaid::TFacadePicture Picture) {
    {
        const std::lock_guard lock(m_mutex);
        m_waiting = Job{Facade, std::move(Picture)};
        m_runningStop.request_stop();
        if (m_doneFor != Facade) {
            m_done.reset();
            m_doneFor = 0;
        }
    }
    if (!m_thread.joinable()) m_thread = std::jthread([this](std::stop_token Stop) { run(Stop); });
    m_changed.notify_all();
}

std::shared_ptr<const placementaid::TFacadeFeatures>
TFacadeFeatureWorker::Features(std::uint64_t Facade) const {
    const std::lock_guard lock(m_mutex);
    return m_doneFor == Facade ? m_done : nullptr;
}

void TFacadeFeatureWorker::WaitUntilIdle() const {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_waiting && !m_busy; });
}

void TFacadeFeatureWorker::run(std::stop_token Stop) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, Stop, [this] { return m_waiting.has_value(); });
        if (Stop.stop_requested()) return;
        Job job = std::move(*m_waiting);
        m_waiting.reset();
        m_busy = true;
        m_runningStop = std::stop_source();
        const std::stop_token jobStop = m_runningStop.get_token();
        lock.unlock();
        std::shared_ptr<const placementaid::TFacadeFeatures> found;
        try {
            found = placementaid::extractFacadeFeatures(std::move(job.Picture), jobStop);
        } catch (const std::exception&) {
            // Out of memory: this facade simply snaps nothing.
        }
        lock.lock();
        m_busy = false;
        // A stopped job found nothing; a newer one may already wait.
        if (!jobStop.stop_requested()) {
            m_doneFor = job.Facade;
            m_done = std::move(found);
        }
        m_changed.notify_all();
    }
}

} // namespace schauplatz
