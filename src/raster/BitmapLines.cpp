// Rectangles, straight lines, the stipple (colour pattern) and anti-aliased stippled lines
// of TCustomBitmap32. The clipped forms respect the measuring state (they only report);
// FillRect, HorzLine and VertLine write unconditionally and rely on their callers' ranges.

#include "raster/Bitmap32.h"
#include "raster/FixedPoint.h"
#include "raster/Gamma.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace schauplatz {

namespace {

using L = TExtended;

constexpr std::uint32_t kStippleLineInfo = kAreaInfoLine + 4;
constexpr std::uint32_t kFastLineInfo = kAreaInfoLine + 2;
// Line end points are nudged by just under half a sub-pixel step before stepping.
constexpr std::int32_t kSubpixelNudge = 127;

// a * b / c with a 64-bit intermediate, halves away from zero; -1 when c is 0 or the result
// does not fit in 32 bits.
std::int32_t MulDiv(std::int32_t A, std::int32_t B, std::int32_t C) {
    if (C == 0) return -1;
    const std::int64_t p = static_cast<std::int64_t>(A) * B;
    const std::uint64_t ap =
        p < 0 ? 0 - static_cast<std::uint64_t>(p) : static_cast<std::uint64_t>(p);
    const std::uint64_t ac = C < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(C))
                                   : static_cast<std::uint64_t>(C);
    std::uint64_t q = ap / ac;
    if (2 * (ap % ac) >= ac) ++q;
    const bool negative = (p < 0) != (C < 0);
    if (negative ? q > 0x80000000ull : q > 0x7FFFFFFFull) return -1;
    return negative ? static_cast<std::int32_t>(0 - q) : static_cast<std::int32_t>(q);
}

int xCode(std::int32_t X, std::int32_t MinX, std::int32_t MaxX) {
    return X < MinX ? 1 : (X > MaxX ? 2 : 0);
}
int outCode(std::int32_t X, std::int32_t Y, std::int32_t MinX, std::int32_t MinY, std::int32_t MaxX,
            std::int32_t MaxY) {
    return xCode(X, MinX, MaxX) | (Y < MinY ? 4 : (Y > MaxY ? 8 : 0));
}

// Length of a part of a line that clipping skipped, in whole pixels: s takes off the last
// point when it is drawn (IncludeLast).
float skippedLength(std::int32_t Ax, std::int32_t Ay, std::int32_t Bx, std::int32_t By,
                    bool IncludeLast) {
    const auto whole = [](std::int32_t A, std::int32_t B) {
        return static_cast<std::int64_t>(std::llabs(static_cast<std::int64_t>(B) - A) >> 16);
    };
    const L dx = static_cast<L>(whole(Ax, Bx));
    const L dy = static_cast<L>(whole(Ay, By) - (IncludeLast ? 1 : 0));
    return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

// Division toward zero of a 64-bit sum, stored as int32.
std::int32_t divTrunc(std::int64_t V, std::int64_t D) {
    return static_cast<std::int32_t>(V / D);
}

} // namespace

// --- rectangles and straight lines ------------------------------------------------------

void TCustomBitmap32::FillRect(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2,
                               TColor32 Value) {
    if (m_bits != nullptr && X2 > X1)
        for (std::int32_t y = Y1; y < Y2; ++y)
            FillPixels(PixelPointer(X1, y), static_cast<std::size_t>(X2 - X1), Value);
    AreaChanged(TRect{X1, Y1, X2, Y2});
}

void TCustomBitmap32::FillRectClipped(std::int32_t X1, std::int32_t Y1, std::int32_t X2,
                                      std::int32_t Y2, TColor32 Value) {
    const TRect& c = m_clipRect;
    if (!m_measuringMode && X1 < X2 && Y1 < Y2 && X1 < c.Right && Y1 < c.Bottom && X2 > c.Left &&
        Y2 > c.Top) {
        X1 = std::max(X1, c.Left);
        Y1 = std::max(Y1, c.Top);
        X2 = std::min(X2, c.Right);
        Y2 = std::min(Y2, c.Bottom);
        FillRect(X1, Y1, X2, Y2, Value);
    }
    AreaChanged(TRect{X1, Y1, X2, Y2});
}

void TCustomBitmap32::HorzLine(std::int32_t X1, std::int32_t Y, std::int32_t X2, TColor32 Value) {
    if (X2 >= X1) FillPixels(PixelPointer(X1, Y), static_cast<std::size_t>(X2 - X1) + 1, Value);
}

void TCustomBitmap32::VertLine(std::int32_t X, std::int32_t Y1, std::int32_t Y2, TColor32 Value) {
    for (std::int32_t y = Y1; y <= Y2; ++y)
        *PixelPointer(X, y) = Value;
}

void TCustomBitmap32::HorzLineClipped(std::int32_t X1, std::int32_t Y, std::int32_t X2,
                                      TColor32 Value) {
    if (m_measuringMode) {
        AreaChanged(TRect{X1, Y, X2, Y + 1});
        return;
    }
    const TRect& c = m_clipRect;
    if (Y < c.Top || Y >= c.Bottom) return;
    if (X1 > X2) std::swap(X1, X2);
    X1 = std::max(X1, c.Left);
    if (X2 >= c.Right) X2 = c.Right - 1;
    if (X2 < X1) return;
    HorzLine(X1, Y, X2, Value);
    AreaChanged(TRect{X1, Y, X2, Y + 1});
}

void TCustomBitmap32::VertLineClipped(std::int32_t X, std::int32_t Y1, std::int32_t Y2,
                                      TColor32 Value) {
    if (m_measuringMode) {
        AreaChanged(TRect{X, Y1, X + 1, Y2});
        return;
    }
    const TRect& c = m_clipRect;
    if (X < c.Left || X >= c.Right) return;
    if (Y1 > Y2) std::swap(Y1, Y2);
    Y1 = std::max(Y1, c.Top);
    if (Y2 >= c.Bottom) Y2 = c.Bottom - 1;
    if (Y2 < Y1) return;
    VertLine(X, Y1, Y2, Value);
    AreaChanged(TRect{X, Y1, X + 1, Y2});
}

// One-pixel outline of X1..X2-1 x Y1..Y2-1. A one-pixel-high rectangle gets only its top
// side; a one-pixel-wide one is drawn once, not twice.
void TCustomBitmap32::FrameRectClipped(std::int32_t X1, std::int32_t Y1, std::int32_t X2,
                                       std::int32_t Y2, TColor32 Value) {
    const TRect& c = m_clipRect;
    if (!(X2 > X1 && Y2 > Y1 && X1 < c.Right && Y1 < c.Bottom && X2 > c.Left && Y2 > c.Top)) return;
    const std::int32_t x2 = X2 - 1, y2 = Y2 - 1;
    HorzLineClipped(X1, Y1, x2, Value);
    if (y2 > Y1) HorzLineClipped(X1, y2, x2, Value);
    if (y2 > Y1 + 1) {
        VertLineClipped(X1, Y1 + 1, y2 - 1, Value);
        if (x2 > X1) VertLineClipped(x2, Y1 + 1, y2 - 1, Value);
    }
}

void TCustomBitmap32::FrameRectClipped(const TRect& R, TColor32 Value) {
    FrameRectClipped(R.Left, R.Top, R.Right, R.Bottom, Value);
}

// --- stipple ----------------------------------------------------------------------------

void TCustomBitmap32::SetStipplePattern(const TArrayOfColor32& Value) {
    m_stipplePattern = Value;
    m_stippleCounter = 0;
}

// The pattern is a ring; the counter's fraction mixes an entry with the next one.
TColor32 TCustomBitmap32::NextStippleColor() {
    const auto count = static_cast<std::int32_t>(m_stipplePattern.size());
    if (count == 0) return clBlack32;
    const float len = static_cast<float>(count);
    // From 2^24 on, stepping by whole patterns can stall (counter - L rounds back to the
    // counter) and would hang the paint; an infinite counter never comes into range. Below
    // that every step is exact, so the remainder taken here is what the steps would give.
    if (!std::isfinite(m_stippleCounter))
        m_stippleCounter = 0;
    else if (std::fabs(m_stippleCounter) >= 16777216.0f)
        m_stippleCounter = std::fmod(m_stippleCounter, len);
    while (m_stippleCounter >= len)
        m_stippleCounter = static_cast<float>(L(m_stippleCounter) - len);
    while (m_stippleCounter < 0)
        m_stippleCounter = static_cast<float>(L(m_stippleCounter) + len);

    // Round(counter - 0.5) is the floor except at odd whole numbers, where ties to even
    // give one less (and then W = 0 picks the next entry in full).
    auto p = static_cast<std::int32_t>(RoundToInt64(L(m_stippleCounter) - 0.5L));
    p = std::clamp(p, 0, count - 1);
    const auto w = static_cast<std::uint32_t>(255 - RoundToInt64((L(m_stippleCounter) - p) * 255));
    const std::int32_t n = p + 1 == count ? 0 : p + 1;
    const TColor32 color =
        w == 255 ? m_stipplePattern[p] : CombineColors(m_stipplePattern[p], m_stipplePattern[n], w);
    m_stippleCounter = static_cast<float>(L(m_stippleCounter) + m_stippleStep);
    return color;
}

void TCustomBitmap32::AdvanceStipple(float LengthPixel) {
    const auto count = m_stipplePattern.size();
    const float d = static_cast<float>(L(LengthPixel) * m_stippleStep);
    if (count == 0 || d == 0) return;
    const L len = static_cast<L>(count);
    m_stippleCounter = static_cast<float>(L(m_stippleCounter) + d);
    m_stippleCounter =
        static_cast<float>(m_stippleCounter - std::floor(m_stippleCounter / len) * len);
}

// --- sub-pixel points -------------------------------------------------------------------

//   (px, py) ---- (px+1, py)        weights from the gamma-corrected distances of the
//      |    . (fx, fy)  |           24.8 position to the four pixel corners; the four
//   (px, py+1) -- (px+1, py+1)      pixels are written in clockwise order from top left.
void TCustomBitmap32::PutSubpixel(std::int32_t X, std::int32_t Y, TColor32 Value) {
    const TGammaTable& g = GammaTable();
    const std::uint32_t fx = static_cast<std::uint32_t>(X) & 0xFF;
    const std::uint32_t fy = static_cast<std::uint32_t>(Y) & 0xFF;
    const std::int32_t px = X >> kSubpixelShift, py = Y >> kSubpixelShift;
    TColor32* p00 = PixelPointer(px, py);
    TColor32* p10 = p00 + 1;
    TColor32* p01 = p00 + m_width;
    TColor32* p11 = p01 + 1;
    if (m_combineMode == cmBlend) {
        const std::uint32_t a = Value >> 24;
        const std::uint32_t ax0 = a * g[255 - fx], ax1 = a * g[fx];
        const std::uint32_t ay0 = g[255 - fy], ay1 = g[fy];
        CombineInto(Value, *p00, (ax0 * ay0) >> 16);
        CombineInto(Value, *p10, (ax1 * ay0) >> 16);
        CombineInto(Value, *p11, (ax1 * ay1) >> 16);
        CombineInto(Value, *p01, (ax0 * ay1) >> 16);
    } else {
        const std::uint32_t ax0 = g[255 - fx], ax1 = g[fx];
        const std::uint32_t ay0 = g[255 - fy], ay1 = g[fy];
        CombineInto(Merge(Value, *p00), *p00, (ax0 * ay0) >> 8);
        CombineInto(Merge(Value, *p10), *p10, (ax1 * ay0) >> 8);
        CombineInto(Merge(Value, *p11), *p11, (ax1 * ay1) >> 8);
        CombineInto(Merge(Value, *p01), *p01, (ax0 * ay1) >> 8);
    }
}

void TCustomBitmap32::PutSubpixelClipped(std::int32_t X, std::int32_t Y, TColor32 Value) {
    const TRect& s = m_subClipRect;
    if (!(X >= s.Left - kSubpixelOne && X < s.Right && Y >= s.Top - kSubpixelOne && Y < s.Bottom))
        return;
    const TGammaTable& g = GammaTable();
    const std::uint32_t fx = static_cast<std::uint32_t>(X) & 0xFF;
    const std::uint32_t fy = static_cast<std::uint32_t>(Y) & 0xFF;
    const std::int32_t px = X >> kSubpixelShift, py = Y >> kSubpixelShift;
    const TRect& c = m_clipRect;
    const auto put = [&](std::int32_t x, std::int32_t y, std::uint32_t w) {
        if (x < c.Left || x >= c.Right || y < c.Top || y >= c.Bottom) return;
        TColor32& p = *PixelPointer(x, y);
        CombineInto(m_combineMode == cmBlend ? Value : Merge(Value, p), p, w);
    };
    std::uint32_t ax0 = g[255 - fx], ax1 = g[fx];
    const std::uint32_t ay0 = g[255 - fy], ay1 = g[fy];
    const int shift = m_combineMode == cmBlend ? 16 : 8;
    if (m_combineMode == cmBlend) {
        ax0 *= Value >> 24;
        ax1 *= Value >> 24;
    }
    put(px, py, (ax0 * ay0) >> shift);
    put(px + 1, py, (ax1 * ay0) >> shift);
    put(px + 1, py + 1, (ax1 * ay1) >> shift);
    put(px, py + 1, (ax0 * ay1) >> shift);
}

// --- line clipping ----------------------------------------------------------------------

// Two-pass outcode clip: first the y edges, then the x edges. The y values are not checked
// again after the second pass; PutSubpixelClipped guards the pixels.
bool TCustomBitmap32::ClipLine(std::int32_t& X1, std::int32_t& Y1, std::int32_t& X2,
                               std::int32_t& Y2, std::int32_t MinX, std::int32_t MinY,
                               std::int32_t MaxX, std::int32_t MaxY) {
    int c1 = outCode(X1, Y1, MinX, MinY, MaxX, MaxY);
    int c2 = outCode(X2, Y2, MinX, MinY, MaxX, MaxY);
    if (c1 & c2) return false;
    if ((c1 | c2) == 0) return true;

    if (c1 & 12) {
        const std::int32_t k = c1 < 8 ? MinY : MaxY;
        X1 = WrapAdd(X1, MulDiv(WrapSub(k, Y1), WrapSub(X2, X1), WrapSub(Y2, Y1)));
        Y1 = k;
        c1 = xCode(X1, MinX, MaxX);
    }
    if (c2 & 12) {
        const std::int32_t k = c2 < 8 ? MinY : MaxY;
        X2 = WrapAdd(X2, MulDiv(WrapSub(k, Y2), WrapSub(X2, X1), WrapSub(Y2, Y1)));
        Y2 = k;
        c2 = xCode(X2, MinX, MaxX);
    }
    if (c1 & c2) return false;
    if ((c1 | c2) == 0) return true;

    if (c1 != 0) {
        const std::int32_t k = c1 == 1 ? MinX : MaxX;
        Y1 = WrapAdd(Y1, MulDiv(WrapSub(k, X1), WrapSub(Y2, Y1), WrapSub(X2, X1)));
        X1 = k;
    }
    if (c2 != 0) {
        const std::int32_t k = c2 == 1 ? MinX : MaxX;
        Y2 = WrapAdd(Y2, MulDiv(WrapSub(k, X2), WrapSub(Y2, Y1), WrapSub(X2, X1)));
        X2 = k;
    }
    return true;
}

// --- stippled lines ---------------------------------------------------------------------

void TCustomBitmap32::StippledLine(float X1, float Y1, float X2, float Y2, bool IncludeLast) {
    StippledLineFixed(RoundToInt32(L(X1) * kFixedOne), RoundToInt32(L(Y1) * kFixedOne),
                      RoundToInt32(L(X2) * kFixedOne), RoundToInt32(L(Y2) * kFixedOne),
                      IncludeLast);
}

namespace {

// The stepping shared by both forms: steps of one pixel along the line, each point taking
// the next stipple colour, then a last point halfway to the end with the leftover fraction
// of a step as its opacity. Coordinates are 16.16 with the sub-pixel nudge already added.
// The fast form (all coordinates positive) divides by plain shifts and skips the clip tests;
// the clipped form divides toward zero. Returns false when the line is shorter than one
// sub-pixel step and nothing was drawn.
template <bool Fast>
bool stepLine(TCustomBitmap32& B, std::int32_t X1, std::int32_t Y1, std::int32_t X2,
              std::int32_t Y2, bool IncludeLast) {
    const auto put = [&B](std::int64_t X, std::int64_t Y, int Shift, TColor32 C) {
        if constexpr (Fast)
            B.PutSubpixel(static_cast<std::int32_t>(X >> Shift),
                          static_cast<std::int32_t>(Y >> Shift), C);
        else
            B.PutSubpixelClipped(divTrunc(X, std::int64_t{1} << Shift),
                                 divTrunc(Y, std::int64_t{1} << Shift), C);
    };
    std::int32_t nx = WrapSub(X2, X1), ny = WrapSub(Y2, Y1);
    const std::int64_t hyp = RoundToInt64(std::sqrt(L(nx) * nx + L(ny) * ny));
    const std::int64_t hypl = hyp + (IncludeLast ? kFixedOne : 0);
    if (hypl < kSubpixelOne) return false;
    const std::int64_t n = hypl >> kFixedShift;
    if (n > 0) {
        if (hyp == 0) {
            // A line clipped to a single point with its last point included: no direction,
            // so no step (the points drawn do not depend on it; 0 / 0 must not be taken).
            nx = 0;
            ny = 0;
        } else {
            nx = RoundToInt32(L(nx) / hyp * kFixedOne);
            ny = RoundToInt32(L(ny) / hyp * kFixedOne);
        }
        for (std::int64_t i = 0; i < n; ++i) {
            put(X1, Y1, kSubpixelShift, B.NextStippleColor());
            X1 = WrapAdd(X1, nx);
            Y1 = WrapAdd(Y1, ny);
        }
    }
    TColor32 c = B.NextStippleColor();
    const auto frac = static_cast<std::uint64_t>(hypl - n * kFixedOne);
    const auto alpha = static_cast<std::uint32_t>(((c >> 24) * frac) >> 16);
    c = (c & 0x00FFFFFFu) | (alpha << 24);
    // Halfway between the last stepped point and the end point (the start when n = 0).
    put(std::int64_t{X1} + X2 - nx, std::int64_t{Y1} + Y2 - ny, kSubpixelShift + 1, c);
    return true;
}

} // namespace

void TCustomBitmap32::StippledLineFixed(std::int32_t X1, std::int32_t Y1, std::int32_t X2,
                                        std::int32_t Y2, bool IncludeLast) {
    const TRect area{FixedRound(X1), FixedRound(Y1), FixedRound(X2), FixedRound(Y2)};
    if (m_measuringMode) {
        AreaChanged(area, kStippleLineInfo);
        return;
    }
    const std::int32_t sx = X1, sy = Y1, ex = X2, ey = Y2;
    const TRect& fc = m_fixedClipRect;
    if (!ClipLine(X1, Y1, X2, Y2, WrapSub(fc.Left, kFixedOne), WrapSub(fc.Top, kFixedOne), fc.Right,
                  fc.Bottom)) {
        // Keep the dash pattern anchored to the line's start for the lines that follow.
        AdvanceStipple(skippedLength(X1, Y1, X2, Y2, IncludeLast));
        return;
    }
    const bool startMoved = X1 != sx || Y1 != sy;
    const bool endMoved = X2 != ex || Y2 != ey;
    if (endMoved) IncludeLast = true;

    const auto inside = [&fc](std::int32_t X, std::int32_t Y) {
        return fc.Left < X && X < std::int64_t{fc.Right} - 2 * kFixedOne && fc.Top < Y &&
               Y < std::int64_t{fc.Bottom} - 2 * kFixedOne;
    };
    if (inside(X1, Y1) && inside(X2, Y2)) {
        stepLine<true>(*this, X1 + kSubpixelNudge, Y1 + kSubpixelNudge, X2 + kSubpixelNudge,
                       Y2 + kSubpixelNudge, IncludeLast);
        AreaChanged(area, kFastLineInfo);
        return;
    }

    if (startMoved) {
        const L dx = static_cast<L>(std::llabs(std::int64_t{X1} - sx) >> 16);
        const L dy = static_cast<L>(std::llabs(std::int64_t{Y1} - sy) >> 16);
        AdvanceStipple(static_cast<float>(RoundToInt64(std::sqrt(dx * dx + dy * dy))));
    }
    X1 = WrapAdd(X1, kSubpixelNudge);
    Y1 = WrapAdd(Y1, kSubpixelNudge);
    X2 = WrapAdd(X2, kSubpixelNudge);
    Y2 = WrapAdd(Y2, kSubpixelNudge);
    if (!stepLine<false>(*this, X1, Y1, X2, Y2, IncludeLast)) return;
    if (endMoved) AdvanceStipple(skippedLength(X2, Y2, ex, ey, IncludeLast));
    AreaChanged(area, kStippleLineInfo);
}

} // namespace schauplatz
