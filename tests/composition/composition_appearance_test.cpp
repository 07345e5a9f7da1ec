// Elements with appearance settings in the document: every operation carries the settings,
// and the background stays the replay of the facade and the elements in order.

#include "composition_support.h"

#include <map>

namespace schauplatz::testing {
namespace {

TAppearance smoothShadowed() {
    TAppearance a;
    a.Smooth = true;
    a.Brightness = 20;
    a.Temperature = -15;
    a.ShadowDepth = 6;
    a.ShadowDarkness = 70;
    a.ShadowSide = TShadowSide::Right;
    return a;
}

TAppearance translucent() {
    TAppearance a;
    a.Opacity = 140;
    a.Contrast = 30;
    return a;
}

::testing::AssertionResult consistent(const TComposition& c) {
    std::vector<TPlacedElement> shown = c.Elements();
    if (c.TakenUp()) shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(*c.TakenUp()));
    return sameBitmap(c.Background(), referenceReplay(c.Facade(), shown));
}

class CompositionAppearanceTest : public ::testing::Test {
protected:
    void SetUp() override { c.SetFacade("/bilder/haus.bmp", makePicture(90, 70, 5)); }
    TPlacedElement door(const TQuad& quad, const TAppearance& a, std::uint32_t seed = 31) {
        auto& picture = pictures[seed];
        if (!picture) picture = makePicture(23, 37, seed, seed % 2 == 0);
        return {"/muster/tür " + std::to_string(seed) + ".png", picture, quad, a};
    }
    TComposition c;
    std::map<std::uint32_t, TSharedPicture> pictures;
};

TEST_F(CompositionAppearanceTest, SettingsTravelThroughAcceptTakeUpPutBackUndoAndRedo) {
    c.Accept(door(rectQuad(5, 5, 40, 50), {}));
    c.Accept(door(rectQuad(20, 10, 70, 60), smoothShadowed(), 32));
    c.Accept(door({QuadPoint{30, 20}, QuadPoint{85, 28}, QuadPoint{80, 66}, QuadPoint{35, 58}},
                  translucent(), 33));
    ASSERT_TRUE(consistent(c));
    EXPECT_EQ(c.Elements()[1].Appearance, smoothShadowed());

    // Only the settings change: that is one step of its own, and undo brings the old ones.
    c.TakeUp(1);
    ASSERT_TRUE(consistent(c));
    TPlacedElement edited = c.Elements()[1];
    edited.Appearance.Opacity = 90;
    edited.Appearance.ShadowSide = TShadowSide::Left;
    c.PutBack(edited, 1);
    ASSERT_TRUE(consistent(c));
    EXPECT_EQ(c.History().undoCount(), 4u);
    EXPECT_EQ(c.Elements()[1].Appearance.Opacity, 90);
    c.Undo();
    EXPECT_EQ(c.Elements()[1].Appearance, smoothShadowed());
    ASSERT_TRUE(consistent(c));
    c.Redo();
    EXPECT_EQ(c.Elements()[1], edited);
    ASSERT_TRUE(consistent(c));

    // Putting back unchanged settings is no step.
    c.TakeUp(2);
    c.PutBack(c.Elements()[2], 2);
    EXPECT_EQ(c.History().undoCount(), 4u);

    c.Replace(0, door(rectQuad(0, 0, 30, 45), smoothShadowed(), 34));
    ASSERT_TRUE(consistent(c));
    c.Move(0, 2);
    ASSERT_TRUE(consistent(c));
    c.Remove(1);
    ASSERT_TRUE(consistent(c));
    while (c.CanUndo()) {
        c.Undo();
        ASSERT_TRUE(consistent(c));
    }
    while (c.CanRedo()) {
        c.Redo();
        ASSERT_TRUE(consistent(c));
    }
}

TEST_F(CompositionAppearanceTest, SmoothingReachesPastTheCornersAndIsRedrawnThere) {
    // The smooth layer reaches one scaled picture pixel past the right and bottom edges.
    const TPlacedElement smooth = door(rectQuad(10, 10, 40, 50), smoothShadowed(), 32);
    const TRect corners{10, 10, 40, 50};
    const TRect area = ElementArea(smooth, c.Background().BoundsRect());
    EXPECT_LT(area.Left, corners.Left);
    EXPECT_GT(area.Right, corners.Right);
    EXPECT_GT(area.Bottom, corners.Bottom);
    c.Accept(smooth);
    bool drawnPastTheCorners = false;
    for (int y = 0; y < c.Background().Height(); ++y)
        for (int x = corners.Right; x < c.Background().Width(); ++x)
            drawnPastTheCorners |= c.Background().GetPixel(x, y) != c.Facade().GetPixel(x, y);
    EXPECT_TRUE(drawnPastTheCorners);
    // Removing it puts back every one of those pixels.
    c.Remove(0);
    EXPECT_TRUE(sameBitmap(c.Background(), c.Facade()));
    EXPECT_TRUE(consistent(c));
}

TEST_F(CompositionAppearanceTest, SettingsThatAreNeutralDrawTheRecordedPixels) {
    // A shadow without darkness and a light without change are neutral.
    TAppearance neutral;
    neutral.ShadowDepth = 50;
    c.Accept(door(rectQuad(5, 5, 60, 66), neutral));
    TBitmap32 exact;
    exact.Assign(&c.Facade());
    referenceMerge(exact, door(rectQuad(5, 5, 60, 66), {}));
    EXPECT_TRUE(sameBitmap(c.Background(), exact));
}

TEST_F(CompositionAppearanceTest, ElementAtFindsTheTopmostDrawnPixelOfABlendedElement) {
    c.Accept(door(rectQuad(0, 0, 60, 60), {}, 31));
    c.Accept(door(rectQuad(20, 20, 80, 68), translucent(), 33));
    EXPECT_EQ(c.ElementAt(50, 50), std::optional<std::size_t>(1));
    EXPECT_EQ(c.ElementAt(5, 5), std::optional<std::size_t>(0));
}

TEST_F(CompositionAppearanceTest, ARandomSessionWithSettingsKeepsTheInvariant) {
    const unsigned seed = testSeed(4711);
    std::mt19937 rng(seed);
    const auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const auto randomLook = [&] {
        TAppearance a;
        a.Smooth = pick(2) == 0;
        a.Brightness = pick(201) - 100;
        a.Opacity = pick(3) == 0 ? pick(256) : 255;
        a.ShadowDepth = pick(3) == 0 ? pick(30) : 0;
        a.ShadowDarkness = pick(101);
        a.ShadowSide = pick(2) == 0 ? TShadowSide::Left : TShadowSide::Right;
        return pick(4) == 0 ? TAppearance{} : a;
    };
    for (int step = 0; step < 150; ++step) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step));
        const int n = static_cast<int>(c.Elements().size());
        const int action = pick(100);
        if (c.TakenUp()) {
            TPlacedElement e = c.Elements()[*c.TakenUp()];
            if (action < 50) e.Appearance = randomLook();
            if (action < 70) e.Quad[static_cast<std::size_t>(pick(4))].Y += pick(11) - 5;
            if (action < 85)
                c.PutBack(e, static_cast<std::size_t>(pick(n)));
            else
                c.CancelEdit();
        } else if (action < 35 || n == 0) {
            c.Accept(door(randomQuad(rng, 90, 70), randomLook(),
                          static_cast<std::uint32_t>(40 + pick(4))));
        } else if (action < 55) {
            c.Undo();
        } else if (action < 70) {
            c.Redo();
        } else if (action < 90) {
            c.TakeUp(static_cast<std::size_t>(pick(n)));
        } else {
            c.Move(static_cast<std::size_t>(pick(n)), static_cast<std::size_t>(pick(n)));
        }
        ASSERT_TRUE(consistent(c));
    }
}

} // namespace
} // namespace schauplatz::testing
