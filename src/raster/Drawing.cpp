#include "raster/Drawing.h"

#include "raster/Blend.h"
#include "raster/FixedPoint.h"
#include "raster/Rasterizers.h"
#include "raster/Samplers.h"
#include "raster/Transformation.h"

#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace schauplatz {

namespace {

void RequireBitmaps(const TCustomBitmap32* Dst, const TCustomBitmap32* Src) {
    if (Dst == nullptr) throw EBitmapException("Destination bitmap is nil");
    if (Src == nullptr) throw EBitmapException("Source bitmap is nil");
}

// Copies every pixel that differs from Transparent. The view draws the workspace bitmap this
// way on every frame, so four pixels go at a time (pixels equal to Transparent are rewritten
// with the destination's own value, which leaves them unchanged).
void TransparentRow(const TColor32* S, TColor32* D, std::size_t N, TColor32 Transparent) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i t = _mm_set1_epi32(static_cast<int>(Transparent));
    for (; i + 4 <= N; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + i));
        const __m128i keep = _mm_cmpeq_epi32(s, t);
        if (_mm_movemask_epi8(keep) == 0xFFFF) continue; // nothing to copy
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(D + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(D + i),
                         _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s)));
    }
#endif
    for (; i < N; ++i)
        if (S[i] != Transparent) D[i] = S[i];
}

// One row of Src combined into one row of Dst by the draw mode, as the whole-row operations
// do it (block and stretched drawing).
void CombineRow(const TColor32* S, TColor32* D, std::size_t N, const TCustomBitmap32& Src,
                TDrawMode DrawMode, const TPixelCombineEvent& Handler) {
    switch (DrawMode) {
    case dmBlend: {
        const std::uint32_t m = Src.MasterAlpha();
        if (Src.CombineMode() == cmMerge) {
            if (m >= 255)
                MergeRow(S, D, N);
            else
                MergeRowMaster(S, D, N, m);
        } else {
            if (m >= 255)
                BlendRow(S, D, N);
            else
                BlendRowMaster(S, D, N, m);
        }
        break;
    }
    case dmTransparent:
        TransparentRow(S, D, N, Src.OuterColor());
        break;
    case dmCustom:
        if (Handler) {
            const TColor32 m = Src.MasterAlpha();
            for (std::size_t i = 0; i < N; ++i)
                Handler(S[i], D[i], m);
            break;
        }
        [[fallthrough]]; // a custom mode without a handler draws opaque
    case dmOpaque:
        MovePixels(S, D, N);
        break;
    }
}

// single(A / B) of two integers, the quotient rounded once from extended precision as the
// original arithmetic stored it.
float SingleRatio(std::int32_t A, std::int32_t B) {
    return static_cast<float>(static_cast<TExtended>(A) / static_cast<TExtended>(B));
}

// trunc(Offset * Scale + Base), exact: the product of an int32 and a single needs at most
// 56 bits, which the extended mantissa holds.
std::int32_t ScaledIndex(std::int32_t Offset, float Scale, std::int32_t Base) {
    return static_cast<std::int32_t>(
        std::trunc(static_cast<TExtended>(Offset) * static_cast<TExtended>(Scale) + Base));
}

} // namespace

// ---------------------------------------------------------------- transformed drawing

void DrawTransformed(TCustomBitmap32* Dst, TCustomBitmap32* Src, TTransformation* Transformation) {
    TRegularRasterizer rasterizer;
    DrawTransformed(Dst, Src, Transformation, rasterizer);
}

void DrawTransformed(TCustomBitmap32* Dst, TCustomBitmap32* Src, TTransformation* Transformation,
                     TRasterizer& Rasterizer) {
    RequireBitmaps(Dst, Src);
    DrawTransformed(Dst, Src, Transformation, Rasterizer, Dst->BoundsRect());
}

void DrawTransformed(TCustomBitmap32* Dst, TCustomBitmap32* Src, TTransformation* Transformation,
                     TRasterizer& Rasterizer, const TRect& DstClip) {
    RequireBitmaps(Dst, Src);
    const TRect dstRect = IntersectRect(DstClip, Dst->ClipRect());
    if (!Dst->Measuring()) {
        TTransformer transformer(Src->Resampler(), Transformation);
        TCustomSampler* previous = Rasterizer.Sampler();
        Rasterizer.SetSampler(&transformer);
        struct TRestore {
            TRasterizer& R;
            TCustomSampler* Previous;
            ~TRestore() { R.SetSampler(Previous); }
        } restore{Rasterizer, previous};
        Rasterizer.Rasterize(*Dst, dstRect, *Src);
    }
    Dst->AreaChanged(dstRect, kAreaInfoRect);
}

void DrawTransformedGeneral(TCustomBitmap32* Dst, TCustomBitmap32* Src,
                            TTransformation* Transformation) {
    TRegularRasterizer rasterizer;
    rasterizer.SetFastPathEnabled(false);
    DrawTransformed(Dst, Src, Transformation, rasterizer);
}

// ---------------------------------------------------------------- stretched drawing

namespace {

// Trims a source rectangle that reaches outside Src and shrinks the destination by the
// scaled amount. An empty source rectangle draws nothing below, so its ratio (a division
// by zero) is never formed.
void trimToSource(TRect& DstRect, TRect& SrcRect, const TCustomBitmap32& Src) {
    const bool outside = SrcRect.Left < 0 || SrcRect.Top < 0 || SrcRect.Right > Src.Width() ||
                         SrcRect.Bottom > Src.Height();
    if (!outside || IsRectEmpty(SrcRect)) return;
    const float ratioX = SingleRatio(DstRect.Width(), SrcRect.Width());
    const float ratioY = SingleRatio(DstRect.Height(), SrcRect.Height());
    const auto scaled = [](std::int32_t Amount, float Ratio) {
        return static_cast<TExtended>(Amount) * static_cast<TExtended>(Ratio);
    };
    if (SrcRect.Left < 0) {
        DstRect.Left += static_cast<std::int32_t>(std::ceil(scaled(-SrcRect.Left, ratioX)));
        SrcRect.Left = 0;
    }
    if (SrcRect.Top < 0) {
        DstRect.Top += static_cast<std::int32_t>(std::ceil(scaled(-SrcRect.Top, ratioY)));
        SrcRect.Top = 0;
    }
    if (SrcRect.Right > Src.Width()) {
        DstRect.Right -=
            static_cast<std::int32_t>(std::floor(scaled(SrcRect.Right - Src.Width(), ratioX)));
        SrcRect.Right = Src.Width();
    }
    if (SrcRect.Bottom > Src.Height()) {
        DstRect.Bottom -=
            static_cast<std::int32_t>(std::floor(scaled(SrcRect.Bottom - Src.Height(), ratioY)));
        SrcRect.Bottom = Src.Height();
    }
}

} // namespace

void StretchDraw(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                 TRect SrcRect, TCustomResampler* Resampler, TDrawMode DrawMode,
                 const TPixelCombineEvent& Handler) {
    RequireBitmaps(Dst, Src);

    trimToSource(DstRect, SrcRect, *Src);

    if (Src->IsEmpty() || Dst->IsEmpty() || (DrawMode == dmBlend && Src->MasterAlpha() == 0) ||
        IsRectEmpty(SrcRect))
        return;

    if (!Dst->Measuring()) {
        DstClip = IntersectRect(IntersectRect(DstClip, Dst->BoundsRect()), DstRect);
        if (IsRectEmpty(DstClip)) return;
        if (DrawMode == dmCustom && !Handler) DrawMode = dmOpaque;
        if (DstRect.Width() == SrcRect.Width() && DstRect.Height() == SrcRect.Height()) {
            BlockDraw(*Dst, DstClip, *Src, SrcRect.Left + DstClip.Left - DstRect.Left,
                      SrcRect.Top + DstClip.Top - DstRect.Top, DrawMode, Handler);
        } else {
            if (Resampler == nullptr) Resampler = Src->Resampler();
            if (Resampler == nullptr) throw ENestedException("Nested sampler is nil");
            Resampler->Resample(Dst, DstRect, DstClip, Src, SrcRect, DrawMode, Handler);
        }
    }
    Dst->AreaChanged(DstRect, kAreaInfoRect);
}

void BlockDraw(TCustomBitmap32& Dst, const TRect& DstArea, const TCustomBitmap32& Src,
               std::int32_t SrcX, std::int32_t SrcY, TDrawMode DrawMode,
               const TPixelCombineEvent& Handler) {
    if (IsRectEmpty(DstArea)) return;
    const auto n = static_cast<std::size_t>(DstArea.Width());
    for (std::int32_t row = 0; row < DstArea.Height(); ++row) {
        CombineRow(Src.PixelPointer(SrcX, SrcY + row),
                   Dst.PixelPointer(DstArea.Left, DstArea.Top + row), n, Src, DrawMode, Handler);
    }
}

namespace {

// The source column of each destination column of the clip; a destination one pixel wide
// shows the middle column.
std::vector<std::int32_t> stretchColumns(const TRect& DstRect, const TRect& DstClip,
                                         const TRect& SrcRect) {
    const std::int32_t clipW = DstClip.Width();
    std::vector<std::int32_t> columns(static_cast<std::size_t>(clipW));
    if (DstRect.Width() > 1) {
        const float scaleX = SingleRatio(SrcRect.Width(), DstRect.Width());
        for (std::int32_t i = 0; i < clipW; ++i)
            columns[static_cast<std::size_t>(i)] =
                ScaledIndex(DstClip.Left + i - DstRect.Left, scaleX, SrcRect.Left);
    } else {
        columns[0] = (SrcRect.Left + SrcRect.Right - 1) / 2;
    }
    if (columns.front() < SrcRect.Left || columns.back() >= SrcRect.Right)
        throw EAssertionFailed("NearestStretch: column map leaves the source rectangle");
    return columns;
}

// The source row of a destination row; likewise the middle row for a destination one row
// high.
class StretchRows {
public:
    StretchRows(const TRect& DstRect, const TRect& SrcRect)
        : m_dst(DstRect), m_src(SrcRect),
          m_scale(DstRect.Height() > 1 ? SingleRatio(SrcRect.Height(), DstRect.Height()) : 0.0f) {}

    std::int32_t operator()(std::int32_t Y) const {
        return m_dst.Height() > 1 ? ScaledIndex(Y - m_dst.Top, m_scale, m_src.Top)
                                  : (m_src.Top + m_src.Bottom - 1) / 2;
    }

private:
    const TRect& m_dst;
    const TRect& m_src;
    float m_scale;
};

inline void gatherColumns(const TColor32* S, TColor32* D, const std::vector<std::int32_t>& Map) {
    const std::int32_t* map = Map.data();
    const std::size_t n = Map.size();
    for (std::size_t i = 0; i < n; ++i)
        D[i] = S[map[i]];
}

// Opaque rows are gathered straight into the destination; a row showing the same source row
// as the one above is a copy of it.
void stretchOpaque(TCustomBitmap32& Dst, const TRect& DstClip, const TCustomBitmap32& Src,
                   const std::vector<std::int32_t>& Columns, const StretchRows& SourceRow) {
    const std::size_t n = Columns.size();
    std::int32_t previous = -1;
    TColor32* previousRow = nullptr;
    for (std::int32_t y = DstClip.Top; y < DstClip.Bottom; ++y) {
        const std::int32_t sy = SourceRow(y);
        TColor32* d = Dst.PixelPointer(DstClip.Left, y);
        if (sy == previous && previousRow != nullptr)
            MovePixels(previousRow, d, n);
        else
            gatherColumns(Src.RowPointer(sy), d, Columns);
        previous = sy;
        previousRow = d;
    }
}

// Other modes gather a source row once into a buffer and combine it with each destination
// row that shows it.
void stretchCombined(TCustomBitmap32& Dst, const TRect& DstClip, const TCustomBitmap32& Src,
                     const std::vector<std::int32_t>& Columns, const StretchRows& SourceRow,
                     TDrawMode DrawMode, const TPixelCombineEvent& Handler) {
    const std::size_t n = Columns.size();
    std::vector<TColor32> buffer(n);
    std::int32_t previous = -1;
    for (std::int32_t y = DstClip.Top; y < DstClip.Bottom; ++y) {
        const std::int32_t sy = SourceRow(y);
        if (sy != previous) gatherColumns(Src.RowPointer(sy), buffer.data(), Columns);
        previous = sy;
        CombineRow(buffer.data(), Dst.PixelPointer(DstClip.Left, y), n, Src, DrawMode, Handler);
    }
}

} // namespace

void NearestStretch(TCustomBitmap32& Dst, const TRect& DstRect, TRect DstClip,
                    const TCustomBitmap32& Src, const TRect& SrcRect, TDrawMode DrawMode,
                    const TPixelCombineEvent& Handler) {
    DstClip = IntersectRect(IntersectRect(DstClip, Dst.BoundsRect()), DstRect);
    if (IsRectEmpty(DstClip)) return;
    // An empty source rectangle has no pixel to show and counts as invalid too.
    if (SrcRect.Left < 0 || SrcRect.Top < 0 || SrcRect.Right > Src.Width() ||
        SrcRect.Bottom > Src.Height() || IsRectEmpty(SrcRect))
        throw EBitmapException("Invalid SrcRect");

    if (SrcRect.Width() == DstRect.Width() && SrcRect.Height() == DstRect.Height()) {
        BlockDraw(Dst, DstClip, Src, SrcRect.Left + DstClip.Left - DstRect.Left,
                  SrcRect.Top + DstClip.Top - DstRect.Top, DrawMode, Handler);
        return;
    }
    // Column map, once per call.
    const std::vector<std::int32_t> columns = stretchColumns(DstRect, DstClip, SrcRect);
    const StretchRows sourceRow(DstRect, SrcRect);
    if (DrawMode == dmCustom && !Handler) DrawMode = dmOpaque;
    if (DrawMode == dmOpaque)
        stretchOpaque(Dst, DstClip, Src, columns, sourceRow);
    else
        stretchCombined(Dst, DstClip, Src, columns, sourceRow, DrawMode, Handler);
}

// ---------------------------------------------------------------- bitmap members

void TCustomBitmap32::DrawOnto(TCustomBitmap32* Dst, const TRect& DstRect, const TRect& SrcRect) {
    if (Dst == nullptr) throw EBitmapException("Destination bitmap is nil");
    StretchDraw(Dst, DstRect, Dst->ClipRect(), this, SrcRect, m_resampler.get(), m_drawMode,
                OnPixelCombine);
}

void TCustomBitmap32::DrawOnto(TCustomBitmap32* Dst, const TRect& DstRect) {
    DrawOnto(Dst, DstRect, BoundsRect());
}

void TCustomBitmap32::DrawFrom(const TRect& DstRect, const TRect& SrcRect, TCustomBitmap32* Src) {
    if (Src == nullptr) return;
    Src->DrawOnto(this, DstRect, SrcRect);
}

} // namespace schauplatz
