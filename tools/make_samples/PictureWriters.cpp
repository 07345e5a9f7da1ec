#include "PictureWriters.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace samples {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void writeBmp(const Canvas& canvas, const std::string& path, int bitsPerPixel) {
    const int bytesPerPixel = bitsPerPixel / 8;
    const std::uint32_t rowBytes =
        (static_cast<std::uint32_t>(canvas.width() * bytesPerPixel) + 3u) & ~3u;
    const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(canvas.height());
    std::vector<std::uint8_t> out;
    out.reserve(54 + imageBytes);
    // File header (14 bytes).
    out.push_back('B');
    out.push_back('M');
    put32(out, 54 + imageBytes); // file size
    put32(out, 0);               // reserved
    put32(out, 54);              // offset of the pixels
    // Information header (40 bytes); a positive height means bottom-up rows.
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(canvas.width()));
    put32(out, static_cast<std::uint32_t>(canvas.height()));
    put16(out, 1); // planes
    put16(out, static_cast<std::uint16_t>(bitsPerPixel));
    put32(out, 0); // BI_RGB
    put32(out, imageBytes);
    put32(out, 3780); // 96 dpi
    put32(out, 3780);
    put32(out, 0);
    put32(out, 0);
    for (int y = canvas.height() - 1; y >= 0; --y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < canvas.width(); ++x) {
            const Pixel& p = canvas.at(x, y);
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
            if (bytesPerPixel == 4) {
                out.push_back(p.a);
            }
        }
        out.resize(rowStart + rowBytes, 0);
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openForWriting(const std::string& path) {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw std::runtime_error("cannot create " + path);
    }
    return file;
}

// Kept free of C++ objects: libpng reports errors by longjmp.
bool encodePng(png_structp png, png_infop info, std::FILE* file, png_uint_32 width,
               png_uint_32 height, bool withAlpha, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8,
                 withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

} // namespace

void writeBmp24(const Canvas& canvas, const std::string& path) {
    writeBmp(canvas, path, 24);
}

void writeBmp32(const Canvas& canvas, const std::string& path) {
    writeBmp(canvas, path, 32);
}

void writePng(const Canvas& canvas, const std::string& path, bool withAlpha) {
    File file = openForWriting(path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        throw std::runtime_error("libpng could not start for " + path);
    }
    const int channels = withAlpha ? 4 : 3;
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(canvas.width() * channels) *
                                   static_cast<std::size_t>(canvas.height()));
    std::size_t i = 0;
    for (const Pixel& p : canvas.pixels()) {
        rows[i++] = p.r;
        rows[i++] = p.g;
        rows[i++] = p.b;
        if (withAlpha) {
            rows[i++] = p.a;
        }
    }
    std::vector<png_bytep> rowPointers(static_cast<std::size_t>(canvas.height()));
    for (int y = 0; y < canvas.height(); ++y) {
        rowPointers[static_cast<std::size_t>(y)] =
            rows.data() + static_cast<std::size_t>(y * canvas.width() * channels);
    }
    const bool written =
        encodePng(png, info, file.get(), static_cast<png_uint_32>(canvas.width()),
                  static_cast<png_uint_32>(canvas.height()), withAlpha, rowPointers.data());
    png_destroy_write_struct(&png, &info);
    if (!written) {
        throw std::runtime_error("libpng failed writing " + path);
    }
}

void writeJpeg(const Canvas& canvas, const std::string& path, int quality) {
    File file = openForWriting(path);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error); // the default handler ends the tool on error
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file.get());
    cinfo.image_width = static_cast<JDIMENSION>(canvas.width());
    cinfo.image_height = static_cast<JDIMENSION>(canvas.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(canvas.width() * 3));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < canvas.width(); ++x) {
            const Pixel& p = canvas.at(x, y);
            row[static_cast<std::size_t>(x * 3)] = p.r;
            row[static_cast<std::size_t>(x * 3 + 1)] = p.g;
            row[static_cast<std::size_t>(x * 3 + 2)] = p.b;
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&cinfo, &rowPointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
}

} // namespace samples
