// Pictures with nothing to find and queries that make no sense: no crash, no snap or fit that
// is not there, and the picture is never touched.

#include "TestFacadeQuality.h"
#include "TestFacades.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace schauplatz::placementaid::testfacades {
namespace {

// Queries all over the picture, with a few radii and directions.
struct TQueryCounts {
    int Corners = 0;
    int Edges = 0; // edge and edge-crossing snaps
    int Fits = 0;
};

TQueryCounts queryAll(const TFacadeFeatures& F, double Step) {
    TQueryCounts n;
    for (double y = 0.5; y < std::max(F.height(), 1); y += Step)
        for (double x = 0.5; x < std::max(F.width(), 1); x += Step) {
            for (const TSnapRadii radii : {TSnapRadii{}, TSnapRadii{40.0, 24.0}}) {
                const TSnapResult r = F.snap({x, y}, radii, TPointD{0.6, 0.8});
                n.Corners += r.Kind == TSnapKind::Corner ? 1 : 0;
                n.Edges += r.Kind == TSnapKind::Edge || r.Kind == TSnapKind::EdgeCrossing ? 1 : 0;
            }
            n.Fits += F.fitOpening({x, y}).has_value() ? 1 : 0;
        }
    return n;
}

TEST(BadFacade, EmptyTinyAndFlatPicturesHaveNothing) {
    struct TCase {
        const char* Name;
        TBitmap32 Picture;
    };
    std::vector<TCase> cases;
    cases.push_back({"empty", TBitmap32()});
    cases.push_back({"1 x 1", makeOneColour(1, 1, 0xFF123456u)});
    cases.push_back({"15 x 15 checker", makeDiagonalStripes(15, 15, 4.0)});
    cases.push_back({"1 x 1080", makeNoise(1, 1080, 3)});
    cases.push_back({"one colour", makeOneColour(1920, 1080, 0xFF808080u)});
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto f = extractFacadeFeatures(c.Picture);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->width(), c.Picture.Width());
        EXPECT_EQ(f->height(), c.Picture.Height());
        EXPECT_TRUE(f->edges().empty());
        EXPECT_TRUE(f->corners().empty());
        const TQueryCounts n = queryAll(*f, 97.0);
        EXPECT_EQ(n.Corners + n.Edges + n.Fits, 0);
    }
}

TEST(BadFacade, PureNoiseHasNoCornerAndNoOpening) {
    const auto f = extractFacadeFeatures(makeNoise(1920, 1080, 11));
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->corners().empty());
    const TQueryCounts n = queryAll(*f, 53.0);
    EXPECT_EQ(n.Corners, 0);
    EXPECT_EQ(n.Fits, 0);
}

// Stripes at 45 degrees: straight edges everywhere, no corner and no closed quadrilateral.
// Edge snaps must land on a stripe's edge: x + y a multiple of half the period.
TEST(BadFacade, DiagonalStripesSnapOnlyOntoTheirEdges) {
    constexpr double kPeriod = 40.0;
    const auto f = extractFacadeFeatures(makeDiagonalStripes(1920, 1080, kPeriod));
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->corners().empty());
    EXPECT_FALSE(f->edges().empty());
    int edgeSnaps = 0;
    for (double y = 3.5; y < 1080; y += 37.0)
        for (double x = 3.5; x < 1920; x += 41.0) {
            const TSnapResult r = f->snap({x, y});
            ASSERT_NE(r.Kind, TSnapKind::Corner) << x << ", " << y;
            ASSERT_NE(r.Kind, TSnapKind::EdgeCrossing) << x << ", " << y;
            if (r.Kind != TSnapKind::Edge) continue;
            ++edgeSnaps;
            const double k = (r.Exact.X + r.Exact.Y) / (kPeriod / 2);
            const double off = std::abs(k - std::round(k)) * (kPeriod / 2) / std::sqrt(2.0);
            EXPECT_LE(off, 0.5) << "snapped to (" << r.Exact.X << ", " << r.Exact.Y << ")";
            EXPECT_FALSE(f->fitOpening({x, y}));
        }
    EXPECT_GT(edgeSnaps, 0);
}

TEST(BadFacade, PlainWallsGiveNoOpening) {
    struct TCase {
        TWall Wall;
        std::int32_t W, H;
        double Front; // centimetres across the picture: the bricks' size
    };
    for (const TCase c :
         {TCase{TWall::Brick, 1920, 1080, 800.0}, TCase{TWall::Brick, 1441, 1081, 1000.0},
          TCase{TWall::Plaster, 1441, 1081, 800.0}}) {
        SCOPED_TRACE(testing::Message() << (c.Wall == TWall::Brick ? "brick " : "plaster ") << c.W
                                        << " x " << c.H << ", " << c.Front << " cm");
        THouseFrontPlan plan = plainWall(c.Wall, c.W, c.H, 5);
        plan.FrontWidth = plan.FrontHeight = c.Front;
        const auto f = extractFacadeFeatures(makeHouseFront(plan).Picture);
        EXPECT_EQ(countFits(*f, 45.0), 0);
        // Plaster's grain and the compression's block borders are no edges to snap to.
        if (c.Wall == TWall::Plaster) {
            EXPECT_TRUE(f->edges().empty());
        }
    }
}

TEST(BadQuery, NonsenseCoordinatesAndRadiiSnapNowhere) {
    const TTestFacade facade = makeHouseFront(standardHouseFronts()[1]);
    const auto f = extractFacadeFeatures(facade.Picture);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const TPointD p : {TPointD{nan, 10.0}, TPointD{10.0, inf}, TPointD{-inf, -inf},
                            TPointD{1e300, -1e300}, TPointD{-5000.0, 200.0}}) {
        const TSnapResult r = f->snap(p, {1e9, 1e9});
        EXPECT_EQ(r.Kind, TSnapKind::None);
        EXPECT_FALSE(f->fitOpening(p));
        const TQuad q{};
        EXPECT_EQ(TVertexDrag(f, q, 0).snap(p).Kind, TSnapKind::None);
    }
    // Radii of nothing, below nothing or not a number find nothing, however near a corner.
    const TPointD corner = facade.Openings.front().Corners[0];
    for (const double r : {0.0, -3.0, nan, -inf})
        EXPECT_EQ(f->snap(corner, {r, r}).Kind, TSnapKind::None) << r;
    // Huge radii are clamped, so the query stays a look around.
    EXPECT_NE(f->snap(corner, {inf, inf}).Kind, TSnapKind::None);
}

TEST(BadQuery, StopBeforeTheEndGivesNothing) {
    const TTestFacade facade = makeHouseFront(standardHouseFronts()[4]);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(extractFacadeFeatures(makeFacadePicture(facade.Picture), stop.get_token()), nullptr);
    std::stop_source running;
    EXPECT_NE(extractFacadeFeatures(makeFacadePicture(facade.Picture), running.get_token()),
              nullptr);
}

TEST(Facade, SnappingAndFittingNeverChangeThePicture) {
    const TTestFacade facade = makeHouseFront(standardHouseFronts()[0]);
    const std::uint64_t before = pixelHash(facade.Picture);
    const auto f = extractFacadeFeatures(facade.Picture);
    for (const TOpeningTruth& t : facade.Openings) {
        (void)f->fitOpening(t.Click);
        (void)f->snap(t.Corners[0]);
        (void)TVertexDrag(f, TQuad{}, 1).snap(t.Corners[1]);
    }
    EXPECT_EQ(pixelHash(facade.Picture), before);
}

TEST(Facade, QueriesFromTwoThreadsAgreeWithOneThread) {
    const TTestFacade facade = makeHouseFront(standardHouseFronts()[3]);
    const auto f = extractFacadeFeatures(facade.Picture);
    const auto run = [&] {
        std::vector<TSnapResult> out;
        for (const TOpeningTruth& t : facade.Openings) {
            for (const TPointD c : t.Corners)
                out.push_back(f->snap({c.X + 3, c.Y - 2}));
            if (const auto fit = f->fitOpening(t.Click))
                out.push_back({TSnapKind::Corner, fit->Quad[0], {}});
        }
        return out;
    };
    std::vector<TSnapResult> a, b;
    std::thread other([&] { a = run(); });
    b = run();
    other.join();
    const std::vector<TSnapResult> alone = run();
    ASSERT_EQ(a.size(), alone.size());
    ASSERT_EQ(b.size(), alone.size());
    for (std::size_t i = 0; i < alone.size(); ++i) {
        EXPECT_EQ(a[i].Point, alone[i].Point);
        EXPECT_EQ(b[i].Point, alone[i].Point);
    }
}

TEST(FacadePicture, ChannelsAreTheBitmapsAndSizesMustMatch) {
    TBitmap32 b;
    b.SetSize(3, 2);
    for (std::int32_t i = 0; i < 6; ++i)
        b.Bits()[i] =
            Color32(static_cast<std::uint32_t>(10 * i), static_cast<std::uint32_t>(20 + i),
                    static_cast<std::uint32_t>(200 - i), static_cast<std::uint32_t>(i));
    const TFacadePicture p = makeFacadePicture(b);
    ASSERT_EQ(p.width(), 3);
    ASSERT_EQ(p.height(), 2);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(p.channel(0)[i], 10 * i);
        EXPECT_EQ(p.channel(1)[i], 20 + i);
        EXPECT_EQ(p.channel(2)[i], 200 - i);
    }
    EXPECT_THROW(TFacadePicture(2, 2, {1, 2, 3, 4}, {1, 2, 3}, {1, 2, 3, 4}),
                 std::invalid_argument);
    EXPECT_THROW(TFacadePicture(-1, 2, {}, {}, {}), std::invalid_argument);
}

} // namespace
} // namespace schauplatz::placementaid::testfacades
