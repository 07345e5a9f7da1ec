#pragma once

// Helpers of the picture file tests: a scratch folder, byte builders for BMP,
// PNG, JPEG and icon files, and pixel comparison with ARGB messages.

#include "elements/codecs/PixelTarget.h"
#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace schauplatz::picture_test {

using Bytes = std::vector<std::uint8_t>;

// A private folder under the system's temporary folder, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string path(const std::string& name) const { return (m_root / name).string(); }
    std::string write(const std::string& name, const Bytes& bytes) const;

private:
    std::filesystem::path m_root;
};

Bytes readBytes(const std::string& path);
void put16(Bytes& bytes, std::size_t at, std::uint32_t value);
void put32(Bytes& bytes, std::size_t at, std::uint32_t value);
std::uint32_t get32(const Bytes& bytes, std::size_t at);

// A BMP file or icon DIB assembled field by field, so tests can also build
// files whose headers lie.
struct BmpBuilder {
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0; // as stored: negative for top-down
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> masks;   // written after a 40-byte header, or into a longer one
    std::vector<std::uint32_t> palette; // 0x00RRGGBB; 3 bytes each for 12-byte headers
    Bytes pixels;                       // exactly as stored
    std::int64_t pixelOffset = -1;      // file header offset; -1: right after the palette

    Bytes dib() const;  // information header, masks, palette, pixels
    Bytes file() const; // "BM" file header + dib()
};

// Rows of packed pixel bytes, each padded to 4 bytes.
Bytes paddedRows(const std::vector<Bytes>& rows);

// PNG in memory from raw rows (already packed as the PNG stores them).
struct PngBuilder {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int colourType = 0;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<Bytes> rows;
    std::vector<std::uint32_t> palette;           // 0x00RRGGBB
    Bytes transparency;                           // tRNS for palettes
    std::vector<std::uint16_t> transparentColour; // tRNS for grey (1) or RGB (3)
    double gamma = 0;                             // gAMA chunk when non-zero
    Bytes encode() const;
};

// JPEG in memory through libjpeg; samples are interleaved per pixel.
enum class JpegKind { Rgb, Grey, Cmyk, Ycck };
// Colour is subsampled 2 x 2 as libjpeg does by default, or with subsampled false kept at full
// resolution.
Bytes encodeJpeg(JpegKind kind, int width, int height, const Bytes& samples, int quality = 95,
                 bool subsampled = true);
// libjpeg's own decode of the data into the given colour space (the test's reference).
Bytes referenceJpegDecode(const Bytes& data, int outColourSpace, int& width, int& height);

struct IconImage {
    Bytes data; // a DIB (doubled height, with AND mask) or a PNG
    std::uint8_t width = 0, height = 0, bitCount = 0;
};
Bytes buildIcon(const std::vector<IconImage>& images);

// Picture contents as a plain list of colours, row by row.
std::vector<TColor32> pixelsOf(const TCustomBitmap32& picture);

// Compares size and every pixel; names the first difference in ARGB.
::testing::AssertionResult samePicture(const TCustomBitmap32& actual, std::int32_t width,
                                       std::int32_t height, const std::vector<TColor32>& expected);
::testing::AssertionResult samePicture(const DecodedPicture& actual, std::int32_t width,
                                       std::int32_t height, const std::vector<TColor32>& expected);

// Reads a file through ReadPictureFile into a fresh picture.
struct ReadResult {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<TColor32> pixels;
};
ReadResult readPictureFile(const std::string& path);
::testing::AssertionResult samePicture(const ReadResult& actual, std::int32_t width,
                                       std::int32_t height, const std::vector<TColor32>& expected);

// Counts allocations and refuses nothing: shows whether a decoder allocated.
struct CountingTarget : DecodedPicture {
    int allocations = 0;
    TColor32* allocate(std::int32_t w, std::int32_t h) override {
        ++allocations;
        return DecodedPicture::allocate(w, h);
    }
};

} // namespace schauplatz::picture_test
