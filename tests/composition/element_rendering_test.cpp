// Drawing an element clipped to parts of the background gives, part by part, exactly the
// pixels of drawing it whole: the rule the composition's partial redraws rest on.

#include "composition_support.h"

#include "composition/ElementRendering.h"

namespace schauplatz::testing {
namespace {

TEST(ElementRendering, ClippedDrawingsPieceTogetherTheWholeDrawing) {
    const unsigned seed = testSeed(4711);
    std::mt19937 rng(seed);
    const TSharedPicture facade = makePicture(97, 71, 1);
    TElementCanvas canvas;
    for (int round = 0; round < 120; ++round) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
        const TPlacedElement element{"e.bmp",
                                     makePicture(2 + static_cast<int>(rng() % 40),
                                                 2 + static_cast<int>(rng() % 40), rng(),
                                                 round % 2 == 0),
                                     randomQuad(rng, facade->Width(), facade->Height())};
        const TBitmap32 whole = referenceReplay(*facade, {element});

        // Tiles of random sizes over the whole picture, each drawn on its own.
        TBitmap32 tiled;
        tiled.Assign(facade.get());
        const int tw = 1 + static_cast<int>(rng() % 30), th = 1 + static_cast<int>(rng() % 30);
        for (int y = 0; y < facade->Height(); y += th)
            for (int x = 0; x < facade->Width(); x += tw)
                canvas.drawOnto(tiled, element, TRect{x, y, x + tw, y + th});
        ASSERT_TRUE(sameBitmap(tiled, whole));

        // Everything the element draws lies in its area.
        TBitmap32 outside;
        outside.Assign(facade.get());
        const TRect area = ElementArea(element, facade->BoundsRect());
        canvas.drawOnto(outside, element, facade->BoundsRect());
        for (int y = 0; y < facade->Height(); ++y)
            for (int x = 0; x < facade->Width(); ++x) {
                if (x >= area.Left && x < area.Right && y >= area.Top && y < area.Bottom) continue;
                ASSERT_EQ(outside.GetPixel(x, y), facade->GetPixel(x, y)) << x << ", " << y;
            }
    }
}

TEST(ElementRendering, ElementsThatCannotBeDrawnDrawNothing) {
    const TSharedPicture facade = makePicture(40, 30, 2);
    TElementCanvas canvas;
    for (const TPlacedElement& element :
         {TPlacedElement{"schmal.bmp", makePicture(1, 20, 3), rectQuad(5, 5, 20, 25)},
          TPlacedElement{"flach.bmp", makePicture(20, 1, 4), rectQuad(5, 5, 20, 25)},
          TPlacedElement{"leer.bmp", std::make_shared<TBitmap32>(), rectQuad(5, 5, 20, 25)},
          TPlacedElement{"ohne.bmp", nullptr, rectQuad(5, 5, 20, 25)},
          TPlacedElement{"punkt.bmp", makePicture(9, 9, 5), rectQuad(8, 8, 8, 8)}}) {
        SCOPED_TRACE(element.Path);
        TBitmap32 background;
        background.Assign(facade.get());
        canvas.drawOnto(background, element, background.BoundsRect());
        EXPECT_TRUE(sameBitmap(background, *facade));
        EXPECT_EQ(canvas.drawnPixel(element, background.BoundsRect(), 10, 10), 0u);
    }
}

TEST(ElementRendering, OverlappingAreasAreMergedIntoDisjointOnes) {
    const std::vector<TRect> merged =
        MergeAreas({TRect{0, 0, 10, 10}, TRect{}, TRect{20, 0, 30, 10}, TRect{5, 5, 22, 8},
                    TRect{50, 50, 60, 60}, TRect{3, 3, 3, 9}});
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0], (TRect{0, 0, 30, 10}));
    EXPECT_EQ(merged[1], (TRect{50, 50, 60, 60}));
}

} // namespace
} // namespace schauplatz::testing
