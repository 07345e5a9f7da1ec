#include "elements/codecs/JpegCodec.h"

#include "elements/codecs/ExifOrientation.h"
#include "elements/codecs/JpegDecoder.h"
#include "elements/codecs/PictureOrientation.h"

#include <vector>

// The longjmp rules of the shared decoder hold here too (codecs/JpegDecoder.h).

namespace schauplatz {
namespace {

// libjpeg may keep large internal buffers (progressive files hold all
// coefficients); beyond the output picture we allow it this much.
constexpr long kJpegWorkMemory = 1536L * 1024 * 1024;

// Chooses the output colour space: four-channel files come out as the stored
// C, M, Y, K (the library turns YCCK into CMYK); everything else straight
// into the in-memory layout of a 32-bit picture (blue, green, red, 255).
void chooseOutput(JpegDecoder& decoder, bool& cmyk) {
    jpeg_decompress_struct& info = decoder.info;
    cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
}

bool jpegReadRows(JpegDecoder& decoder, unsigned char* pixels, unsigned long rowBytes) {
    if (setjmp(decoder.error.jump)) return false;
    jpeg_decompress_struct& info = decoder.info;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + static_cast<unsigned long>(info.output_scanline) * rowBytes;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) return false;
    }
    return true;
}

// Rows of one strip, at most maxRows; 0 after a fatal library error.
JDIMENSION jpegReadStrip(JpegDecoder& decoder, unsigned char* strip, unsigned long rowBytes,
                         JDIMENSION maxRows) {
    if (setjmp(decoder.error.jump)) return 0;
    jpeg_decompress_struct& info = decoder.info;
    const JDIMENSION first = info.output_scanline;
    while (info.output_scanline < info.output_height && info.output_scanline - first < maxRows) {
        JSAMPROW row = strip + static_cast<unsigned long>(info.output_scanline - first) * rowBytes;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) return 0;
    }
    return info.output_scanline - first;
}

// 64 rows are four MCU rows of the usual 4:2:0 photo; a strip of a 4000-pixel photo (1 MiB)
// stays in the cache while it is turned, and each upright row is visited once per strip.
constexpr JDIMENSION kStripRows = 64;

bool decodeStrips(JpegDecoder& decoder, bool cmyk, int orientation, std::vector<TColor32>& strip,
                  TColor32* upright) {
    const auto width = static_cast<std::int32_t>(decoder.info.output_width);
    const auto height = static_cast<std::int32_t>(decoder.info.output_height);
    while (decoder.info.output_scanline < decoder.info.output_height) {
        const auto first = static_cast<std::int32_t>(decoder.info.output_scanline);
        const JDIMENSION rows =
            jpegReadStrip(decoder, reinterpret_cast<unsigned char*>(strip.data()),
                          static_cast<unsigned long>(width) * 4, kStripRows);
        if (rows == 0) return false;
        if (cmyk) cmykToColours(strip.data(), static_cast<std::size_t>(width) * rows);
        orientRows(strip.data(), width, height, first, static_cast<std::int32_t>(rows), orientation,
                   upright);
    }
    return jpegEnd(decoder);
}

} // namespace

bool decodeJpegUpright(ByteSpan data, int orientation, PixelTarget& target) {
    if (orientation < 2 || orientation > 8) return decodeJpeg(data, target);
    JpegDecoder decoder;
    if (!jpegOpen(decoder, data, kJpegWorkMemory)) return false;
    bool cmyk = false;
    chooseOutput(decoder, cmyk);
    JpegScans scans; // the same scan budget as the plain decode
    if (!jpegStartLimited(decoder, scans)) return false;
    if (decoder.info.output_components != 4) return false;
    const auto width = static_cast<std::int32_t>(decoder.info.output_width);
    const auto height = static_cast<std::int32_t>(decoder.info.output_height);
    if (!pictureSizeAllowed(width, height)) return false;
    std::vector<TColor32> strip(static_cast<std::size_t>(width) * kStripRows);
    TColor32* upright = orientationSwapsSides(orientation) ? target.allocate(height, width)
                                                           : target.allocate(width, height);
    return decodeStrips(decoder, cmyk, orientation, strip, upright);
}

bool looksLikeJpeg(ByteSpan data) {
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool decodeJpeg(ByteSpan data, PixelTarget& target, JpegScans* scansRead) {
    JpegDecoder decoder;
    if (!jpegOpen(decoder, data, kJpegWorkMemory)) return false;
    bool cmyk = false;
    chooseOutput(decoder, cmyk);
    JpegScans scans;
    if (!jpegStartLimited(decoder, scans)) return false;
    if (scansRead != nullptr) *scansRead = scans;
    if (decoder.info.output_components != 4) return false;
    const auto width = static_cast<std::int32_t>(decoder.info.output_width);
    const auto height = static_cast<std::int32_t>(decoder.info.output_height);
    if (!pictureSizeAllowed(width, height)) return false;
    TColor32* pixels = target.allocate(width, height);
    if (!jpegReadRows(decoder, reinterpret_cast<unsigned char*>(pixels),
                      static_cast<unsigned long>(width) * 4) ||
        !jpegEnd(decoder)) {
        return false;
    }
    if (cmyk) cmykToColours(pixels, static_cast<std::size_t>(width) * height);
    return true;
}

} // namespace schauplatz
