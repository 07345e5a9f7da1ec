#pragma once

// Pictures, quads and the plain references the composition is checked against.

#include "composition/TComposition.h"
#include "raster/Drawing.h"
#include "raster/ElementRendering.h"
#include "raster/Transformation.h"
#include "testsupport/PictureCompare.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>

namespace schauplatz::testing {

inline TSharedPicture makePicture(int w, int h, std::uint32_t seed, bool withAlpha = false) {
    auto picture = std::make_shared<TBitmap32>();
    picture->SetDrawMode(dmBlend);
    picture->SetSize(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            TColor32 c = rng() & 0x00FFFFFFu;
            const std::uint32_t alpha = withAlpha ? (rng() % 4 == 0 ? 0u : rng() & 0xFFu) : 0xFFu;
            picture->SetPixel(x, y, (alpha << 24) | c | 0x00010101u);
        }
    return picture;
}

inline TQuad rectQuad(int l, int t, int r, int b) {
    return {QuadPoint{l, t}, QuadPoint{r, t}, QuadPoint{r, b}, QuadPoint{l, b}};
}

inline TQuad randomQuad(std::mt19937& rng, int w, int h) {
    std::uniform_int_distribution<int> x(-w / 4, w + w / 4), y(-h / 4, h + h / 4);
    return {QuadPoint{x(rng), y(rng)}, QuadPoint{x(rng), y(rng)}, QuadPoint{x(rng), y(rng)},
            QuadPoint{x(rng), y(rng)}};
}

// The element merged as the window's first acceptance did it: drawn through the projective
// transformation into a whole workspace bitmap cleared to 0, then every non-zero pixel of the
// workspace copied over the background.
// An element with appearance settings: its whole layer drawn into a workspace cleared to 0,
// then blended over the whole background.
inline void referenceAppearanceMerge(TBitmap32& background, const TPlacedElement& element) {
    TBitmap32 workspace;
    workspace.SetSize(background.Width(), background.Height());
    workspace.Clear(0);
    const TQuad& q = element.Quad;
    const TElementQuad quad{TPoint{q[0].X, q[0].Y}, TPoint{q[1].X, q[1].Y}, TPoint{q[2].X, q[2].Y},
                            TPoint{q[3].X, q[3].Y}};
    try {
        RenderElementInto(workspace, *element.Picture, quad, element.Appearance,
                          workspace.BoundsRect());
    } catch (const EDivByZero&) {
        return;
    }
    CompositeElementLayer(background, workspace, background.BoundsRect(), element.Appearance);
}

inline void referenceMerge(TBitmap32& background, const TPlacedElement& element) {
    if (!element.Picture || element.Picture->IsEmpty()) return;
    if (!IsNeutral(ClampAppearance(element.Appearance))) {
        referenceAppearanceMerge(background, element);
        return;
    }
    TBitmap32 workspace;
    workspace.SetSize(background.Width(), background.Height());
    workspace.Clear(0);
    TProjectiveTransformation T;
    T.SetX0(static_cast<float>(element.Quad[0].X));
    T.SetY0(static_cast<float>(element.Quad[0].Y));
    T.SetX1(static_cast<float>(element.Quad[1].X));
    T.SetY1(static_cast<float>(element.Quad[1].Y));
    T.SetX2(static_cast<float>(element.Quad[2].X));
    T.SetY2(static_cast<float>(element.Quad[2].Y));
    T.SetX3(static_cast<float>(element.Quad[3].X));
    T.SetY3(static_cast<float>(element.Quad[3].Y));
    T.SetSourceRect(TFloatRect{0, 0, static_cast<float>(element.Picture->Width() - 1),
                               static_cast<float>(element.Picture->Height() - 1)});
    try {
        DrawTransformed(&workspace, element.Picture.get(), &T);
    } catch (const EDivByZero&) {
        return;
    }
    for (int y = 0; y < background.Height(); ++y)
        for (int x = 0; x < background.Width(); ++x)
            if (workspace.GetPixel(x, y) != 0) background.SetPixel(x, y, workspace.GetPixel(x, y));
}

// The facade with every element merged over it in order.
inline TBitmap32 referenceReplay(const TBitmap32& facade,
                                 const std::vector<TPlacedElement>& elements) {
    TBitmap32 background;
    background.Assign(&facade);
    for (const TPlacedElement& element : elements)
        referenceMerge(background, element);
    return background;
}

inline unsigned testSeed(unsigned fallback) {
    const char* text = std::getenv("SCHAUPLATZ_TEST_SEED");
    return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 10))
                                            : fallback;
}

} // namespace schauplatz::testing
