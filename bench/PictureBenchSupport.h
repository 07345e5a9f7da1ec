#pragma once

// What the picture benchmarks share: photograph-like samples, whole files written at once and
// the plain libjpeg encode they measure against or make their input files with.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace schauplatz::bench {

using Bytes = std::vector<std::uint8_t>;

// Gradients with noise, so that the coders work about as hard as on a real facade photo.
// With four channels the alpha is opaque, or with TranslucentRightHalf the right half takes
// its row number (mod 256) as alpha.
inline Bytes photoSamples(int width, int height, int channels, unsigned seed,
                          bool translucentRightHalf = false) {
    Bytes out(static_cast<std::size_t>(width) * height * channels);
    std::mt19937 random(seed);
    std::size_t i = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned noise = random() % 24;
            out[i++] = static_cast<std::uint8_t>((x * 255 / width + noise) & 0xFF);
            out[i++] = static_cast<std::uint8_t>((y * 255 / height + noise) & 0xFF);
            out[i++] = static_cast<std::uint8_t>(((x + y) / 32 * 40 + noise) & 0xFF);
            if (channels == 4)
                out[i++] = static_cast<std::uint8_t>(
                    translucentRightHalf && x >= width / 2 ? (y & 0xFF) : 255);
        }
    return out;
}

// A folder under the system's temporary folder for the input files, made at once and removed
// with all it holds.
struct ScratchFolder {
    std::filesystem::path path;

    explicit ScratchFolder(const std::string& name)
        : path(std::filesystem::temp_directory_path() / name) {
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// RGB samples to a baseline JPEG in memory; fullChroma keeps the colour at full resolution.
inline Bytes libjpegEncode(const Bytes& rgb, int width, int height, int quality, bool fullChroma) {
    jpeg_compress_struct c{};
    jpeg_error_mgr error{};
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.dct_method = JDCT_ISLOW;
    if (fullChroma)
        for (int i = 0; i < 3; ++i)
            c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(rgb.data()) +
                       static_cast<std::size_t>(c.next_scanline) * width * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

} // namespace schauplatz::bench
