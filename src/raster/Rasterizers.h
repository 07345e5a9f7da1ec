#pragma once

#include "raster/Bitmap32.h"
#include "raster/Persistent.h"
#include "raster/Rect.h"

#include <cstdint>

namespace schauplatz {

class TCustomSampler;

// Fills a destination rectangle from a sampler (not owned), combining every sample into the
// destination by the source bitmap's draw mode, combine mode and master alpha.
class TRasterizer : public TThreadPersistent {
public:
    TCustomSampler* Sampler() const { return m_sampler; }
    void SetSampler(TCustomSampler* Value) { m_sampler = Value; }

    // Takes the combination settings from Src and fills DstRect of Dst.
    void Rasterize(TCustomBitmap32& Dst, const TRect& DstRect, const TCustomBitmap32& Src);

protected:
    virtual void RasterizeRegion(TCustomBitmap32& Dst, const TRect& R) = 0;

    // Combines sample S into destination pixel D by the settings of Rasterize.
    void AssignColor(TColor32 S, TColor32& D) const {
        switch (m_drawMode) {
        case dmOpaque:
            D = S;
            break;
        case dmBlend:
            m_blendProc(S, D, m_srcAlpha);
            break;
        case dmTransparent:
            if (S != m_transparentColor) D = S;
            break;
        case dmCustom:
            m_onPixelCombine(S, D, m_srcAlpha);
            break;
        }
    }

    // The source bitmap of the running Rasterize call (for fast paths).
    const TCustomBitmap32* m_source = nullptr;
    TCustomSampler* m_sampler = nullptr;
    std::uint32_t m_srcAlpha = 255;
    TBlendMasterIntoProc m_blendProc = BlendMasterInto;
    TPixelCombineEvent m_onPixelCombine;
    TDrawMode m_drawMode = dmOpaque;
    TColor32 m_transparentColor = 0;
};

// Visits the region row by row. With UpdateRowCount above 0 an area notification follows
// every that many rows; in any case one follows the last row.
class TRegularRasterizer : public TRasterizer {
public:
    std::int32_t UpdateRowCount() const { return m_updateRowCount; }
    void SetUpdateRowCount(std::int32_t Value) { m_updateRowCount = Value; }

    // The specialised loop for nearest sampling through a projective transformation is used
    // when it applies (it gives the same pixels). Switching it off forces the general
    // sampler chain, which tests compare against.
    bool FastPathEnabled() const { return m_fastPathEnabled; }
    void SetFastPathEnabled(bool Value) { m_fastPathEnabled = Value; }

protected:
    void RasterizeRegion(TCustomBitmap32& Dst, const TRect& R) override;

private:
    bool TryFastPath(TCustomBitmap32& Dst, const TRect& R);

    std::int32_t m_updateRowCount = 0;
    bool m_fastPathEnabled = true;
};

} // namespace schauplatz
