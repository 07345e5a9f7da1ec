// The corners' bounding box that the element's area and the workspace's redraw area start from.

#include "composition/PlacedElement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <random>

namespace schauplatz {
namespace {

TEST(QuadBounds, TakesTheExtremesOfAnyCorner) {
    EXPECT_EQ(
        QuadBounds({QuadPoint{10, 20}, QuadPoint{30, 5}, QuadPoint{25, 40}, QuadPoint{-3, 18}}),
        (TRect{-3, 5, 30, 40}));
    // A point quad is its own box, Right and Bottom not one past it.
    EXPECT_EQ(QuadBounds({QuadPoint{7, 8}, QuadPoint{7, 8}, QuadPoint{7, 8}, QuadPoint{7, 8}}),
              (TRect{7, 8, 7, 8}));
    constexpr std::int32_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t hi = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(QuadBounds({QuadPoint{hi, 0}, QuadPoint{0, lo}, QuadPoint{lo, 0}, QuadPoint{0, hi}}),
              (TRect{lo, lo, hi, hi}));
}

TEST(QuadBounds, AgreesWithSortedCornersForRandomQuads) {
    unsigned seed = 20261210;
    if (const char* chosen = std::getenv("SCHAUPLATZ_TEST_SEED"))
        seed = std::strtoul(chosen, nullptr, 10);
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int32_t> coordinate(-100000, 100000);
    for (int round = 0; round < 1000; ++round) {
        TQuad quad;
        for (QuadPoint& p : quad)
            p = QuadPoint{coordinate(random), coordinate(random)};
        const auto [minX, maxX] = std::minmax({quad[0].X, quad[1].X, quad[2].X, quad[3].X});
        const auto [minY, maxY] = std::minmax({quad[0].Y, quad[1].Y, quad[2].Y, quad[3].Y});
        ASSERT_EQ(QuadBounds(quad), (TRect{minX, minY, maxX, maxY})) << "seed " << seed;
    }
}

} // namespace
} // namespace schauplatz
