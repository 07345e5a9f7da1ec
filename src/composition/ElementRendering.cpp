#include "composition/ElementRendering.h"

#include "raster/Drawing.h"
#include "raster/ElementRendering.h"
#include "raster/Rasterizers.h"
#include "raster/Transformation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace schauplatz {

namespace {

// A corner coordinate as the transformation holds it (a 32-bit float) and as the rasterizer
// bounds it: whole numbers stay whole, saturated to int32.
std::int32_t boundOf(std::int32_t value) {
    const double v = static_cast<double>(static_cast<float>(value));
    if (v <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (v >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

// The quad and the picture's outer pixel centres, loaded into a transformation as the window
// loads its own before every rendering.
void loadTransformation(TProjectiveTransformation& T, const TPlacedElement& element) {
    const TQuad& q = element.Quad;
    T.SetX0(static_cast<float>(q[0].X));
    T.SetY0(static_cast<float>(q[0].Y));
    T.SetX1(static_cast<float>(q[1].X));
    T.SetY1(static_cast<float>(q[1].Y));
    T.SetX2(static_cast<float>(q[2].X));
    T.SetY2(static_cast<float>(q[2].Y));
    T.SetX3(static_cast<float>(q[3].X));
    T.SetY3(static_cast<float>(q[3].Y));
    const TBitmap32& picture = *element.Picture;
    T.SetSourceRect(TFloatRect{0.0f, 0.0f, static_cast<float>(picture.Width() - 1),
                               static_cast<float>(picture.Height() - 1)});
}

void clearArea(TBitmap32& bitmap, const TRect& area) {
    const auto bytes = static_cast<std::size_t>(area.Width()) * sizeof(TColor32);
    for (std::int32_t y = area.Top; y < area.Bottom; ++y)
        std::memset(bitmap.PixelPointer(area.Left, y), 0, bytes);
}

// Every non-zero pixel of area moves from scratch into target; scratch is left 0 there.
void moveNonZeroPixels(TBitmap32& target, TBitmap32& scratch, const TRect& area) {
    for (std::int32_t y = area.Top; y < area.Bottom; ++y) {
        TColor32* src = scratch.PixelPointer(area.Left, y);
        TColor32* dst = target.PixelPointer(area.Left, y);
        for (std::int32_t i = 0; i < area.Width(); ++i)
            if (src[i] != 0) {
                dst[i] = src[i];
                src[i] = 0;
            }
    }
}

TElementQuad layerQuad(const TQuad& q) {
    return {TPoint{q[0].X, q[0].Y}, TPoint{q[1].X, q[1].Y}, TPoint{q[2].X, q[2].Y},
            TPoint{q[3].X, q[3].Y}};
}

bool drawnExactly(const TPlacedElement& element) {
    return IsNeutral(ClampAppearance(element.Appearance));
}

TRect unite(const TRect& a, const TRect& b) {
    return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                 std::max(a.Bottom, b.Bottom)};
}

bool overlap(const TRect& a, const TRect& b) {
    return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

} // namespace

TRect ElementArea(const TPlacedElement& element, const TRect& bounds) {
    if (!element.Picture || element.Picture->IsEmpty()) return {};
    const TQuad& q = element.Quad;
    TRect area;
    if (drawnExactly(element)) {
        const TRect box = QuadBounds(q);
        area = TRect{boundOf(box.Left), boundOf(box.Top), boundOf(box.Right), boundOf(box.Bottom)};
    } else {
        // Smoothing reaches past the corners' box (footprints, the picture's far edges).
        area = ElementLayerArea(*element.Picture, layerQuad(q), element.Appearance);
    }
    const TRect clipped = IntersectRect(area, bounds);
    return IsRectEmpty(clipped) ? TRect{} : clipped;
}

void TElementCanvas::prepare(const TRect& bounds) {
    if (m_scratch.Width() == bounds.Width() && m_scratch.Height() == bounds.Height()) return;
    m_scratch.SetSize(0, 0);
    m_scratch.SetSize(bounds.Width(), bounds.Height());
    m_scratch.Clear(0);
}

// Draws the element into the scratch bitmap inside area (which it leaves 0 elsewhere).
bool TElementCanvas::render(const TPlacedElement& element, const TRect& area) {
    try {
        if (drawnExactly(element)) {
            TProjectiveTransformation transformation;
            loadTransformation(transformation, element);
            TRegularRasterizer rasterizer;
            DrawTransformed(&m_scratch, element.Picture.get(), &transformation, rasterizer, area);
        } else {
            RenderElementInto(m_scratch, *element.Picture, layerQuad(element.Quad),
                              element.Appearance, area);
        }
    } catch (const EDivByZero&) {
        clearArea(m_scratch, area);
        return false;
    } catch (...) {
        clearArea(m_scratch, area);
        throw;
    }
    return true;
}

bool TElementCanvas::drawOnto(TBitmap32& background, const TPlacedElement& element,
                              const TRect& clip) {
    const TRect area = IntersectRect(ElementArea(element, background.BoundsRect()), clip);
    if (IsRectEmpty(area)) return true;
    prepare(background.BoundsRect());
    if (!render(element, area)) return false;
    if (drawnExactly(element)) {
        moveNonZeroPixels(background, m_scratch, area);
    } else {
        // The appearance layer is blended over what lies below by its alpha.
        CompositeElementLayer(background, m_scratch, area, element.Appearance);
        clearArea(m_scratch, area);
    }
    return true;
}

TColor32 TElementCanvas::drawnPixel(const TPlacedElement& element, const TRect& bounds,
                                    std::int32_t x, std::int32_t y) {
    const TRect pixel{x, y, x + 1, y + 1};
    const TRect area = IntersectRect(ElementArea(element, bounds), pixel);
    if (IsRectEmpty(area)) return 0;
    prepare(bounds);
    if (!render(element, area)) return 0;
    const TColor32 drawn = m_scratch.GetPixel(x, y);
    m_scratch.SetPixel(x, y, 0);
    return drawn;
}

std::vector<TRect> MergeAreas(std::vector<TRect> areas) {
    std::erase_if(areas, [](const TRect& r) { return IsRectEmpty(r); });
    // Repeated until no two overlap: a union can reach a rectangle the parts did not.
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < areas.size() && !merged; ++i)
            for (std::size_t j = i + 1; j < areas.size(); ++j)
                if (overlap(areas[i], areas[j])) {
                    areas[i] = unite(areas[i], areas[j]);
                    areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                    break;
                }
    }
    return areas;
}

void RebuildAreas(TBitmap32& background, const TBitmap32& facade,
                  const std::vector<TPlacedElement>& elements, std::vector<TRect> areas,
                  TElementCanvas& canvas) {
    if (facade.Width() != background.Width() || facade.Height() != background.Height())
        throw std::logic_error("RebuildAreas: the facade and the background differ in size");
    for (TRect& area : areas)
        area = IntersectRect(area, background.BoundsRect());
    for (const TRect& area : MergeAreas(std::move(areas))) {
        const auto bytes = static_cast<std::size_t>(area.Width()) * sizeof(TColor32);
        for (std::int32_t y = area.Top; y < area.Bottom; ++y)
            std::memcpy(background.PixelPointer(area.Left, y), facade.PixelPointer(area.Left, y),
                        bytes);
        for (const TPlacedElement& element : elements)
            canvas.drawOnto(background, element, area);
    }
}

} // namespace schauplatz
