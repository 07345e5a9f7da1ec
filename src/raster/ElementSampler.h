#pragma once

// The appearance layer's pixel loop (used by ElementRendering.cpp): per destination pixel the
// exact reverse mapping of its centre, then either the one nearest sample there or an area
// average over the pixel's footprint on a level of a premultiplied box pyramid; light, shadow
// and opacity; the result written over the layer pixel.

#include "raster/Appearance.h"
#include "raster/Bitmap32.h"
#include "raster/Rect.h"
#include "raster/Transformation.h"

#include <cstdint>
#include <vector>

namespace schauplatz {

// Box-filtered levels of a picture in premultiplied 16-bit channels: a texel holds
// blue * alpha, green * alpha, red * alpha and alpha * 255 (each 0..65025), averaged over
// its 2^k x 2^k picture pixels (pixels outside the picture count as transparent). Level 0
// is read straight from the picture; levels 1.. are built when first asked for.
class TPremultipliedPyramid {
public:
    explicit TPremultipliedPyramid(const TCustomBitmap32& Picture);

    struct Level {
        std::int32_t Width = 0;
        std::int32_t Height = 0;
        std::vector<std::uint16_t> Texels; // 4 per texel: b, g, r, a
    };

    // The number of levels above 0 that can exist (until the level is 1 x 1).
    int MaxLevel() const { return m_maxLevel; }
    // Level K >= 1, built on demand (K is capped to MaxLevel).
    const Level& LevelAt(int K);

private:
    void buildNext();

    const TCustomBitmap32& m_picture;
    int m_maxLevel = 0;
    std::vector<Level> m_levels; // m_levels[k - 1] is level k
};

struct TShadowParams {
    bool Enabled = false;
    TShadowSide Side = TShadowSide::Left;
    std::int64_t Depth = 0;    // picture pixels, 16.16
    std::uint64_t Inverse = 0; // floor(2^40 / Depth)
    std::int32_t Darkness = 0; // 0..100
};

// The shadow's keep factor (0..4096, 4096 = untouched) at the picture position (U, V),
// 16.16 picture pixels, of a picture PictureWidth wide.
std::int32_t ShadowKeep4096(const TShadowParams& S, std::int64_t U, std::int64_t V,
                            std::int32_t PictureWidth);
TShadowParams MakeShadowParams(const TAppearance& A);

struct TAppearanceLoop {
    bool Smooth = false;
    bool LightOn = false;
    TLightTables Light;
    TShadowParams Shadow;
    std::uint32_t Opacity = 255;
};

// Draws every pixel of Region (inside Dst, coordinates below 32767) from Picture through the
// prepared transformation T.
void RenderAppearanceRegion(TCustomBitmap32& Dst, const TCustomBitmap32& Picture,
                            const TProjectiveTransformation& T, const TRect& Region,
                            const TAppearanceLoop& Loop);

// Switches the vector form of the smooth loop off (or on again); both give the same bytes.
// For tests and benchmarks that compare them.
void SetAppearanceVectorAllowed(bool Allowed);

// S (straight colour, alpha Sa) over D (straight, alpha Da), exact integers:
//   Ra = Sa + (Da (255 - Sa) + 127) / 255
//   Rc = (255 Sc Sa + Dc Da (255 - Sa) + Ra 255 / 2) / (255 Ra)
// Sa = 0 leaves D; Da = 0 gives S.
TColor32 StraightOver(TColor32 S, TColor32 D);

} // namespace schauplatz
