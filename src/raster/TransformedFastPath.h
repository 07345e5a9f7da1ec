#pragma once

// The element renderer's hot loop: nearest-neighbour transformed drawing through a
// projective transformation, without per-pixel virtual calls, allocation or notification.
//
// It gives exactly the pixels of the general sampler chain (rasterizer -> transformer ->
// nearest resampler with pamSafe) for the cases it accepts, and declines (returns false,
// touching nothing) for all others so that the caller runs the general chain.

#include "raster/Bitmap32.h"
#include "raster/Rect.h"
#include "raster/Transformation.h"

namespace schauplatz {

// Accepts: Src's resampler is a TNearestResampler with pamSafe; Src's DrawMode is dmBlend
// with cmBlend, dmOpaque, dmTransparent, or dmCustom without a handler (drawn as dmOpaque);
// T is a TProjectiveTransformation itself (not a subclass); R lies inside Dst and within
// 16.16 range. R is the region the rasterizer visits (already clipped to the destination
// bounds of T). Prepares T when it is not prepared (EDivByZero propagates, nothing drawn).
// Sends no notification: the caller reports the area.
bool DrawProjectiveNearestFast(TCustomBitmap32& Dst, const TCustomBitmap32& Src,
                               TProjectiveTransformation& T, const TRect& R);

// The same with the vector kernel switched off (the portable per-pixel form); for tests and
// benchmarks that compare the two.
bool DrawProjectiveNearestFastScalar(TCustomBitmap32& Dst, const TCustomBitmap32& Src,
                                     TProjectiveTransformation& T, const TRect& R);

// ReverseFixed of the centres of N consecutive pixels (X + i) * 65536 + 32767, row Y,
// through the inverse fixed matrix I, computed incrementally as the fast path does. Valid[i]
// is 0 where the point has no result (U[i] and V[i] are then unspecified).
void ReverseFixedRow(const TFixedMatrix& I, std::int32_t X, std::int32_t Y, int N, TFixed* U,
                     TFixed* V, std::uint8_t* Valid, bool AllowVector = true);

} // namespace schauplatz
