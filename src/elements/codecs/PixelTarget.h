#pragma once

// Where a picture decoder puts its pixels. Decoders learn the picture's size
// from the file, check it against the limits below and only then ask the
// target for memory, so a lying header never causes a huge allocation. The
// target hands out one contiguous block of width * height colours, rows top
// to bottom without padding: the layout of a 32-bit picture in memory, so a
// decoder can write straight into the picture that will show it.

#include "raster/Color32.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace schauplatz {

// The decoders write the bytes blue, green, red, alpha, which is TColor32 only
// on a little-endian processor.
static_assert(std::endian::native == std::endian::little,
              "picture decoders assume little-endian colours");

inline constexpr std::int64_t kMaxPictureSide = 65535;
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 28;

// True when a picture of this size may be allocated: both sides positive, no
// side above 65535 and no more than 2^28 pixels (1 GiB of colours). Works on
// 64-bit values so that any header field can be passed without overflow.
constexpr bool pictureSizeAllowed(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

class PixelTarget {
public:
    virtual ~PixelTarget() = default;
    // Returns width * height colours (contents unspecified) for the decoder to
    // fill. Only called with a size that pictureSizeAllowed accepts. May throw
    // std::bad_alloc. A decoder that fails after allocating leaves the block
    // in an unspecified state; callers then discard it.
    virtual TColor32* allocate(std::int32_t width, std::int32_t height) = 0;
};

// A picture in plain memory: the decoders' result when no bitmap is at hand
// (icons pick one entry, tests compare pixels).
struct DecodedPicture : PixelTarget {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<TColor32> pixels;

    TColor32* allocate(std::int32_t newWidth, std::int32_t newHeight) override {
        pixels.assign(static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight), 0u);
        width = newWidth;
        height = newHeight;
        return pixels.data();
    }
    TColor32 at(std::int32_t x, std::int32_t y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

using ByteSpan = std::span<const std::uint8_t>;

// Bounds-checked little-endian reads from a byte block; every accessor of a
// file header goes through these so that a short file can never be read past
// its end.
class ByteReader {
public:
    explicit ByteReader(ByteSpan data) : m_data(data) {}
    std::size_t size() const { return m_data.size(); }
    bool has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= m_data.size() && count <= m_data.size() - offset;
    }
    // Callers check has() first; out-of-range reads give 0 rather than touch memory.
    std::uint8_t u8(std::uint64_t offset) const { return has(offset, 1) ? m_data[offset] : 0; }
    std::uint16_t u16(std::uint64_t offset) const {
        if (!has(offset, 2)) return 0;
        return static_cast<std::uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
    }
    std::uint32_t u32(std::uint64_t offset) const {
        if (!has(offset, 4)) return 0;
        return static_cast<std::uint32_t>(m_data[offset]) |
               (static_cast<std::uint32_t>(m_data[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(m_data[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(m_data[offset + 3]) << 24);
    }
    std::int32_t i32(std::uint64_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
    ByteSpan data() const { return m_data; }

private:
    ByteSpan m_data;
};

} // namespace schauplatz
