#include "elements/metafile/MetafileCanvas.h"

#include "elements/metafile/MetafileText.h"

#include <algorithm>
#include <cmath>

namespace schauplatz::metafile {
namespace {

// Saved states a file may stack up; deeper saves are dropped.
constexpr std::size_t kMaxSavedStates = 4096;

constexpr TColor32 gray(std::uint32_t v) {
    return 0xFF000000u | (v << 16) | (v << 8) | v;
}

bool finite(double v) {
    return std::isfinite(v);
}

} // namespace

Xform Xform::after(const Xform& first) const {
    Xform r;
    r.m11 = first.m11 * m11 + first.m12 * m21;
    r.m12 = first.m11 * m12 + first.m12 * m22;
    r.m21 = first.m21 * m11 + first.m22 * m21;
    r.m22 = first.m21 * m12 + first.m22 * m22;
    r.dx = first.dx * m11 + first.dy * m21 + dx;
    r.dy = first.dx * m12 + first.dy * m22 + dy;
    return r;
}

MetafileCanvas::MetafileCanvas(std::int32_t width, std::int32_t height, TColor32 background)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)),
      m_pixels(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), background),
      m_objects(1),
      m_workLeft(kDrawingWorkPerPixel * m_width * std::int64_t{m_height} + kDrawingWorkAllowance) {}

void MetafileCanvas::chargeWork(std::int64_t units) {
    if (units > m_workLeft) {
        m_workLeft = -1;
        throw DrawingBudgetExhausted{};
    }
    m_workLeft -= units;
}

MetafileCanvas::~MetafileCanvas() = default;

void MetafileCanvas::setDeviceTransform(const Xform& deviceToPicture, double pixelsPerMmX,
                                        double pixelsPerMmY) {
    m_deviceToPicture = deviceToPicture;
    if (pixelsPerMmX > 0 && finite(pixelsPerMmX)) m_pixelsPerMmX = pixelsPerMmX;
    if (pixelsPerMmY > 0 && finite(pixelsPerMmY)) m_pixelsPerMmY = pixelsPerMmY;
}

void MetafileCanvas::saveDC() {
    if (m_saved.size() < kMaxSavedStates) m_saved.push_back(m_dc);
}

void MetafileCanvas::restoreDC(std::int32_t level) {
    const auto depth = static_cast<std::int64_t>(m_saved.size());
    std::int64_t target = 0; // index of the state to restore
    if (level < 0) {
        target = depth + level;
    } else if (level > 0) {
        target = std::int64_t{level} - 1;
    } else {
        return;
    }
    if (target < 0 || target >= depth) return;
    m_dc = m_saved[static_cast<std::size_t>(target)];
    m_saved.resize(static_cast<std::size_t>(target));
}

void MetafileCanvas::resizeObjectTable(std::size_t count) {
    m_objects.assign(std::max<std::size_t>(count, 1), std::nullopt);
}

bool MetafileCanvas::putObject(std::size_t index, GdiObject object) {
    if (index >= m_objects.size()) return false;
    m_objects[index] = std::move(object);
    return true;
}

bool MetafileCanvas::addObject(GdiObject object) {
    // The search for a free slot is work too (tables hold up to 65535 slots).
    std::int64_t searched = 0;
    for (auto& slot : m_objects) {
        ++searched;
        if (!slot) {
            chargeWork(searched / 8);
            slot = std::move(object);
            return true;
        }
    }
    chargeWork(searched / 8);
    return false;
}

void MetafileCanvas::selectObject(std::size_t index) {
    if (index >= m_objects.size() || !m_objects[index]) return;
    const GdiObject& object = *m_objects[index];
    if (const auto* pen = std::get_if<Pen>(&object)) m_dc.pen = *pen;
    if (const auto* brush = std::get_if<Brush>(&object)) m_dc.brush = *brush;
    if (const auto* font = std::get_if<Font>(&object)) m_dc.font = *font;
}

void MetafileCanvas::selectStockObject(std::uint32_t stock) {
    switch (stock) {
    case 0:
        m_dc.brush = {BrushKind::Solid, gray(255), 0};
        break;
    case 1:
        m_dc.brush = {BrushKind::Solid, gray(192), 0};
        break;
    case 2:
        m_dc.brush = {BrushKind::Solid, gray(128), 0};
        break;
    case 3:
        m_dc.brush = {BrushKind::Solid, gray(64), 0};
        break;
    case 4:
        m_dc.brush = {BrushKind::Solid, gray(0), 0};
        break;
    case 5:
        m_dc.brush = {BrushKind::Null, 0, 0};
        break;
    case 6:
        m_dc.pen = {false, 0, gray(255)};
        break;
    case 7:
        m_dc.pen = {false, 0, gray(0)};
        break;
    case 8:
        m_dc.pen = {true, 0, 0};
        break;
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17:
        m_dc.font = Font{};
        break;
    default:
        break;
    }
}

void MetafileCanvas::deleteObject(std::size_t index) {
    if (index < m_objects.size()) m_objects[index].reset();
}

void MetafileCanvas::setMapMode(std::int32_t mode) {
    if (mode < 1 || mode > 8) return;
    m_dc.mapMode = static_cast<MapMode>(mode);
}

// Zero extents are refused, as the platform refuses them.
void MetafileCanvas::setWindowExt(double x, double y) {
    if (x == 0 || y == 0 || !finite(x) || !finite(y)) return;
    m_dc.windowExt = {x, y};
}

void MetafileCanvas::setViewportExt(double x, double y) {
    if (x == 0 || y == 0 || !finite(x) || !finite(y)) return;
    m_dc.viewportExt = {x, y};
    m_dc.viewportExtSet = true;
}

void MetafileCanvas::modifyWorldTransform(const Xform& xform, std::uint32_t mode) {
    switch (mode) {
    case 1:
        m_dc.world = Xform{};
        break;
    case 2:
        m_dc.world = m_dc.world.after(xform);
        break;
    case 3:
        m_dc.world = xform.after(m_dc.world);
        break;
    case 4:
        m_dc.world = xform;
        break;
    default:
        break;
    }
}

Xform MetafileCanvas::logicalToPicture() const {
    double sx = 1, sy = 1;
    const double mmPerUnit[] = {0, 0, 0.1, 0.01, 0.254, 0.0254, 25.4 / 1440.0};
    const auto mode = static_cast<int>(m_dc.mapMode);
    if (mode >= 2 && mode <= 6) {
        sx = m_pixelsPerMmX * mmPerUnit[mode];
        sy = -m_pixelsPerMmY * mmPerUnit[mode];
    } else if (m_dc.mapMode == MapMode::Isotropic || m_dc.mapMode == MapMode::Anisotropic) {
        // Without a viewport extent of its own a picture's window maps 1:1 to pixels.
        const FillPoint viewport = m_dc.viewportExtSet ? m_dc.viewportExt : m_dc.windowExt;
        sx = viewport.x / m_dc.windowExt.x;
        sy = viewport.y / m_dc.windowExt.y;
        if (m_dc.mapMode == MapMode::Isotropic) {
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = sx < 0 ? -s : s;
            sy = sy < 0 ? -s : s;
        }
    }
    Xform page;
    page.m11 = sx;
    page.m22 = sy;
    page.dx = m_dc.viewportOrg.x - m_dc.windowOrg.x * sx;
    page.dy = m_dc.viewportOrg.y - m_dc.windowOrg.y * sy;
    return m_deviceToPicture.after(page.after(m_dc.world));
}

void MetafileCanvas::intersectClipRect(double l, double t, double r, double b) {
    const Xform x = logicalToPicture();
    const FillPoint a = x.apply({l, t});
    const FillPoint c = x.apply({r, b});
    auto pixel = [](double v) {
        if (!finite(v)) return std::int64_t{0};
        return static_cast<std::int64_t>(std::floor(std::clamp(v, -1e9, 1e9) + 0.5));
    };
    const std::int64_t left = pixel(std::min(a.x, c.x)), right = pixel(std::max(a.x, c.x));
    const std::int64_t top = pixel(std::min(a.y, c.y)), bottom = pixel(std::max(a.y, c.y));
    TRect area = clipRect();
    area.Left = static_cast<std::int32_t>(std::max<std::int64_t>(area.Left, left));
    area.Top = static_cast<std::int32_t>(std::max<std::int64_t>(area.Top, top));
    area.Right = static_cast<std::int32_t>(std::min<std::int64_t>(area.Right, right));
    area.Bottom = static_cast<std::int32_t>(std::min<std::int64_t>(area.Bottom, bottom));
    if (area.Right < area.Left) area.Right = area.Left;
    if (area.Bottom < area.Top) area.Bottom = area.Top;
    m_dc.clip = area;
}

void MetafileCanvas::setClipPixels(std::optional<TRect> clip) {
    if (!clip) {
        m_dc.clip.reset();
        return;
    }
    const TRect whole = clipRect();
    TRect area{std::max(whole.Left, clip->Left), std::max(whole.Top, clip->Top),
               std::min(whole.Right, clip->Right), std::min(whole.Bottom, clip->Bottom)};
    if (area.Right < area.Left) area.Right = area.Left;
    if (area.Bottom < area.Top) area.Bottom = area.Top;
    m_dc.clip = area;
}

void MetafileCanvas::intersectClipDevice(const TRect& device) {
    const FillPoint a = m_deviceToPicture.apply(
        {static_cast<double>(device.Left), static_cast<double>(device.Top)});
    const FillPoint b = m_deviceToPicture.apply(
        {static_cast<double>(device.Right), static_cast<double>(device.Bottom)});
    auto pixel = [](double v) {
        if (!finite(v)) return std::int32_t{0};
        return static_cast<std::int32_t>(std::floor(std::clamp(v, -1e9, 1e9) + 0.5));
    };
    setClipPixels(TRect{pixel(std::min(a.x, b.x)), pixel(std::min(a.y, b.y)),
                        pixel(std::max(a.x, b.x)), pixel(std::max(a.y, b.y))});
}

TRect MetafileCanvas::clipRect() const {
    return m_dc.clip ? *m_dc.clip : TRect{0, 0, m_width, m_height};
}

void MetafileCanvas::note(FillPoint p) {
    if (!finite(p.x) || !finite(p.y)) return;
    if (!m_hasBounds) {
        m_minX = m_maxX = p.x;
        m_minY = m_maxY = p.y;
        m_hasBounds = true;
        return;
    }
    m_minX = std::min(m_minX, p.x);
    m_maxX = std::max(m_maxX, p.x);
    m_minY = std::min(m_minY, p.y);
    m_maxY = std::max(m_maxY, p.y);
}

std::vector<FillPoint> MetafileCanvas::toPicture(const std::vector<FillPoint>& logical) {
    const Xform x = logicalToPicture();
    std::vector<FillPoint> out;
    out.reserve(logical.size());
    for (const FillPoint& p : logical) {
        out.push_back(x.apply(p));
        note(out.back());
    }
    return out;
}

double MetafileCanvas::penPixels() const {
    if (m_dc.pen.width <= 0) return 1.0;
    const Xform x = logicalToPicture();
    const double scale = std::sqrt(std::abs(x.m11 * x.m22 - x.m12 * x.m21));
    const double width = m_dc.pen.width * scale;
    return finite(width) ? std::max(width, 1.0) : 1.0;
}

void MetafileCanvas::paintSpan(std::int32_t y, std::int32_t x0, std::int32_t x1, TColor32 color) {
    TColor32* row =
        m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
    std::fill(row + x0, row + x1, color | 0xFF000000u);
}

// Hatch lines repeat every 8 pixels from the picture's top-left corner.
void MetafileCanvas::paintBrushSpan(std::int32_t y, std::int32_t x0, std::int32_t x1) {
    const Brush& brush = m_dc.brush;
    if (brush.kind == BrushKind::Null) return;
    if (brush.kind == BrushKind::Solid) {
        paintSpan(y, x0, x1, brush.color);
        return;
    }
    TColor32* row =
        m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
    for (std::int32_t x = x0; x < x1; ++x) {
        if (hatchCovers(brush.hatch, x, y)) {
            row[x] = brush.color | 0xFF000000u;
        } else if (m_dc.backOpaque) {
            row[x] = m_dc.backColor | 0xFF000000u;
        }
    }
}

bool hatchCovers(std::uint32_t hatch, std::int32_t x, std::int32_t y) {
    const bool horizontal = (y & 7) == 0;
    const bool vertical = (x & 7) == 0;
    const bool forward = ((x - y) & 7) == 0;
    const bool backward = ((x + y) & 7) == 0;
    switch (hatch) {
    case 0:
        return horizontal;
    case 1:
        return vertical;
    case 2:
        return forward;
    case 3:
        return backward;
    case 4:
        return horizontal || vertical;
    case 5:
        return forward || backward;
    default:
        return horizontal;
    }
}

void MetafileCanvas::fillRectPixels(const TRect& area, TColor32 color) {
    const TRect clip = clipRect();
    const std::int32_t l = std::max(area.Left, clip.Left), r = std::min(area.Right, clip.Right);
    const std::int32_t t = std::max(area.Top, clip.Top), b = std::min(area.Bottom, clip.Bottom);
    if (l < r && t < b) chargeWork(std::int64_t{r - l} * (b - t));
    for (std::int32_t y = t; y < b; ++y) {
        if (l < r) paintSpan(y, l, r, color);
    }
}

void MetafileCanvas::setPixel(FillPoint p, TColor32 color) {
    const FillPoint q = logicalToPicture().apply(p);
    note(q);
    const TRect clip = clipRect();
    if (!finite(q.x) || !finite(q.y)) return;
    const double x = std::floor(q.x + 0.5), y = std::floor(q.y + 0.5);
    if (x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom) {
        chargeWork(1);
        paintSpan(static_cast<std::int32_t>(y), static_cast<std::int32_t>(x),
                  static_cast<std::int32_t>(x) + 1, color);
    }
}

} // namespace schauplatz::metafile
