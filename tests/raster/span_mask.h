#pragma once

// A small mask painted by a span filler: counts how often each pixel is painted and fails
// the test on a span outside the mask or an empty one.

#include "raster/PolygonFill.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace schauplatz::testing {

struct Mask {
    std::int32_t width, height;
    std::vector<int> hits;
    Mask(std::int32_t w, std::int32_t h)
        : width(w), height(h), hits(static_cast<std::size_t>(w * h), 0) {}
    SpanSink sink() {
        return [this](std::int32_t y, std::int32_t x0, std::int32_t x1) {
            ASSERT_GE(y, 0);
            ASSERT_LT(y, height);
            ASSERT_LE(0, x0);
            ASSERT_LE(x1, width);
            ASSERT_LT(x0, x1);
            for (std::int32_t x = x0; x < x1; ++x)
                ++hits[static_cast<std::size_t>(y * width + x)];
        };
    }
    int at(int x, int y) const { return hits[static_cast<std::size_t>(y * width + x)]; }
    int total() const {
        int t = 0;
        for (int h : hits)
            t += h;
        return t;
    }
};

} // namespace schauplatz::testing
