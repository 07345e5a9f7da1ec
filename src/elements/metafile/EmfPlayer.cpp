// Enhanced metafile records played onto the canvas.

#include "elements/metafile/MetafilePlayers.h"

#include "elements/codecs/BmpCodec.h"
#include "support/TextCodec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace schauplatz::metafile {
namespace {

constexpr std::uint32_t kEnhancedSignature = 0x464D4520; // " EMF"

Pen makePen(std::uint32_t style, double width, std::uint32_t color) {
    return Pen{(style & 0xF) == 5, width, Color32FromPlatform(color & 0xFFFFFF)};
}

Brush makeBrush(std::uint32_t style, std::uint32_t color, std::uint32_t hatch) {
    const TColor32 c = Color32FromPlatform(color & 0xFFFFFF);
    switch (style) {
    case 0:
        return {BrushKind::Solid, c, 0};
    case 2:
        return {BrushKind::Hatched, c, hatch};
    case 1:
        return {BrushKind::Null, 0, 0};
    default:
        return {BrushKind::Solid, 0xFF808080u, 0}; // patterns: a mid grey stands in
    }
}

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

class EnhancedPlayer {
public:
    EnhancedPlayer(MetafileCanvas& canvas) : m_canvas(canvas) {}
    // False ends the playing (end of file or a record that does not fit).
    bool play(const ByteReader& record, std::uint32_t type);

private:
    std::vector<FillPoint> points(const ByteReader& r, std::uint64_t offset, std::uint64_t count,
                                  bool small) const;
    bool polyPoly(const ByteReader& r, std::uint32_t type, bool small);
    void text(const ByteReader& r, bool wide);
    void bitmap(const ByteReader& r, std::uint32_t type);

    MetafileCanvas& m_canvas;
    // Bitmaps decode into one buffer, so a file of many large blits pays for its memory once.
    DecodedPicture m_bitmap;
};

std::vector<FillPoint> EnhancedPlayer::points(const ByteReader& r, std::uint64_t offset,
                                              std::uint64_t count, bool small) const {
    const std::uint64_t size = small ? 4 : 8;
    std::vector<FillPoint> out;
    if (count > r.size() / size || !r.has(offset, count * size)) return out;
    out.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = offset + i * size;
        if (small) {
            out.push_back({static_cast<double>(static_cast<std::int16_t>(r.u16(at))),
                           static_cast<double>(static_cast<std::int16_t>(r.u16(at + 2)))});
        } else {
            out.push_back({static_cast<double>(r.i32(at)), static_cast<double>(r.i32(at + 4))});
        }
    }
    return out;
}

bool EnhancedPlayer::polyPoly(const ByteReader& r, std::uint32_t type, bool small) {
    const std::uint64_t polys = r.u32(24);
    const std::uint64_t total = r.u32(28);
    if (polys > r.size() / 4 || !r.has(32, polys * 4)) return true;
    const std::vector<FillPoint> all = points(r, 32 + polys * 4, total, small);
    if (all.size() != total) return true;
    std::vector<std::vector<FillPoint>> lists;
    std::uint64_t at = 0;
    for (std::uint64_t i = 0; i < polys; ++i) {
        const std::uint64_t n = r.u32(32 + i * 4);
        if (n > total - at) return true;
        lists.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(at),
                           all.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    }
    if (type == 8 || type == 91) {
        m_canvas.polyPolygon(lists);
    } else {
        m_canvas.polyPolyline(lists);
    }
    return true;
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

void EnhancedPlayer::bitmap(const ByteReader& r, std::uint32_t type) {
    std::int32_t xDest = 0, yDest = 0, cxDest = 0, cyDest = 0, xSrc = 0, ySrc = 0, cxSrc = 0,
                 cySrc = 0;
    std::uint64_t offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
    std::uint32_t rop = 0;
    if (type == 81) { // StretchDIBits
        xDest = r.i32(24);
        yDest = r.i32(28);
        xSrc = r.i32(32);
        ySrc = r.i32(36);
        cxSrc = r.i32(40);
        cySrc = r.i32(44);
        offBmi = r.u32(48);
        cbBmi = r.u32(52);
        offBits = r.u32(56);
        cbBits = r.u32(60);
        rop = r.u32(68);
        cxDest = r.i32(72);
        cyDest = r.i32(76);
    } else { // BitBlt (76), StretchBlt (77)
        xDest = r.i32(24);
        yDest = r.i32(28);
        cxDest = r.i32(32);
        cyDest = r.i32(36);
        rop = r.u32(40);
        xSrc = r.i32(44);
        ySrc = r.i32(48);
        offBmi = r.u32(84);
        cbBmi = r.u32(88);
        offBits = r.u32(92);
        cbBits = r.u32(96);
        cxSrc = type == 77 ? r.i32(100) : cxDest;
        cySrc = type == 77 ? r.i32(104) : cyDest;
    }
    if (cbBmi == 0) {
        // No source: the raster operation fills with the brush or a constant.
        const double l = xDest, t = yDest, rr = l + cxDest, b = t + cyDest;
        if (rop == 0x00000042 || rop == 0x00FF0062) {
            Brush saved = m_canvas.dc().brush;
            m_canvas.dc().brush = {BrushKind::Solid, rop == 0x42 ? 0xFF000000u : 0xFFFFFFFFu, 0};
            m_canvas.patternFill(l, t, rr, b);
            m_canvas.dc().brush = saved;
        } else {
            m_canvas.patternFill(l, t, rr, b);
        }
        return;
    }
    if (!r.has(offBmi, cbBmi) || !r.has(offBits, cbBits)) return;
    const ByteSpan info =
        r.data().subspan(static_cast<std::size_t>(offBmi), static_cast<std::size_t>(cbBmi));
    const ByteSpan bits =
        r.data().subspan(static_cast<std::size_t>(offBits), static_cast<std::size_t>(cbBits));
    DecodedPicture& picture = m_bitmap;
    if (!decodeDibFor(m_canvas, info, bits, picture)) return;
    // StretchDIBits counts its source rows from the bottom of a bottom-up DIB.
    std::int64_t top = ySrc;
    if (type == 81 && !dibTopDown(info)) top = std::int64_t{picture.height} - ySrc - cySrc;
    top = std::clamp<std::int64_t>(top, INT32_MIN, INT32_MAX);
    m_canvas.drawBitmap(picture, xSrc, static_cast<std::int32_t>(top), cxSrc, cySrc, xDest, yDest,
                        cxDest, cyDest);
}

bool EnhancedPlayer::play(const ByteReader& r, std::uint32_t type) {
    MetafileCanvas& c = m_canvas;
    DeviceContext& dc = c.dc();
    auto pt = [&](std::uint64_t at) {
        return FillPoint{static_cast<double>(r.i32(at)), static_cast<double>(r.i32(at + 4))};
    };
    auto d = [&](std::uint64_t at) { return static_cast<double>(r.i32(at)); };
    switch (type) {
    case 14:
        return false; // EOF
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 85:
    case 86:
    case 87:
    case 88:
    case 89: {
        const bool small = type >= 85;
        const std::vector<FillPoint> p = points(r, 28, r.u32(24), small);
        if (p.size() != r.u32(24)) return true;
        switch (small ? type - 83 : type) {
        case 2:
            c.polyBezier(p);
            break;
        case 3:
            c.polyPolygon({p});
            break;
        case 4:
            c.polyline(p);
            break;
        case 5:
            c.polyBezierTo(p);
            break;
        case 6:
            c.polylineTo(p);
            break;
        default:
            break;
        }
        return true;
    }
    case 7:
    case 8:
        return polyPoly(r, type, false);
    case 90:
    case 91:
        return polyPoly(r, type, true);
    case 9:
        c.setWindowExt(d(8), d(12));
        return true;
    case 10:
        c.setWindowOrg(d(8), d(12));
        return true;
    case 11:
        c.setViewportExt(d(8), d(12));
        return true;
    case 12:
        c.setViewportOrg(d(8), d(12));
        return true;
    case 15:
        c.setPixel(pt(8), Color32FromPlatform(r.u32(16) & 0xFFFFFF));
        return true;
    case 17:
        c.setMapMode(r.i32(8));
        return true;
    case 18:
        dc.backOpaque = r.u32(8) == 2;
        return true;
    case 19:
        dc.fillRule = r.u32(8) == 2 ? FillRule::Winding : FillRule::Alternate;
        return true;
    case 22:
        dc.textAlign = r.u32(8);
        return true;
    case 24:
        dc.textColor = Color32FromPlatform(r.u32(8) & 0xFFFFFF);
        return true;
    case 25:
        dc.backColor = Color32FromPlatform(r.u32(8) & 0xFFFFFF);
        return true;
    case 27:
        c.moveTo(pt(8));
        return true;
    case 30:
        c.intersectClipRect(d(8), d(12), d(16), d(20));
        return true;
    case 33:
        c.saveDC();
        return true;
    case 34:
        c.restoreDC(r.i32(8));
        return true;
    case 35:
        c.setWorldTransform(readXform(r, 8));
        return true;
    case 36:
        c.modifyWorldTransform(readXform(r, 8), r.u32(32));
        return true;
    case 37: {
        const std::uint32_t index = r.u32(8);
        if (index & 0x80000000u) {
            c.selectStockObject(index & 0x7FFFFFFFu);
        } else if (index != 0) {
            c.selectObject(index);
        }
        return true;
    }
    case 38:
        if (r.u32(8) != 0) c.putObject(r.u32(8), makePen(r.u32(12), r.i32(16), r.u32(24)));
        return true;
    case 95: // ExtCreatePen: width and colour from the extended pen
        if (r.u32(8) != 0) c.putObject(r.u32(8), makePen(r.u32(28), r.u32(32), r.u32(40)));
        return true;
    case 39:
        if (r.u32(8) != 0) c.putObject(r.u32(8), makeBrush(r.u32(12), r.u32(16), r.u32(20)));
        return true;
    case 93:
    case 94: // mono and DIB pattern brushes
        if (r.u32(8) != 0) c.putObject(r.u32(8), makeBrush(3, 0, 0));
        return true;
    case 49: // palettes keep their slot
        if (r.u32(8) != 0) c.putObject(r.u32(8), std::monostate{});
        return true;
    case 82: {
        if (r.u32(8) == 0) return true;
        Font font;
        font.height = r.i32(12);
        font.weight = r.i32(28);
        font.italic = r.u8(32) != 0;
        for (std::uint64_t i = 0; i < 32; ++i) {
            const std::uint16_t ch = r.u16(40 + i * 2);
            if (ch == 0) break;
            appendUtf8(font.family, ch, Surrogate::Encode); // unit by unit: pairs stay apart
        }
        c.putObject(r.u32(8), font);
        return true;
    }
    case 40:
        c.deleteObject(r.u32(8));
        return true;
    case 42:
        c.ellipse(d(8), d(12), d(16), d(20));
        return true;
    case 43:
        c.rectangle(d(8), d(12), d(16), d(20));
        return true;
    case 44:
        c.roundRect(d(8), d(12), d(16), d(20), d(24), d(28));
        return true;
    case 45:
    case 46:
    case 47: {
        const auto kind = type == 45   ? MetafileCanvas::ArcKind::Arc
                          : type == 46 ? MetafileCanvas::ArcKind::Chord
                                       : MetafileCanvas::ArcKind::Pie;
        c.arc(kind, d(8), d(12), d(16), d(20), pt(24), pt(32));
        return true;
    }
    case 54:
        c.lineTo(pt(8));
        return true;
    case 57:
        dc.arcClockwise = r.u32(8) == 2;
        return true;
    case 59:
        c.beginPath();
        return true;
    case 60:
        c.endPath();
        return true;
    case 61:
        c.closeFigure();
        return true;
    case 62:
        c.fillPath();
        return true;
    case 63:
        c.strokeAndFillPath();
        return true;
    case 64:
        c.strokePath();
        return true;
    case 67:
        c.selectClipPath();
        return true;
    case 68:
        c.abortPath();
        return true;
    case 75: { // ExtSelectClipRgn: the region's bounds in device pixels
        const std::uint32_t size = r.u32(8);
        const std::uint32_t mode = r.u32(12);
        if (size == 0 || !r.has(16, 32)) {
            if (mode == 5) c.resetClip();
            return true;
        }
        const TRect bound{r.i32(32), r.i32(36), r.i32(40), r.i32(44)};
        if (mode == 5) c.resetClip();
        if (mode == 5 || mode == 1) c.intersectClipDevice(bound);
        return true;
    }
    case 76:
    case 77:
    case 81:
        bitmap(r, type);
        return true;
    case 83:
        text(r, false);
        return true;
    case 84:
        text(r, true);
        return true;
    default:
        return true; // unknown and unneeded records are skipped
    }
}

} // namespace

bool playEnhanced(ByteSpan data, TColor32 background, DecodedPicture& out, MetafilePlay& play) {
    const ByteReader file(data);
    if (!file.has(0, 88) || file.u32(0) != 1 || file.u32(40) != kEnhancedSignature) return false;
    const std::uint64_t headerSize = file.u32(4);
    if (headerSize < 88 || !file.has(0, headerSize)) return false;
    const double boundsL = file.i32(8), boundsT = file.i32(12), boundsR = file.i32(16),
                 boundsB = file.i32(20);
    const double frameL = file.i32(24), frameT = file.i32(28), frameR = file.i32(32),
                 frameB = file.i32(36);
    const double devW = file.i32(72), devH = file.i32(76), mmW = file.i32(80), mmH = file.i32(84);
    const std::size_t handles = file.u16(56);
    // Reference device pixels per 0.01 mm.
    const bool deviceKnown = devW > 0 && devH > 0 && mmW > 0 && mmH > 0;
    const double perHundredthX = deviceKnown ? devW / (mmW * 100.0) : 96.0 / 2540.0;
    const double perHundredthY = deviceKnown ? devH / (mmH * 100.0) : 96.0 / 2540.0;

    std::int64_t width = 0, height = 0;
    Xform deviceToPicture;
    if (frameR > frameL && frameB > frameT) {
        width = hundredthsMmToPixels(frameR - frameL);
        height = hundredthsMmToPixels(frameB - frameT);
        const double frameDevL = frameL * perHundredthX, frameDevT = frameT * perHundredthY;
        const double frameDevW = (frameR - frameL) * perHundredthX;
        const double frameDevH = (frameB - frameT) * perHundredthY;
        deviceToPicture.m11 = static_cast<double>(width) / frameDevW;
        deviceToPicture.m22 = static_cast<double>(height) / frameDevH;
        deviceToPicture.dx = -frameDevL * deviceToPicture.m11;
        deviceToPicture.dy = -frameDevT * deviceToPicture.m22;
    } else {
        // No frame: the bounds, in device pixels with both edges inside.
        width = static_cast<std::int64_t>(boundsR - boundsL) + 1;
        height = static_cast<std::int64_t>(boundsB - boundsT) + 1;
        deviceToPicture.dx = -boundsL;
        deviceToPicture.dy = -boundsT;
    }
    if (!metafileSizeAllowed(width, height)) return false;

    MetafileCanvas canvas(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                          background);
    canvas.setDeviceTransform(deviceToPicture, perHundredthX * 100.0, perHundredthY * 100.0);
    canvas.resizeObjectTable(std::max<std::size_t>(handles, 1));
    EnhancedPlayer player(canvas);
    std::uint64_t offset = headerSize;
    play = MetafilePlay{};
    try {
        while (file.has(offset, 8)) {
            const std::uint32_t type = file.u32(offset);
            const std::uint64_t size = file.u32(offset + 4);
            if (size < 8 || size % 4 != 0 || !file.has(offset, size)) break;
            if (play.Records == kMaxMetafileRecords) {
                play.Stopped = true;
                break;
            }
            const ByteReader record(
                data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size)));
            canvas.chargeWork(kRecordWork);
            ++play.Records;
            if (!player.play(record, type)) break;
            offset += size;
        }
    } catch (const DrawingBudgetExhausted&) {
        // The drawing so far stays; the rest of the file would cost more than it may.
        play.Stopped = true;
    }
    out.width = canvas.width();
    out.height = canvas.height();
    out.pixels = canvas.takePixels();
    return true;
}

} // namespace schauplatz::metafile
