#include "raster/ElementRendering.h"

#include "raster/Drawing.h"
#include "raster/ElementSampler.h"
#include "raster/FixedPoint.h"
#include "raster/Rasterizers.h"
#include "raster/Transformation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace schauplatz {

namespace {

// The reverse mapping steps destination centres x * 65536 + 32767 along a row, and the
// appearance layer maps whole blocks of eight beyond the area: past this coordinate the
// centres would wrap. Layer pixels beyond it are not drawn.
constexpr std::int32_t kMaxCoordinate = 32752;

std::int32_t saturate(std::int64_t V) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        V, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The corners' bounding box, as transformed drawing visits it (right and bottom exclusive).
TRect cornerBox(const TElementQuad& Q) {
    std::int32_t l = Q[0].X, t = Q[0].Y, r = Q[0].X, b = Q[0].Y;
    for (const TPoint& p : Q) {
        l = std::min(l, p.X);
        t = std::min(t, p.Y);
        r = std::max(r, p.X);
        b = std::max(b, p.Y);
    }
    return TRect{l, t, r, b};
}

TRect widened(const TRect& R, std::int32_t By) {
    return TRect{saturate(std::int64_t{R.Left} - By), saturate(std::int64_t{R.Top} - By),
                 saturate(std::int64_t{R.Right} + By), saturate(std::int64_t{R.Bottom} + By)};
}

// Where the appearance layer can have pixels: the picture's whole area [0, w) x [0, h)
// mapped forward (it reaches one scaled picture pixel past the quad's right and bottom
// edges), plus a margin for the footprints. When the area does not map to a proper convex
// quad (a corner on or beyond the vanishing line), the corners' bounding box stands in, as
// it does for transformed drawing. Only the set of visited pixels depends on this, not
// their values.
TRect appearanceArea(const TProjectiveTransformation& T, const TElementQuad& Q,
                     const TCustomBitmap32& Picture) {
    const TFloatMatrix& m = T.Matrix();
    const long double w = Picture.Width(), h = Picture.Height();
    const long double corners[4][2] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    long double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        const long double x = corners[i][0], y = corners[i][1];
        const long double z = m[2] * x + m[5] * y + m[8];
        const long double px = (m[0] * x + m[3] * y + m[6]) / z;
        const long double py = (m[1] * x + m[4] * y + m[7]) / z;
        constexpr long double kFar = 1e9L;
        if (!(z > 0) || !(std::fabs(px) < kFar) || !(std::fabs(py) < kFar))
            return widened(cornerBox(Q), 2);
        minX = i == 0 ? px : std::min(minX, px);
        minY = i == 0 ? py : std::min(minY, py);
        maxX = i == 0 ? px : std::max(maxX, px);
        maxY = i == 0 ? py : std::max(maxY, py);
    }
    return TRect{static_cast<std::int32_t>(std::floor(minX)) - 2,
                 static_cast<std::int32_t>(std::floor(minY)) - 2,
                 static_cast<std::int32_t>(std::ceil(maxX)) + 2,
                 static_cast<std::int32_t>(std::ceil(maxY)) + 2};
}

TRect drawableClip(const TCustomBitmap32& Dst, const TRect& Clip) {
    const TRect limit{0, 0, kMaxCoordinate, kMaxCoordinate};
    return IntersectRect(IntersectRect(Clip, Dst.ClipRect()), limit);
}

} // namespace

void SetupElementTransformation(TProjectiveTransformation& T, const TElementQuad& Quad,
                                const TCustomBitmap32& Picture) {
    T.SetX0(static_cast<float>(Quad[0].X));
    T.SetY0(static_cast<float>(Quad[0].Y));
    T.SetX1(static_cast<float>(Quad[1].X));
    T.SetY1(static_cast<float>(Quad[1].Y));
    T.SetX2(static_cast<float>(Quad[2].X));
    T.SetY2(static_cast<float>(Quad[2].Y));
    T.SetX3(static_cast<float>(Quad[3].X));
    T.SetY3(static_cast<float>(Quad[3].Y));
    T.SetSourceRect(TFloatRect{0.0f, 0.0f, static_cast<float>(Picture.Width() - 1),
                               static_cast<float>(Picture.Height() - 1)});
}

TRect RenderAppearanceLayer(TCustomBitmap32& Dst, const TCustomBitmap32& Picture,
                            const TElementQuad& Quad, const TAppearance& A, const TRect& Clip) {
    if (Picture.IsEmpty() || Dst.IsEmpty()) return TRect{};
    const TAppearance a = ClampAppearance(A);
    TProjectiveTransformation T;
    SetupElementTransformation(T, Quad, Picture);
    T.Prepare(); // EDivByZero for a picture one pixel wide or high, before any pixel
    const TRect region = IntersectRect(appearanceArea(T, Quad, Picture), drawableClip(Dst, Clip));
    if (IsRectEmpty(region)) return TRect{};

    TAppearanceLoop loop;
    loop.Smooth = a.Smooth;
    loop.LightOn = !IsLightNeutral(a);
    if (loop.LightOn) loop.Light = MakeLightTables(a);
    loop.Shadow = MakeShadowParams(a);
    loop.Opacity = static_cast<std::uint32_t>(a.Opacity);
    RenderAppearanceRegion(Dst, Picture, T, region, loop);
    Dst.AreaChanged(region, kAreaInfoRect);
    return region;
}

TRect RenderElementInto(TCustomBitmap32& Dst, TCustomBitmap32& Picture, const TElementQuad& Quad,
                        const TAppearance& A, const TRect& Clip) {
    if (!IsNeutral(ClampAppearance(A))) return RenderAppearanceLayer(Dst, Picture, Quad, A, Clip);
    if (Picture.IsEmpty()) return TRect{};
    TProjectiveTransformation T;
    SetupElementTransformation(T, Quad, Picture);
    TRegularRasterizer rasterizer;
    DrawTransformed(&Dst, &Picture, &T, rasterizer, Clip);
    return IntersectRect(cornerBox(Quad), IntersectRect(Clip, Dst.ClipRect()));
}

TRect ElementLayerArea(const TCustomBitmap32& Picture, const TElementQuad& Quad,
                       const TAppearance& A) {
    if (IsNeutral(ClampAppearance(A)) || Picture.IsEmpty()) return cornerBox(Quad);
    TProjectiveTransformation T;
    SetupElementTransformation(T, Quad, Picture);
    try {
        T.Prepare();
    } catch (const EDivByZero&) {
        return cornerBox(Quad);
    }
    return appearanceArea(T, Quad, Picture);
}

void CompositeElementLayer(TCustomBitmap32& Background, const TCustomBitmap32& Layer,
                           const TRect& Area, const TAppearance& A) {
    const TRect r = IntersectRect(IntersectRect(Area, Background.BoundsRect()), Layer.BoundsRect());
    if (IsRectEmpty(r)) return;
    const bool exact = IsNeutral(ClampAppearance(A));
    for (std::int32_t y = r.Top; y < r.Bottom; ++y) {
        const TColor32* s = Layer.PixelPointer(r.Left, y);
        TColor32* d = Background.PixelPointer(r.Left, y);
        for (std::int32_t i = 0; i < r.Width(); ++i) {
            const TColor32 c = s[i];
            if (exact) {
                if (c != 0) d[i] = c;
                continue;
            }
            const std::uint32_t sa = c >> 24;
            if (sa == 0) continue;
            const std::uint32_t da = d[i] >> 24;
            const std::uint32_t alpha = sa + (da * (255 - sa) + 127) / 255;
            const TColor32 colour = sa == 255 ? c : MixColors(c, d[i], sa);
            d[i] = (colour & 0x00FFFFFFu) | (alpha << 24);
        }
    }
    Background.AreaChanged(r, kAreaInfoRect);
}

} // namespace schauplatz
