#include "raster/Rasterizers.h"

#include "raster/Samplers.h"
#include "raster/Transformation.h"
#include "raster/TransformedFastPath.h"

#include <cmath>
#include <typeinfo>

namespace schauplatz {

namespace {

// floor/ceil of a bound into int32, saturated (corners may be dragged anywhere; NaN counts
// as an empty side).
std::int32_t SaturateToInt32(double V) {
    constexpr double kMin = -2147483648.0;
    constexpr double kMax = 2147483647.0;
    if (std::isnan(V)) return 0;
    if (V <= kMin) return INT32_MIN;
    if (V >= kMax) return INT32_MAX;
    return static_cast<std::int32_t>(V);
}

} // namespace

void TRasterizer::Rasterize(TCustomBitmap32& Dst, const TRect& DstRect,
                            const TCustomBitmap32& Src) {
    m_srcAlpha = Src.MasterAlpha();
    m_drawMode = Src.DrawMode();
    if (m_drawMode == dmCustom && !Src.OnPixelCombine) m_drawMode = dmOpaque;
    m_blendProc = Src.CombineMode() == cmMerge ? MergeMasterInto : BlendMasterInto;
    m_onPixelCombine = Src.OnPixelCombine;
    m_transparentColor = Src.OuterColor();

    const std::int32_t updateCount = Dst.UpdateCount();
    if (m_sampler == nullptr) return;

    m_sampler->PrepareSampling();
    m_source = &Src;
    // Closes brackets a sampler or handler left open on Dst and finalizes, also on errors.
    struct TFinally {
        TRasterizer& Self;
        TCustomBitmap32& Dst;
        std::int32_t UpdateCount;
        ~TFinally() {
            while (Dst.UpdateCount() > UpdateCount)
                Dst.EndUpdate();
            Self.m_source = nullptr;
            Self.m_sampler->FinalizeSampling();
        }
    } finally{*this, Dst, updateCount};

    TRect r = IntersectRect(DstRect, Dst.BoundsRect());
    if (m_sampler->HasBounds()) {
        const TFloatRect b = m_sampler->SampleBounds();
        const TRect bounds{SaturateToInt32(std::floor(static_cast<double>(b.Left))),
                           SaturateToInt32(std::floor(static_cast<double>(b.Top))),
                           SaturateToInt32(std::ceil(static_cast<double>(b.Right))),
                           SaturateToInt32(std::ceil(static_cast<double>(b.Bottom)))};
        // Within the destination's bounds as well: DrawTransformed passes a rectangle inside
        // them anyway, a direct caller may not.
        r = IntersectRect(r, bounds);
    }
    RasterizeRegion(Dst, r);
}

void TRegularRasterizer::RasterizeRegion(TCustomBitmap32& Dst, const TRect& R) {
    if (R.Top >= R.Bottom) return; // no rows, nothing drawn and nothing to report

    if (m_fastPathEnabled && m_updateRowCount <= 0 && TryFastPath(Dst, R)) {
        Dst.AreaChanged(R, kAreaInfoRect);
        return;
    }

    std::int32_t pendingRows = 0;
    for (std::int32_t y = R.Top; y < R.Bottom; ++y) {
        if (R.Left < R.Right) {
            TColor32* row = Dst.RowPointer(y);
            for (std::int32_t x = R.Left; x < R.Right; ++x)
                AssignColor(m_sampler->SampleInt(x, y), row[x]);
        }
        ++pendingRows;
        if (m_updateRowCount > 0 && pendingRows == m_updateRowCount) {
            Dst.AreaChanged(TRect{R.Left, y + 1 - pendingRows, R.Right, y + 1}, kAreaInfoRect);
            pendingRows = 0;
        }
    }
    // A notification that would cover no rows (the last batch ended on the last row) is not
    // sent.
    if (pendingRows > 0)
        Dst.AreaChanged(TRect{R.Left, R.Bottom - pendingRows, R.Right, R.Bottom}, kAreaInfoRect);
}

bool TRegularRasterizer::TryFastPath(TCustomBitmap32& Dst, const TRect& R) {
    // Only the plain chain rasterizer -> transformer -> the source's own resampler has the
    // specialised loop; any other sampler (or a subclass that may sample differently) takes
    // the general path.
    if (m_source == nullptr || m_sampler == nullptr || typeid(*m_sampler) != typeid(TTransformer))
        return false;
    const auto& transformer = static_cast<const TTransformer&>(*m_sampler);
    if (transformer.Sampler() == nullptr || transformer.Sampler() != m_source->Resampler())
        return false;
    auto* projective = dynamic_cast<TProjectiveTransformation*>(transformer.Transformation());
    if (projective == nullptr) return false;
    return DrawProjectiveNearestFast(Dst, *m_source, *projective, R);
}

} // namespace schauplatz
