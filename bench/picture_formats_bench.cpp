// Today's picture formats beside the plain library calls, in one run, ratios at the end:
//   - EXIF orientation: a 12 MP photo decoded upright (orientation 6) against the same
//     decode as stored (target: at most 10 % more), and against plain libjpeg;
//   - a lossless quarter turn of the 12 MP JPEG file (read, turn, write beside and rename)
//     against its decode (target: within 1.5 x);
//   - HEIC 12 MP decoded into a picture against libheif's own decode (target: 1.1 x);
//   - WebP 12 MP decoded into a picture against libwebp's own decode (target: 1.1 x);
//   - PNG export of 1920 x 1080 against libpng at the same level (target: 1.2 x);
//   - JPEG export of 1920 x 1080 against libjpeg with the same settings (target: 1.1 x).
//
//   build/<dir>/bench/picture_formats_bench [--benchmark_filter=...]

#include "elements/PictureExport.h"
#include "elements/codecs/ExifOrientation.h"
#include "elements/codecs/HeifCodec.h"
#include "elements/codecs/JpegCodec.h"
#include "elements/codecs/JpegTransform.h"
#include "elements/codecs/PictureEncoders.h"
#include "elements/codecs/WebpCodec.h"
#include "raster/Bitmap32.h"
#include "support/FileSystem.h"

#include "BenchReporters.h"
#include "PictureBenchSupport.h"

#include <benchmark/benchmark.h>

#include <libheif/heif.h>
#include <png.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace schauplatz;

namespace {

constexpr int kPhotoWidth = 4032, kPhotoHeight = 3024; // a 12 MP phone photo
constexpr int kExportWidth = 1920, kExportHeight = 1080;
using bench::Bytes;
using bench::libjpegEncode;
using bench::photoSamples;
using bench::writeFile;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --- the plain library calls (the peers) ---------------------------------------------------

void libjpegDecode(const Bytes& data, Bytes& pixels) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr error{};
    d.err = jpeg_std_error(&error);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&d);
    const std::size_t stride = static_cast<std::size_t>(d.output_width) * 4;
    pixels.resize(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels.data() + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

heif_error appendHeif(heif_context*, const void* data, size_t size, void* userdata) {
    auto* out = static_cast<Bytes*>(userdata);
    out->insert(out->end(), static_cast<const std::uint8_t*>(data),
                static_cast<const std::uint8_t*>(data) + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

Bytes heicEncode(const Bytes& rgb, int width, int height) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 60);
    heif_encoder_set_parameter(encoder, "preset", "ultrafast");
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y)
        std::memcpy(plane + static_cast<std::ptrdiff_t>(y) * stride,
                    rgb.data() + static_cast<std::size_t>(y) * width * 3,
                    static_cast<std::size_t>(width) * 3);
    heif_context_encode_image(context, image, encoder, nullptr, nullptr);
    Bytes out;
    heif_writer writer{1, appendHeif};
    heif_context_write(context, &writer, &out);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return out;
}

void libheifDecode(const Bytes& file) {
    heif_context* context = heif_context_alloc();
    heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr);
    heif_image_handle* handle = nullptr;
    heif_context_get_primary_image_handle(context, &handle);
    heif_image* image = nullptr;
    heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr);
    int stride = 0;
    benchmark::DoNotOptimize(
        heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride));
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
}

void pngToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

Bytes libpngEncode(const Bytes& rgb, int width, int height, int level) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, pngToVector, nullptr);
    png_set_compression_level(png, level);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, rgb.data() + static_cast<std::size_t>(y) * width * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// --- the inputs, made once before any timing ------------------------------------------------

struct Inputs {
    bench::ScratchFolder scratch{"schauplatz-formats-bench"};
    const std::filesystem::path& folder = scratch.path;
    std::string photoPath;
    Bytes photo; // 12 MP JPEG with EXIF orientation 6
    Bytes heic;  // 12 MP
    Bytes webp;  // 12 MP, lossy
    Bytes exportRgb;
    TBitmap32 exportPicture;

    Inputs() {
        const Bytes rgb = photoSamples(kPhotoWidth, kPhotoHeight, 3, 1);
        Bytes jpeg = libjpegEncode(rgb, kPhotoWidth, kPhotoHeight, 90, false);
        static const std::uint8_t kExif[] = {
            0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
            1,    0,    0x12, 0x01, 3,   0,   1,   0,   0, 0, 6,   0,   0,  0, 0, 0, 0, 0};
        photo.assign(jpeg.begin(), jpeg.begin() + 2);
        photo.insert(photo.end(), std::begin(kExif), std::end(kExif));
        photo.insert(photo.end(), jpeg.begin() + 2, jpeg.end());
        if (jpegOrientation(photo) != 6) std::abort();
        photoPath = (folder / "IMG_0001.jpg").string();
        writeFile(photoPath, photo);
        heic = heicEncode(rgb, kPhotoWidth, kPhotoHeight);
        std::uint8_t* encoded = nullptr;
        const std::size_t size =
            WebPEncodeRGB(rgb.data(), kPhotoWidth, kPhotoHeight, kPhotoWidth * 3, 80, &encoded);
        webp.assign(encoded, encoded + size);
        WebPFree(encoded);
        const Bytes rgba = photoSamples(kExportWidth, kExportHeight, 4, 2);
        exportPicture.SetSize(kExportWidth, kExportHeight);
        for (std::size_t i = 0; i < static_cast<std::size_t>(kExportWidth) * kExportHeight; ++i) {
            const std::uint8_t* p = &rgba[i * 4];
            exportPicture.Bits()[i] =
                0xFF000000u | (TColor32{p[0]} << 16) | (TColor32{p[1]} << 8) | p[2];
            exportRgb.insert(exportRgb.end(), p, p + 3);
        }
    }
};

const Inputs& inputs() {
    static const Inputs instance;
    return instance;
}

// The pictures land where the program puts them: in a 32-bit picture.
class BitmapTarget : public PixelTarget {
public:
    TColor32* allocate(std::int32_t width, std::int32_t height) override {
        m_picture.SetSize(width, height);
        return m_picture.Bits();
    }
    TBitmap32 m_picture;
};

void BM_Photo_PlainLibjpeg(benchmark::State& state) {
    for (auto _ : state) {
        Bytes pixels; // a fresh buffer each time, as a picture gets
        libjpegDecode(inputs().photo, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_Photo_DecodeAsStored(benchmark::State& state) {
    for (auto _ : state) {
        BitmapTarget target;
        if (!decodeJpeg(inputs().photo, target)) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(target.m_picture.Bits());
    }
}

void BM_Photo_DecodeUpright(benchmark::State& state) {
    for (auto _ : state) {
        BitmapTarget target;
        const int orientation = jpegOrientation(inputs().photo);
        if (!decodeJpegUpright(inputs().photo, orientation, target) ||
            target.m_picture.Width() != kPhotoHeight)
            state.SkipWithError("not decoded upright");
        benchmark::DoNotOptimize(target.m_picture.Bits());
    }
}

void BM_Photo_LosslessTurnInMemory(benchmark::State& state) {
    for (auto _ : state) {
        auto turned = transformJpegLosslessly(inputs().photo, 6);
        if (!turned) state.SkipWithError("not turned");
        benchmark::DoNotOptimize(turned->data());
    }
}

// What entering the photo costs besides reading it back: the file read, turned and written
// beside its target, synced and renamed.
void BM_Photo_LosslessTurnFile(benchmark::State& state) {
    const std::string target = (inputs().folder / "IMG_0001-upright.jpg").string();
    for (auto _ : state) {
        const Bytes file = readFile(inputs().photoPath);
        const auto turned = transformJpegLosslessly(file, 6);
        if (!turned) state.SkipWithError("not turned");
        writeFileAtomically(target,
                            [&](WritableFile& out) { out.write(turned->data(), turned->size()); });
    }
}

void BM_Heic_Libheif(benchmark::State& state) {
    for (auto _ : state)
        libheifDecode(inputs().heic);
}

void BM_Heic_DecodeHeif(benchmark::State& state) {
    for (auto _ : state) {
        BitmapTarget target;
        if (!decodeHeif(inputs().heic, target)) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(target.m_picture.Bits());
    }
}

void BM_Webp_Libwebp(benchmark::State& state) {
    for (auto _ : state) {
        int width = 0, height = 0;
        std::uint8_t* pixels =
            WebPDecodeBGRA(inputs().webp.data(), inputs().webp.size(), &width, &height);
        benchmark::DoNotOptimize(pixels);
        WebPFree(pixels);
    }
}

void BM_Webp_DecodeWebp(benchmark::State& state) {
    for (auto _ : state) {
        BitmapTarget target;
        if (!decodeWebp(inputs().webp, target)) state.SkipWithError("not decoded");
        benchmark::DoNotOptimize(target.m_picture.Bits());
    }
}

void BM_PngExport_Libpng(benchmark::State& state) {
    for (auto _ : state) {
        Bytes png =
            libpngEncode(inputs().exportRgb, kExportWidth, kExportHeight, kPngCompressionLevel);
        benchmark::DoNotOptimize(png.data());
    }
}

void BM_PngExport_Encode(benchmark::State& state) {
    for (auto _ : state) {
        Bytes png = encodePngRgb(inputs().exportPicture.Bits(), kExportWidth, kExportHeight);
        benchmark::DoNotOptimize(png.data());
    }
}

void BM_PngExport_File(benchmark::State& state) {
    const std::string path = (inputs().folder / "Ergebnis.png").string();
    for (auto _ : state)
        WritePngPicture(inputs().exportPicture, path);
}

void BM_JpegExport_Libjpeg(benchmark::State& state) {
    for (auto _ : state) {
        Bytes jpeg = libjpegEncode(inputs().exportRgb, kExportWidth, kExportHeight,
                                   kJpegExportQuality, true);
        benchmark::DoNotOptimize(jpeg.data());
    }
}

void BM_JpegExport_Encode(benchmark::State& state) {
    for (auto _ : state) {
        Bytes jpeg = encodeJpegRgb(inputs().exportPicture.Bits(), kExportWidth, kExportHeight);
        benchmark::DoNotOptimize(jpeg.data());
    }
}

void BM_JpegExport_File(benchmark::State& state) {
    const std::string path = (inputs().folder / "Ergebnis.jpg").string();
    for (auto _ : state)
        WriteJpegPicture(inputs().exportPicture, path);
}

#define PICTURE_BENCHMARK(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->MinTime(2.0)
PICTURE_BENCHMARK(BM_Photo_PlainLibjpeg);
PICTURE_BENCHMARK(BM_Photo_DecodeAsStored);
PICTURE_BENCHMARK(BM_Photo_DecodeUpright);
PICTURE_BENCHMARK(BM_Photo_LosslessTurnInMemory);
PICTURE_BENCHMARK(BM_Photo_LosslessTurnFile);
PICTURE_BENCHMARK(BM_Heic_Libheif);
PICTURE_BENCHMARK(BM_Heic_DecodeHeif);
PICTURE_BENCHMARK(BM_Webp_Libwebp);
PICTURE_BENCHMARK(BM_Webp_DecodeWebp);
PICTURE_BENCHMARK(BM_PngExport_Libpng);
PICTURE_BENCHMARK(BM_PngExport_Encode);
PICTURE_BENCHMARK(BM_PngExport_File);
PICTURE_BENCHMARK(BM_JpegExport_Libjpeg);
PICTURE_BENCHMARK(BM_JpegExport_Encode);
PICTURE_BENCHMARK(BM_JpegExport_File);

// Keeps each benchmark's times so the ratios can be printed afterwards.
class RatioReporter : public bench::RunTimesReporter {
public:
    void printRatio(const char* what, const std::string& ours, const std::string& peer,
                    double target) const {
        const Times* a = find(ours + "/min_time:2.000");
        const Times* b = find(peer + "/min_time:2.000");
        if (a == nullptr || b == nullptr || b->real <= 0) return;
        std::printf("%-58s real %7.1f / %7.1f ms = %.3f, CPU %.3f (target %.2f)\n", what, a->real,
                    b->real, a->real / b->real, a->cpu / b->cpu, target);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    inputs();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (ours / peer):\n");
    reporter.printRatio("12 MP photo upright / decoded as stored", "BM_Photo_DecodeUpright",
                        "BM_Photo_DecodeAsStored", 1.10);
    reporter.printRatio("12 MP photo upright / plain libjpeg", "BM_Photo_DecodeUpright",
                        "BM_Photo_PlainLibjpeg", 1.10);
    reporter.printRatio("12 MP lossless turn of the file / its decode", "BM_Photo_LosslessTurnFile",
                        "BM_Photo_DecodeAsStored", 1.50);
    reporter.printRatio("12 MP lossless turn in memory / its decode",
                        "BM_Photo_LosslessTurnInMemory", "BM_Photo_DecodeAsStored", 1.50);
    reporter.printRatio("HEIC 12 MP decodeHeif / libheif", "BM_Heic_DecodeHeif", "BM_Heic_Libheif",
                        1.10);
    reporter.printRatio("WebP 12 MP decodeWebp / libwebp", "BM_Webp_DecodeWebp", "BM_Webp_Libwebp",
                        1.10);
    reporter.printRatio("PNG export 1920 x 1080 encode / libpng", "BM_PngExport_Encode",
                        "BM_PngExport_Libpng", 1.20);
    reporter.printRatio("PNG export 1920 x 1080 to a file / libpng in memory", "BM_PngExport_File",
                        "BM_PngExport_Libpng", 1.20);
    reporter.printRatio("JPEG export 1920 x 1080 encode / libjpeg", "BM_JpegExport_Encode",
                        "BM_JpegExport_Libjpeg", 1.10);
    reporter.printRatio("JPEG export 1920 x 1080 to a file / libjpeg in memory",
                        "BM_JpegExport_File", "BM_JpegExport_Libjpeg", 1.10);
    benchmark::Shutdown();
    return 0;
}
