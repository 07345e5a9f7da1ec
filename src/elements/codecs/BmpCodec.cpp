#include "elements/codecs/BmpCodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace schauplatz {
namespace {

static_assert(std::endian::native == std::endian::little,
              "32-bit BMP rows are copied as they lie in memory");

enum : std::uint32_t {
    kCompressionNone = 0,
    kCompressionRle8 = 1,
    kCompressionRle4 = 2,
    kCompressionBitFields = 3,
    kCompressionAlphaBitFields = 6,
};

constexpr std::uint64_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// Longer headers than the largest known one (124 bytes) are accepted as long
// as the file holds them; this bounds what a lying size field can claim.
constexpr std::uint32_t kMaxHeaderSize = 4096;

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        bits = std::bit_width(m >> shift);
    }
    std::uint32_t extract(std::uint32_t value) const {
        return widenChannel((value & mask) >> shift, bits);
    }
};

// Everything the header says about where and how the pixels are stored.
struct DibLayout {
    std::int64_t width = 0;
    std::int64_t height = 0; // rows of the picture (an icon's colour rows only)
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = kCompressionNone;
    bool bitFields = false;
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha
    std::uint64_t paletteOffset = 0;      // first palette entry (after header and masks)
    std::uint32_t paletteEntrySize = 4;
    std::uint32_t paletteCount = 0;  // entries used by palette pictures
    std::uint64_t naturalPixels = 0; // pixels right after the declared palette
};

// Header fields that only decide the layout.
struct DibHeader {
    std::uint32_t size = 0;
    std::uint32_t coloursUsed = 0;
    std::int64_t storedHeight = 0; // negative for top-down rows
    std::uint64_t maskBytes = 0;   // bit-field masks stored after a 40-byte header
};

// The 16..124 byte headers (and longer ones): size, depth, compression, masks.
bool readInfoHeader(const ByteReader& in, std::uint64_t start, DibHeader& header,
                    DibLayout& layout) {
    const std::uint32_t headerSize = header.size;
    layout.width = in.i32(start + 4);
    header.storedHeight = in.i32(start + 8);
    layout.bitsPerPixel = in.u16(start + 14);
    layout.compression = headerSize >= 20 ? in.u32(start + 16) : kCompressionNone;
    header.coloursUsed = headerSize >= 36 ? in.u32(start + 32) : 0;
    // The two-dimensional (16..64 byte) headers number their compressions
    // differently above RLE4; those are Huffman and RLE24, which we lack.
    const bool twoDimensional = headerSize == 64 || headerSize < kInfoHeaderSize;
    if (twoDimensional && layout.compression > kCompressionRle4) return false;
    if (headerSize >= 52) {
        for (int i = 0; i < 3; ++i)
            layout.masks[i] = in.u32(start + 40 + 4 * i);
    }
    if (headerSize >= 56) layout.masks[3] = in.u32(start + 52);
    if (headerSize == kInfoHeaderSize && layout.compression == kCompressionBitFields) {
        header.maskBytes = 12;
    } else if (headerSize == kInfoHeaderSize && layout.compression == kCompressionAlphaBitFields) {
        header.maskBytes = 16;
    }
    if (header.maskBytes != 0) {
        if (!in.has(start + headerSize, header.maskBytes)) return false;
        for (std::uint64_t i = 0; i < header.maskBytes / 4; ++i) {
            layout.masks[i] = in.u32(start + headerSize + 4 * i);
        }
    }
    return true;
}

bool readHeader(const ByteReader& in, std::uint64_t start, DibHeader& header, DibLayout& layout) {
    if (!in.has(start, 4)) return false;
    header.size = in.u32(start);
    if (header.size < kCoreHeaderSize || header.size > kMaxHeaderSize) return false;
    if (!in.has(start, header.size)) return false;
    if (header.size == kCoreHeaderSize) {
        layout.width = in.u16(start + 4);
        header.storedHeight = in.u16(start + 6);
        layout.bitsPerPixel = in.u16(start + 10);
        layout.paletteEntrySize = 3;
        return true;
    }
    return header.size >= 16 && readInfoHeader(in, start, header, layout);
}

// Depths and compressions we read, and the masks that apply to them.
bool checkEncoding(DibLayout& layout) {
    const int bpp = layout.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    switch (layout.compression) {
    case kCompressionNone:
        break;
    case kCompressionRle8:
        if (bpp != 8 || layout.topDown) return false;
        break;
    case kCompressionRle4:
        if (bpp != 4 || layout.topDown) return false;
        break;
    case kCompressionBitFields:
    case kCompressionAlphaBitFields:
        if (bpp != 16 && bpp != 32) return false;
        layout.bitFields = true;
        break;
    default:
        return false;
    }
    if (!layout.bitFields) {
        // Without bit fields, masks stored in a long header do not apply.
        layout.masks = bpp == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                 : std::array<std::uint32_t, 4>{};
    }
    return true;
}

void placePalette(std::uint64_t start, const DibHeader& header, bool icon, DibLayout& layout) {
    const int bpp = layout.bitsPerPixel;
    layout.paletteOffset = start + header.size + header.maskBytes;
    const std::uint32_t fullPalette = bpp <= 8 ? (1u << bpp) : 0;
    if (bpp <= 8) {
        layout.paletteCount = (header.coloursUsed == 0 || header.coloursUsed > fullPalette ||
                               header.size == kCoreHeaderSize)
                                  ? fullPalette
                                  : header.coloursUsed;
    }
    // Pictures above 8 bits may carry an optional palette before the pixels.
    const std::uint64_t declaredEntries =
        bpp <= 8 ? layout.paletteCount
                 : (icon ? 0 : std::min<std::uint32_t>(header.coloursUsed, 256));
    layout.naturalPixels = layout.paletteOffset + declaredEntries * layout.paletteEntrySize;
}

bool parseDib(const ByteReader& in, std::uint64_t start, bool icon, DibLayout& layout) {
    DibHeader header;
    if (!readHeader(in, start, header, layout)) return false;
    layout.topDown = header.storedHeight < 0;
    layout.height = header.storedHeight < 0 ? -header.storedHeight : header.storedHeight;
    if (icon) layout.height /= 2;
    if (!checkEncoding(layout)) return false;
    if (!pictureSizeAllowed(layout.width, layout.height)) return false;
    placePalette(start, header, icon, layout);
    return true;
}

// Palette entries that lie completely before `limit`; the rest stay opaque black.
std::array<TColor32, 256> readPalette(const ByteReader& in, const DibLayout& layout,
                                      std::uint64_t limit) {
    std::array<TColor32, 256> palette;
    palette.fill(clBlack32);
    for (std::uint32_t i = 0; i < layout.paletteCount; ++i) {
        const std::uint64_t at = layout.paletteOffset + std::uint64_t{i} * layout.paletteEntrySize;
        if (at + layout.paletteEntrySize > limit || !in.has(at, layout.paletteEntrySize)) break;
        palette[i] = Color32(in.u8(at + 2), in.u8(at + 1), in.u8(at));
    }
    return palette;
}

std::uint64_t rowStride(const DibLayout& layout) {
    return (static_cast<std::uint64_t>(layout.width) * layout.bitsPerPixel + 31) / 32 * 4;
}

void decodeRow(const std::uint8_t* row, const DibLayout& layout,
               const std::array<TColor32, 256>& palette, TColor32* out) {
    const auto width = static_cast<std::size_t>(layout.width);
    switch (layout.bitsPerPixel) {
    case 1:
        for (std::size_t x = 0; x < width; ++x)
            out[x] = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    case 4:
        for (std::size_t x = 0; x < width; ++x) {
            out[x] = palette[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)];
        }
        break;
    case 8:
        for (std::size_t x = 0; x < width; ++x)
            out[x] = palette[row[x]];
        break;
    case 16: {
        const Channel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]);
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
            out[x] = Color32(red.extract(v), green.extract(v), blue.extract(v));
        }
        break;
    }
    case 24:
        for (std::size_t x = 0; x < width; ++x) {
            out[x] = Color32(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        }
        break;
    case 32:
        if (!layout.bitFields) {
            std::memcpy(out, row, width * 4); // blue, green, red, alpha as stored
        } else {
            const Channel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]),
                alpha(layout.masks[3]);
            for (std::size_t x = 0; x < width; ++x) {
                std::uint32_t v;
                std::memcpy(&v, row + 4 * x, 4);
                out[x] = Color32(red.extract(v), green.extract(v), blue.extract(v),
                                 alpha.mask ? alpha.extract(v) : 255);
            }
        }
        break;
    default:
        break;
    }
}

bool decodeUncompressed(const ByteReader& in, const DibLayout& layout, std::uint64_t pixelOffset,
                        const std::array<TColor32, 256>& palette, PixelTarget& target) {
    const std::uint64_t stride = rowStride(layout);
    const auto height = static_cast<std::uint64_t>(layout.height);
    // The last row may lack its padding; everything before it must be there.
    const std::uint64_t lastRow =
        (static_cast<std::uint64_t>(layout.width) * layout.bitsPerPixel + 7) / 8;
    if (!in.has(pixelOffset, stride * (height - 1) + lastRow)) return false;
    const auto width = static_cast<std::size_t>(layout.width);
    TColor32* pixels = target.allocate(static_cast<std::int32_t>(layout.width),
                                       static_cast<std::int32_t>(layout.height));
    const std::uint8_t* base = in.data().data() + pixelOffset;
    for (std::uint64_t y = 0; y < height; ++y) {
        const std::uint64_t stored = layout.topDown ? y : height - 1 - y;
        decodeRow(base + stored * stride, layout, palette, pixels + y * width);
    }
    return true;
}

// RLE8/RLE4: pairs of bytes; a non-zero count repeats a value, a zero count
// introduces an escape (end of line, end of bitmap, delta, literal run).
void decodeRle(const ByteReader& in, const DibLayout& layout, std::uint64_t pixelOffset,
               const std::array<TColor32, 256>& palette, PixelTarget& target) {
    const std::int64_t width = layout.width;
    const std::int64_t height = layout.height;
    TColor32* pixels =
        target.allocate(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    std::fill_n(pixels, static_cast<std::size_t>(width * height), clBlack32);
    const bool rle4 = layout.compression == kCompressionRle4;

    std::int64_t x = 0;
    std::int64_t y = 0; // counted from the bottom row, as stored
    auto put = [&](std::uint32_t index) {
        if (x < width) pixels[(height - 1 - y) * width + x] = palette[index & 0xFF];
        ++x;
    };
    std::uint64_t pos = pixelOffset;
    while (y < height && in.has(pos, 2)) {
        const std::uint32_t count = in.u8(pos);
        const std::uint32_t value = in.u8(pos + 1);
        pos += 2;
        if (count > 0) {
            for (std::uint32_t i = 0; i < count && x < width; ++i) {
                put(rle4 ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
            }
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (!in.has(pos, 2)) break;
            x += in.u8(pos);
            y += in.u8(pos + 1);
            pos += 2;
        } else { // literal run of `value` pixels, padded to a 16-bit boundary
            const std::uint64_t bytes = rle4 ? (value + 1) / 2 : value;
            for (std::uint32_t i = 0; i < value && x < width; ++i) {
                const std::uint64_t at = pos + (rle4 ? i / 2 : i);
                if (!in.has(at, 1)) break;
                const std::uint32_t byte = in.u8(at);
                put(rle4 ? ((i & 1) ? (byte & 0x0F) : (byte >> 4)) : byte);
            }
            pos += bytes + (bytes & 1);
        }
    }
}

bool decodePixels(const ByteReader& in, const DibLayout& layout, std::uint64_t pixelOffset,
                  std::uint64_t paletteLimit, PixelTarget& target) {
    const auto palette = readPalette(in, layout, paletteLimit);
    if (layout.compression == kCompressionRle8 || layout.compression == kCompressionRle4) {
        decodeRle(in, layout, pixelOffset, palette, target);
        return true;
    }
    return decodeUncompressed(in, layout, pixelOffset, palette, target);
}

} // namespace

namespace {

// The layout of a BMP file and where its pixels start; false when it is none.
bool parseBmpFile(const ByteReader& in, DibLayout& layout, std::uint64_t& pixelOffset) {
    if (!in.has(0, kFileHeaderSize) || in.u8(0) != 'B' || in.u8(1) != 'M') return false;
    if (!parseDib(in, kFileHeaderSize, false, layout)) return false;
    // The file header's offset wins when it is plausible; a short palette then
    // ends where the pixels begin. A zero or impossible offset falls back to
    // the pixels right after the declared palette.
    const std::uint64_t declared = in.u32(10);
    const bool plausible = declared >= layout.paletteOffset && declared < in.size();
    pixelOffset = plausible ? declared : layout.naturalPixels;
    return true;
}

} // namespace

bool decodeBmpFile(ByteSpan file, PixelTarget& target) {
    const ByteReader in(file);
    DibLayout layout;
    std::uint64_t pixelOffset = 0;
    if (!parseBmpFile(in, layout, pixelOffset)) return false;
    return decodePixels(in, layout, pixelOffset, pixelOffset, target);
}

bool bmpFileDecodes(ByteSpan file) {
    const ByteReader in(file);
    DibLayout layout;
    std::uint64_t pixelOffset = 0;
    if (!parseBmpFile(in, layout, pixelOffset)) return false;
    if (layout.compression == kCompressionRle8 || layout.compression == kCompressionRle4)
        return true;
    // As decodeUncompressed demands: everything up to the last row's pixels.
    const std::uint64_t lastRow =
        (static_cast<std::uint64_t>(layout.width) * layout.bitsPerPixel + 7) / 8;
    return in.has(pixelOffset,
                  rowStride(layout) * (static_cast<std::uint64_t>(layout.height) - 1) + lastRow);
}

std::optional<IconDibResult> decodeIconDib(ByteSpan dib, PixelTarget& target) {
    const ByteReader in(dib);
    DibLayout layout;
    if (!parseDib(in, 0, true, layout)) return std::nullopt;
    if (layout.compression == kCompressionRle8 || layout.compression == kCompressionRle4) {
        return std::nullopt; // icons are never compressed; the mask position would be unknown
    }
    const std::uint64_t pixelOffset = layout.naturalPixels;
    if (!decodePixels(in, layout, pixelOffset, pixelOffset, target)) return std::nullopt;

    IconDibResult result;
    result.bitsPerPixel = layout.bitsPerPixel;
    const auto width = static_cast<std::uint64_t>(layout.width);
    const auto height = static_cast<std::uint64_t>(layout.height);
    const std::uint64_t maskOffset = pixelOffset + rowStride(layout) * height;
    const std::uint64_t maskStride = (width + 31) / 32 * 4;
    if (in.has(maskOffset, maskStride * height)) {
        result.andMask.resize(width * height);
        for (std::uint64_t y = 0; y < height; ++y) {
            const std::uint64_t stored = layout.topDown ? y : height - 1 - y;
            const std::uint8_t* row = dib.data() + maskOffset + stored * maskStride;
            for (std::uint64_t x = 0; x < width; ++x) {
                result.andMask[y * width + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
            }
        }
    }
    return result;
}

bool peekDibSize(ByteSpan dib, bool icon, std::int64_t& width, std::int64_t& height,
                 int& bitsPerPixel) {
    DibLayout layout;
    if (!parseDib(ByteReader(dib), 0, icon, layout)) return false;
    width = layout.width;
    height = layout.height;
    bitsPerPixel = layout.bitsPerPixel;
    return true;
}

} // namespace schauplatz
