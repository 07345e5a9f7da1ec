// Reading large pictures through ReadPictureFile, side by side with the plain
// decode of the same files by libjpeg and libpng (file read into memory,
// decoded into a fresh buffer, nothing else). The difference is what the
// picture reader adds: format detection, the 32-bit layout, compositing PNG
// transparency over white, sizing the picture. Prints the ratios at the end.
//
//   build/<dir>/bench/picture_bench [--benchmark_filter=...]

#include "elements/PictureFiles.h"
#include "raster/Bitmap32.h"

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

using Bytes = std::vector<unsigned char>;

// A photograph-like picture: smooth gradients with some noise, so that both
// codecs work about as hard as on a real facade photo.
Bytes photoSamples(int width, int height, int channels, unsigned seed) {
    Bytes out(static_cast<std::size_t>(width) * height * channels);
    std::mt19937 random(seed);
    std::size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned noise = random() % 24;
            out[i++] = static_cast<unsigned char>((x * 255 / width + noise) & 0xFF);
            out[i++] = static_cast<unsigned char>((y * 255 / height + noise) & 0xFF);
            out[i++] = static_cast<unsigned char>(((x + y) / 32 * 40 + noise) & 0xFF);
            if (channels == 4)
                out[i++] = static_cast<unsigned char>(x < width / 2 ? 255 : (y & 0xFF));
        }
    }
    return out;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

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

Bytes encodeJpeg(const Bytes& rgb, int width, int height) {
    jpeg_compress_struct c{};
    jpeg_error_mgr error{};
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb.data()) +
                       static_cast<std::size_t>(c.next_scanline) * width * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
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
    std::filesystem::path folder;
    std::string jpeg;
    std::string png;

    Files() {
        folder = std::filesystem::temp_directory_path() / "schauplatz-picture-bench";
        std::filesystem::create_directories(folder);
        jpeg = (folder / "facade-4000x3000.jpg").string();
        png = (folder / "element-2000x4000.png").string();
        writeFile(jpeg,
                  encodeJpeg(photoSamples(kJpegWidth, kJpegHeight, 3, 1), kJpegWidth, kJpegHeight));
        writeFile(png, encodePng(photoSamples(kPngWidth, kPngHeight, 4, 2), kPngWidth, kPngHeight));
    }
    ~Files() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
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
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                m_times[run.benchmark_name()] = {run.GetAdjustedRealTime(),
                                                 run.GetAdjustedCPUTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatio(const char* what, const std::string& ours, const std::string& peer) const {
        const auto a = m_times.find(ours);
        const auto b = m_times.find(peer);
        if (a == m_times.end() || b == m_times.end()) return;
        if (b->second.first <= 0 || b->second.second <= 0) return;
        // On a busy machine the CPU-time ratio is the steadier of the two.
        std::printf("%s\n  real %7.1f ms vs %7.1f ms, ratio %.3f\n  CPU  %7.1f ms vs %7.1f ms, "
                    "ratio %.3f\n",
                    what, a->second.first, b->second.first, a->second.first / b->second.first,
                    a->second.second, b->second.second, a->second.second / b->second.second);
    }

private:
    std::map<std::string, std::pair<double, double>> m_times; // real, CPU
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
