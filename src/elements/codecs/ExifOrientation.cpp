#include "elements/codecs/ExifOrientation.h"

#include <cstring>

namespace schauplatz {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::size_t kEntryBytes = 12;

// Reads 16- and 32-bit values in the TIFF structure's byte order, bounds-checked.
class TiffReader {
public:
    TiffReader(ByteSpan data, bool bigEndian) : m_data(data), m_bigEndian(bigEndian) {}
    bool has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= m_data.size() && count <= m_data.size() - offset;
    }
    std::uint32_t u16(std::uint64_t at) const {
        if (!has(at, 2)) return 0;
        const std::uint32_t a = m_data[at], b = m_data[at + 1];
        return m_bigEndian ? (a << 8) | b : (b << 8) | a;
    }
    std::uint32_t u32(std::uint64_t at) const {
        if (!has(at, 4)) return 0;
        const std::uint32_t low = u16(at), high = u16(at + 2);
        return m_bigEndian ? (low << 16) | high : (high << 16) | low;
    }

private:
    ByteSpan m_data;
    bool m_bigEndian;
};

std::uint32_t be16(ByteSpan data, std::size_t at) {
    return (static_cast<std::uint32_t>(data[at]) << 8) | data[at + 1];
}

} // namespace

std::optional<ExifOrientation> findTiffOrientation(ByteSpan tiff) {
    if (tiff.size() < 8) return std::nullopt;
    bool bigEndian = false;
    if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else if (tiff[0] != 'I' || tiff[1] != 'I')
        return std::nullopt;
    const TiffReader reader(tiff, bigEndian);
    if (reader.u16(2) != 42) return std::nullopt;
    const std::uint64_t ifd = reader.u32(4);
    // The directory lies after the 8-byte header; its count and entries inside the data.
    if (ifd < 8 || !reader.has(ifd, 2)) return std::nullopt;
    const std::uint64_t count = reader.u16(ifd);
    if (!reader.has(ifd + 2, count * kEntryBytes)) return std::nullopt;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = ifd + 2 + i * kEntryBytes;
        if (reader.u16(entry) != kOrientationTag) continue;
        const std::uint32_t type = reader.u16(entry + 2);
        const std::uint32_t items = reader.u32(entry + 4);
        if (items < 1 || (type != kTypeShort && type != kTypeLong)) return std::nullopt;
        const std::uint32_t value =
            type == kTypeShort ? reader.u16(entry + 8) : reader.u32(entry + 8);
        if (value < 1 || value > 8) return std::nullopt;
        return ExifOrientation{static_cast<int>(value), static_cast<std::size_t>(entry + 8),
                               type == kTypeShort ? 2u : 4u, bigEndian};
    }
    return std::nullopt;
}

std::optional<ExifOrientation> findJpegOrientation(ByteSpan jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
    static constexpr std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    std::size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2; // no length field
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return std::nullopt; // scan or end: no tag
        const std::size_t length = be16(jpeg, at + 2);
        if (length < 2 || length > jpeg.size() - at - 2) return std::nullopt;
        const std::size_t body = at + 4;
        const std::size_t bodyBytes = length - 2;
        if (marker == 0xE1 && bodyBytes >= sizeof kExif &&
            std::memcmp(jpeg.data() + body, kExif, sizeof kExif) == 0) {
            const std::size_t tiffStart = body + sizeof kExif;
            auto found = findTiffOrientation(jpeg.subspan(tiffStart, bodyBytes - sizeof kExif));
            if (found) found->valueOffset += tiffStart;
            return found; // only the first EXIF block counts
        }
        at = body + bodyBytes;
    }
    return std::nullopt;
}

int jpegOrientation(ByteSpan jpeg) {
    const auto found = findJpegOrientation(jpeg);
    return found ? found->value : 1;
}

} // namespace schauplatz
