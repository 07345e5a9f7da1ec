#include "placementaid/Parallel.h"

#include <opencv2/core.hpp>

namespace schauplatz::placementaid::detail {

namespace {
// Enough stripes to balance uneven items, few enough to keep the overhead small.
constexpr double kStripes = 16.0;
} // namespace

void forEachRange(std::size_t Count, const std::function<void(std::size_t, std::size_t)>& Body) {
    if (Count == 0) return;
    cv::parallel_for_(
        cv::Range(0, static_cast<int>(Count)),
        [&Body](const cv::Range& R) {
            Body(static_cast<std::size_t>(R.start), static_cast<std::size_t>(R.end));
        },
        kStripes);
}

} // namespace schauplatz::placementaid::detail
