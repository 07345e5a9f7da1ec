// The thumbnail size rule and the header-only size read.

#include "elements/Thumbnail.h"
#include "elements/ThumbnailFile.h"
#include "elements/codecs/HeifCodec.h"
#include "elements/codecs/WebpCodec.h"

#include <algorithm>

namespace schauplatz {

namespace {

// num / den rounded to nearest, exact halves to the even neighbour (num >= 0, den > 0).
std::int64_t divideRoundHalfEven(std::int64_t num, std::int64_t den) {
    const std::int64_t quotient = num / den;
    const std::int64_t twiceRest = (num % den) * 2;
    if (twiceRest > den || (twiceRest == den && (quotient & 1) != 0)) return quotient + 1;
    return quotient;
}

std::uint32_t be16(ByteSpan data, std::size_t at) {
    return (static_cast<std::uint32_t>(data[at]) << 8) | data[at + 1];
}

std::uint32_t be32(ByteSpan data, std::size_t at) {
    return (be16(data, at) << 16) | be16(data, at + 2);
}

using Declared = std::optional<DeclaredPictureSize>;

Declared declaredSize(std::int64_t width, std::int64_t height) {
    return DeclaredPictureSize{width, height};
}

// Walks the marker segments up to the first start-of-frame (SOF0..SOF15 but
// not DHT, JPG and DAC, which share the code range). Scan data is never
// entered: a start of scan before any frame header means there is none.
Declared jpegFrameSize(ByteSpan data) {
    std::size_t at = 2;
    while (at + 1 < data.size()) {
        if (data[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // no length field
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt; // end, or scan before frame
        if (at + 4 > data.size()) return std::nullopt;
        const std::size_t length = be16(data, at + 2);
        if (length < 2) return std::nullopt;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || at + 9 > data.size()) return std::nullopt;
            return declaredSize(be16(data, at + 7), be16(data, at + 5));
        }
        at += 2 + length;
    }
    return std::nullopt;
}

Declared pngHeaderSize(ByteSpan data) {
    static constexpr std::uint8_t kIhdr[4] = {'I', 'H', 'D', 'R'};
    if (data.size() < 24 || !std::equal(kIhdr, kIhdr + 4, data.begin() + 12)) return std::nullopt;
    return declaredSize(be32(data, 16), be32(data, 20));
}

// Core headers (12 bytes) hold 16-bit sizes; every later header 32-bit ones,
// a negative height meaning rows stored top-down.
Declared bmpInfoHeaderSize(ByteSpan data) {
    const ByteReader reader(data);
    if (!reader.has(14, 4)) return std::nullopt;
    const std::uint32_t headerSize = reader.u32(14);
    if (headerSize == 12) {
        if (!reader.has(18, 4)) return std::nullopt;
        return declaredSize(reader.u16(18), reader.u16(20));
    }
    if (headerSize < 16 || !reader.has(18, 8)) return std::nullopt;
    const std::int64_t height = reader.i32(22);
    return declaredSize(reader.i32(18), height < 0 ? -height : height);
}

} // namespace

PictureSize FitThumbnailSize(PictureSize picture, PictureSize area) {
    if (picture.Width <= 0 || picture.Height <= 0 || area.Width <= 0 || area.Height <= 0) return {};
    const std::int64_t pw = picture.Width, ph = picture.Height;
    const std::int64_t aw = area.Width, ah = area.Height;
    if (pw * ah >= ph * aw) { // the width limits
        const auto height = std::max<std::int64_t>(1, divideRoundHalfEven(ph * aw, pw));
        return {area.Width, static_cast<std::int32_t>(std::min(height, ah))};
    }
    const auto width = std::max<std::int64_t>(1, divideRoundHalfEven(pw * ah, ph));
    return {static_cast<std::int32_t>(std::min(width, aw)), area.Height};
}

std::optional<DeclaredPictureSize> PictureHeaderDeclaredSize(ByteSpan data) {
    if (data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return jpegFrameSize(data);
    static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, data.begin()))
        return pngHeaderSize(data);
    if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') return bmpInfoHeaderSize(data);
    std::int64_t width = 0, height = 0;
    if (looksLikeWebp(data) && peekWebpSize(data, width, height))
        return DeclaredPictureSize{width, height};
    if (looksLikeHeif(data) && peekHeifSize(data, width, height))
        return DeclaredPictureSize{width, height};
    return std::nullopt;
}

std::optional<PictureSize> PictureHeaderSize(ByteSpan data) {
    const auto declared = PictureHeaderDeclaredSize(data);
    if (!declared || !pictureSizeAllowed(declared->Width, declared->Height)) return std::nullopt;
    return PictureSize{static_cast<std::int32_t>(declared->Width),
                       static_cast<std::int32_t>(declared->Height)};
}

std::optional<PictureSize> ReadPictureHeaderSize(const std::string& path) {
    const auto bytes = ReadThumbnailSource(path);
    if (!bytes) return std::nullopt;
    return PictureHeaderSize(*bytes);
}

} // namespace schauplatz
