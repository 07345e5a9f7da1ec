#include "picture_fixtures.h"

#include "elements/PictureFiles.h"
#include "testsupport/PictureCompare.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <jpeglib.h>
#include <png.h>
#include <stdexcept>

namespace schauplatz::picture_test {

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "picture-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string ScratchFolder::write(const std::string& name, const Bytes& bytes) const {
    const std::string target = path(name);
    std::ofstream out(target, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + target);
    return target;
}

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    if (bytes.size() < at + 2) bytes.resize(at + 2);
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    if (bytes.size() < at + 4) bytes.resize(at + 4);
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t get32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

Bytes BmpBuilder::dib() const {
    Bytes out(headerSize, 0);
    put32(out, 0, headerSize);
    if (headerSize == 12) {
        put16(out, 4, static_cast<std::uint32_t>(width));
        put16(out, 6, static_cast<std::uint32_t>(height));
        put16(out, 8, 1);
        put16(out, 10, bitsPerPixel);
    } else {
        put32(out, 4, static_cast<std::uint32_t>(width));
        put32(out, 8, static_cast<std::uint32_t>(height));
        put16(out, 12, 1);
        put16(out, 14, bitsPerPixel);
        if (headerSize >= 20) put32(out, 16, compression);
        if (headerSize >= 36) put32(out, 32, coloursUsed);
    }
    if (headerSize >= 52) {
        for (std::size_t i = 0; i < masks.size() && 40 + 4 * i + 4 <= headerSize; ++i) {
            put32(out, 40 + 4 * i, masks[i]);
        }
    } else {
        for (std::uint32_t mask : masks)
            put32(out, out.size(), mask);
    }
    for (std::uint32_t colour : palette) {
        out.push_back(static_cast<std::uint8_t>(colour));
        out.push_back(static_cast<std::uint8_t>(colour >> 8));
        out.push_back(static_cast<std::uint8_t>(colour >> 16));
        if (headerSize != 12) out.push_back(0);
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

Bytes BmpBuilder::file() const {
    const Bytes body = dib();
    const std::size_t beforePixels = 14 + body.size() - pixels.size();
    Bytes out(14, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, static_cast<std::uint32_t>(14 + body.size()));
    put32(out, 10, static_cast<std::uint32_t>(pixelOffset >= 0 ? pixelOffset : beforePixels));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes paddedRows(const std::vector<Bytes>& rows) {
    Bytes out;
    for (const Bytes& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        while (out.size() % 4 != 0)
            out.push_back(0);
    }
    return out;
}

namespace {

extern "C" void pngWriteToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
extern "C" void pngFlushNothing(png_structp) {}

// No object with a destructor lives in this frame: libpng may longjmp here.
bool pngWrite(png_structp png, png_infop info, const PngBuilder& b, Bytes* out, png_color* palette,
              int paletteCount, png_color_16* colour, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, pngWriteToVector, pngFlushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(b.width), static_cast<png_uint_32>(b.height),
                 b.bitDepth, b.colourType, b.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (paletteCount > 0) png_set_PLTE(png, info, palette, paletteCount);
    if (!b.transparency.empty()) {
        png_set_tRNS(png, info, b.transparency.data(), static_cast<int>(b.transparency.size()),
                     nullptr);
    } else if (colour) {
        png_set_tRNS(png, info, nullptr, 0, colour);
    }
    if (b.gamma > 0) png_set_gAMA(png, info, b.gamma);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

} // namespace

Bytes PngBuilder::encode() const {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_color> paletteColours;
    for (std::uint32_t c : palette) {
        paletteColours.push_back({static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8),
                                  static_cast<png_byte>(c)});
    }
    png_color_16 colour{};
    if (transparentColour.size() == 1) colour.gray = transparentColour[0];
    if (transparentColour.size() == 3) {
        colour.red = transparentColour[0];
        colour.green = transparentColour[1];
        colour.blue = transparentColour[2];
    }
    std::vector<Bytes> rowCopies = rows;
    std::vector<png_bytep> rowPointers;
    for (Bytes& row : rowCopies)
        rowPointers.push_back(row.data());
    const bool ok = pngWrite(png, info, *this, &out, paletteColours.data(),
                             static_cast<int>(paletteColours.size()),
                             transparentColour.empty() ? nullptr : &colour, rowPointers.data());
    png_destroy_write_struct(&png, &info);
    if (!ok) throw std::runtime_error("test PNG could not be written");
    return out;
}

namespace {

struct JpegTestError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};
extern "C" void jpegTestErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegTestError*>(cinfo->err)->jump, 1);
}

bool jpegCompress(jpeg_compress_struct* c, JpegKind kind, int width, int height,
                  const std::uint8_t* samples, int quality, bool subsampled, unsigned char** buffer,
                  unsigned long* size) {
    if (setjmp(reinterpret_cast<JpegTestError*>(c->err)->jump)) return false;
    jpeg_create_compress(c);
    jpeg_mem_dest(c, buffer, size);
    c->image_width = static_cast<JDIMENSION>(width);
    c->image_height = static_cast<JDIMENSION>(height);
    c->input_components = kind == JpegKind::Grey ? 1 : kind == JpegKind::Rgb ? 3 : 4;
    c->in_color_space = kind == JpegKind::Grey  ? JCS_GRAYSCALE
                        : kind == JpegKind::Rgb ? JCS_RGB
                                                : JCS_CMYK;
    jpeg_set_defaults(c);
    if (kind == JpegKind::Cmyk) jpeg_set_colorspace(c, JCS_CMYK); // writes the Adobe marker
    if (kind == JpegKind::Ycck) jpeg_set_colorspace(c, JCS_YCCK);
    jpeg_set_quality(c, quality, TRUE);
    if (!subsampled)
        for (int i = 0; i < c->num_components; ++i)
            c->comp_info[i].h_samp_factor = c->comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(c, TRUE);
    const int stride = width * c->input_components;
    while (c->next_scanline < c->image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(samples) +
                       static_cast<std::size_t>(c->next_scanline) * stride;
        jpeg_write_scanlines(c, &row, 1);
    }
    jpeg_finish_compress(c);
    return true;
}

bool jpegDecompress(jpeg_decompress_struct* d, const Bytes* data, int colourSpace,
                    std::uint8_t** out, int* width, int* height, int* components) {
    if (setjmp(reinterpret_cast<JpegTestError*>(d->err)->jump)) return false;
    jpeg_create_decompress(d);
    jpeg_mem_src(d, data->data(), static_cast<unsigned long>(data->size()));
    jpeg_read_header(d, TRUE);
    d->out_color_space = static_cast<J_COLOR_SPACE>(colourSpace);
    jpeg_start_decompress(d);
    *width = static_cast<int>(d->output_width);
    *height = static_cast<int>(d->output_height);
    *components = d->output_components;
    *out = static_cast<std::uint8_t*>(
        std::malloc(static_cast<std::size_t>(*width) * *height * *components));
    while (d->output_scanline < d->output_height) {
        JSAMPROW row = *out + static_cast<std::size_t>(d->output_scanline) * *width * *components;
        jpeg_read_scanlines(d, &row, 1);
    }
    jpeg_finish_decompress(d);
    return true;
}

} // namespace

Bytes encodeJpeg(JpegKind kind, int width, int height, const Bytes& samples, int quality,
                 bool subsampled) {
    jpeg_compress_struct c{};
    JpegTestError error{};
    c.err = jpeg_std_error(&error.base);
    error.base.error_exit = jpegTestErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok =
        jpegCompress(&c, kind, width, height, samples.data(), quality, subsampled, &buffer, &size);
    jpeg_destroy_compress(&c);
    Bytes out;
    if (ok) out.assign(buffer, buffer + size);
    std::free(buffer);
    if (!ok) throw std::runtime_error("test JPEG could not be written");
    return out;
}

Bytes referenceJpegDecode(const Bytes& data, int outColourSpace, int& width, int& height) {
    jpeg_decompress_struct d{};
    JpegTestError error{};
    d.err = jpeg_std_error(&error.base);
    error.base.error_exit = jpegTestErrorExit;
    error.base.output_message = [](j_common_ptr) {};
    std::uint8_t* pixels = nullptr;
    int components = 0;
    const bool ok =
        jpegDecompress(&d, &data, outColourSpace, &pixels, &width, &height, &components);
    jpeg_destroy_decompress(&d);
    Bytes out;
    if (ok) out.assign(pixels, pixels + static_cast<std::size_t>(width) * height * components);
    std::free(pixels);
    if (!ok) throw std::runtime_error("reference JPEG decode failed");
    return out;
}

Bytes buildIcon(const std::vector<IconImage>& images) {
    Bytes out(6, 0);
    put16(out, 2, 1);
    put16(out, 4, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = 6 + 16 * images.size();
    for (const IconImage& image : images) {
        Bytes entry(16, 0);
        entry[0] = image.width;
        entry[1] = image.height;
        put16(entry, 4, 1);
        put16(entry, 6, image.bitCount);
        put32(entry, 8, static_cast<std::uint32_t>(image.data.size()));
        put32(entry, 12, static_cast<std::uint32_t>(offset));
        out.insert(out.end(), entry.begin(), entry.end());
        offset += image.data.size();
    }
    for (const IconImage& image : images)
        out.insert(out.end(), image.data.begin(), image.data.end());
    return out;
}

std::vector<TColor32> pixelsOf(const TCustomBitmap32& picture) {
    if (picture.IsEmpty()) return {};
    const TColor32* bits = picture.Bits();
    return std::vector<TColor32>(bits, bits + static_cast<std::size_t>(picture.Width()) *
                                                  static_cast<std::size_t>(picture.Height()));
}

::testing::AssertionResult samePicture(const TCustomBitmap32& actual, std::int32_t width,
                                       std::int32_t height, const std::vector<TColor32>& expected) {
    return testing::samePixelList(actual.Width(), actual.Height(), pixelsOf(actual), width, height,
                                  expected);
}

::testing::AssertionResult samePicture(const DecodedPicture& actual, std::int32_t width,
                                       std::int32_t height, const std::vector<TColor32>& expected) {
    return testing::samePixelList(actual.width, actual.height, actual.pixels, width, height,
                                  expected);
}

::testing::AssertionResult samePicture(const ReadResult& actual, std::int32_t width,
                                       std::int32_t height, const std::vector<TColor32>& expected) {
    return testing::samePixelList(actual.width, actual.height, actual.pixels, width, height,
                                  expected);
}

ReadResult readPictureFile(const std::string& path) {
    TBitmap32 picture;
    ReadPictureFile(picture, path);
    return {picture.Width(), picture.Height(), pixelsOf(picture)};
}

} // namespace schauplatz::picture_test
