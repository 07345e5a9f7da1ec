// Windows metafile records (16-bit coordinates, parameters stored last to
// first) played onto the canvas.

#include "elements/metafile/MetafilePlayers.h"

#include <algorithm>
#include <cmath>

namespace schauplatz::metafile {
namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::uint64_t kPlaceableSize = 22;
constexpr std::uint64_t kHeaderSize = 18;

class WindowsPlayer {
public:
    explicit WindowsPlayer(MetafileCanvas& canvas) : m_canvas(canvas) {}
    bool play(const ByteReader& r, std::uint16_t function);

private:
    // Parameter words after the 6-byte record head.
    static double s(const ByteReader& r, std::uint64_t word) {
        return static_cast<std::int16_t>(r.u16(6 + word * 2));
    }
    static std::uint16_t w(const ByteReader& r, std::uint64_t word) { return r.u16(6 + word * 2); }
    static std::uint32_t color(const ByteReader& r, std::uint64_t word) {
        return Color32FromPlatform((w(r, word) | (std::uint32_t{w(r, word + 1)} << 16)) & 0xFFFFFF);
    }
    std::vector<FillPoint> points(const ByteReader& r, std::uint64_t offset,
                                  std::uint64_t count) const;
    void bitmap(const ByteReader& r, std::uint16_t function);
    void text(const ByteReader& r, bool extended);

    MetafileCanvas& m_canvas;
    // Bitmaps decode into one buffer, so a file of many large blits pays for its memory once.
    DecodedPicture m_bitmap;
};

std::vector<FillPoint> WindowsPlayer::points(const ByteReader& r, std::uint64_t offset,
                                             std::uint64_t count) const {
    std::vector<FillPoint> out;
    if (!r.has(offset, count * 4)) return out;
    for (std::uint64_t i = 0; i < count; ++i) {
        out.push_back({static_cast<double>(static_cast<std::int16_t>(r.u16(offset + i * 4))),
                       static_cast<double>(static_cast<std::int16_t>(r.u16(offset + i * 4 + 2)))});
    }
    return out;
}

void WindowsPlayer::bitmap(const ByteReader& r, std::uint16_t function) {
    const std::uint64_t words = r.size() / 2;
    std::uint32_t rop = w(r, 0) | (std::uint32_t{w(r, 1)} << 16);
    double srcH = 0, srcW = 0, ySrc = 0, xSrc = 0, dstH = 0, dstW = 0, yDst = 0, xDst = 0;
    std::uint64_t dibWord = 0;
    bool hasBitmap = true;
    if (function == 0x0F43) { // StretchDIB: rop, usage, source and destination
        srcH = s(r, 3);
        srcW = s(r, 4);
        ySrc = s(r, 5);
        xSrc = s(r, 6);
        dstH = s(r, 7);
        dstW = s(r, 8);
        yDst = s(r, 9);
        xDst = s(r, 10);
        dibWord = 11;
    } else if (function == 0x0B41) { // DIBStretchBlt
        hasBitmap = words != 14;
        const std::uint64_t k = hasBitmap ? 0 : 1;
        srcH = s(r, 2);
        srcW = s(r, 3);
        ySrc = s(r, 4);
        xSrc = s(r, 5);
        dstH = s(r, 6 + k);
        dstW = s(r, 7 + k);
        yDst = s(r, 8 + k);
        xDst = s(r, 9 + k);
        dibWord = 10;
    } else { // DIBBitBlt
        hasBitmap = words != 12;
        const std::uint64_t k = hasBitmap ? 0 : 1;
        ySrc = s(r, 2);
        xSrc = s(r, 3);
        dstH = s(r, 4 + k);
        dstW = s(r, 5 + k);
        yDst = s(r, 6 + k);
        xDst = s(r, 7 + k);
        srcH = dstH;
        srcW = dstW;
        dibWord = 8;
    }
    if (!hasBitmap) {
        if (rop == 0x00000042 || rop == 0x00FF0062) {
            const Brush saved = m_canvas.dc().brush;
            m_canvas.dc().brush = {BrushKind::Solid, rop == 0x42 ? 0xFF000000u : 0xFFFFFFFFu, 0};
            m_canvas.patternFill(xDst, yDst, xDst + dstW, yDst + dstH);
            m_canvas.dc().brush = saved;
        } else {
            m_canvas.patternFill(xDst, yDst, xDst + dstW, yDst + dstH);
        }
        return;
    }
    const std::uint64_t at = 6 + dibWord * 2;
    if (!r.has(at, 4)) return;
    const ByteSpan dib = r.data().subspan(static_cast<std::size_t>(at));
    const ByteReader header(dib);
    const std::uint64_t infoSize = header.u32(0);
    if (infoSize < 12 || infoSize > dib.size()) return;
    // Colours follow the header: the decoder works out how many from the header.
    const std::uint32_t bits = infoSize >= 40 ? header.u16(14) : header.u16(10);
    std::uint64_t colors = infoSize >= 40 ? header.u32(32) : 0;
    if (colors == 0 && bits <= 8) colors = std::uint64_t{1} << bits;
    if (infoSize >= 40 && header.u32(16) == 3) colors = 3;
    const std::uint64_t entry = infoSize >= 40 ? 4 : 3;
    const std::uint64_t infoBytes = std::min<std::uint64_t>(infoSize + colors * entry, dib.size());
    DecodedPicture& picture = m_bitmap;
    if (!decodeDibFor(m_canvas, dib.first(static_cast<std::size_t>(infoBytes)),
                      dib.subspan(static_cast<std::size_t>(infoBytes)), picture))
        return;
    std::int64_t top = static_cast<std::int64_t>(ySrc);
    if (function == 0x0F43 && !dibTopDown(dib))
        top = std::int64_t{picture.height} - static_cast<std::int64_t>(ySrc + srcH);
    m_canvas.drawBitmap(picture, static_cast<std::int32_t>(xSrc), static_cast<std::int32_t>(top),
                        static_cast<std::int32_t>(srcW), static_cast<std::int32_t>(srcH), xDst,
                        yDst, dstW, dstH);
}

void WindowsPlayer::text(const ByteReader& r, bool extended) {
    std::uint64_t length = 0, stringAt = 0;
    double x = 0, y = 0;
    std::uint32_t options = 0;
    std::optional<TRect> rectangle;
    if (extended) {
        y = s(r, 0);
        x = s(r, 1);
        length = w(r, 2);
        options = w(r, 3);
        stringAt = 14;
        if (options & 6) {
            rectangle =
                TRect{static_cast<std::int32_t>(s(r, 4)), static_cast<std::int32_t>(s(r, 5)),
                      static_cast<std::int32_t>(s(r, 6)), static_cast<std::int32_t>(s(r, 7))};
            stringAt = 22;
        }
    } else {
        length = w(r, 0);
        stringAt = 8;
        const std::uint64_t after = stringAt + ((length + 1) & ~std::uint64_t{1});
        if (!r.has(after, 4)) return;
        y = static_cast<std::int16_t>(r.u16(after));
        x = static_cast<std::int16_t>(r.u16(after + 2));
    }
    if (!r.has(stringAt, length)) return;
    const std::u32string text = decodeAnsi(
        r.data().subspan(static_cast<std::size_t>(stringAt), static_cast<std::size_t>(length)));
    std::vector<double> dx;
    const std::uint64_t dxAt = stringAt + ((length + 1) & ~std::uint64_t{1});
    if (extended && r.has(dxAt, length * 2)) {
        for (std::uint64_t i = 0; i < length; ++i)
            dx.push_back(static_cast<std::int16_t>(r.u16(dxAt + i * 2)));
    }
    m_canvas.drawText({x, y}, text, dx, options, rectangle);
}

bool WindowsPlayer::play(const ByteReader& r, std::uint16_t function) {
    MetafileCanvas& c = m_canvas;
    DeviceContext& dc = c.dc();
    switch (function) {
    case 0x0000:
        return false;
    case 0x0201:
        dc.backColor = color(r, 0);
        return true;
    case 0x0102:
        dc.backOpaque = w(r, 0) == 2;
        return true;
    case 0x0103:
        c.setMapMode(w(r, 0));
        return true;
    case 0x0106:
        dc.fillRule = w(r, 0) == 2 ? FillRule::Winding : FillRule::Alternate;
        return true;
    case 0x012E:
        dc.textAlign = w(r, 0);
        return true;
    case 0x0209:
        dc.textColor = color(r, 0);
        return true;
    case 0x020B:
        c.setWindowOrg(s(r, 1), s(r, 0));
        return true;
    case 0x020C:
        c.setWindowExt(s(r, 1), s(r, 0));
        return true;
    case 0x020D:
        c.setViewportOrg(s(r, 1), s(r, 0));
        return true;
    case 0x020E:
        c.setViewportExt(s(r, 1), s(r, 0));
        return true;
    case 0x020F:
        c.setWindowOrg(dc.windowOrg.x + s(r, 1), dc.windowOrg.y + s(r, 0));
        return true;
    case 0x0211:
        c.setViewportOrg(dc.viewportOrg.x + s(r, 1), dc.viewportOrg.y + s(r, 0));
        return true;
    case 0x0213:
        c.lineTo({s(r, 1), s(r, 0)});
        return true;
    case 0x0214:
        c.moveTo({s(r, 1), s(r, 0)});
        return true;
    case 0x0416:
        c.intersectClipRect(s(r, 3), s(r, 2), s(r, 1), s(r, 0));
        return true;
    case 0x0418:
        c.ellipse(s(r, 3), s(r, 2), s(r, 1), s(r, 0));
        return true;
    case 0x041B:
        c.rectangle(s(r, 3), s(r, 2), s(r, 1), s(r, 0));
        return true;
    case 0x061C:
        c.roundRect(s(r, 5), s(r, 4), s(r, 3), s(r, 2), s(r, 1), s(r, 0));
        return true;
    case 0x0817:
    case 0x081A:
    case 0x0830: {
        const auto kind = function == 0x0817   ? MetafileCanvas::ArcKind::Arc
                          : function == 0x0830 ? MetafileCanvas::ArcKind::Chord
                                               : MetafileCanvas::ArcKind::Pie;
        c.arc(kind, s(r, 7), s(r, 6), s(r, 5), s(r, 4), {s(r, 3), s(r, 2)}, {s(r, 1), s(r, 0)});
        return true;
    }
    case 0x041F:
        c.setPixel({s(r, 3), s(r, 2)}, color(r, 0));
        return true;
    case 0x001E:
        c.saveDC();
        return true;
    case 0x0127:
        c.restoreDC(static_cast<std::int16_t>(w(r, 0)));
        return true;
    case 0x0324:
    case 0x0325: {
        const std::vector<FillPoint> p = points(r, 8, w(r, 0));
        if (p.size() != w(r, 0)) return true;
        if (function == 0x0324)
            c.polyPolygon({p});
        else
            c.polyline(p);
        return true;
    }
    case 0x0538: {
        const std::uint64_t polys = w(r, 0);
        std::uint64_t at = 8 + polys * 2;
        if (!r.has(8, polys * 2)) return true;
        std::vector<std::vector<FillPoint>> lists;
        for (std::uint64_t i = 0; i < polys; ++i) {
            const std::uint64_t n = w(r, 1 + i);
            std::vector<FillPoint> p = points(r, at, n);
            if (p.size() != n) return true;
            lists.push_back(std::move(p));
            at += n * 4;
        }
        c.polyPolygon(lists);
        return true;
    }
    case 0x012D:
        c.selectObject(w(r, 0));
        return true;
    case 0x01F0:
        c.deleteObject(w(r, 0));
        return true;
    case 0x012C:
        c.resetClip();
        return true;
    case 0x02FA:
        c.addObject(Pen{(w(r, 0) & 0xF) == 5, s(r, 1), color(r, 3)});
        return true;
    case 0x02FC: {
        const std::uint16_t style = w(r, 0);
        const TColor32 col = color(r, 1);
        Brush brush{BrushKind::Solid, col, 0};
        if (style == 1) brush = {BrushKind::Null, 0, 0};
        if (style == 2) brush = {BrushKind::Hatched, col, w(r, 3)};
        if (style > 2) brush = {BrushKind::Solid, 0xFF808080u, 0};
        c.addObject(brush);
        return true;
    }
    case 0x02FB: {
        Font font;
        font.height = static_cast<std::int16_t>(w(r, 0));
        font.weight = static_cast<std::int16_t>(w(r, 4));
        font.italic = r.u8(16) != 0;
        for (std::uint64_t i = 0; i < 32 && r.has(24 + i, 1) && r.u8(24 + i) != 0; ++i) {
            const std::uint8_t ch = r.u8(24 + i);
            if (ch < 0x80) font.family.push_back(static_cast<char>(ch));
        }
        c.addObject(font);
        return true;
    }
    case 0x01F9:
    case 0x0142:
        c.addObject(Brush{BrushKind::Solid, 0xFF808080u, 0});
        return true;
    case 0x00F7:
    case 0x06FF:
        c.addObject(std::monostate{});
        return true;
    case 0x0F43:
    case 0x0B41:
    case 0x0940:
        bitmap(r, function);
        return true;
    case 0x0521:
        text(r, false);
        return true;
    case 0x0A32:
        text(r, true);
        return true;
    default:
        return true;
    }
}

// Plays the records from Offset on, until the end, a record that does not fit or the budget.
MetafilePlay playRecords(ByteSpan data, std::uint64_t offset, MetafileCanvas& canvas) {
    const ByteReader file(data);
    WindowsPlayer player(canvas);
    MetafilePlay play;
    try {
        while (file.has(offset, 6)) {
            const std::uint64_t size = std::uint64_t{file.u32(offset)} * 2;
            if (size < 6 || !file.has(offset, size)) break;
            if (play.Records == kMaxMetafileRecords) {
                play.Stopped = true;
                break;
            }
            const ByteReader record(
                data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size)));
            canvas.chargeWork(kRecordWork);
            ++play.Records;
            if (!player.play(record, file.u16(offset + 4))) break;
            offset += size;
        }
    } catch (const DrawingBudgetExhausted&) {
        // The drawing so far stays; the rest of the file would cost more than it may.
        play.Stopped = true;
    }
    return play;
}

} // namespace

bool playWindows(ByteSpan data, TColor32 background, DecodedPicture& out, MetafilePlay& play) {
    const ByteReader file(data);
    const bool placeable = file.u32(0) == kPlaceableKey;
    const std::uint64_t start = placeable ? kPlaceableSize : 0;
    if (!file.has(start, kHeaderSize)) return false;
    const std::uint16_t type = file.u16(start);
    const std::uint64_t headerWords = file.u16(start + 2);
    if ((type != 1 && type != 2) || headerWords * 2 < kHeaderSize) return false;
    const std::size_t objects = file.u16(start + 10);
    const std::uint64_t records = start + headerWords * 2;

    std::int64_t width = 0, height = 0;
    Xform deviceToPicture;
    auto prepare = [&](MetafileCanvas& canvas) {
        canvas.setDeviceTransform(deviceToPicture, 96.0 / 25.4, 96.0 / 25.4);
        canvas.resizeObjectTable(objects);
    };
    if (placeable) {
        const double l = static_cast<std::int16_t>(file.u16(6)),
                     t = static_cast<std::int16_t>(file.u16(8));
        const double r = static_cast<std::int16_t>(file.u16(10)),
                     b = static_cast<std::int16_t>(file.u16(12));
        double inch = file.u16(14);
        if (inch == 0) inch = 1440;
        width = static_cast<std::int64_t>(std::floor(std::abs(r - l) * 96.0 / inch + 0.5));
        height = static_cast<std::int64_t>(std::floor(std::abs(b - t) * 96.0 / inch + 0.5));
        if (!metafileSizeAllowed(width, height)) return false;
        MetafileCanvas canvas(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                              background);
        prepare(canvas);
        // The bounding box fills the picture until the file maps itself.
        canvas.setMapMode(8);
        canvas.setWindowOrg(l, t);
        canvas.setWindowExt(r - l, b - t);
        canvas.setViewportOrg(0, 0);
        canvas.setViewportExt(static_cast<double>(width), static_cast<double>(height));
        play = playRecords(data, records, canvas);
        out.width = canvas.width();
        out.height = canvas.height();
        out.pixels = canvas.takePixels();
        return true;
    }
    // Without placeable header: the drawing's own bounding box at one pixel per unit.
    MetafileCanvas measure(0, 0, background);
    prepare(measure);
    playRecords(data, records, measure);
    if (!measure.hasBounds()) return false;
    const double left = std::floor(measure.minX() + 0.5), top = std::floor(measure.minY() + 0.5);
    width = static_cast<std::int64_t>(std::floor(measure.maxX() + 0.5) - left) + 1;
    height = static_cast<std::int64_t>(std::floor(measure.maxY() + 0.5) - top) + 1;
    if (!metafileSizeAllowed(width, height)) return false;
    deviceToPicture.dx = -left;
    deviceToPicture.dy = -top;
    MetafileCanvas canvas(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                          background);
    prepare(canvas);
    play = playRecords(data, records, canvas);
    out.width = canvas.width();
    out.height = canvas.height();
    out.pixels = canvas.takePixels();
    return true;
}

} // namespace schauplatz::metafile
