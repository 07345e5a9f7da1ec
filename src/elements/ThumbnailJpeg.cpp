// JPEG decoding at reduced scale for thumbnails. libjpeg can run its inverse
// DCT at n/8 of the full size, so a 4000 x 3000 photo comes out as 500 x 375
// at a fraction of the cost of a full decode; the area-averaging filter then
// takes it the rest of the way.
//
// The longjmp rules of the shared decoder hold here too (codecs/JpegDecoder.h).

#include "elements/Thumbnail.h"

#include "elements/codecs/JpegDecoder.h"

#include <algorithm>

namespace schauplatz {
namespace {

// Working memory the library may take besides the output picture.
constexpr long kJpegWorkMemory = 512L * 1024 * 1024;
constexpr unsigned kScaleDenominator = 8;

// Picks the smallest n/8 whose output covers the minimum size; the library
// computes the scaled dimensions itself (rounding up), so we ask it for each n.
bool chooseScale(JpegDecoder& decoder, PictureSize minimum, bool& cmyk) {
    if (setjmp(decoder.error.jump)) return false;
    jpeg_decompress_struct& info = decoder.info;
    cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    info.dct_method = JDCT_ISLOW;
    info.scale_denom = kScaleDenominator;
    for (unsigned n = 1; n <= kScaleDenominator; ++n) {
        info.scale_num = n;
        jpeg_calc_output_dimensions(&info);
        if (info.output_width >= static_cast<JDIMENSION>(minimum.Width) &&
            info.output_height >= static_cast<JDIMENSION>(minimum.Height))
            break;
    }
    return true;
}

bool startDecoding(JpegDecoder& decoder) {
    JpegScans scans;
    return jpegStartLimited(decoder, scans) && decoder.info.output_components == 4;
}

bool readRows(JpegDecoder& decoder, unsigned char* pixels, unsigned long rowBytes) {
    if (setjmp(decoder.error.jump)) return false;
    jpeg_decompress_struct& info = decoder.info;
    while (info.output_scanline < info.output_height) {
        const JDIMENSION wanted =
            std::min<JDIMENSION>(4, info.output_height - info.output_scanline);
        JSAMPROW rows[4];
        for (JDIMENSION i = 0; i < wanted; ++i)
            rows[i] = pixels + static_cast<unsigned long>(info.output_scanline + i) * rowBytes;
        if (jpeg_read_scanlines(&info, rows, wanted) == 0) return false;
    }
    // Trailing garbage after the last row does not spoil a complete picture.
    jpeg_abort_decompress(&info);
    return true;
}

} // namespace

bool DecodeJpegScaled(ByteSpan data, PictureSize minimum, PixelTarget& target) {
    JpegDecoder decoder;
    if (!jpegOpen(decoder, data, kJpegWorkMemory)) return false;
    bool cmyk = false;
    if (!chooseScale(decoder, minimum, cmyk) || !startDecoding(decoder)) return false;
    const auto width = static_cast<std::int32_t>(decoder.info.output_width);
    const auto height = static_cast<std::int32_t>(decoder.info.output_height);
    if (!pictureSizeAllowed(width, height)) return false;
    TColor32* pixels = target.allocate(width, height);
    if (!readRows(decoder, reinterpret_cast<unsigned char*>(pixels),
                  static_cast<unsigned long>(width) * 4))
        return false;
    if (cmyk)
        cmykToColours(pixels, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    return true;
}

} // namespace schauplatz
