#pragma once

// The drawing surface a metafile plays onto: a picture in memory together with
// the device context a metafile's records change (objects, mapping, world
// transform, clipping, path, current position, colours and modes) and the
// drawing operations they call. The record readers (enhanced and old format)
// translate records into these calls; everything they pass is in the
// metafile's logical coordinates.
//
// Coordinates go logical -> world transform -> page -> window/viewport ->
// reference device -> picture. Shapes are flattened in picture coordinates and
// drawn by the raster core without anti-aliasing (docs/metafile-rules.md).

#include "elements/codecs/PixelTarget.h"
#include "raster/PolygonFill.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace schauplatz::metafile {

struct Xform {
    // x' = x * m11 + y * m21 + dx,  y' = x * m12 + y * m22 + dy
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    FillPoint apply(FillPoint p) const {
        return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy};
    }
    // this after first
    Xform after(const Xform& first) const;
    bool axisAligned() const { return m12 == 0 && m21 == 0; }
};

struct Pen {
    bool null = false;
    double width = 0; // logical units; 0 is one pixel whatever the mapping
    TColor32 color = 0xFF000000u;
};

enum class BrushKind { Solid, Null, Hatched };

struct Brush {
    BrushKind kind = BrushKind::Solid;
    TColor32 color = 0xFFFFFFFFu;
    std::uint32_t hatch = 0;
};

struct Font {
    std::int32_t height = 0;
    std::int32_t weight = 400;
    bool italic = false;
    std::string family;
};

// A slot of the object table; monostate marks objects that are kept only so
// that indices stay right (palettes, regions, pattern brushes).
using GdiObject = std::variant<std::monostate, Pen, Brush, Font>;

enum class MapMode {
    Text = 1,
    LoMetric,
    HiMetric,
    LoEnglish,
    HiEnglish,
    Twips,
    Isotropic,
    Anisotropic
};

struct DeviceContext {
    Pen pen;
    Brush brush;
    Font font;
    MapMode mapMode = MapMode::Text;
    FillPoint windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
    bool viewportExtSet = false;
    Xform world;
    FillRule fillRule = FillRule::Alternate;
    TColor32 textColor = 0xFF000000u;
    TColor32 backColor = 0xFFFFFFFFu;
    bool backOpaque = true;
    std::uint32_t textAlign = 0;
    bool arcClockwise = false;
    std::optional<TRect> clip; // picture pixels; none: the whole picture
    FillPoint position{0, 0};  // logical
};

class TextRenderer;

// Thrown by a canvas whose drawing work has used up its budget; the player stops there, and
// the picture keeps what was drawn before.
struct DrawingBudgetExhausted {};

// The drawing work a canvas allows, in units of about one filled pixel (an edge crossing a
// row, a glyph pixel or a scaled bitmap pixel cost a few): 64 times its picture's area plus
// 2^25, so small pictures still play their thousands of records. No ordinary metafile comes
// near it; one of huge shapes, bitmaps or text stops after seconds instead of minutes.
inline constexpr std::int64_t kDrawingWorkPerPixel = 64;
inline constexpr std::int64_t kDrawingWorkAllowance = std::int64_t{1} << 25;
// Records a player plays at most, and what each costs besides its drawing.
inline constexpr std::uint64_t kMaxMetafileRecords = std::uint64_t{1} << 20;
inline constexpr std::int64_t kRecordWork = 16;

// Whether hatch style Hatch (0 horizontal, 1 vertical, 2 forward diagonal,
// 3 backward diagonal, 4 cross, 5 diagonal cross) draws its colour at the
// picture pixel (x, y); elsewhere the background shows.
bool hatchCovers(std::uint32_t hatch, std::int32_t x, std::int32_t y);

// A path figure in picture coordinates.
struct Figure {
    std::vector<FillPoint> points;
    bool closed = false;
};

class MetafileCanvas {
public:
    // A canvas of Width x Height pixels filled with Background. Measuring
    // canvases (size 0) draw nothing and only collect the bounds of the
    // drawing, for metafiles that do not state their size.
    MetafileCanvas(std::int32_t width, std::int32_t height, TColor32 background);
    ~MetafileCanvas();
    MetafileCanvas(const MetafileCanvas&) = delete;
    MetafileCanvas& operator=(const MetafileCanvas&) = delete;

    std::int32_t width() const { return m_width; }
    std::int32_t height() const { return m_height; }
    const std::vector<TColor32>& pixels() const { return m_pixels; }
    // Hands the drawing over without a copy; the canvas is spent afterwards.
    std::vector<TColor32> takePixels() { return std::move(m_pixels); }
    // Bounds of everything drawn, in picture coordinates (measuring canvases).
    bool hasBounds() const { return m_hasBounds; }
    double minX() const { return m_minX; }
    double minY() const { return m_minY; }
    double maxX() const { return m_maxX; }
    double maxY() const { return m_maxY; }

    // Takes units of drawing work from the budget; throws DrawingBudgetExhausted once more
    // is asked for than is left (nothing of that step is drawn then).
    void chargeWork(std::int64_t units);
    std::int64_t workLeft() const { return m_workLeft; }

    // Reference device -> picture, and the reference device's pixels per millimetre.
    void setDeviceTransform(const Xform& deviceToPicture, double pixelsPerMmX, double pixelsPerMmY);

    DeviceContext& dc() { return m_dc; }
    void saveDC();
    // Relative (< 0: -1 the last saved) or absolute (> 0) level; others ignored.
    void restoreDC(std::int32_t level);

    // Object table.
    void resizeObjectTable(std::size_t count);
    std::size_t objectTableSize() const { return m_objects.size(); }
    // Enhanced metafiles name the slot; index 0 is theirs to refuse.
    bool putObject(std::size_t index, GdiObject object);
    // First free slot (old-format metafiles); false when the table is full.
    bool addObject(GdiObject object);
    void selectObject(std::size_t index);
    void selectStockObject(std::uint32_t stock);
    void deleteObject(std::size_t index);

    // Mapping.
    void setMapMode(std::int32_t mode);
    void setWindowOrg(double x, double y) { m_dc.windowOrg = {x, y}; }
    void setViewportOrg(double x, double y) { m_dc.viewportOrg = {x, y}; }
    void setWindowExt(double x, double y);
    void setViewportExt(double x, double y);
    void setWorldTransform(const Xform& xform) { m_dc.world = xform; }
    // 1 identity, 2 left multiply, 3 right multiply, 4 set.
    void modifyWorldTransform(const Xform& xform, std::uint32_t mode);
    // Logical -> picture for the current state.
    Xform logicalToPicture() const;

    // Clipping, in logical coordinates.
    void intersectClipRect(double l, double t, double r, double b);
    void setClipPixels(std::optional<TRect> clip);
    // A region's bounding rectangle in reference-device pixels, intersected with the clip.
    void intersectClipDevice(const TRect& device);
    void resetClip() { m_dc.clip.reset(); }

    // Drawing, logical coordinates.
    void moveTo(FillPoint p);
    void lineTo(FillPoint p);
    void polyline(const std::vector<FillPoint>& points);
    void polylineTo(const std::vector<FillPoint>& points);
    void polyBezier(const std::vector<FillPoint>& points);
    void polyBezierTo(const std::vector<FillPoint>& points);
    void polyPolygon(const std::vector<std::vector<FillPoint>>& polygons);
    void polyPolyline(const std::vector<std::vector<FillPoint>>& lines);
    void rectangle(double l, double t, double r, double b);
    void roundRect(double l, double t, double r, double b, double cornerW, double cornerH);
    void ellipse(double l, double t, double r, double b);
    enum class ArcKind { Arc, Chord, Pie };
    void arc(ArcKind kind, double l, double t, double r, double b, FillPoint start, FillPoint end);
    void setPixel(FillPoint p, TColor32 color);

    // Paths.
    void beginPath();
    void endPath() { m_pathOpen = false; }
    void abortPath();
    void closeFigure();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void selectClipPath();

    // A rectangle filled with one colour (ETO_OPAQUE, BLACKNESS, ...) or the brush.
    void fillRectPixels(const TRect& area, TColor32 color);
    void patternFill(double l, double t, double r, double b);

    // A decoded DIB (top-down, width * height) stretched from its source
    // rectangle onto the destination rectangle (logical).
    void drawBitmap(const DecodedPicture& bitmap, std::int32_t srcX, std::int32_t srcY,
                    std::int32_t srcW, std::int32_t srcH, double dstX, double dstY, double dstW,
                    double dstH);

    // Text at the reference point (logical); Dx: advances in logical units (may be empty).
    void drawText(FillPoint reference, const std::u32string& text, const std::vector<double>& dx,
                  std::uint32_t options, const std::optional<TRect>& rectangle);

private:
    friend class TextRenderer;

    TRect clipRect() const;
    std::vector<FillPoint> toPicture(const std::vector<FillPoint>& logical);
    void note(FillPoint p);
    double penPixels() const;
    void paintSpan(std::int32_t y, std::int32_t x0, std::int32_t x1, TColor32 color);
    void paintBrushSpan(std::int32_t y, std::int32_t x0, std::int32_t x1);
    void fillFigures(const std::vector<Figure>& figures);
    void clearPath();
    void strokeFigures(const std::vector<Figure>& figures);
    void shape(const std::vector<Figure>& figures, bool fill);
    // Points of a box-relative outline ((u, v) in 0..1 of the box) in picture coordinates.
    std::vector<FillPoint> boxOutline(double l, double t, double r, double b,
                                      const std::vector<FillPoint>& unitPoints);
    double boxPixelRadius(double l, double t, double r, double b) const;
    std::vector<FillPoint> flattenBezier(const std::vector<FillPoint>& picturePoints,
                                         FillPoint start) const;

    std::int32_t m_width;
    std::int32_t m_height;
    std::vector<TColor32> m_pixels;
    Xform m_deviceToPicture;
    double m_pixelsPerMmX = 96.0 / 25.4;
    double m_pixelsPerMmY = 96.0 / 25.4;
    DeviceContext m_dc;
    std::vector<DeviceContext> m_saved;
    std::vector<std::optional<GdiObject>> m_objects; // empty: free slot
    bool m_pathOpen = false;
    std::vector<Figure> m_path;
    std::size_t m_pathPoints = 0; // all points of m_path
    std::int64_t m_workLeft = 0;
    bool m_hasBounds = false;
    double m_minX = 0, m_minY = 0, m_maxX = 0, m_maxY = 0;
    std::unique_ptr<TextRenderer> m_text;
};

} // namespace schauplatz::metafile
