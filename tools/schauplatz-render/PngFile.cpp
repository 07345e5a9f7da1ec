#include "PngFile.h"

#include "elements/PictureFiles.h"
#include "support/FileSystem.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

namespace schauplatz {

namespace {

// libpng reports errors by longjmp: the function that calls setjmp holds no object with a
// destructor, and everything it needs is prepared by its caller.
struct Encoding {
    const TCustomBitmap32* picture = nullptr;
    std::vector<png_byte> row;
    std::string bytes;
    char error[200] = {};
    bool outOfMemory = false;
};

void appendBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* encoding = static_cast<Encoding*>(png_get_io_ptr(png));
    try {
        encoding->bytes.append(reinterpret_cast<const char*>(data), size);
    } catch (...) {
        // No exception may unwind through the library's frames.
        encoding->outOfMemory = true;
        png_error(png, "out of memory");
    }
}

void flushNothing(png_structp) {}

[[noreturn]] void stopEncoding(png_structp png, png_const_charp message) {
    auto* encoding = static_cast<Encoding*>(png_get_error_ptr(png));
    std::strncpy(encoding->error, message, sizeof encoding->error - 1);
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

void writeRows(png_structp png, png_infop info, Encoding& encoding) {
    const TCustomBitmap32& picture = *encoding.picture;
    const auto width = static_cast<png_uint_32>(picture.Width());
    const auto height = static_cast<png_uint_32>(picture.Height());
    png_set_write_fn(png, &encoding, appendBytes, flushNothing);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (png_uint_32 y = 0; y < height; ++y) {
        const TColor32* pixel = picture.Bits() + static_cast<std::size_t>(y) * width;
        png_byte* out = encoding.row.data();
        for (png_uint_32 x = 0; x < width; ++x, ++pixel, out += 3) {
            out[0] = static_cast<png_byte>(*pixel >> 16);
            out[1] = static_cast<png_byte>(*pixel >> 8);
            out[2] = static_cast<png_byte>(*pixel);
        }
        png_write_row(png, encoding.row.data());
    }
    png_write_end(png, info);
}

bool encode(Encoding& encoding) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &encoding, stopEncoding, ignoreWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    writeRows(png, info, encoding);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

void WritePngFile(const TCustomBitmap32& Picture, const std::string& Path) {
    if (Picture.IsEmpty())
        throw EPictureFileError("Cannot write the PNG file \"" + Path + "\": the picture is empty");
    Encoding encoding;
    encoding.picture = &Picture;
    encoding.row.resize(static_cast<std::size_t>(Picture.Width()) * 3);
    if (!encode(encoding))
        throw EPictureFileError("Cannot write the PNG file \"" + Path +
                                "\": " + (encoding.error[0] ? encoding.error : "libpng failed"));
    try {
        writeFileAtomically(Path, [&](WritableFile& file) { file.write(encoding.bytes); });
    } catch (const std::exception& error) {
        throw EPictureFileError("Cannot write the PNG file \"" + Path + "\": " + error.what());
    }
}

} // namespace schauplatz
