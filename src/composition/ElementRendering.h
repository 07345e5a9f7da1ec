#pragma once

// Drawing placed elements into a background, exactly as the window's acceptance merges them:
// the element picture is drawn through the projective transformation of its quad onto
// transparent black (its own draw mode and master alpha apply), and every pixel of that
// drawing that is not 0 replaces the background pixel, all four channels, unblended.
//
// The drawing of an element touches only the pixels of its quad's bounding box (left and top
// inclusive, right and bottom exclusive) and every pixel depends on its own position alone,
// so a part of a background can be rebuilt by drawing the facade's pixels there again and
// then every element over that part, clipped to it: the result equals a full replay.
//
// An element with appearance settings that are not neutral is drawn as an appearance layer
// instead (raster/ElementRendering.h) and blended over the background by its alpha; its
// pixels too depend on their own position alone, and its area is the one that layer reaches.

#include "composition/PlacedElement.h"
#include "raster/Rect.h"

#include <vector>

namespace schauplatz {

// The pixels the element can change in a background of the given bounds (empty for an
// element without picture).
TRect ElementArea(const TPlacedElement& element, const TRect& bounds);

// Scratch memory for drawing elements, reused between drawings; sized like the background.
class TElementCanvas {
public:
    // Draws the element over background inside clip (clipped to the element's area). An
    // element whose transformation cannot be formed (a picture one pixel wide or high, a
    // degenerate quad) draws nothing; the return value says whether it drew. Memory errors
    // are thrown.
    bool drawOnto(TBitmap32& background, const TPlacedElement& element, const TRect& clip);

    // The element's own drawn pixel at (x, y) (0 where it draws nothing), in a background of
    // the given bounds.
    TColor32 drawnPixel(const TPlacedElement& element, const TRect& bounds, std::int32_t x,
                        std::int32_t y);

private:
    void prepare(const TRect& bounds);
    bool render(const TPlacedElement& element, const TRect& area);

    TBitmap32 m_scratch; // every pixel 0 outside a drawing
};

// Puts the facade's pixels back inside each area of background and draws every element that
// meets the area over it, clipped to it, in order. Overlapping areas are merged first.
void RebuildAreas(TBitmap32& background, const TBitmap32& facade,
                  const std::vector<TPlacedElement>& elements, std::vector<TRect> areas,
                  TElementCanvas& canvas);

// Merges overlapping rectangles (and drops empty ones) so that no pixel lies in two of them.
std::vector<TRect> MergeAreas(std::vector<TRect> areas);

} // namespace schauplatz
