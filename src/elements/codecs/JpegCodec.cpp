#include "elements/codecs/JpegCodec.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

// libjpeg reports fatal errors through a callback that must not return. We
// leave it with longjmp. To keep that well-defined in C++, each function that
// calls setjmp holds no object with a destructor, and no C++ code with such
// objects runs between setjmp and a library call that may jump: the library
// state lives in a plain struct owned by an RAII guard one frame further out.

namespace schauplatz {
namespace {

// libjpeg may keep large internal buffers (progressive files hold all
// coefficients); beyond the output picture we allow it this much.
constexpr long kJpegWorkMemory = 1536L * 1024 * 1024;

struct JpegErrorManager {
    jpeg_error_mgr base; // first member: libjpeg passes &base
    std::jmp_buf jump;
};

extern "C" void jpegErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(manager->jump, 1);
}

extern "C" void jpegSilentMessage(j_common_ptr) {}

struct JpegDecoder {
    jpeg_decompress_struct info{};
    JpegErrorManager error{};
    bool created = false;

    JpegDecoder() = default;
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
    ~JpegDecoder() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

// Each phase returns false when the library reported a fatal error.
bool jpegBegin(JpegDecoder& decoder, const unsigned char* data, unsigned long size) {
    decoder.info.err = jpeg_std_error(&decoder.error.base);
    decoder.error.base.error_exit = jpegErrorExit;
    decoder.error.base.output_message = jpegSilentMessage;
    if (setjmp(decoder.error.jump)) return false;
    jpeg_create_decompress(&decoder.info);
    decoder.created = true;
    decoder.info.mem->max_memory_to_use = kJpegWorkMemory;
    jpeg_mem_src(&decoder.info, data, size);
    jpeg_read_header(&decoder.info, TRUE);
    return true;
}

// Chooses the output colour space: four-channel files come out as the stored
// C, M, Y, K (the library turns YCCK into CMYK); everything else straight
// into the in-memory layout of a 32-bit picture (blue, green, red, 255).
bool jpegStart(JpegDecoder& decoder, bool& cmyk) {
    if (setjmp(decoder.error.jump)) return false;
    jpeg_decompress_struct& info = decoder.info;
    cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&info);
    return info.output_components == 4;
}

bool jpegReadRows(JpegDecoder& decoder, unsigned char* pixels, unsigned long rowBytes) {
    if (setjmp(decoder.error.jump)) return false;
    jpeg_decompress_struct& info = decoder.info;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + static_cast<unsigned long>(info.output_scanline) * rowBytes;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) return false;
    }
    jpeg_finish_decompress(&info);
    return true;
}

// round(a * b / 255) for 8-bit values; exact because a * b / 255 never ends in .5.
constexpr std::uint32_t mulDiv255(std::uint32_t a, std::uint32_t b) {
    return (a * b + 127) / 255;
}

void cmykToColours(TColor32* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto* cmyk = reinterpret_cast<const std::uint8_t*>(pixels + i);
        const std::uint32_t k = cmyk[3];
        pixels[i] = Color32(mulDiv255(cmyk[0], k), mulDiv255(cmyk[1], k), mulDiv255(cmyk[2], k));
    }
}

} // namespace

bool looksLikeJpeg(ByteSpan data) {
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool decodeJpeg(ByteSpan data, PixelTarget& target) {
    if (data.empty()) return false;
    JpegDecoder decoder;
    if (!jpegBegin(decoder, data.data(), static_cast<unsigned long>(data.size()))) return false;
    // Refuse oversized pictures before the library allocates anything for them.
    if (!pictureSizeAllowed(decoder.info.image_width, decoder.info.image_height)) return false;
    bool cmyk = false;
    if (!jpegStart(decoder, cmyk)) return false;
    const auto width = static_cast<std::int32_t>(decoder.info.output_width);
    const auto height = static_cast<std::int32_t>(decoder.info.output_height);
    if (!pictureSizeAllowed(width, height)) return false;
    TColor32* pixels = target.allocate(width, height);
    if (!jpegReadRows(decoder, reinterpret_cast<unsigned char*>(pixels),
                      static_cast<unsigned long>(width) * 4)) {
        return false;
    }
    if (cmyk) cmykToColours(pixels, static_cast<std::size_t>(width) * height);
    return true;
}

} // namespace schauplatz
