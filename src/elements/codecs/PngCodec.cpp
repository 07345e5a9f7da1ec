#include "elements/codecs/PngCodec.h"

#include <csetjmp>
#include <cstring>
#include <png.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// libpng leaves fatal errors with longjmp. As with the JPEG decoder, the
// functions that call setjmp hold no objects with destructors; the library
// structures and the row table live one frame further out, in RAII holders.

namespace schauplatz {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Largest ancillary chunk libpng may buffer (text, profiles); pixel data is
// streamed and not subject to this.
constexpr png_alloc_size_t kMaxChunkBytes = 16u * 1024 * 1024;

struct MemoryInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

extern "C" void pngRead(png_structp png, png_bytep out, png_size_t count) {
    auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (count > input->size - input->position) png_error(png, "truncated");
    std::memcpy(out, input->data + input->position, count);
    input->position += count;
}

extern "C" void pngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

extern "C" void pngWarning(png_structp, png_const_charp) {}

struct PngDecoder {
    png_structp png = nullptr;
    png_infop info = nullptr;

    PngDecoder() = default;
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;
    ~PngDecoder() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

// Reads the header and asks for 8-bit blue, green, red, alpha output.
bool pngReadHeader(PngDecoder& decoder, MemoryInput& input, png_uint_32& width,
                   png_uint_32& height) {
    png_structp png = decoder.png;
    png_infop info = decoder.info;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &input, pngRead);
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    // Texts and colour profiles change no pixel of ours, but compressed ones are inflated
    // each up to the chunk limit: a small file of many could cost gigabytes of inflating.
    // They are skipped unread, so the work stays with the picture's own data.
    static constexpr png_byte kIgnored[] = "zTXt\0iTXt\0tEXt\0iCCP\0sPLT";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnored, 5);
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (bitDepth == 16) png_set_strip_16(png); // keeps the high byte
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER); // only adds alpha where there is none
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == static_cast<png_size_t>(width) * 4;
}

bool pngReadRows(PngDecoder& decoder, png_bytepp rows) {
    if (setjmp(png_jmpbuf(decoder.png))) return false;
    png_read_image(decoder.png, rows);
    png_read_end(decoder.png, nullptr);
    return true;
}

} // namespace

void compositeOverWhite(TColor32* pixels, std::size_t count) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Four pixels at a time, each channel in a 16-bit lane: a * (255 - c) + 128
    // is at most 65153 and adding its high byte stays below 65536, so the
    // lanes never overflow and the result is the scalar formula's.
    const __m128i k255 = _mm_set1_epi16(255);
    const __m128i k128 = _mm_set1_epi16(128);
    const __m128i zero = _mm_setzero_si128();
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    auto twoPixels = [&](__m128i c) { // lanes: b g r a b g r a
        __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(c, 0xFF), 0xFF);
        __m128i x = _mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(k255, c)), k128);
        x = _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
        return _mm_sub_epi16(k255, x);
    };
    for (; i + 4 <= count; i += 4) {
        auto* at = reinterpret_cast<__m128i*>(pixels + i);
        const __m128i v = _mm_loadu_si128(at);
        const __m128i low = twoPixels(_mm_unpacklo_epi8(v, zero));
        const __m128i high = twoPixels(_mm_unpackhi_epi8(v, zero));
        _mm_storeu_si128(at, _mm_or_si128(_mm_packus_epi16(low, high), opaque));
    }
#endif
    for (; i < count; ++i)
        pixels[i] = compositeOverWhite(pixels[i]);
}

bool looksLikePng(ByteSpan data) {
    return data.size() >= 8 && std::memcmp(data.data(), kSignature, 8) == 0;
}

bool peekPngSize(ByteSpan data, std::int64_t& width, std::int64_t& height, int& bitsPerPixel) {
    ByteReader reader(data);
    // Signature, IHDR length and type, then width and height big-endian.
    if (!looksLikePng(data) || !reader.has(8, 25)) return false;
    if (std::memcmp(data.data() + 12, "IHDR", 4) != 0) return false;
    auto bigEndian = [&](std::size_t at) {
        return (std::int64_t{data[at]} << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) |
               data[at + 3];
    };
    width = bigEndian(16);
    height = bigEndian(20);
    const int depth = data[24];
    const int colourType = data[25];
    const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
    bitsPerPixel = depth * channels;
    return true;
}

bool decodePng(ByteSpan data, PixelTarget& target, PngAlpha alpha) {
    if (!looksLikePng(data)) return false;
    PngDecoder decoder;
    decoder.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!decoder.png) return false;
    decoder.info = png_create_info_struct(decoder.png);
    if (!decoder.info) return false;

    MemoryInput input{data.data(), data.size(), 0};
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    if (!pngReadHeader(decoder, input, width, height)) return false;
    if (!pictureSizeAllowed(width, height)) return false;

    const auto w = static_cast<std::int32_t>(width);
    const auto h = static_cast<std::int32_t>(height);
    TColor32* pixels = target.allocate(w, h);
    std::vector<png_bytep> rows(static_cast<std::size_t>(h));
    for (std::int32_t y = 0; y < h; ++y) {
        rows[static_cast<std::size_t>(y)] =
            reinterpret_cast<png_bytep>(pixels + static_cast<std::size_t>(y) * width);
    }
    if (!pngReadRows(decoder, rows.data())) return false;

    if (alpha == PngAlpha::OverWhite) {
        const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
        compositeOverWhite(pixels, count); // opaque pixels pass through unchanged
    }
    return true;
}

} // namespace schauplatz
