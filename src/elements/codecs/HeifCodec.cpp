#include "elements/codecs/HeifCodec.h"

#include "elements/codecs/PictureReasons.h"

#include <libheif/heif.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

namespace schauplatz {
namespace {

struct ContextFree {
    void operator()(heif_context* context) const noexcept { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(const heif_image_handle* handle) const noexcept {
        heif_image_handle_release(handle);
    }
};
struct ImageRelease {
    void operator()(const heif_image* image) const noexcept { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const noexcept {
        heif_decoding_options_free(options);
    }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;
using Options = std::unique_ptr<heif_decoding_options, OptionsFree>;

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

void setReason(std::string* reason, std::string text) {
    if (reason) *reason = std::move(text);
}

// libheif (1.15) limits the sides of every picture it decodes, the composed one and what a
// coded bitstream announces, but not their product. 2^14 per side keeps every picture it
// accepts within 2^28 pixels; a bitstream that claims more than the file's boxes say is
// refused before anything is allocated for it.
constexpr std::int64_t kHeifMaxSide = 16384;
static_assert(kHeifMaxSide * kHeifMaxSide <= kMaxPicturePixels);

std::string heifTooLarge(std::int64_t width = 0, std::int64_t height = 0) {
    return reasons::tooLarge(width, height, kHeifMaxSide);
}

// Reads the file's boxes (nothing is decoded yet) and finds its primary picture.
Handle primaryPicture(ByteSpan data, Context& context, std::string* reason) {
    initialiseOnce();
    context.reset(heif_context_alloc());
    if (!context) throw std::bad_alloc();
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(kHeifMaxSide));
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), data.data(),
                                                                  data.size(), nullptr);
    if (error.code != heif_error_Ok) {
        setReason(reason, error.code == heif_error_Memory_allocation_error ? reasons::tooLarge(0, 0)
                                                                           : reasons::damaged());
        return nullptr;
    }
    heif_image_handle* handle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &handle);
    if (error.code != heif_error_Ok || !handle) {
        setReason(reason, reasons::noStillImage());
        return nullptr;
    }
    return Handle(handle);
}

constexpr std::uint8_t unpremultiply(std::uint32_t value, std::uint32_t alpha) {
    if (alpha == 0) return 0;
    const std::uint32_t straight = (value * 255 + alpha / 2) / alpha;
    return static_cast<std::uint8_t>(straight > 255 ? 255 : straight);
}

// R, G, B, A bytes read as a little-endian word are 0xAABBGGRR; the picture wants
// 0xAARRGGBB: red and blue swap places.
void swapRedAndBlue(const std::uint8_t* in, TColor32* out, std::int32_t count) {
    for (std::int32_t x = 0; x < count; ++x) {
        std::uint32_t v;
        std::memcpy(&v, in + 4 * static_cast<std::ptrdiff_t>(x), 4);
        out[x] = (v & 0xFF00FF00u) | ((v & 0xFFu) << 16) | ((v >> 16) & 0xFFu);
    }
}

void unpremultiplyRow(const std::uint8_t* in, TColor32* out, std::int32_t count) {
    for (std::int32_t x = 0; x < count; ++x, in += 4) {
        std::uint32_t r = in[0], g = in[1], b = in[2];
        const std::uint32_t a = in[3];
        if (a != 255) {
            r = unpremultiply(r, a);
            g = unpremultiply(g, a);
            b = unpremultiply(b, a);
        }
        out[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
}

// libheif gives R, G, B, A bytes; the picture holds B, G, R, A.
void copyPixels(const heif_image* image, bool premultiplied, std::int32_t width,
                std::int32_t height, TColor32* pixels) {
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = plane + static_cast<std::ptrdiff_t>(y) * stride;
        TColor32* out = pixels + static_cast<std::ptrdiff_t>(y) * width;
        if (premultiplied)
            unpremultiplyRow(in, out, width);
        else
            swapRedAndBlue(in, out, width);
    }
}

std::string decodeFailure(const heif_error& error, ByteSpan data) {
    // A missing decoder plugin is an unsupported codec; a coding this libheif has no decoder
    // for at all (VVC, say) an unsupported image type. Either way the decoder is missing.
    if (error.code == heif_error_Unsupported_feature &&
        (error.subcode == heif_suberror_Unsupported_codec ||
         error.subcode == heif_suberror_Unsupported_image_type))
        return reasons::missingDecoder(heifFormatName(data));
    if (error.code == heif_error_Memory_allocation_error) return heifTooLarge();
    return reasons::damaged();
}

} // namespace

bool looksLikeHeif(ByteSpan data) {
    if (data.size() < 12 || std::memcmp(data.data() + 4, "ftyp", 4) != 0) return false;
    const int length = data.size() > 4096 ? 4096 : static_cast<int>(data.size());
    return heif_check_filetype(data.data(), length) != heif_filetype_no;
}

std::string heifFormatName(ByteSpan data) {
    const int length = data.size() > 4096 ? 4096 : static_cast<int>(data.size());
    if (length < 12) return "HEIC";
    for (const char* brand : {"avif", "avis"}) {
        if (heif_has_compatible_brand(data.data(), length, brand) == 1) return "AVIF";
    }
    return "HEIC";
}

bool peekHeifSize(ByteSpan data, std::int64_t& width, std::int64_t& height) {
    if (!looksLikeHeif(data)) return false;
    Context context;
    const Handle handle = primaryPicture(data, context, nullptr);
    if (!handle) return false;
    width = heif_image_handle_get_width(handle.get());
    height = heif_image_handle_get_height(handle.get());
    return width > 0 && height > 0;
}

bool decodeHeif(ByteSpan data, PixelTarget& target, std::string* reason) {
    if (!looksLikeHeif(data)) {
        setReason(reason, reasons::damaged());
        return false;
    }
    Context context;
    const Handle handle = primaryPicture(data, context, reason);
    if (!handle) return false;
    const std::int64_t declaredWidth = heif_image_handle_get_width(handle.get());
    const std::int64_t declaredHeight = heif_image_handle_get_height(handle.get());
    if (!pictureSizeAllowed(declaredWidth, declaredHeight) || declaredWidth > kHeifMaxSide ||
        declaredHeight > kHeifMaxSide) {
        setReason(reason, heifTooLarge(declaredWidth, declaredHeight));
        return false;
    }
    const Options options(heif_decoding_options_alloc());
    if (!options) throw std::bad_alloc();
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                                               heif_chroma_interleaved_RGBA, options.get());
    const Image image(decoded);
    if (error.code != heif_error_Ok || !image) {
        setReason(reason, decodeFailure(error, data));
        return false;
    }
    const std::int32_t width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const std::int32_t height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pictureSizeAllowed(width, height) ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
        setReason(reason, reasons::damaged());
        return false;
    }
    const bool premultiplied = heif_image_is_premultiplied_alpha(image.get()) != 0;
    copyPixels(image.get(), premultiplied, width, height, target.allocate(width, height));
    return true;
}

} // namespace schauplatz
