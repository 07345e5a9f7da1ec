// Enhanced metafile records played onto the canvas.

#include "elements/metafile/MetafilePlayers.h"
#include "elements/metafile/MetafileRecords.h"
#include "elements/metafile/RecordPlaying.h"

#include "elements/codecs/BmpCodec.h"
#include "support/TextCodec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace schauplatz::metafile {
namespace {

constexpr std::uint32_t kEnhancedSignature = 0x464D4520; // " EMF"

float f32(const ByteReader& r, std::uint64_t offset) {
    return std::bit_cast<float>(r.u32(offset));
}

Xform readXform(const ByteReader& r, std::uint64_t offset) {
    Xform x{f32(r, offset),      f32(r, offset + 4),  f32(r, offset + 8),
            f32(r, offset + 12), f32(r, offset + 16), f32(r, offset + 20)};
    const double all[] = {x.m11, x.m12, x.m21, x.m22, x.dx, x.dy};
    for (double v : all) {
        if (!std::isfinite(v)) return Xform{};
    }
    return x;
}

// The 16-bit forms of the point records.
bool smallPoints(EmfRecord type) {
    switch (type) {
    case EmfRecord::PolyBezier16:
    case EmfRecord::Polygon16:
    case EmfRecord::Polyline16:
    case EmfRecord::PolyBezierTo16:
    case EmfRecord::PolylineTo16:
    case EmfRecord::PolyPolyline16:
    case EmfRecord::PolyPolygon16:
        return true;
    default:
        return false;
    }
}

double d(const ByteReader& r, std::uint64_t at) {
    return static_cast<double>(r.i32(at));
}
FillPoint pt(const ByteReader& r, std::uint64_t at) {
    return FillPoint{static_cast<double>(r.i32(at)), static_cast<double>(r.i32(at + 4))};
}

// Record fields at byte offsets from the record's start (type and size take the first 8).
class EnhancedPlayer {
public:
    EnhancedPlayer(MetafileCanvas& canvas) : m_canvas(canvas) {}
    // False ends the playing (end of file or a record that does not fit).
    bool play(const ByteReader& record, std::uint32_t type);

private:
    using Handler = void (EnhancedPlayer::*)(const ByteReader&, EmfRecord);
    using Entry = RecordEntry<EmfRecord, Handler>;
    static const Entry kHandlers[];

    std::vector<FillPoint> points(const ByteReader& r, std::uint64_t offset, std::uint64_t count,
                                  bool small) const;
    void polyPoints(const ByteReader& r, EmfRecord type);
    void polyPoly(const ByteReader& r, EmfRecord type);
    void text(const ByteReader& r, bool wide);
    void bitmap(const ByteReader& r, EmfRecord type);
    void selectObject(const ByteReader& r, EmfRecord);
    void createFont(const ByteReader& r, EmfRecord);
    void extSelectClipRgn(const ByteReader& r, EmfRecord);

    // Records that call the canvas with no fields, with two (x, y) or with a box.
    template <void (MetafileCanvas::*Call)()>
    void plain(const ByteReader&, EmfRecord) {
        (m_canvas.*Call)();
    }
    template <void (MetafileCanvas::*Call)(double, double)>
    void pair(const ByteReader& r, EmfRecord) {
        (m_canvas.*Call)(d(r, 8), d(r, 12));
    }
    template <void (MetafileCanvas::*Call)(double, double, double, double)>
    void box(const ByteReader& r, EmfRecord) {
        (m_canvas.*Call)(d(r, 8), d(r, 12), d(r, 16), d(r, 20));
    }

    void setPixel(const ByteReader& r, EmfRecord) {
        m_canvas.setPixel(pt(r, 8), recordColor(r.u32(16)));
    }
    void setMapMode(const ByteReader& r, EmfRecord) { m_canvas.setMapMode(r.i32(8)); }
    void setBkMode(const ByteReader& r, EmfRecord) { dc().backOpaque = r.u32(8) == 2; }
    void setPolyFillMode(const ByteReader& r, EmfRecord) {
        dc().fillRule = r.u32(8) == 2 ? FillRule::Winding : FillRule::Alternate;
    }
    void setTextAlign(const ByteReader& r, EmfRecord) { dc().textAlign = r.u32(8); }
    void setTextColor(const ByteReader& r, EmfRecord) { dc().textColor = recordColor(r.u32(8)); }
    void setBkColor(const ByteReader& r, EmfRecord) { dc().backColor = recordColor(r.u32(8)); }
    void setArcDirection(const ByteReader& r, EmfRecord) { dc().arcClockwise = r.u32(8) == 2; }
    void moveTo(const ByteReader& r, EmfRecord) { m_canvas.moveTo(pt(r, 8)); }
    void lineTo(const ByteReader& r, EmfRecord) { m_canvas.lineTo(pt(r, 8)); }
    void restoreDC(const ByteReader& r, EmfRecord) { m_canvas.restoreDC(r.i32(8)); }
    void setWorldTransform(const ByteReader& r, EmfRecord) {
        m_canvas.setWorldTransform(readXform(r, 8));
    }
    void modifyWorldTransform(const ByteReader& r, EmfRecord) {
        m_canvas.modifyWorldTransform(readXform(r, 8), r.u32(32));
    }
    void roundRect(const ByteReader& r, EmfRecord) {
        m_canvas.roundRect(d(r, 8), d(r, 12), d(r, 16), d(r, 20), d(r, 24), d(r, 28));
    }
    void arc(const ByteReader& r, EmfRecord type) {
        const auto kind = type == EmfRecord::Arc     ? MetafileCanvas::ArcKind::Arc
                          : type == EmfRecord::Chord ? MetafileCanvas::ArcKind::Chord
                                                     : MetafileCanvas::ArcKind::Pie;
        m_canvas.arc(kind, d(r, 8), d(r, 12), d(r, 16), d(r, 20), pt(r, 24), pt(r, 32));
    }
    void deleteObject(const ByteReader& r, EmfRecord) { m_canvas.deleteObject(r.u32(8)); }
    // Objects go to the slot the record names; slot 0 is refused.
    void put(const ByteReader& r, GdiObject object) {
        if (r.u32(8) != 0) m_canvas.putObject(r.u32(8), std::move(object));
    }
    void createPen(const ByteReader& r, EmfRecord) {
        put(r, recordPen(r.u32(12), r.i32(16), recordColor(r.u32(24))));
    }
    // ExtCreatePen: width and colour from the extended pen
    void extCreatePen(const ByteReader& r, EmfRecord) {
        put(r, recordPen(r.u32(28), r.u32(32), recordColor(r.u32(40))));
    }
    void createBrush(const ByteReader& r, EmfRecord) {
        put(r, recordBrush(r.u32(12), recordColor(r.u32(16)), r.u32(20)));
    }
    // Mono and DIB pattern brushes.
    void createPatternBrush(const ByteReader& r, EmfRecord) { put(r, patternBrush()); }
    // Palettes keep their slot.
    void createPalette(const ByteReader& r, EmfRecord) { put(r, std::monostate{}); }
    void extTextOutA(const ByteReader& r, EmfRecord);
    void extTextOutW(const ByteReader& r, EmfRecord);

    DeviceContext& dc() { return m_canvas.dc(); }

    MetafileCanvas& m_canvas;
    // Bitmaps decode into one buffer, so a file of many large blits pays for its memory once.
    DecodedPicture m_bitmap;
};

std::vector<FillPoint> EnhancedPlayer::points(const ByteReader& r, std::uint64_t offset,
                                              std::uint64_t count, bool small) const {
    if (small) return readPoints16(r, offset, count);
    std::vector<FillPoint> out;
    if (count > r.size() / 8 || !r.has(offset, count * 8)) return out;
    out.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = offset + i * 8;
        out.push_back({static_cast<double>(r.i32(at)), static_cast<double>(r.i32(at + 4))});
    }
    return out;
}

void EnhancedPlayer::polyPoints(const ByteReader& r, EmfRecord type) {
    const std::vector<FillPoint> p = points(r, 28, r.u32(24), smallPoints(type));
    if (p.size() != r.u32(24)) return;
    switch (type) {
    case EmfRecord::PolyBezier:
    case EmfRecord::PolyBezier16:
        m_canvas.polyBezier(p);
        break;
    case EmfRecord::Polygon:
    case EmfRecord::Polygon16:
        m_canvas.polyPolygon({p});
        break;
    case EmfRecord::Polyline:
    case EmfRecord::Polyline16:
        m_canvas.polyline(p);
        break;
    case EmfRecord::PolyBezierTo:
    case EmfRecord::PolyBezierTo16:
        m_canvas.polyBezierTo(p);
        break;
    default: // PolylineTo, PolylineTo16
        m_canvas.polylineTo(p);
        break;
    }
}

void EnhancedPlayer::polyPoly(const ByteReader& r, EmfRecord type) {
    const std::uint64_t polys = r.u32(24);
    const std::uint64_t total = r.u32(28);
    if (polys > r.size() / 4 || !r.has(32, polys * 4)) return;
    const std::vector<FillPoint> all = points(r, 32 + polys * 4, total, smallPoints(type));
    if (all.size() != total) return;
    std::vector<std::vector<FillPoint>> lists;
    std::uint64_t at = 0;
    for (std::uint64_t i = 0; i < polys; ++i) {
        const std::uint64_t n = r.u32(32 + i * 4);
        if (n > total - at) return;
        lists.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                           all.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    }
    if (type == EmfRecord::PolyPolygon || type == EmfRecord::PolyPolygon16) {
        m_canvas.polyPolygon(lists);
    } else {
        m_canvas.polyPolyline(lists);
    }
}

void EnhancedPlayer::text(const ByteReader& r, bool wide) {
    // bounds, graphics mode, scales, then the text: reference, count, offset, options, rectangle,
    // dx.
    const FillPoint reference{static_cast<double>(r.i32(36)), static_cast<double>(r.i32(40))};
    const std::uint64_t count = r.u32(44);
    const std::uint64_t offset = r.u32(48);
    const std::uint32_t options = r.u32(52);
    const TRect rectangle{r.i32(56), r.i32(60), r.i32(64), r.i32(68)};
    const std::uint64_t dxOffset = r.u32(72);
    const std::uint64_t unit = wide ? 2 : 1;
    if (count > r.size() || !r.has(offset, count * unit)) return;
    std::u32string text;
    if (wide) {
        text = decodeUtf16CodePoints(
            r.data().subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count * 2)),
            false);
    } else {
        text = decodeAnsi(
            r.data().subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count)));
    }
    std::vector<double> dx;
    if (dxOffset != 0 && r.has(dxOffset, count * 4)) {
        for (std::uint64_t i = 0; i < count; ++i)
            dx.push_back(r.i32(dxOffset + i * 4));
    }
    m_canvas.drawText(reference, text, dx, options, rectangle);
}

// A bitmap record's rectangles and where its DIB (header and colours, then bits) lies in it.
struct EnhancedBlit {
    BlitRecord blit;
    std::uint64_t offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
};

EnhancedBlit readStretchDIBits(const ByteReader& r) {
    EnhancedBlit e;
    BlitRecord& b = e.blit;
    b.xDest = r.i32(24);
    b.yDest = r.i32(28);
    b.xSrc = r.i32(32);
    b.ySrc = r.i32(36);
    b.cxSrc = r.i32(40);
    b.cySrc = r.i32(44);
    e.offBmi = r.u32(48);
    e.cbBmi = r.u32(52);
    e.offBits = r.u32(56);
    e.cbBits = r.u32(60);
    b.rop = r.u32(68);
    b.cxDest = r.i32(72);
    b.cyDest = r.i32(76);
    return e;
}

// BitBlt, and StretchBlt with its own source size.
EnhancedBlit readBitBlt(const ByteReader& r, bool stretch) {
    EnhancedBlit e;
    BlitRecord& b = e.blit;
    b.xDest = r.i32(24);
    b.yDest = r.i32(28);
    const std::int32_t cxDest = r.i32(32), cyDest = r.i32(36);
    b.cxDest = cxDest;
    b.cyDest = cyDest;
    b.rop = r.u32(40);
    b.xSrc = r.i32(44);
    b.ySrc = r.i32(48);
    e.offBmi = r.u32(84);
    e.cbBmi = r.u32(88);
    e.offBits = r.u32(92);
    e.cbBits = r.u32(96);
    b.cxSrc = stretch ? r.i32(100) : cxDest;
    b.cySrc = stretch ? r.i32(104) : cyDest;
    return e;
}

void EnhancedPlayer::bitmap(const ByteReader& r, EmfRecord type) {
    const EnhancedBlit e = type == EmfRecord::StretchDIBits
                               ? readStretchDIBits(r)
                               : readBitBlt(r, type == EmfRecord::StretchBlt);
    // No source: the raster operation fills with the brush or a constant.
    if (e.cbBmi == 0) {
        fillWithoutSource(m_canvas, e.blit);
        return;
    }
    if (!r.has(e.offBmi, e.cbBmi) || !r.has(e.offBits, e.cbBits)) return;
    const ByteSpan info =
        r.data().subspan(static_cast<std::size_t>(e.offBmi), static_cast<std::size_t>(e.cbBmi));
    const ByteSpan bits =
        r.data().subspan(static_cast<std::size_t>(e.offBits), static_cast<std::size_t>(e.cbBits));
    if (!decodeDibFor(m_canvas, info, bits, m_bitmap)) return;
    // StretchDIBits counts its source rows from the bottom of a bottom-up DIB.
    drawBlit(m_canvas, m_bitmap, e.blit, type == EmfRecord::StretchDIBits && !dibTopDown(info));
}

void EnhancedPlayer::selectObject(const ByteReader& r, EmfRecord) {
    const std::uint32_t index = r.u32(8);
    if (index & 0x80000000u) {
        m_canvas.selectStockObject(index & 0x7FFFFFFFu);
    } else if (index != 0) {
        m_canvas.selectObject(index);
    }
}

void EnhancedPlayer::createFont(const ByteReader& r, EmfRecord) {
    if (r.u32(8) == 0) return;
    Font font;
    font.height = r.i32(12);
    font.weight = r.i32(28);
    font.italic = r.u8(32) != 0;
    for (std::uint64_t i = 0; i < 32; ++i) {
        const std::uint16_t ch = r.u16(40 + i * 2);
        if (ch == 0) break;
        appendUtf8(font.family, ch, Surrogate::Encode); // unit by unit: pairs stay apart
    }
    m_canvas.putObject(r.u32(8), font);
}

// ExtSelectClipRgn: the region's bounds in device pixels.
void EnhancedPlayer::extSelectClipRgn(const ByteReader& r, EmfRecord) {
    constexpr std::uint32_t kCopy = 5, kAnd = 1;
    const std::uint32_t size = r.u32(8);
    const std::uint32_t mode = r.u32(12);
    if (size == 0 || !r.has(16, 32)) {
        if (mode == kCopy) m_canvas.resetClip();
        return;
    }
    const TRect bound{r.i32(32), r.i32(36), r.i32(40), r.i32(44)};
    if (mode == kCopy) m_canvas.resetClip();
    if (mode == kCopy || mode == kAnd) m_canvas.intersectClipDevice(bound);
}

void EnhancedPlayer::extTextOutA(const ByteReader& r, EmfRecord) {
    text(r, false);
}

void EnhancedPlayer::extTextOutW(const ByteReader& r, EmfRecord) {
    text(r, true);
}

using P = EnhancedPlayer;
constexpr P::Entry P::kHandlers[] = {
    {EmfRecord::PolyBezier, &P::polyPoints},
    {EmfRecord::Polygon, &P::polyPoints},
    {EmfRecord::Polyline, &P::polyPoints},
    {EmfRecord::PolyBezierTo, &P::polyPoints},
    {EmfRecord::PolylineTo, &P::polyPoints},
    {EmfRecord::PolyBezier16, &P::polyPoints},
    {EmfRecord::Polygon16, &P::polyPoints},
    {EmfRecord::Polyline16, &P::polyPoints},
    {EmfRecord::PolyBezierTo16, &P::polyPoints},
    {EmfRecord::PolylineTo16, &P::polyPoints},
    {EmfRecord::PolyPolyline, &P::polyPoly},
    {EmfRecord::PolyPolygon, &P::polyPoly},
    {EmfRecord::PolyPolyline16, &P::polyPoly},
    {EmfRecord::PolyPolygon16, &P::polyPoly},
    {EmfRecord::SetWindowExtEx, &P::pair<&MetafileCanvas::setWindowExt>},
    {EmfRecord::SetWindowOrgEx, &P::pair<&MetafileCanvas::setWindowOrg>},
    {EmfRecord::SetViewportExtEx, &P::pair<&MetafileCanvas::setViewportExt>},
    {EmfRecord::SetViewportOrgEx, &P::pair<&MetafileCanvas::setViewportOrg>},
    {EmfRecord::SetPixelV, &P::setPixel},
    {EmfRecord::SetMapMode, &P::setMapMode},
    {EmfRecord::SetBkMode, &P::setBkMode},
    {EmfRecord::SetPolyFillMode, &P::setPolyFillMode},
    {EmfRecord::SetTextAlign, &P::setTextAlign},
    {EmfRecord::SetTextColor, &P::setTextColor},
    {EmfRecord::SetBkColor, &P::setBkColor},
    {EmfRecord::MoveToEx, &P::moveTo},
    {EmfRecord::IntersectClipRect, &P::box<&MetafileCanvas::intersectClipRect>},
    {EmfRecord::SaveDC, &P::plain<&MetafileCanvas::saveDC>},
    {EmfRecord::RestoreDC, &P::restoreDC},
    {EmfRecord::SetWorldTransform, &P::setWorldTransform},
    {EmfRecord::ModifyWorldTransform, &P::modifyWorldTransform},
    {EmfRecord::SelectObject, &P::selectObject},
    {EmfRecord::CreatePen, &P::createPen},
    {EmfRecord::ExtCreatePen, &P::extCreatePen},
    {EmfRecord::CreateBrushIndirect, &P::createBrush},
    {EmfRecord::CreateMonoBrush, &P::createPatternBrush},
    {EmfRecord::CreateDIBPatternBrushPt, &P::createPatternBrush},
    {EmfRecord::CreatePalette, &P::createPalette},
    {EmfRecord::ExtCreateFontIndirectW, &P::createFont},
    {EmfRecord::DeleteObject, &P::deleteObject},
    {EmfRecord::Ellipse, &P::box<&MetafileCanvas::ellipse>},
    {EmfRecord::Rectangle, &P::box<&MetafileCanvas::rectangle>},
    {EmfRecord::RoundRect, &P::roundRect},
    {EmfRecord::Arc, &P::arc},
    {EmfRecord::Chord, &P::arc},
    {EmfRecord::Pie, &P::arc},
    {EmfRecord::LineTo, &P::lineTo},
    {EmfRecord::SetArcDirection, &P::setArcDirection},
    {EmfRecord::BeginPath, &P::plain<&MetafileCanvas::beginPath>},
    {EmfRecord::EndPath, &P::plain<&MetafileCanvas::endPath>},
    {EmfRecord::CloseFigure, &P::plain<&MetafileCanvas::closeFigure>},
    {EmfRecord::FillPath, &P::plain<&MetafileCanvas::fillPath>},
    {EmfRecord::StrokeAndFillPath, &P::plain<&MetafileCanvas::strokeAndFillPath>},
    {EmfRecord::StrokePath, &P::plain<&MetafileCanvas::strokePath>},
    {EmfRecord::SelectClipPath, &P::plain<&MetafileCanvas::selectClipPath>},
    {EmfRecord::AbortPath, &P::plain<&MetafileCanvas::abortPath>},
    {EmfRecord::ExtSelectClipRgn, &P::extSelectClipRgn},
    {EmfRecord::BitBlt, &P::bitmap},
    {EmfRecord::StretchBlt, &P::bitmap},
    {EmfRecord::StretchDIBits, &P::bitmap},
    {EmfRecord::ExtTextOutA, &P::extTextOutA},
    {EmfRecord::ExtTextOutW, &P::extTextOutW},
};

bool EnhancedPlayer::play(const ByteReader& r, std::uint32_t type) {
    static constexpr auto kRecords = makeRecordTable(kHandlers);
    static_assert(kRecords.unique(), "a record type with two handlers");
    if (type == static_cast<std::uint32_t>(EmfRecord::Eof)) return false;
    // Unknown and unneeded records are skipped.
    if (const Handler handler = kRecords.find(type)) (this->*handler)(r, EmfRecord{type});
    return true;
}

// The picture's size and where the reference device lies on it, from the header.
struct EnhancedFrame {
    std::int64_t width = 0, height = 0;
    Xform deviceToPicture;
    // Reference device pixels per 0.01 mm.
    double perHundredthX = 0, perHundredthY = 0;
};

EnhancedFrame readFrame(const ByteReader& file) {
    const double boundsL = file.i32(8), boundsT = file.i32(12), boundsR = file.i32(16),
                 boundsB = file.i32(20);
    const double frameL = file.i32(24), frameT = file.i32(28), frameR = file.i32(32),
                 frameB = file.i32(36);
    const double devW = file.i32(72), devH = file.i32(76), mmW = file.i32(80), mmH = file.i32(84);
    EnhancedFrame f;
    const bool deviceKnown = devW > 0 && devH > 0 && mmW > 0 && mmH > 0;
    f.perHundredthX = deviceKnown ? devW / (mmW * 100.0) : 96.0 / 2540.0;
    f.perHundredthY = deviceKnown ? devH / (mmH * 100.0) : 96.0 / 2540.0;
    Xform& deviceToPicture = f.deviceToPicture;
    if (frameR > frameL && frameB > frameT) {
        f.width = hundredthsMmToPixels(frameR - frameL);
        f.height = hundredthsMmToPixels(frameB - frameT);
        const double frameDevL = frameL * f.perHundredthX, frameDevT = frameT * f.perHundredthY;
        const double frameDevW = (frameR - frameL) * f.perHundredthX;
        const double frameDevH = (frameB - frameT) * f.perHundredthY;
        deviceToPicture.m11 = static_cast<double>(f.width) / frameDevW;
        deviceToPicture.m22 = static_cast<double>(f.height) / frameDevH;
        deviceToPicture.dx = -frameDevL * deviceToPicture.m11;
        deviceToPicture.dy = -frameDevT * deviceToPicture.m22;
    } else {
        // No frame: the bounds, in device pixels with both edges inside.
        f.width = static_cast<std::int64_t>(boundsR - boundsL) + 1;
        f.height = static_cast<std::int64_t>(boundsB - boundsT) + 1;
        deviceToPicture.dx = -boundsL;
        deviceToPicture.dy = -boundsT;
    }
    return f;
}

} // namespace

bool playEnhanced(ByteSpan data, TColor32 background, DecodedPicture& out, MetafilePlay& play) {
    const ByteReader file(data);
    if (!file.has(0, 88) || file.u32(0) != 1 || file.u32(40) != kEnhancedSignature) return false;
    const std::uint64_t headerSize = file.u32(4);
    if (headerSize < 88 || !file.has(0, headerSize)) return false;
    const std::size_t handles = file.u16(56);
    const EnhancedFrame frame = readFrame(file);
    if (!metafileSizeAllowed(frame.width, frame.height)) return false;

    MetafileCanvas canvas(static_cast<std::int32_t>(frame.width),
                          static_cast<std::int32_t>(frame.height), background);
    canvas.setDeviceTransform(frame.deviceToPicture, frame.perHundredthX * 100.0,
                              frame.perHundredthY * 100.0);
    canvas.resizeObjectTable(std::max<std::size_t>(handles, 1));
    EnhancedPlayer player(canvas);
    play = playRecords(
        data, headerSize, RecordFraming::Enhanced, canvas,
        [&](const ByteReader& record, std::uint32_t type) { return player.play(record, type); });
    takePicture(canvas, out);
    return true;
}

} // namespace schauplatz::metafile
