#include "elements/codecs/PictureEncoders.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <stdexcept>
#include <string>

// Both libraries report fatal errors by longjmp. Each function that calls setjmp holds no
// object with a destructor, and everything it needs is prepared by its caller.

namespace schauplatz {
namespace {

// --- PNG -----------------------------------------------------------------------------------

struct PngEncoding {
    const TColor32* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    int level = kPngCompressionLevel;
    std::vector<std::uint8_t>* bytes = nullptr;
    char error[200] = {};
    bool outOfMemory = false;
};

extern "C" void encoderPngAppend(png_structp png, png_bytep data, png_size_t size) {
    auto* encoding = static_cast<PngEncoding*>(png_get_io_ptr(png));
    try {
        encoding->bytes->insert(encoding->bytes->end(), data, data + size);
    } catch (...) {
        // No exception may unwind through the library's frames.
        encoding->outOfMemory = true;
        png_error(png, "out of memory");
    }
}

extern "C" void encoderPngFlush(png_structp) {}

extern "C" [[noreturn]] void encoderPngStop(png_structp png, png_const_charp message) {
    auto* encoding = static_cast<PngEncoding*>(png_get_error_ptr(png));
    std::strncpy(encoding->error, message, sizeof encoding->error - 1);
    png_longjmp(png, 1);
}

extern "C" void encoderPngWarning(png_structp, png_const_charp) {}

// The rows go to libpng as they lie in memory: blue, green, red and a filler byte that
// libpng drops, so nothing is copied or converted on our side.
void pngWriteRows(png_structp png, png_infop info, const PngEncoding& encoding) {
    png_set_write_fn(png, const_cast<PngEncoding*>(&encoding), encoderPngAppend, encoderPngFlush);
    png_set_compression_level(png, encoding.level);
    png_set_IHDR(png, info, static_cast<png_uint_32>(encoding.width),
                 static_cast<png_uint_32>(encoding.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (std::int32_t y = 0; y < encoding.height; ++y) {
        const TColor32* row = encoding.pixels + static_cast<std::ptrdiff_t>(y) * encoding.width;
        png_write_row(png, reinterpret_cast<png_const_bytep>(row));
    }
    png_write_end(png, info);
}

bool pngEncode(png_structp png, png_infop info, const PngEncoding& encoding) {
    if (setjmp(png_jmpbuf(png))) return false;
    pngWriteRows(png, info, encoding);
    return true;
}

// --- JPEG ----------------------------------------------------------------------------------

struct JpegErrors {
    jpeg_error_mgr base; // first member: libjpeg passes &base
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

extern "C" void encoderJpegStop(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

extern "C" void encoderJpegSilent(j_common_ptr) {}

struct JpegEncoding {
    jpeg_compress_struct info{};
    JpegErrors errors{};
    bool created = false;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ~JpegEncoding() {
        if (created) jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

void jpegSetUp(jpeg_compress_struct& info, std::int32_t width, std::int32_t height, int quality) {
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX; // the picture's memory layout, alpha ignored
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.dct_method = JDCT_ISLOW;
    for (int i = 0; i < info.num_components; ++i) {
        info.comp_info[i].h_samp_factor = 1;
        info.comp_info[i].v_samp_factor = 1;
    }
}

bool jpegEncode(JpegEncoding& encoding, const TColor32* pixels, std::int32_t width,
                std::int32_t height, int quality, const std::uint8_t* exif,
                unsigned int exifBytes) {
    jpeg_compress_struct& info = encoding.info;
    if (setjmp(encoding.errors.jump)) return false;
    jpeg_create_compress(&info);
    encoding.created = true;
    jpeg_mem_dest(&info, &encoding.buffer, &encoding.size);
    jpegSetUp(info, width, height, quality);
    jpeg_start_compress(&info, TRUE);
    jpeg_write_marker(&info, JPEG_APP0 + 1, exif, exifBytes);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(
            pixels + static_cast<std::ptrdiff_t>(info.next_scanline) * width));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void putEntry(std::vector<std::uint8_t>& out, std::uint32_t tag, std::uint32_t type,
              std::uint32_t count, std::uint32_t value) {
    put16(out, tag);
    put16(out, type);
    put32(out, count);
    put32(out, value);
}

} // namespace

std::vector<std::uint8_t> srgbExifBlock() {
    constexpr std::uint32_t kShort = 3, kLong = 4, kUndefined = 7;
    constexpr std::uint32_t kFirstIfd = 8, kIfdBytes = 2 + 2 * 12 + 4;
    std::vector<std::uint8_t> out = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
    put32(out, kFirstIfd);
    put16(out, 2);
    putEntry(out, 0x0112, kShort, 1, 1);                    // Orientation: upright
    putEntry(out, 0x8769, kLong, 1, kFirstIfd + kIfdBytes); // the Exif directory
    put32(out, 0);                                          // no further directory
    put16(out, 2);
    putEntry(out, 0x9000, kUndefined, 4, 0x31333230); // ExifVersion "0231"
    putEntry(out, 0xA001, kShort, 1, 1);              // ColorSpace: sRGB
    put32(out, 0);
    return out;
}

std::vector<std::uint8_t> encodePngRgb(const TColor32* pixels, std::int32_t width,
                                       std::int32_t height, int compressionLevel) {
    std::vector<std::uint8_t> bytes;
    PngEncoding encoding;
    encoding.pixels = pixels;
    encoding.width = width;
    encoding.height = height;
    encoding.level = compressionLevel;
    encoding.bytes = &bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &encoding, encoderPngStop,
                                              encoderPngWarning);
    if (!png) throw std::bad_alloc();
    png_infop info = png_create_info_struct(png);
    const bool done = info && pngEncode(png, info, encoding);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (encoding.outOfMemory) throw std::bad_alloc();
    if (!done)
        throw std::runtime_error(std::string("libpng: ") +
                                 (encoding.error[0] ? encoding.error : "cannot encode"));
    return bytes;
}

std::vector<std::uint8_t> encodeJpegRgb(const TColor32* pixels, std::int32_t width,
                                        std::int32_t height, int quality) {
    const std::vector<std::uint8_t> exif = srgbExifBlock();
    JpegEncoding encoding;
    encoding.info.err = jpeg_std_error(&encoding.errors.base);
    encoding.errors.base.error_exit = encoderJpegStop;
    encoding.errors.base.output_message = encoderJpegSilent;
    if (!jpegEncode(encoding, pixels, width, height, quality, exif.data(),
                    static_cast<unsigned int>(exif.size())))
        throw std::runtime_error(std::string("libjpeg: ") + encoding.errors.message);
    return std::vector<std::uint8_t>(encoding.buffer, encoding.buffer + encoding.size);
}

} // namespace schauplatz
