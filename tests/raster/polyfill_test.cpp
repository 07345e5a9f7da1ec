#include "raster/PolygonFill.h"

#include "span_mask.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

using testing::Mask;

// Reference: the winding number of the point about each polygon, counted by
// crossings of the horizontal ray to the right (upward edges include their
// lower end, downward edges their upper end).
int winding(const std::vector<FillPolygon>& polygons, double px, double py) {
    int w = 0;
    for (const FillPolygon& p : polygons) {
        for (std::size_t i = 0; i < p.size(); ++i) {
            const FillPoint a = p[i], b = p[(i + 1) % p.size()];
            if (a.y == b.y) continue;
            const bool down = a.y < b.y;
            const double ylo = std::min(a.y, b.y), yhi = std::max(a.y, b.y);
            if (!(py >= ylo && py < yhi)) continue;
            const double x = a.x + (py - a.y) * (b.x - a.x) / (b.y - a.y);
            if (x > px) w += down ? 1 : -1;
        }
    }
    return w;
}

::testing::AssertionResult matchesReference(const std::vector<FillPolygon>& polygons, FillRule rule,
                                            int width, int height) {
    Mask mask(width, height);
    fillPolyPolygon(polygons, rule, TRect{0, 0, width, height}, mask.sink());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int w = winding(polygons, x + 0.5, y + 0.5);
            const bool inside = rule == FillRule::Winding ? w != 0 : (w & 1) != 0;
            if (mask.at(x, y) != (inside ? 1 : 0)) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") painted " << mask.at(x, y)
                       << " times, reference says " << (inside ? "inside" : "outside");
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(PolygonFill, RectangleCoversPixelsUpToButNotIncludingItsRightAndBottomEdge) {
    Mask mask(8, 8);
    fillPolyPolygon({{{1, 2}, {5, 2}, {5, 6}, {1, 6}}}, FillRule::Alternate, TRect{0, 0, 8, 8},
                    mask.sink());
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(mask.at(x, y), (x >= 1 && x < 5 && y >= 2 && y < 6) ? 1 : 0) << x << "," << y;
        }
    }
}

TEST(PolygonFill, SharedEdgesPaintEachPixelOnce) {
    Mask mask(10, 10);
    // Two triangles splitting a square along its diagonal, and a neighbour square.
    fillPolyPolygon({{{0, 0}, {6, 0}, {6, 6}}}, FillRule::Alternate, TRect{0, 0, 10, 10},
                    mask.sink());
    fillPolyPolygon({{{0, 0}, {6, 6}, {0, 6}}}, FillRule::Alternate, TRect{0, 0, 10, 10},
                    mask.sink());
    fillPolyPolygon({{{6, 0}, {9, 0}, {9, 6}, {6, 6}}}, FillRule::Alternate, TRect{0, 0, 10, 10},
                    mask.sink());
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(mask.at(x, y), (x < 9 && y < 6) ? 1 : 0) << x << "," << y;
    }
}

TEST(PolygonFill, StarFollowsBothRules) {
    // A pentagram: its centre is inside by the winding rule and outside by the alternate rule.
    FillPolygon star;
    for (int i = 0; i < 5; ++i) {
        const double a = -M_PI / 2 + i * 4 * M_PI / 5;
        star.push_back({16 + 14 * std::cos(a), 16 + 14 * std::sin(a)});
    }
    EXPECT_TRUE(matchesReference({star}, FillRule::Alternate, 32, 32));
    EXPECT_TRUE(matchesReference({star}, FillRule::Winding, 32, 32));
    Mask alternate(32, 32), nonzero(32, 32);
    fillPolyPolygon({star}, FillRule::Alternate, TRect{0, 0, 32, 32}, alternate.sink());
    fillPolyPolygon({star}, FillRule::Winding, TRect{0, 0, 32, 32}, nonzero.sink());
    EXPECT_EQ(alternate.at(16, 16), 0);
    EXPECT_EQ(nonzero.at(16, 16), 1);
}

TEST(PolygonFill, PolyPolygonHolesDependOnDirection) {
    const FillPolygon outer{{2, 2}, {28, 2}, {28, 28}, {2, 28}};
    const FillPolygon sameWay{{10, 10}, {20, 10}, {20, 20}, {10, 20}};
    const FillPolygon otherWay{{10, 10}, {10, 20}, {20, 20}, {20, 10}};
    EXPECT_TRUE(matchesReference({outer, sameWay}, FillRule::Alternate, 32, 32));
    EXPECT_TRUE(matchesReference({outer, sameWay}, FillRule::Winding, 32, 32));
    EXPECT_TRUE(matchesReference({outer, otherWay}, FillRule::Winding, 32, 32));
    Mask filled(32, 32), holed(32, 32);
    fillPolyPolygon({outer, sameWay}, FillRule::Winding, TRect{0, 0, 32, 32}, filled.sink());
    fillPolyPolygon({outer, otherWay}, FillRule::Winding, TRect{0, 0, 32, 32}, holed.sink());
    EXPECT_EQ(filled.at(15, 15), 1);
    EXPECT_EQ(holed.at(15, 15), 0);
}

TEST(PolygonFill, RandomPolygonsMatchThePointInPolygonReference) {
    const unsigned seed = 20261209;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> coordinate(-4.0, 36.0);
    for (int round = 0; round < 60; ++round) {
        std::vector<FillPolygon> polygons(1 + round % 3);
        for (FillPolygon& p : polygons) {
            const int n = 3 + static_cast<int>(random() % 6);
            for (int i = 0; i < n; ++i)
                p.push_back({coordinate(random), coordinate(random)});
        }
        const FillRule rule = round % 2 ? FillRule::Winding : FillRule::Alternate;
        ASSERT_TRUE(matchesReference(polygons, rule, 32, 32))
            << "seed " << seed << " round " << round;
    }
}

TEST(PolygonFill, ClipLimitsSpansAndHugeCoordinatesStayCheap) {
    Mask mask(16, 16);
    fillPolyPolygon({{{-3e9, -3e9}, {3e9, -3e9}, {3e9, 3e9}, {-3e9, 3e9}}}, FillRule::Winding,
                    TRect{4, 5, 9, 7}, mask.sink());
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(mask.at(x, y), (x >= 4 && x < 9 && y >= 5 && y < 7) ? 1 : 0);
    }
    Mask none(4, 4);
    fillPolyPolygon({{{0, 0}, {NAN, 2}, {4, 4}}}, FillRule::Alternate, TRect{0, 0, 4, 4},
                    none.sink());
    fillPolyPolygon({{{0, 0}, {4, 4}}}, FillRule::Alternate, TRect{0, 0, 0, 0}, none.sink());
    int painted = 0;
    for (int h : none.hits)
        painted += h;
    EXPECT_LE(painted, 16);
}

} // namespace
} // namespace schauplatz
