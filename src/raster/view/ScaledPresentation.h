// A picture shown on screen at a view scale (see ViewScale.h for the mapping).
//
// Above 1/1 each picture pixel becomes a block of screen pixels (nearest neighbour); at 1/1
// the pixels are copied; below 1/1 each screen pixel is the area average of the picture
// pixels it covers (exact overlap weights in 1/4096, the four channels each), so fine
// repeating structures such as bricks and roof tiles do not turn into moiré. Screen pixels
// beyond the picture get the outside colour. The picture's own pixels are only read.
#pragma once

#include "raster/Bitmap32.h"
#include "raster/Rect.h"
#include "raster/view/ViewScale.h"

#include <cstdint>

namespace schauplatz {

// The picture: Bitmap from its top left corner, [0, Width) x [0, Height). With Over set, the
// picture is Over's pixels where they are not OverTransparent and Bitmap's elsewhere (a
// transparent layer over a background, composed on the fly; both at least picture-sized).
struct TScaledSource {
    const TCustomBitmap32* Bitmap = nullptr;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    const TCustomBitmap32* Over = nullptr;
    TColor32 OverTransparent = 0;
};

// Fills Area of Dst (clipped to Dst) with the picture seen through Scale, the picture's top
// left corner at (OriginX, OriginY) in Dst's pixels.
void PresentScaled(const TScaledSource& Src, TCustomBitmap32& Dst, const TRect& Area,
                   const TViewScale& Scale, std::int64_t OriginX, std::int64_t OriginY,
                   TColor32 Outside);

// The same pixels without the vector kernels (the reference the vector forms are tested
// against).
void PresentScaledPortable(const TScaledSource& Src, TCustomBitmap32& Dst, const TRect& Area,
                           const TViewScale& Scale, std::int64_t OriginX, std::int64_t OriginY,
                           TColor32 Outside);

} // namespace schauplatz
