#pragma once

#include "raster/Bitmap32.h"
#include "raster/Rect.h"

#include <cstdint>

namespace schauplatz {

class TRasterizer;
class TTransformation;

// Transformed drawing: every destination pixel of the transformation's destination bounds
// (limited to DstClip and Dst's clip rectangle) is mapped back into Src and combined by
// Src's draw mode. Dst always gets one area notification over the clipped rectangle, also
// while measuring. A null bitmap throws EBitmapException.
void DrawTransformed(TCustomBitmap32* Dst, TCustomBitmap32* Src, TTransformation* Transformation);
void DrawTransformed(TCustomBitmap32* Dst, TCustomBitmap32* Src, TTransformation* Transformation,
                     TRasterizer& Rasterizer);
void DrawTransformed(TCustomBitmap32* Dst, TCustomBitmap32* Src, TTransformation* Transformation,
                     TRasterizer& Rasterizer, const TRect& DstClip);
// The same pixels and notifications as the first form, always through the general sampler
// chain (per-pixel sampler calls); the reference the specialised loop is tested against.
void DrawTransformedGeneral(TCustomBitmap32* Dst, TCustomBitmap32* Src,
                            TTransformation* Transformation);

// Stretched drawing of SrcRect of Src onto DstRect of Dst, limited to DstClip.
// Throws EBitmapException "Destination bitmap is nil" / "Source bitmap is nil".
void StretchDraw(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                 TRect SrcRect, TCustomResampler* Resampler, TDrawMode DrawMode,
                 const TPixelCombineEvent& Handler);

// Unscaled: the block of Src at (SrcX, SrcY) of DstArea's size into DstArea. No checks.
void BlockDraw(TCustomBitmap32& Dst, const TRect& DstArea, const TCustomBitmap32& Src,
               std::int32_t SrcX, std::int32_t SrcY, TDrawMode DrawMode,
               const TPixelCombineEvent& Handler);

// Nearest-neighbour scaling: columns and rows are chosen by truncating the scaled position of
// each destination pixel's left or top edge. Throws EBitmapException "Invalid SrcRect" when
// SrcRect does not lie inside Src.
void NearestStretch(TCustomBitmap32& Dst, const TRect& DstRect, TRect DstClip,
                    const TCustomBitmap32& Src, const TRect& SrcRect, TDrawMode DrawMode,
                    const TPixelCombineEvent& Handler);

} // namespace schauplatz
