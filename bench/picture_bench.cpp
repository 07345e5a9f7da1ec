// Reading large pictures through ReadPictureFile, side by side with the plain
// decode of the same files by libjpeg and libpng (file read into memory,
// decoded into a fresh buffer, nothing else). The difference is what the
// picture reader adds: format detection, the 32-bit layout, compositing PNG
// transparency over white, sizing the picture. Prints the ratios at the end.
//
//   build/<dir>/bench/picture_bench [--benchmark_filter=...]

#include "elements/PictureFiles.h"
#include "raster/Bitmap32.h"

#include "BenchReporters.h"
#include "PictureBenchSupport.h"

#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <map>
#include <png.h>
#include <random>
#include <string>
#include <vector>

using namespace schauplatz;

namespace {

constexpr int kJpegWidth = 4000, kJpegHeight = 3000;
constexpr int kPngWidth = 2000, kPngHeight = 4000;

using bench::Bytes;
using bench::photoSamples;
using bench::writeFile;

Bytes readFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) std::abort();
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    Bytes bytes(static_cast<std::size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
    return bytes;
}

void pngToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

Bytes encodePng(const Bytes& rgba, int width, int height) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, pngToVector, nullptr);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, const_cast<unsigned char*>(rgba.data()) +
                               static_cast<std::size_t>(y) * width * 4);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct Files {
    bench::ScratchFolder scratch{"schauplatz-picture-bench"};
    const std::filesystem::path& folder = scratch.path;
    std::string jpeg;
    std::string png;

    Files() {
        jpeg = (folder / "facade-4000x3000.jpg").string();
        png = (folder / "element-2000x4000.png").string();
        writeFile(jpeg, bench::libjpegEncode(photoSamples(kJpegWidth, kJpegHeight, 3, 1),
                                             kJpegWidth, kJpegHeight, 90, false));
        writeFile(
            png, encodePng(photoSamples(kPngWidth, kPngHeight, 4, 2, true), kPngWidth, kPngHeight));
    }
};

const Files& files() {
    static const Files instance;
    return instance;
}

// The plain decodes: what a program that only wants the pixels would write.
void plainJpegDecode(const std::string& path, Bytes& pixels) {
    const Bytes data = readFile(path);
    jpeg_decompress_struct d{};
    jpeg_error_mgr error{};
    d.err = jpeg_std_error(&error);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    const std::size_t stride = static_cast<std::size_t>(d.output_width) * d.output_components;
    pixels.resize(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels.data() + stride * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

struct PngInput {
    const Bytes* data;
    std::size_t position;
};
void pngFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    std::memcpy(out, input->data->data() + input->position, count);
    input->position += count;
}

void plainPngDecode(const std::string& path, Bytes& pixels) {
    const Bytes data = readFile(path);
    PngInput input{&data, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &input, pngFromMemory);
    png_read_info(png, info);
    png_read_update_info(png, info);
    const std::size_t stride = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    pixels.resize(stride * height);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = pixels.data() + stride * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
}

void BM_Jpeg_ReadPictureFile(benchmark::State& state) {
    const std::string& path = files().jpeg;
    for (auto _ : state) {
        TBitmap32 picture; // a fresh picture each time, as when a facade is loaded
        ReadPictureFile(picture, path);
        if (picture.Width() != kJpegWidth) state.SkipWithError("not read");
        benchmark::DoNotOptimize(picture.Bits());
    }
}

void BM_Jpeg_PlainLibjpeg(benchmark::State& state) {
    const std::string& path = files().jpeg;
    for (auto _ : state) {
        Bytes pixels;
        plainJpegDecode(path, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_Png_ReadPictureFile(benchmark::State& state) {
    const std::string& path = files().png;
    for (auto _ : state) {
        TBitmap32 picture;
        ReadPictureFile(picture, path);
        if (picture.Width() != kPngWidth) state.SkipWithError("not read");
        benchmark::DoNotOptimize(picture.Bits());
    }
}

void BM_Png_PlainLibpng(benchmark::State& state) {
    const std::string& path = files().png;
    for (auto _ : state) {
        Bytes pixels;
        plainPngDecode(path, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}

BENCHMARK(BM_Jpeg_PlainLibjpeg)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Jpeg_ReadPictureFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Png_PlainLibpng)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Png_ReadPictureFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's mean time so the ratios can be printed afterwards.
class RatioReporter : public bench::RunTimesReporter {
public:
    void printRatio(const char* what, const std::string& ours, const std::string& peer) const {
        const Times* a = find(ours);
        const Times* b = find(peer);
        if (a == nullptr || b == nullptr) return;
        if (b->real <= 0 || b->cpu <= 0) return;
        // On a busy machine the CPU-time ratio is the steadier of the two.
        std::printf("%s\n  real %7.1f ms vs %7.1f ms, ratio %.3f\n  CPU  %7.1f ms vs %7.1f ms, "
                    "ratio %.3f\n",
                    what, a->real, b->real, a->real / b->real, a->cpu, b->cpu, a->cpu / b->cpu);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    files(); // make the files before any timing
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nReadPictureFile against the plain decode of the same file:\n");
    reporter.printRatio("JPEG 4000 x 3000 (ReadPictureFile/libjpeg)",
                        "BM_Jpeg_ReadPictureFile/min_time:2.000",
                        "BM_Jpeg_PlainLibjpeg/min_time:2.000");
    reporter.printRatio("PNG 2000 x 4000 RGBA (ReadPictureFile/libpng)",
                        "BM_Png_ReadPictureFile/min_time:2.000",
                        "BM_Png_PlainLibpng/min_time:2.000");
    benchmark::Shutdown();
    return 0;
}
