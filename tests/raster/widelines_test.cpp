#include "raster/WideLines.h"

#include "span_mask.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace schauplatz {
namespace {

using testing::Mask;

double distanceToSegment(double px, double py, FillPoint a, FillPoint b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - a.x) * dx + (py - a.y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (a.x + t * dx), py - (a.y + t * dy));
}

TEST(ThinLines, HorizontalVerticalAndDiagonalLeaveTheirLastPixelOut) {
    Mask mask(12, 12);
    const TRect clip{0, 0, 12, 12};
    strokeThinLine({1, 1}, {6, 1}, clip, mask.sink());
    strokeThinLine({10, 2}, {10, 7}, clip, mask.sink());
    strokeThinLine({1, 4}, {5, 8}, clip, mask.sink());
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool expected = (y == 1 && x >= 1 && x < 6) || (x == 10 && y >= 2 && y < 7) ||
                                  (x - 1 == y - 4 && x >= 1 && x < 5);
            EXPECT_EQ(mask.at(x, y), expected ? 1 : 0) << x << "," << y;
        }
    }
}

TEST(ThinLines, OnePixelPerMajorStepNearestToTheIdealLine) {
    Mask mask(40, 40);
    const FillPoint a{2, 3}, b{37, 17};
    strokeThinLine(a, b, TRect{0, 0, 40, 40}, mask.sink());
    for (int x = 0; x < 40; ++x) {
        int count = 0;
        for (int y = 0; y < 40; ++y) {
            if (mask.at(x, y)) {
                ++count;
                const double ideal = a.y + (x - a.x) * (b.y - a.y) / (b.x - a.x);
                EXPECT_LE(std::abs(y - ideal), 0.5) << x;
            }
        }
        EXPECT_EQ(count, (x >= 2 && x < 37) ? 1 : 0) << x;
    }
}

TEST(ThinLines, ClosedOutlineCoversEveryCornerOnceAndOpenOneNotItsEnd) {
    Mask closed(8, 8), open(8, 8);
    const std::vector<FillPoint> square{{1, 1}, {5, 1}, {5, 5}, {1, 5}};
    strokePolyline(square, true, 1, TRect{0, 0, 8, 8}, closed.sink());
    strokePolyline(square, false, 0, TRect{0, 0, 8, 8}, open.sink());
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool border =
                x >= 1 && x <= 5 && y >= 1 && y <= 5 && (x == 1 || x == 5 || y == 1 || y == 5);
            EXPECT_EQ(closed.at(x, y), border ? 1 : 0) << x << "," << y;
            const bool openBorder = border && !(x == 1 && y >= 2);
            EXPECT_EQ(open.at(x, y), openBorder ? 1 : 0) << x << "," << y;
        }
    }
}

TEST(WideLines, CoverPixelCentresWithinHalfTheWidthEachOnce) {
    for (double width : {2.0, 3.0, 5.0, 8.5}) {
        Mask mask(48, 48);
        const std::vector<FillPoint> path{{6, 8}, {40, 14}, {20, 40}};
        strokePolyline(path, false, width, TRect{0, 0, 48, 48}, mask.sink());
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 48; ++x) {
                const double d = std::min(distanceToSegment(x, y, path[0], path[1]),
                                          distanceToSegment(x, y, path[1], path[2]));
                EXPECT_LE(mask.at(x, y), 1) << "width " << width << " at " << x << "," << y;
                // Clearly inside or clearly outside; the rim of a quarter pixel is flattening's.
                if (d < width / 2 - 0.3) {
                    EXPECT_EQ(mask.at(x, y), 1) << "width " << width << " at " << x << "," << y;
                }
                if (d > width / 2 + 0.05) {
                    EXPECT_EQ(mask.at(x, y), 0) << "width " << width << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(WideLines, OddWidthHorizontalLineIsSymmetric) {
    Mask mask(20, 10);
    strokePolyline({{5, 4}, {14, 4}}, false, 3, TRect{0, 0, 20, 10}, mask.sink());
    for (int x = 5; x <= 14; ++x) {
        EXPECT_EQ(mask.at(x, 2), 0);
        EXPECT_EQ(mask.at(x, 3), 1);
        EXPECT_EQ(mask.at(x, 4), 1);
        EXPECT_EQ(mask.at(x, 5), 1);
        EXPECT_EQ(mask.at(x, 6), 0);
    }
}

TEST(WideLines, BillionPixelLinesAreClippedNotWalked) {
    Mask thin(16, 16), wide(16, 16);
    strokeThinLine({-2e9, 8}, {2e9, 8}, TRect{0, 0, 16, 16}, thin.sink());
    strokePolyline({{-2e9, -2e9}, {2e9, 2e9}}, false, 3, TRect{0, 0, 16, 16}, wide.sink());
    EXPECT_EQ(thin.total(), 16);
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(thin.at(x, 8), 1);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(wide.at(i, i), 1);
    EXPECT_EQ(wide.at(0, 15), 0);
}

TEST(WideLines, CirclesOfAnyDiameterHaveABoundedNumberOfPoints) {
    // A pen from a hostile metafile may be wider than any double step resolves.
    for (double diameter : {0.0, 0.4, 3.0, 1e5, 1e16, 1e300, HUGE_VAL}) {
        const std::size_t n = circlePoints({0, 0}, diameter).size();
        EXPECT_GE(n, 8u) << diameter;
        EXPECT_LE(n, static_cast<std::size_t>(kMaxCirclePoints)) << diameter;
    }
    EXPECT_EQ(circlePoints({0, 0}, 1e300).size(), static_cast<std::size_t>(kMaxCirclePoints));
    EXPECT_EQ(circlePoints({0, 0}, std::nan("")).size(), 8u);
}

} // namespace
} // namespace schauplatz
