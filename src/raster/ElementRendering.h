#pragma once

// Rendering one placed element into a layer bitmap, with its appearance settings.
//
// Two kinds of layer come out of it:
//
// - Neutral settings (IsNeutral): the exact layer. The element is drawn as it always was:
//   the projective transformation set up from the quad and the picture's size, then
//   transformed drawing with nearest-neighbour sampling, the picture's draw mode and master
//   alpha. Such a layer is composited by copying its non-zero pixels.
// - Any other settings: the appearance layer. Every pixel holds the element's straight
//   colour and its coverage-weighted alpha (opacity included), with light and shadow
//   applied; with smoothing on the colour is an area average in premultiplied alpha. Such a
//   layer is composited by blending it over the background by its alpha.
//
// CompositeElementLayer does the right one of the two. The arithmetic is integer only (see
// docs/appearance.md), so the same inputs give the same bytes on every machine.

#include "raster/Appearance.h"
#include "raster/Bitmap32.h"
#include "raster/Rect.h"

#include <array>

namespace schauplatz {

class TProjectiveTransformation;

// The quad in layer pixels: top left, top right, bottom right, bottom left.
using TElementQuad = std::array<TPoint, 4>;

// The transformation as the window sets it up for its element: the four corners, and the
// source rectangle (0, 0, width - 1, height - 1), whose right and bottom edges are the
// centres of the last column and row.
void SetupElementTransformation(TProjectiveTransformation& T, const TElementQuad& Quad,
                                const TCustomBitmap32& Picture);

// Draws Picture through Quad into Dst, limited to Clip and Dst's clip rectangle, with the settings
// A (clamped first). Dst is normally a layer cleared to 0 in the area the element can reach;
// pixels the element does not cover keep their value. Returns the area that may have
// changed (inside Clip and Dst's clip rectangle; empty for an empty picture). A picture one pixel
// wide or high throws EDivByZero before any pixel is written, as transformed drawing does.
//
// The exact layer sends Dst the area notification of transformed drawing; the appearance
// layer sends one AreaChanged over the returned area.
TRect RenderElementInto(TCustomBitmap32& Dst, TCustomBitmap32& Picture, const TElementQuad& Quad,
                        const TAppearance& A, const TRect& Clip);

// The same appearance rendering with the exact nearest-neighbour layer forced off: for
// tests and benchmarks that compare the two kinds.
TRect RenderAppearanceLayer(TCustomBitmap32& Dst, const TCustomBitmap32& Picture,
                            const TElementQuad& Quad, const TAppearance& A, const TRect& Clip);

// Every pixel RenderElementInto can change for these settings (before any clipping): the
// corners' bounding box for the exact layer, the picture's area mapped forward plus the
// footprint margin for the appearance layer. A picture that cannot be drawn (empty, one pixel
// wide or high) gives the corners' bounding box.
TRect ElementLayerArea(const TCustomBitmap32& Picture, const TElementQuad& Quad,
                       const TAppearance& A);

// Puts a rendered layer onto the background inside Area (clipped to both bitmaps):
// for neutral settings every non-zero layer pixel replaces the background pixel unchanged;
// otherwise each layer pixel S with alpha Sa is blended over the background pixel D:
//   colour = (S * Sa + D * (256 - Sa) + 128) >> 8   (Sa = 255 copies S, Sa = 0 leaves D)
//   alpha  = Sa + (Da * (255 - Sa) + 127) / 255
// The colour formula is the one the view's blended rows use, so the screen and the
// composite agree.
void CompositeElementLayer(TCustomBitmap32& Background, const TCustomBitmap32& Layer,
                           const TRect& Area, const TAppearance& A);

} // namespace schauplatz
