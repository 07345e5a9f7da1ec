// Windows metafile records (16-bit coordinates, parameters stored last to
// first) played onto the canvas.

#include "elements/metafile/MetafilePlayers.h"
#include "elements/metafile/MetafileRecords.h"
#include "elements/metafile/RecordPlaying.h"

#include <algorithm>
#include <cmath>

namespace schauplatz::metafile {
namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::uint64_t kPlaceableSize = 22;
constexpr std::uint64_t kHeaderSize = 18;

// Parameter words after the 6-byte record head.
double s(const ByteReader& r, std::uint64_t word) {
    return static_cast<std::int16_t>(r.u16(6 + word * 2));
}
std::uint16_t w(const ByteReader& r, std::uint64_t word) {
    return r.u16(6 + word * 2);
}
std::uint32_t color(const ByteReader& r, std::uint64_t word) {
    return recordColor(w(r, word) | (std::uint32_t{w(r, word + 1)} << 16));
}

class WindowsPlayer {
public:
    explicit WindowsPlayer(MetafileCanvas& canvas) : m_canvas(canvas) {}
    bool play(const ByteReader& r, std::uint16_t function);

private:
    using Handler = void (WindowsPlayer::*)(const ByteReader&, WmfRecord);
    using Entry = RecordEntry<WmfRecord, Handler>;
    static const Entry kHandlers[];

    std::vector<FillPoint> points(const ByteReader& r, std::uint64_t offset,
                                  std::uint64_t count) const {
        return readPoints16(r, offset, count);
    }
    void bitmap(const ByteReader& r, WmfRecord function);
    void text(const ByteReader& r, bool extended);
    void poly(const ByteReader& r, WmfRecord function);
    void polyPolygon(const ByteReader& r, WmfRecord);
    void createFont(const ByteReader& r, WmfRecord);

    // Records that call the canvas with no parameters, with a point (x, y) or with a box;
    // the parameters stand last to first.
    template <void (MetafileCanvas::*Call)()>
    void plain(const ByteReader&, WmfRecord) {
        (m_canvas.*Call)();
    }
    template <void (MetafileCanvas::*Call)(double, double)>
    void pair(const ByteReader& r, WmfRecord) {
        (m_canvas.*Call)(s(r, 1), s(r, 0));
    }
    template <void (MetafileCanvas::*Call)(double, double, double, double)>
    void box(const ByteReader& r, WmfRecord) {
        (m_canvas.*Call)(s(r, 3), s(r, 2), s(r, 1), s(r, 0));
    }

    void setBkColor(const ByteReader& r, WmfRecord) { dc().backColor = color(r, 0); }
    void setBkMode(const ByteReader& r, WmfRecord) { dc().backOpaque = w(r, 0) == 2; }
    void setMapMode(const ByteReader& r, WmfRecord) { m_canvas.setMapMode(w(r, 0)); }
    void setPolyFillMode(const ByteReader& r, WmfRecord) {
        dc().fillRule = w(r, 0) == 2 ? FillRule::Winding : FillRule::Alternate;
    }
    void setTextAlign(const ByteReader& r, WmfRecord) { dc().textAlign = w(r, 0); }
    void setTextColor(const ByteReader& r, WmfRecord) { dc().textColor = color(r, 0); }
    void offsetWindowOrg(const ByteReader& r, WmfRecord) {
        m_canvas.setWindowOrg(dc().windowOrg.x + s(r, 1), dc().windowOrg.y + s(r, 0));
    }
    void offsetViewportOrg(const ByteReader& r, WmfRecord) {
        m_canvas.setViewportOrg(dc().viewportOrg.x + s(r, 1), dc().viewportOrg.y + s(r, 0));
    }
    void lineTo(const ByteReader& r, WmfRecord) { m_canvas.lineTo({s(r, 1), s(r, 0)}); }
    void moveTo(const ByteReader& r, WmfRecord) { m_canvas.moveTo({s(r, 1), s(r, 0)}); }
    void roundRect(const ByteReader& r, WmfRecord) {
        m_canvas.roundRect(s(r, 5), s(r, 4), s(r, 3), s(r, 2), s(r, 1), s(r, 0));
    }
    void arc(const ByteReader& r, WmfRecord function) {
        const auto kind = function == WmfRecord::Arc     ? MetafileCanvas::ArcKind::Arc
                          : function == WmfRecord::Chord ? MetafileCanvas::ArcKind::Chord
                                                         : MetafileCanvas::ArcKind::Pie;
        m_canvas.arc(kind, s(r, 7), s(r, 6), s(r, 5), s(r, 4), {s(r, 3), s(r, 2)},
                     {s(r, 1), s(r, 0)});
    }
    void setPixel(const ByteReader& r, WmfRecord) {
        m_canvas.setPixel({s(r, 3), s(r, 2)}, color(r, 0));
    }
    void restoreDC(const ByteReader& r, WmfRecord) {
        m_canvas.restoreDC(static_cast<std::int16_t>(w(r, 0)));
    }
    void selectObject(const ByteReader& r, WmfRecord) { m_canvas.selectObject(w(r, 0)); }
    void deleteObject(const ByteReader& r, WmfRecord) { m_canvas.deleteObject(w(r, 0)); }
    // Objects take the first free slot.
    void createPen(const ByteReader& r, WmfRecord) {
        m_canvas.addObject(recordPen(w(r, 0), s(r, 1), color(r, 3)));
    }
    void createBrush(const ByteReader& r, WmfRecord) {
        m_canvas.addObject(recordBrush(w(r, 0), color(r, 1), w(r, 3)));
    }
    void createPatternBrush(const ByteReader&, WmfRecord) { m_canvas.addObject(patternBrush()); }
    // Palettes and regions keep their slot.
    void createPlaceholder(const ByteReader&, WmfRecord) { m_canvas.addObject(std::monostate{}); }
    void textOut(const ByteReader& r, WmfRecord);
    void extTextOut(const ByteReader& r, WmfRecord);

    DeviceContext& dc() { return m_canvas.dc(); }

    MetafileCanvas& m_canvas;
    // Bitmaps decode into one buffer, so a file of many large blits pays for its memory once.
    DecodedPicture m_bitmap;
};

// A DIB record's rectangles, the parameter word its DIB starts at, and whether it has one
// (a record without bitmap has one word less).
struct WindowsBlit {
    BlitRecord blit;
    std::uint64_t dibWord = 0;
    bool hasBitmap = true;
};

// A rectangle as DIB records store it from Word on: height, width, y, x.
void readSource(BlitRecord& b, const ByteReader& r, std::uint64_t word) {
    b.cySrc = static_cast<std::int32_t>(s(r, word));
    b.cxSrc = static_cast<std::int32_t>(s(r, word + 1));
    b.ySrc = static_cast<std::int32_t>(s(r, word + 2));
    b.xSrc = static_cast<std::int32_t>(s(r, word + 3));
}
void readDestination(BlitRecord& b, const ByteReader& r, std::uint64_t word) {
    b.cyDest = s(r, word);
    b.cxDest = s(r, word + 1);
    b.yDest = s(r, word + 2);
    b.xDest = s(r, word + 3);
}

// The raster operation comes first in all three records.
WindowsBlit readBlit(const ByteReader& r, WmfRecord function) {
    WindowsBlit e;
    BlitRecord& b = e.blit;
    b.rop = w(r, 0) | (std::uint32_t{w(r, 1)} << 16);
    if (function == WmfRecord::StretchDIB) { // rop, usage, source and destination
        readSource(b, r, 3);
        readDestination(b, r, 7);
        e.dibWord = 11;
    } else if (function == WmfRecord::DIBStretchBlt) {
        e.hasBitmap = r.size() / 2 != 14;
        readSource(b, r, 2);
        readDestination(b, r, e.hasBitmap ? 6 : 7);
        e.dibWord = 10;
    } else { // DIBBitBlt: the source is as large as the destination
        e.hasBitmap = r.size() / 2 != 12;
        b.ySrc = static_cast<std::int32_t>(s(r, 2));
        b.xSrc = static_cast<std::int32_t>(s(r, 3));
        readDestination(b, r, e.hasBitmap ? 4 : 5);
        b.cySrc = static_cast<std::int32_t>(b.cyDest);
        b.cxSrc = static_cast<std::int32_t>(b.cxDest);
        e.dibWord = 8;
    }
    return e;
}

// The bytes of the DIB's header and colours; the colours follow the header, and the decoder
// works out how many from the header. Zero when the header does not fit.
std::uint64_t dibInfoBytes(ByteSpan dib) {
    const ByteReader header(dib);
    const std::uint64_t infoSize = header.u32(0);
    if (infoSize < 12 || infoSize > dib.size()) return 0;
    const std::uint32_t bits = infoSize >= 40 ? header.u16(14) : header.u16(10);
    std::uint64_t colors = infoSize >= 40 ? header.u32(32) : 0;
    if (colors == 0 && bits <= 8) colors = std::uint64_t{1} << bits;
    if (infoSize >= 40 && header.u32(16) == 3) colors = 3;
    const std::uint64_t entry = infoSize >= 40 ? 4 : 3;
    return std::min<std::uint64_t>(infoSize + colors * entry, dib.size());
}

void WindowsPlayer::bitmap(const ByteReader& r, WmfRecord function) {
    const WindowsBlit e = readBlit(r, function);
    if (!e.hasBitmap) {
        fillWithoutSource(m_canvas, e.blit);
        return;
    }
    const std::uint64_t at = 6 + e.dibWord * 2;
    if (!r.has(at, 4)) return;
    const ByteSpan dib = r.data().subspan(static_cast<std::size_t>(at));
    const std::uint64_t infoBytes = dibInfoBytes(dib);
    if (infoBytes == 0) return;
    if (!decodeDibFor(m_canvas, dib.first(static_cast<std::size_t>(infoBytes)),
                      dib.subspan(static_cast<std::size_t>(infoBytes)), m_bitmap))
        return;
    drawBlit(m_canvas, m_bitmap, e.blit, function == WmfRecord::StretchDIB && !dibTopDown(dib));
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

void WindowsPlayer::poly(const ByteReader& r, WmfRecord function) {
    const std::vector<FillPoint> p = points(r, 8, w(r, 0));
    if (p.size() != w(r, 0)) return;
    if (function == WmfRecord::Polygon)
        m_canvas.polyPolygon({p});
    else
        m_canvas.polyline(p);
}

void WindowsPlayer::polyPolygon(const ByteReader& r, WmfRecord) {
    const std::uint64_t polys = w(r, 0);
    std::uint64_t at = 8 + polys * 2;
    if (!r.has(8, polys * 2)) return;
    std::vector<std::vector<FillPoint>> lists;
    for (std::uint64_t i = 0; i < polys; ++i) {
        const std::uint64_t n = w(r, 1 + i);
        std::vector<FillPoint> p = points(r, at, n);
        if (p.size() != n) return;
        lists.push_back(std::move(p));
        at += n * 4;
    }
    m_canvas.polyPolygon(lists);
}

void WindowsPlayer::createFont(const ByteReader& r, WmfRecord) {
    Font font;
    font.height = static_cast<std::int16_t>(w(r, 0));
    font.weight = static_cast<std::int16_t>(w(r, 4));
    font.italic = r.u8(16) != 0;
    for (std::uint64_t i = 0; i < 32 && r.has(24 + i, 1) && r.u8(24 + i) != 0; ++i) {
        const std::uint8_t ch = r.u8(24 + i);
        if (ch < 0x80) font.family.push_back(static_cast<char>(ch));
    }
    m_canvas.addObject(font);
}

void WindowsPlayer::textOut(const ByteReader& r, WmfRecord) {
    text(r, false);
}

void WindowsPlayer::extTextOut(const ByteReader& r, WmfRecord) {
    text(r, true);
}

using P = WindowsPlayer;
constexpr P::Entry P::kHandlers[] = {
    {WmfRecord::SetBkColor, &P::setBkColor},
    {WmfRecord::SetBkMode, &P::setBkMode},
    {WmfRecord::SetMapMode, &P::setMapMode},
    {WmfRecord::SetPolyFillMode, &P::setPolyFillMode},
    {WmfRecord::SetTextAlign, &P::setTextAlign},
    {WmfRecord::SetTextColor, &P::setTextColor},
    {WmfRecord::SetWindowOrg, &P::pair<&MetafileCanvas::setWindowOrg>},
    {WmfRecord::SetWindowExt, &P::pair<&MetafileCanvas::setWindowExt>},
    {WmfRecord::SetViewportOrg, &P::pair<&MetafileCanvas::setViewportOrg>},
    {WmfRecord::SetViewportExt, &P::pair<&MetafileCanvas::setViewportExt>},
    {WmfRecord::OffsetWindowOrg, &P::offsetWindowOrg},
    {WmfRecord::OffsetViewportOrg, &P::offsetViewportOrg},
    {WmfRecord::LineTo, &P::lineTo},
    {WmfRecord::MoveTo, &P::moveTo},
    {WmfRecord::IntersectClipRect, &P::box<&MetafileCanvas::intersectClipRect>},
    {WmfRecord::Ellipse, &P::box<&MetafileCanvas::ellipse>},
    {WmfRecord::Rectangle, &P::box<&MetafileCanvas::rectangle>},
    {WmfRecord::RoundRect, &P::roundRect},
    {WmfRecord::Arc, &P::arc},
    {WmfRecord::Pie, &P::arc},
    {WmfRecord::Chord, &P::arc},
    {WmfRecord::SetPixel, &P::setPixel},
    {WmfRecord::SaveDC, &P::plain<&MetafileCanvas::saveDC>},
    {WmfRecord::RestoreDC, &P::restoreDC},
    {WmfRecord::Polygon, &P::poly},
    {WmfRecord::Polyline, &P::poly},
    {WmfRecord::PolyPolygon, &P::polyPolygon},
    {WmfRecord::SelectObject, &P::selectObject},
    {WmfRecord::DeleteObject, &P::deleteObject},
    {WmfRecord::SelectClipRegion, &P::plain<&MetafileCanvas::resetClip>},
    {WmfRecord::CreatePenIndirect, &P::createPen},
    {WmfRecord::CreateBrushIndirect, &P::createBrush},
    {WmfRecord::CreateFontIndirect, &P::createFont},
    {WmfRecord::CreatePatternBrush, &P::createPatternBrush},
    {WmfRecord::DIBCreatePatternBrush, &P::createPatternBrush},
    {WmfRecord::CreatePalette, &P::createPlaceholder},
    {WmfRecord::CreateRegion, &P::createPlaceholder},
    {WmfRecord::StretchDIB, &P::bitmap},
    {WmfRecord::DIBStretchBlt, &P::bitmap},
    {WmfRecord::DIBBitBlt, &P::bitmap},
    {WmfRecord::TextOut, &P::textOut},
    {WmfRecord::ExtTextOut, &P::extTextOut},
};

bool WindowsPlayer::play(const ByteReader& r, std::uint16_t function) {
    static constexpr auto kRecords = makeRecordTable(kHandlers);
    static_assert(kRecords.unique(), "a record type with two handlers");
    if (function == static_cast<std::uint16_t>(WmfRecord::Eof)) return false;
    // Unknown and unneeded records are skipped.
    if (const Handler handler = kRecords.find(function)) (this->*handler)(r, WmfRecord{function});
    return true;
}

// Plays the records from Offset on, until the end, a record that does not fit or the budget.
MetafilePlay playFrom(ByteSpan data, std::uint64_t offset, MetafileCanvas& canvas) {
    WindowsPlayer player(canvas);
    return playRecords(data, offset, RecordFraming::Windows, canvas,
                       [&](const ByteReader& record, std::uint32_t function) {
                           return player.play(record, static_cast<std::uint16_t>(function));
                       });
}

// The header's facts the playing needs.
struct WindowsHeader {
    std::uint64_t records = 0; // offset of the first record
    std::size_t objects = 0;   // slots of the object table
};

void prepare(MetafileCanvas& canvas, const Xform& deviceToPicture, const WindowsHeader& header) {
    canvas.setDeviceTransform(deviceToPicture, 96.0 / 25.4, 96.0 / 25.4);
    canvas.resizeObjectTable(header.objects);
}

// With placeable header: its bounding box at its units per inch fills the picture until the
// file maps itself.
bool playPlaceable(ByteSpan data, const WindowsHeader& header, TColor32 background,
                   DecodedPicture& out, MetafilePlay& play) {
    const ByteReader file(data);
    const double l = static_cast<std::int16_t>(file.u16(6)),
                 t = static_cast<std::int16_t>(file.u16(8));
    const double r = static_cast<std::int16_t>(file.u16(10)),
                 b = static_cast<std::int16_t>(file.u16(12));
    double inch = file.u16(14);
    if (inch == 0) inch = 1440;
    const auto width = static_cast<std::int64_t>(std::floor(std::abs(r - l) * 96.0 / inch + 0.5));
    const auto height = static_cast<std::int64_t>(std::floor(std::abs(b - t) * 96.0 / inch + 0.5));
    if (!metafileSizeAllowed(width, height)) return false;
    MetafileCanvas canvas(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                          background);
    prepare(canvas, Xform{}, header);
    canvas.setMapMode(8);
    canvas.setWindowOrg(l, t);
    canvas.setWindowExt(r - l, b - t);
    canvas.setViewportOrg(0, 0);
    canvas.setViewportExt(static_cast<double>(width), static_cast<double>(height));
    play = playFrom(data, header.records, canvas);
    takePicture(canvas, out);
    return true;
}

// Without placeable header: the drawing's own bounding box at one pixel per unit.
bool playMeasured(ByteSpan data, const WindowsHeader& header, TColor32 background,
                  DecodedPicture& out, MetafilePlay& play) {
    MetafileCanvas measure(0, 0, background);
    prepare(measure, Xform{}, header);
    playFrom(data, header.records, measure);
    if (!measure.hasBounds()) return false;
    const double left = std::floor(measure.minX() + 0.5), top = std::floor(measure.minY() + 0.5);
    const auto width = static_cast<std::int64_t>(std::floor(measure.maxX() + 0.5) - left) + 1;
    const auto height = static_cast<std::int64_t>(std::floor(measure.maxY() + 0.5) - top) + 1;
    if (!metafileSizeAllowed(width, height)) return false;
    Xform deviceToPicture;
    deviceToPicture.dx = -left;
    deviceToPicture.dy = -top;
    MetafileCanvas canvas(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                          background);
    prepare(canvas, deviceToPicture, header);
    play = playFrom(data, header.records, canvas);
    takePicture(canvas, out);
    return true;
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
    const WindowsHeader header{start + headerWords * 2, file.u16(start + 10)};
    return placeable ? playPlaceable(data, header, background, out, play)
                     : playMeasured(data, header, background, out, play);
}

} // namespace schauplatz::metafile
