#include "elements/codecs/IconCodec.h"

#include "elements/codecs/BmpCodec.h"
#include "elements/codecs/PngCodec.h"

#include <algorithm>
#include <vector>

namespace schauplatz {
namespace {

constexpr std::uint64_t kDirectoryHeader = 6;
constexpr std::uint64_t kDirectoryEntry = 16;
// Entries are tried largest first until one decodes. A try costs its entry's area and bytes;
// all tries together may cost four times the largest entry's area, twice the file and 2^16
// more, so a directory of thousands of entries that all fail (overlapping, or lying about
// their size) ends after a few instead of decoding each.
constexpr std::int64_t kTryAreaFactor = 4;
constexpr std::int64_t kTryBytesFactor = 2;
constexpr std::int64_t kTryAllowance = 1 << 16;

struct IconEntry {
    ByteSpan data;
    bool png = false;
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bitsPerPixel = 0;
};

// Remembers where the decoder put the pixels so the alpha can be fixed in place.
class RecordingTarget : public PixelTarget {
public:
    explicit RecordingTarget(PixelTarget& inner) : m_inner(inner) {}
    TColor32* allocate(std::int32_t width, std::int32_t height) override {
        m_pixels = m_inner.allocate(width, height);
        m_count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        return m_pixels;
    }
    TColor32* pixels() const { return m_pixels; }
    std::size_t count() const { return m_count; }

private:
    PixelTarget& m_inner;
    TColor32* m_pixels = nullptr;
    std::size_t m_count = 0;
};

std::vector<IconEntry> readDirectory(ByteSpan file) {
    const ByteReader in(file);
    std::vector<IconEntry> entries;
    if (!in.has(0, kDirectoryHeader) || in.u16(0) != 0) return entries;
    const std::uint16_t type = in.u16(2);
    if (type != 1 && type != 2) return entries;
    const std::uint16_t count = in.u16(4);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint64_t at = kDirectoryHeader + i * kDirectoryEntry;
        if (!in.has(at, kDirectoryEntry)) break;
        const std::uint64_t size = in.u32(at + 8);
        const std::uint64_t offset = in.u32(at + 12);
        if (offset >= file.size()) continue;
        // An entry that claims more than the file holds is cut at its end and
        // left to its decoder to accept or refuse.
        IconEntry entry;
        entry.data = file.subspan(offset, std::min<std::uint64_t>(size, file.size() - offset));
        entry.png = looksLikePng(entry.data);
        const bool known =
            entry.png
                ? peekPngSize(entry.data, entry.width, entry.height, entry.bitsPerPixel)
                : peekDibSize(entry.data, true, entry.width, entry.height, entry.bitsPerPixel);
        if (known && pictureSizeAllowed(entry.width, entry.height)) entries.push_back(entry);
    }
    return entries;
}

// Over white, a masked pixel shows white XOR its colour; unmasked pixels show their colour.
void applyAndMask(const RecordingTarget& target, const std::vector<std::uint8_t>& mask) {
    TColor32* pixels = target.pixels();
    for (std::size_t i = 0; i < target.count(); ++i) {
        const bool masked = !mask.empty() && mask[i] != 0;
        pixels[i] = masked ? (pixels[i] ^ 0x00FFFFFFu) & 0x00FFFFFFu : pixels[i] | 0xFF000000u;
    }
}

bool decodeEntry(const IconEntry& entry, PixelTarget& inner) {
    RecordingTarget target(inner);
    if (entry.png) return decodePng(entry.data, target, PngAlpha::Keep);
    const auto dib = decodeIconDib(entry.data, target);
    if (!dib) return false;
    const bool anyAlpha =
        dib->bitsPerPixel == 32 && std::any_of(target.pixels(), target.pixels() + target.count(),
                                               [](TColor32 c) { return (c >> 24) != 0; });
    if (!anyAlpha) applyAndMask(target, dib->andMask);
    return true;
}

} // namespace

bool decodeIcon(ByteSpan file, PixelTarget& target) {
    std::vector<IconEntry> entries = readDirectory(file);
    std::stable_sort(entries.begin(), entries.end(), [](const IconEntry& a, const IconEntry& b) {
        const std::int64_t areaA = a.width * a.height;
        const std::int64_t areaB = b.width * b.height;
        if (areaA != areaB) return areaA > areaB;
        return a.bitsPerPixel > b.bitsPerPixel;
    });
    if (entries.empty()) return false;
    std::int64_t budget = kTryAreaFactor * entries.front().width * entries.front().height +
                          kTryBytesFactor * static_cast<std::int64_t>(file.size()) + kTryAllowance;
    for (const IconEntry& entry : entries) {
        budget -= entry.width * entry.height + static_cast<std::int64_t>(entry.data.size());
        if (budget < 0) break;
        if (decodeEntry(entry, target)) return true;
    }
    return false;
}

} // namespace schauplatz
