// Quality of assisted placement on the made facades: one-click fits and corner snapping. The
// figures are printed; the assertions hold them to floors a little below what they are, so a
// change of library version does not break the build while a real loss does.

#include "TestFacadeQuality.h"
#include "TestFacades.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace schauplatz::placementaid::testfacades {
namespace {

// SCHAUPLATZ_FACADE_ROUND picks another round of made fronts (see standardHouseFronts).
std::uint32_t facadeRound() {
    const char* text = std::getenv("SCHAUPLATZ_FACADE_ROUND");
    return text != nullptr ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 0u;
}

bool insideQuad(const std::array<TPointD, 4>& Q, TPointD P) {
    for (std::size_t i = 0; i < 4; ++i) {
        const TPointD a = Q[i], b = Q[(i + 1) % 4];
        if ((b.X - a.X) * (P.Y - a.Y) - (b.Y - a.Y) * (P.X - a.X) <= 0.0) return false;
    }
    return true;
}

TEST(MadeFacades, SizesOpeningsAndSeedsAreAsDescribed) {
    const auto specs = standardHouseFronts();
    ASSERT_EQ(specs.size(), 6u);
    int big = 0, small = 0;
    std::size_t openings = 0;
    for (const THouseFrontPlan& plan : specs) {
        big += plan.Width == 1920 && plan.Height == 1080 ? 1 : 0;
        small += plan.Width == 1441 && plan.Height == 1081 ? 1 : 0;
        EXPECT_EQ(plan.JpegQuality, 70);
    }
    EXPECT_EQ(big, 4);
    EXPECT_EQ(small, 2);
    const TTestFacade a = makeHouseFront(specs[4]);
    const TTestFacade b = makeHouseFront(specs[4]);
    EXPECT_EQ(pixelHash(a.Picture), pixelHash(b.Picture));
    for (const TOpeningTruth& t : a.Openings) {
        EXPECT_TRUE(insideQuad(t.Corners, t.Click));
        ++openings;
    }
    EXPECT_EQ(openings, specs[4].Openings.size());
}

TEST(PlacementQuality, MadeFacadesFitAndSnap) {
#ifdef SCHAUPLATZ_SANITIZED
    GTEST_SKIP() << "a measurement: run it in the release build";
#endif
    const std::uint32_t round = facadeRound();
    std::printf("facade round %u (SCHAUPLATZ_FACADE_ROUND)\n", round);
    TFitFigures fits;
    TSnapFigures plain, placed;
    for (const THouseFrontPlan& plan : standardHouseFronts(round)) {
        const TTestFacade facade = makeHouseFront(plan);
        const auto features = extractFacadeFeatures(facade.Picture);
        ASSERT_NE(features, nullptr);
        add(fits, measureFits(*features, facade));
        add(plain, measureSnaps(features, facade, TDragContext::Plain));
        add(placed, measureSnaps(features, facade, TDragContext::Placed));
    }
    for (const std::string& miss : fits.Misses)
        std::printf("miss: %s\n", miss.c_str());
    std::printf("fits: %d of %d openings within %.1f px (%d fitted); corner error median %.2f, "
                "90%% %.2f\n",
                fits.Found, fits.Openings, kFitTolerance, fits.Fitted, median(fits.Errors),
                percentile(fits.Errors, 0.9));
    std::printf("corner drags, element placed anywhere: %d of %d within %.0f px\n", plain.Landed,
                plain.Drags, kSnapTolerance);
    std::printf("corner drags, element roughly in the opening: %d of %d within %.0f px\n",
                placed.Landed, placed.Drags, kSnapTolerance);
    EXPECT_GE(fits.Openings, 30);
    if (round != 0) return; // other rounds are for looking, not for failing
    EXPECT_GE(fits.Found * 100, fits.Openings * 88);
    EXPECT_LE(median(fits.Errors), 0.7);
    EXPECT_GE(placed.Landed * 100, placed.Drags * 90);
    EXPECT_GE(plain.Landed * 100, plain.Drags * 75);
}

} // namespace
} // namespace schauplatz::placementaid::testfacades
