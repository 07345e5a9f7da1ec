// Thumbnails of camera photos: the element list worker's own function
// against libvips' vips_thumbnail (when installed) and a bare libjpeg 1/8
// decode, on 40 JPEGs of 4000 x 3000 that this program writes first.
//
// Run: build/release/bench/thumbnail_bench (scripts/bench.sh installs libvips).

#include "elements/Thumbnail.h"

#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <stdlib.h>

#if defined(SCHAUPLATZ_HAVE_VIPS)
#include <vips/vips.h>
#endif

namespace {

namespace fs = std::filesystem;
using schauplatz::PictureSize;

constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;
constexpr int kPhotoCount = 40;
constexpr PictureSize kArea{114, 194}; // the list's picture area

// Photo-like content: smooth light with a little sensor noise and some hard
// edges (window bars), so the files have realistic sizes (a few megabytes).
std::vector<unsigned char> makePhoto(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    std::vector<unsigned char> rgb(static_cast<std::size_t>(kPhotoWidth) * kPhotoHeight * 3);
    const int barEvery = 180 + static_cast<int>(seed % 60);
    for (int y = 0; y < kPhotoHeight; ++y) {
        unsigned char* row = rgb.data() + static_cast<std::size_t>(y) * kPhotoWidth * 3;
        for (int x = 0; x < kPhotoWidth; ++x) {
            const bool bar = (x % barEvery) < 14 || (y % (barEvery + 40)) < 14;
            int r = 90 + x * 120 / kPhotoWidth + static_cast<int>(seed % 40);
            int g = 70 + y * 100 / kPhotoHeight;
            int b = 60 + ((x + y) % 512) / 4;
            if (bar) r = g = b = 235;
            const int n = noise(random);
            row[3 * x] = static_cast<unsigned char>(std::clamp(r + n, 0, 255));
            row[3 * x + 1] = static_cast<unsigned char>(std::clamp(g + n, 0, 255));
            row[3 * x + 2] = static_cast<unsigned char>(std::clamp(b + n, 0, 255));
        }
    }
    return rgb;
}

void writeJpeg(const std::string& path, const std::vector<unsigned char>& rgb) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        std::exit(1);
    }
    jpeg_stdio_dest(&info, file);
    info.image_width = kPhotoWidth;
    info.image_height = kPhotoHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb.data()) +
                       static_cast<std::size_t>(info.next_scanline) * kPhotoWidth * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// The photos, written once per run into a private temporary folder.
class Photos {
public:
    Photos() {
        std::string pattern = (fs::temp_directory_path() / "thumbnail-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_folder = pattern;
        std::uintmax_t bytes = 0;
        for (int i = 0; i < kPhotoCount; ++i) {
            const std::string path = m_folder + "/foto " + std::to_string(i) + ".jpg";
            writeJpeg(path, makePhoto(static_cast<unsigned>(i) + 1));
            bytes += fs::file_size(path);
            m_paths.push_back(path);
        }
        std::cout << kPhotoCount << " photos of " << kPhotoWidth << " x " << kPhotoHeight << ", "
                  << bytes / kPhotoCount / 1024 << " KiB each on average\n";
    }
    ~Photos() {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    const std::vector<std::string>& paths() const { return m_paths; }

private:
    std::string m_folder;
    std::vector<std::string> m_paths;
};

const Photos& photos() {
    static const Photos instance;
    return instance;
}

void reportPerFile(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kPhotoCount);
    state.counters["per_file"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kPhotoCount),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The worker's own function: header, fit rule, DCT-scaled decode, area average.
void BM_Thumbnail_Schauplatz(benchmark::State& state) {
    const auto& paths = photos().paths();
    PictureSize size;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            auto result = schauplatz::MakeThumbnail(path, kArea);
            if (!result)
                state.SkipWithError("no thumbnail");
            else
                size = {result->Thumbnail.Width, result->Thumbnail.Height};
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetLabel(std::to_string(size.Width) + "x" + std::to_string(size.Height));
    reportPerFile(state);
}
BENCHMARK(BM_Thumbnail_Schauplatz)->Unit(benchmark::kMillisecond)->UseRealTime();

// A bare libjpeg decode at 1/8 scale into memory, no reduction: the floor.
void BM_Jpeg_OneEighthDecode(benchmark::State& state) {
    const auto& paths = photos().paths();
    std::vector<unsigned char> pixels;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            std::FILE* file = std::fopen(path.c_str(), "rb");
            jpeg_decompress_struct info{};
            jpeg_error_mgr error{};
            info.err = jpeg_std_error(&error);
            jpeg_create_decompress(&info);
            jpeg_stdio_src(&info, file);
            jpeg_read_header(&info, TRUE);
            info.scale_num = 1;
            info.scale_denom = 8;
            info.out_color_space = JCS_EXT_BGRA;
            jpeg_start_decompress(&info);
            pixels.resize(static_cast<std::size_t>(info.output_width) * info.output_height * 4);
            while (info.output_scanline < info.output_height) {
                JSAMPROW row = pixels.data() + static_cast<std::size_t>(info.output_scanline) *
                                                   info.output_width * 4;
                jpeg_read_scanlines(&info, &row, 1);
            }
            jpeg_finish_decompress(&info);
            jpeg_destroy_decompress(&info);
            std::fclose(file);
            benchmark::DoNotOptimize(pixels.data());
        }
    }
    reportPerFile(state);
}
BENCHMARK(BM_Jpeg_OneEighthDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

#if defined(SCHAUPLATZ_HAVE_VIPS)
// vips_thumbnail into the same box, written out to memory as the worker's
// result is. Threads: 0 = libvips' default, 1 = one thread like the worker.
void BM_Thumbnail_Vips(benchmark::State& state) {
    vips_concurrency_set(static_cast<int>(state.range(0)));
    const auto& paths = photos().paths();
    int width = 0, height = 0;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            VipsImage* thumbnail = nullptr;
            if (vips_thumbnail(path.c_str(), &thumbnail, kArea.Width, "height", kArea.Height,
                               nullptr) != 0) {
                state.SkipWithError(vips_error_buffer());
                vips_error_clear();
                break;
            }
            std::size_t bytes = 0;
            void* memory = vips_image_write_to_memory(thumbnail, &bytes);
            width = vips_image_get_width(thumbnail);
            height = vips_image_get_height(thumbnail);
            benchmark::DoNotOptimize(memory);
            g_free(memory);
            g_object_unref(thumbnail);
        }
    }
    state.SetLabel(std::to_string(width) + "x" + std::to_string(height));
    reportPerFile(state);
}
BENCHMARK(BM_Thumbnail_Vips)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

// Keeps each run's time per file so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            // Single runs, or the mean when repetitions are asked for.
            std::string name = run.benchmark_name();
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name != "mean") continue;
                name.resize(name.size() - std::string("_mean").size());
            }
            m_perFileMs[name] = run.GetAdjustedRealTime() / kPhotoCount; // time unit is ms
        }
    }
    void printRatios() const {
        const auto own = m_perFileMs.find("BM_Thumbnail_Schauplatz/real_time");
        if (own == m_perFileMs.end()) return;
        std::cout << "\nper file: own " << own->second << " ms\n";
        for (const auto& [name, ms] : m_perFileMs) {
            if (name == own->first) continue;
            std::cout << "  " << name << ": " << ms << " ms, own / peer = " << own->second / ms
                      << "\n";
        }
    }

private:
    std::map<std::string, double> m_perFileMs;
};

} // namespace

int main(int argc, char** argv) {
#if defined(SCHAUPLATZ_HAVE_VIPS)
    if (VIPS_INIT(argv[0])) return 1;
    vips_cache_set_max(0); // every thumbnail is made anew, as in the list
#endif
    benchmark::Initialize(&argc, argv);
    photos();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
#if defined(SCHAUPLATZ_HAVE_VIPS)
    vips_shutdown();
#endif
    return 0;
}
