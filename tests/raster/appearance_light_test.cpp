// The light tables, the settings' ranges and the automatic matching to the facade.

#include "raster/Appearance.h"
#include "raster/ElementRendering.h"
#include "raster/LightMatching.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace schauplatz;

namespace {

TBitmap32 filled(int W, int H, TColor32 C) {
    TBitmap32 b;
    b.SetSize(W, H);
    b.Clear(C);
    return b;
}

TAppearance light(int B, int C, int T) {
    TAppearance a;
    a.Brightness = B;
    a.Contrast = C;
    a.Temperature = T;
    return a;
}

const TElementQuad kQuad{TPoint{100, 60}, TPoint{200, 60}, TPoint{200, 260}, TPoint{100, 260}};

// The mean colour of the element as drawn: the layer's opaque pixels.
void meanOfLayer(const TBitmap32& L, double& R, double& G, double& B) {
    double n = 0;
    R = G = B = 0;
    for (int y = 0; y < L.Height(); ++y)
        for (int x = 0; x < L.Width(); ++x) {
            const TColor32 c = L.GetPixel(x, y);
            if ((c >> 24) != 255) continue;
            R += (c >> 16) & 0xFF;
            G += (c >> 8) & 0xFF;
            B += c & 0xFF;
            ++n;
        }
    R /= n;
    G /= n;
    B /= n;
}

} // namespace

TEST(AppearanceSettings, ClampingAndNeutrality) {
    TAppearance wild;
    wild.Brightness = 500;
    wild.Contrast = -101;
    wild.Temperature = INT32_MIN;
    wild.Opacity = 300;
    wild.ShadowDepth = 1000;
    wild.ShadowDarkness = -4;
    wild.ShadowSide = static_cast<TShadowSide>(7);
    const TAppearance c = ClampAppearance(wild);
    EXPECT_EQ(c.Brightness, 100);
    EXPECT_EQ(c.Contrast, -100);
    EXPECT_EQ(c.Temperature, -100);
    EXPECT_EQ(c.Opacity, 255);
    EXPECT_EQ(c.ShadowDepth, 200);
    EXPECT_EQ(c.ShadowDarkness, 0);
    EXPECT_EQ(c.ShadowSide, TShadowSide::Left);
    EXPECT_TRUE(IsNeutral(TAppearance{}));
    TAppearance shadowWithoutDarkness;
    shadowWithoutDarkness.ShadowDepth = 50;
    EXPECT_TRUE(IsNeutral(shadowWithoutDarkness));
    TAppearance translucent;
    translucent.Opacity = 200;
    EXPECT_FALSE(IsNeutral(translucent));
    EXPECT_FALSE(IsNeutral(light(0, 1, 0)));
}

TEST(AppearanceLight, TablesFollowTheDocumentedFormula) {
    const TLightTables id = MakeLightTables(TAppearance{});
    for (int v = 0; v < 256; ++v)
        for (int ch = 0; ch < 3; ++ch)
            ASSERT_EQ(id.Channel[ch][v], v);
    // Brightness is an exposure gain: +100 doubles, -100 halves.
    EXPECT_EQ(MakeLightTables(light(100, 0, 0)).Channel[1][100], 200);
    EXPECT_EQ(MakeLightTables(light(100, 0, 0)).Channel[1][200], 255);
    EXPECT_EQ(MakeLightTables(light(-100, 0, 0)).Channel[1][201], 101); // 100.5 rounds up
    EXPECT_EQ(MakeLightTables(light(50, 0, 0)).Channel[1][120], 160);   // gain 200/150
    // Contrast turns around mid-grey: -100 flattens, +100 is four times as steep.
    EXPECT_EQ(MakeLightTables(light(0, -100, 0)).Channel[0][0], 128);
    EXPECT_EQ(MakeLightTables(light(0, -100, 0)).Channel[0][255], 128);
    EXPECT_EQ(MakeLightTables(light(0, -50, 0)).Channel[0][28], 78);
    EXPECT_EQ(MakeLightTables(light(0, 100, 0)).Channel[0][138], 168);
    EXPECT_EQ(MakeLightTables(light(0, 100, 0)).Channel[0][100], 16);
    // Temperature moves red and blue by up to a quarter, green stays.
    const TLightTables warm = MakeLightTables(light(0, 0, 100));
    EXPECT_EQ(warm.Channel[0][100], 125);
    EXPECT_EQ(warm.Channel[1][100], 100);
    EXPECT_EQ(warm.Channel[2][100], 75);
    const TLightTables cool = MakeLightTables(light(0, 0, -40));
    EXPECT_EQ(cool.Channel[0][100], 90);
    EXPECT_EQ(cool.Channel[2][100], 110);
    // Alpha is never touched.
    EXPECT_EQ(warm.Apply(0x12646464u), 0x127D644Bu);
}

TEST(AppearanceLight, TablesAreMonotonic) {
    for (int b = -100; b <= 100; b += 25)
        for (int c = -100; c <= 100; c += 25)
            for (int t = -100; t <= 100; t += 50) {
                const TLightTables tb = MakeLightTables(light(b, c, t));
                for (int ch = 0; ch < 3; ++ch)
                    for (int v = 1; v < 256; ++v)
                        ASSERT_GE(tb.Channel[ch][v], tb.Channel[ch][v - 1])
                            << b << " " << c << " " << t;
            }
}

TEST(AppearanceAutoMatch, TheBandLeavesOutTheQuadAndTheBrightestAndDarkestTwentieth) {
    // Inside the quad: white (must not count). Band: grey 100, with 3 % black and 3 % white
    // specks (trimmed away). Far outside: red (must not count).
    TBitmap32 facade = filled(320, 340, 0xFFFF0000u);
    std::mt19937 rng(3);
    for (int y = 30; y < 290; ++y)
        for (int x = 85; x < 215; ++x) {
            const std::uint32_t roll = rng() % 100;
            facade.SetPixel(x, y, roll < 3 ? clBlack32 : roll < 6 ? clWhite32 : 0xFF646464u);
        }
    for (int y = 60; y < 260; ++y)
        for (int x = 100; x < 200; ++x)
            facade.SetPixel(x, y, clWhite32);
    const TLightMeasure m = MeasureFacadeBand(facade, kQuad);
    EXPECT_GT(m.Count, 0);
    EXPECT_EQ(m.Red16, 100 * 16);
    EXPECT_EQ(m.Green16, 100 * 16);
    EXPECT_EQ(m.Blue16, 100 * 16);
    EXPECT_EQ(m.Spread16, 0);
}

TEST(AppearanceAutoMatch, AGreyElementMovesTowardsAWarmDarkSurround) {
    TBitmap32 facade = filled(320, 340, 0xFF6E5037u); // warm and dark: 110, 80, 55
    TBitmap32 grey = filled(50, 100, 0xFF808080u);
    const TAppearance a = AutoMatchAppearance(facade, grey, kQuad, TAppearance{});
    EXPECT_LT(a.Brightness, 0);
    EXPECT_GT(a.Temperature, 0);
    TBitmap32 before, after;
    before.SetSize(320, 340);
    after.SetSize(320, 340);
    RenderAppearanceLayer(before, grey, kQuad, TAppearance{}, before.BoundsRect());
    RenderAppearanceLayer(after, grey, kQuad, a, after.BoundsRect());
    double r0, g0, b0, r1, g1, b1;
    meanOfLayer(before, r0, g0, b0);
    meanOfLayer(after, r1, g1, b1);
    const auto distance = [](double R, double G, double B) {
        return std::abs(R - 110) + std::abs(G - 80) + std::abs(B - 55);
    };
    EXPECT_LT(distance(r1, g1, b1), distance(r0, g0, b0) - 20);
    EXPECT_GT(r1 - b1, r0 - b0 + 5); // warmer
}

TEST(AppearanceAutoMatch, AWhiteElementStaysWhite) {
    for (const TColor32 surround : {0xFF2A1E14u, 0xFF0A0A40u, 0xFFF0F0F0u, 0xFF000000u}) {
        TBitmap32 facade = filled(320, 340, surround);
        TBitmap32 white = filled(50, 100, clWhite32);
        const TAppearance a = AutoMatchAppearance(facade, white, kQuad, TAppearance{});
        const TLightTables t = MakeLightTables(a);
        const int r = t.Channel[0][255], g = t.Channel[1][255], b = t.Channel[2][255];
        EXPECT_GE(std::min({r, g, b}), kWhiteFloor) << std::hex << surround;
        EXPECT_LE(std::max({r, g, b}) - std::min({r, g, b}), kWhiteTint) << std::hex << surround;
    }
}

TEST(AppearanceAutoMatch, KeepsTheOtherSettingsAndGoesNeutralWithNothingToMeasure) {
    TAppearance current;
    current.Smooth = true;
    current.Opacity = 200;
    current.ShadowDepth = 30;
    current.ShadowDarkness = 40;
    current.Brightness = 70;
    TBitmap32 facade = filled(100, 100, 0xFF404040u);
    TBitmap32 grey = filled(10, 10, 0xFF808080u);
    // The quad lies far outside the facade: no band.
    const TElementQuad away{TPoint{5000, 5000}, TPoint{5100, 5000}, TPoint{5100, 5100},
                            TPoint{5000, 5100}};
    const TAppearance a = AutoMatchAppearance(facade, grey, away, current);
    EXPECT_TRUE(a.Smooth);
    EXPECT_EQ(a.Opacity, 200);
    EXPECT_EQ(a.ShadowDepth, 30);
    EXPECT_EQ(a.ShadowDarkness, 40);
    EXPECT_EQ(a.Brightness, 0);
    EXPECT_EQ(a.Contrast, 0);
    EXPECT_EQ(a.Temperature, 0);
    TBitmap32 transparent = filled(10, 10, 0x00FFFFFFu);
    EXPECT_EQ(AutoMatchAppearance(facade, transparent, kQuad, TAppearance{}), TAppearance{});
}
