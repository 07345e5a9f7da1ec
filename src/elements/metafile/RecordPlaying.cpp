#include "elements/metafile/RecordPlaying.h"

#include <algorithm>
#include <climits>

namespace schauplatz::metafile {

TColor32 recordColor(std::uint32_t value) {
    return Color32FromPlatform(value & 0xFFFFFF);
}

Pen recordPen(std::uint32_t style, double width, TColor32 color) {
    return Pen{(style & 0xF) == 5, width, color};
}

Brush patternBrush() {
    return {BrushKind::Solid, 0xFF808080u, 0};
}

Brush recordBrush(std::uint32_t style, TColor32 color, std::uint32_t hatch) {
    switch (style) {
    case 0:
        return {BrushKind::Solid, color, 0};
    case 1:
        return {BrushKind::Null, 0, 0};
    case 2:
        return {BrushKind::Hatched, color, hatch};
    default:
        return patternBrush();
    }
}

std::vector<FillPoint> readPoints16(const ByteReader& r, std::uint64_t offset,
                                    std::uint64_t count) {
    std::vector<FillPoint> out;
    if (count > r.size() / 4 || !r.has(offset, count * 4)) return out;
    out.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = offset + i * 4;
        out.push_back({static_cast<double>(static_cast<std::int16_t>(r.u16(at))),
                       static_cast<double>(static_cast<std::int16_t>(r.u16(at + 2)))});
    }
    return out;
}

void fillWithoutSource(MetafileCanvas& canvas, const BlitRecord& blit) {
    constexpr std::uint32_t kBlackness = 0x00000042, kWhiteness = 0x00FF0062;
    const double l = blit.xDest, t = blit.yDest;
    const double r = l + blit.cxDest, b = t + blit.cyDest;
    if (blit.rop != kBlackness && blit.rop != kWhiteness) {
        canvas.patternFill(l, t, r, b);
        return;
    }
    const Brush saved = canvas.dc().brush;
    canvas.dc().brush = {BrushKind::Solid, blit.rop == kBlackness ? 0xFF000000u : 0xFFFFFFFFu, 0};
    canvas.patternFill(l, t, r, b);
    canvas.dc().brush = saved;
}

void drawBlit(MetafileCanvas& canvas, const DecodedPicture& bitmap, const BlitRecord& blit,
              bool rowsFromBottom) {
    std::int64_t top = blit.ySrc;
    if (rowsFromBottom) top = std::int64_t{bitmap.height} - blit.ySrc - blit.cySrc;
    top = std::clamp<std::int64_t>(top, INT32_MIN, INT32_MAX);
    canvas.drawBitmap(bitmap, blit.xSrc, static_cast<std::int32_t>(top), blit.cxSrc, blit.cySrc,
                      blit.xDest, blit.yDest, blit.cxDest, blit.cyDest);
}

void takePicture(MetafileCanvas& canvas, DecodedPicture& out) {
    out.width = canvas.width();
    out.height = canvas.height();
    out.pixels = canvas.takePixels();
}

} // namespace schauplatz::metafile
