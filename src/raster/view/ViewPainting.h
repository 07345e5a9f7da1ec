// Small fills the view's stages need, clipped to the destination's clip rectangle.
#pragma once

#include "raster/Bitmap32.h"

namespace schauplatz {

// Fills R ∩ the clip rectangle with Color and reports the area; a measuring bitmap only reports.
void FillRectInClip(TCustomBitmap32& Dest, const TRect& R, TColor32 Color);

// A dotted focus-style frame along the inside of R: every other pixel of the border has its
// colour channels inverted, so it shows on any background.
void DrawDottedFrame(TCustomBitmap32& Dest, const TRect& R);

} // namespace schauplatz
