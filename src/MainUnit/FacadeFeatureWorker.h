#pragma once

// The edges and corners of the facade, found on a thread of their own so that neither loading a
// facade nor dragging a corner waits for them. One job at a time: a newer facade stops the
// computation for the older one, which is then thrown away. The result is kept with the number
// of the facade it was made for, and handed out only for that number, so features of an older
// facade are never used for a newer one.

#include "placementaid/PlacementAid.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace schauplatz {

class TFacadeFeatureWorker {
public:
    TFacadeFeatureWorker() = default;
    // Stops a running computation and joins the thread.
    ~TFacadeFeatureWorker();
    TFacadeFeatureWorker(const TFacadeFeatureWorker&) = delete;
    TFacadeFeatureWorker& operator=(const TFacadeFeatureWorker&) = delete;

    // Finds the features of facade number Facade; whatever was asked before is dropped (a
    // running computation is stopped). The thread starts with the first job.
    void Start(std::uint64_t Facade, placementaid::TFacadePicture Picture);
    // The features of facade number Facade once they are found; null before, and for every
    // other number. Null too when they could not be found (memory ran out).
    std::shared_ptr<const placementaid::TFacadeFeatures> Features(std::uint64_t Facade) const;
    // Blocks until no job is waiting or running (tests, and the end).
    void WaitUntilIdle() const;

private:
    struct Job {
        std::uint64_t Facade = 0;
        placementaid::TFacadePicture Picture;
    };
    void run(std::stop_token Stop);

    mutable std::mutex m_mutex;
    mutable std::condition_variable_any m_changed;
    std::optional<Job> m_waiting;
    bool m_busy = false; // a job is being worked on
    std::stop_source m_runningStop;
    std::uint64_t m_doneFor = 0;
    std::shared_ptr<const placementaid::TFacadeFeatures> m_done;
    // Last, so that it is stopped and joined before the members it uses go.
    std::jthread m_thread;
};

} // namespace schauplatz
