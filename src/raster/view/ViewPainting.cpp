#include "raster/view/ViewPainting.h"

namespace schauplatz {

void FillRectInClip(TCustomBitmap32& Dest, const TRect& R, TColor32 Color) {
    const TRect A = IntersectRect(R, Dest.ClipRect());
    if (IsRectEmpty(A)) return;
    if (!Dest.Measuring()) {
        const auto n = static_cast<std::size_t>(A.Width());
        for (int y = A.Top; y < A.Bottom; ++y)
            FillPixels(Dest.PixelPointer(A.Left, y), n, Color);
    }
    Dest.AreaChanged(A, kAreaInfoRect);
}

void DrawDottedFrame(TCustomBitmap32& Dest, const TRect& R) {
    if (IsRectEmpty(R) || Dest.Measuring()) return;
    const TRect clip = Dest.ClipRect();
    const auto dot = [&](int x, int y) {
        if (((x + y) & 1) != 0) return;
        if (x < clip.Left || x >= clip.Right || y < clip.Top || y >= clip.Bottom) return;
        TColor32* p = Dest.PixelPointer(x, y);
        *p ^= 0x00FFFFFFu;
    };
    for (int x = R.Left; x < R.Right; ++x) {
        dot(x, R.Top);
        if (R.Bottom - 1 > R.Top) dot(x, R.Bottom - 1);
    }
    for (int y = R.Top + 1; y < R.Bottom - 1; ++y) {
        dot(R.Left, y);
        if (R.Right - 1 > R.Left) dot(R.Right - 1, y);
    }
    Dest.AreaChanged(R, kAreaInfoRect);
}

} // namespace schauplatz
