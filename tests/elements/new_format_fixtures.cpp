#include "new_format_fixtures.h"

#include <libheif/heif.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace schauplatz::picture_test {

std::vector<TColor32> RgbaPicture::colours() const {
    std::vector<TColor32> out(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint8_t* p = &samples[i * 4];
        out[i] = (TColor32{p[3]} << 24) | (TColor32{p[0]} << 16) | (TColor32{p[1]} << 8) | p[2];
    }
    return out;
}

RgbaPicture gradientPicture(int width, int height, bool alpha) {
    RgbaPicture picture{width, height, Bytes(static_cast<std::size_t>(width) * height * 4)};
    std::uint8_t* p = picture.samples.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, p += 4) {
            p[0] = static_cast<std::uint8_t>(40 + x * 170 / width);
            p[1] = static_cast<std::uint8_t>(60 + y * 150 / height);
            p[2] = static_cast<std::uint8_t>(((x / 8 + y / 8) % 2) ? 200 : 90);
            p[3] = !alpha ? 255 : x < width / 3 ? 255 : x < 2 * width / 3 ? 128 : 0;
        }
    }
    return picture;
}

RgbaPicture blockPicture(int columns, int rows, int blockSize,
                         const std::vector<TColor32>& colours) {
    RgbaPicture picture{columns * blockSize, rows * blockSize, {}};
    picture.samples.resize(static_cast<std::size_t>(picture.width) * picture.height * 4);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const TColor32 c =
                colours[static_cast<std::size_t>(y / blockSize * columns + x / blockSize)];
            std::uint8_t* p =
                &picture.samples[(static_cast<std::size_t>(y) * picture.width + x) * 4];
            p[0] = static_cast<std::uint8_t>(c >> 16);
            p[1] = static_cast<std::uint8_t>(c >> 8);
            p[2] = static_cast<std::uint8_t>(c);
            p[3] = static_cast<std::uint8_t>(c >> 24);
        }
    }
    return picture;
}

namespace {

void check(const heif_error& error, const char* what) {
    if (error.code != heif_error_Ok)
        throw std::runtime_error(std::string(what) + ": " + (error.message ? error.message : ""));
}

heif_error appendToBytes(heif_context*, const void* data, size_t size, void* userdata) {
    auto* out = static_cast<Bytes*>(userdata);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

heif_image* heifImageOf(const RgbaPicture& picture, bool alpha) {
    heif_image* image = nullptr;
    check(heif_image_create(picture.width, picture.height, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            &image),
          "heif_image_create");
    check(heif_image_add_plane(image, heif_channel_interleaved, picture.width, picture.height, 8),
          "heif_image_add_plane");
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* in =
                &picture.samples[(static_cast<std::size_t>(y) * picture.width + x) * 4];
            std::copy(in, in + channels,
                      plane + static_cast<std::ptrdiff_t>(y) * stride + x * channels);
        }
    }
    return image;
}

} // namespace

Bytes encodeHeif(const RgbaPicture& picture, HeifCoding coding, bool alpha, int orientation) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    check(heif_context_get_encoder_for_format(
              context, coding == HeifCoding::Hevc ? heif_compression_HEVC : heif_compression_AV1,
              &encoder),
          "no encoder");
    heif_encoder_set_lossy_quality(encoder, 90);
    if (coding == HeifCoding::Av1) heif_encoder_set_parameter(encoder, "speed", "9");
    if (coding == HeifCoding::Hevc) heif_encoder_set_parameter(encoder, "preset", "ultrafast");
    heif_image* image = heifImageOf(picture, alpha);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(orientation);
    // A plain coded picture (no grid around it), so tests can find and change its boxes.
    options->macOS_compatibility_workaround = 0;
    check(heif_context_encode_image(context, image, encoder, options, nullptr), "encode");
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    Bytes out;
    heif_writer writer{1, appendToBytes};
    check(heif_context_write(context, &writer, &out), "write");
    heif_context_free(context);
    return out;
}

RgbaPicture referenceHeifDecode(const Bytes& file) {
    heif_context* context = heif_context_alloc();
    check(heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr),
          "read");
    heif_image_handle* handle = nullptr;
    check(heif_context_get_primary_image_handle(context, &handle), "primary");
    heif_image* image = nullptr;
    check(heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                            nullptr),
          "decode");
    RgbaPicture out;
    out.width = heif_image_get_width(image, heif_channel_interleaved);
    out.height = heif_image_get_height(image, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < out.height; ++y)
        out.samples.insert(out.samples.end(), plane + static_cast<std::ptrdiff_t>(y) * stride,
                           plane + static_cast<std::ptrdiff_t>(y) * stride + out.width * 4);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return out;
}

Bytes encodeWebp(const RgbaPicture& picture, WebpKind kind, bool alpha) {
    Bytes rgb;
    const std::uint8_t* samples = picture.samples.data();
    int stride = picture.width * 4;
    if (!alpha) { // an RGB encode has no alpha chunk at all
        for (std::size_t i = 0; i < picture.samples.size(); i += 4)
            rgb.insert(rgb.end(), samples + i, samples + i + 3);
        samples = rgb.data();
        stride = picture.width * 3;
    }
    std::uint8_t* output = nullptr;
    std::size_t size = 0;
    if (kind == WebpKind::Lossless)
        size = alpha
                   ? WebPEncodeLosslessRGBA(samples, picture.width, picture.height, stride, &output)
                   : WebPEncodeLosslessRGB(samples, picture.width, picture.height, stride, &output);
    else
        size = alpha ? WebPEncodeRGBA(samples, picture.width, picture.height, stride, 90, &output)
                     : WebPEncodeRGB(samples, picture.width, picture.height, stride, 90, &output);
    if (size == 0) throw std::runtime_error("WebP encode failed");
    Bytes out(output, output + size);
    WebPFree(output);
    return out;
}

RgbaPicture referenceWebpDecode(const Bytes& file) {
    RgbaPicture out;
    std::uint8_t* pixels = WebPDecodeRGBA(file.data(), file.size(), &out.width, &out.height);
    if (!pixels) throw std::runtime_error("WebP decode failed");
    out.samples.assign(pixels, pixels + static_cast<std::size_t>(out.width) * out.height * 4);
    WebPFree(pixels);
    return out;
}

Bytes orientationTiff(int orientation, bool bigEndian) {
    Bytes out;
    auto u16 = [&](std::uint32_t v) {
        if (bigEndian) {
            out.push_back(static_cast<std::uint8_t>(v >> 8));
            out.push_back(static_cast<std::uint8_t>(v));
        } else {
            out.push_back(static_cast<std::uint8_t>(v));
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    };
    auto u32 = [&](std::uint32_t v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    };
    out.reserve(64);
    out.push_back(bigEndian ? 'M' : 'I');
    out.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(8);
    u16(2);
    u16(0x010F); // Make, ASCII, 4 bytes inline: "Cam"
    u16(2);
    u32(4);
    for (const char c : {'C', 'a', 'm', '\0'})
        out.push_back(static_cast<std::uint8_t>(c));
    u16(0x0112); // Orientation, SHORT, 1
    u16(3);
    u32(1);
    u16(static_cast<std::uint32_t>(orientation));
    u16(0);
    u32(0); // no next directory
    return out;
}

Bytes withExif(const Bytes& jpeg, const Bytes& tiff) {
    Bytes segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    const std::size_t length = segment.size() - 2;
    segment[2] = static_cast<std::uint8_t>(length >> 8);
    segment[3] = static_cast<std::uint8_t>(length);
    Bytes out = jpeg;
    out.insert(out.begin() + 2, segment.begin(), segment.end());
    return out;
}

Bytes encodeJpegOf(const RgbaPicture& picture, bool subsampled, int quality) {
    Bytes rgb;
    for (std::size_t i = 0; i < picture.samples.size(); i += 4)
        rgb.insert(rgb.end(), picture.samples.begin() + i, picture.samples.begin() + i + 3);
    return encodeJpeg(JpegKind::Rgb, picture.width, picture.height, rgb, quality, subsampled);
}

int largestDifference(const std::vector<TColor32>& a, const std::vector<TColor32>& b) {
    int largest = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            const int d =
                static_cast<int>((a[i] >> shift) & 0xFF) - static_cast<int>((b[i] >> shift) & 0xFF);
            largest = std::max(largest, d < 0 ? -d : d);
        }
    }
    return largest;
}

} // namespace schauplatz::picture_test
