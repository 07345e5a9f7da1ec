// The thumbnail of one picture file: header size, fit rule, decoding and the
// area-averaging reduction.

#include "elements/PictureFiles.h"
#include "elements/Thumbnail.h"
#include "elements/ThumbnailFile.h"
#include "elements/codecs/ExifOrientation.h"
#include "elements/codecs/HeifCodec.h"
#include "elements/codecs/JpegCodec.h"
#include "elements/codecs/PictureOrientation.h"
#include "elements/codecs/PngCodec.h"
#include "elements/codecs/WebpCodec.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace schauplatz {
namespace {

// Enough for the header of a PNG or a BMP; a JPEG, WebP or HEIF file is then read whole.
constexpr std::size_t kHeaderPrefixBytes = 64;

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

bool readExactly(std::FILE* file, std::uint8_t* into, std::size_t count) {
    return count == 0 || std::fread(into, 1, count, file) == count;
}

} // namespace

std::optional<std::vector<std::uint8_t>> ReadThumbnailSource(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || error) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > kMaxThumbnailSourceBytes) return std::nullopt;
    FilePointer file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    // The size is taken from the listing; a file that shrank meanwhile gives
    // a short read and no thumbnail, one that grew is read up to that size.
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::uintmax_t>(size, kHeaderPrefixBytes)));
    if (!readExactly(file.get(), bytes.data(), bytes.size())) return std::nullopt;
    if (looksLikeJpeg(bytes) || looksLikeWebp(bytes) || looksLikeHeif(bytes)) {
        const std::size_t prefix = bytes.size();
        bytes.resize(static_cast<std::size_t>(size));
        if (!readExactly(file.get(), bytes.data() + prefix, bytes.size() - prefix))
            return std::nullopt;
    }
    return bytes;
}

namespace {

// A photo's thumbnail shows it upright: the reduced decode is turned as its tag asks.
bool decodeJpegThumbnail(ByteSpan bytes, PictureSize fitted, int orientation,
                         DecodedPicture& upright) {
    const bool swapped = orientationSwapsSides(orientation);
    const PictureSize minimum = swapped ? PictureSize{fitted.Height, fitted.Width} : fitted;
    DecodedPicture stored;
    if (!DecodeJpegScaled(bytes, minimum, stored)) return false;
    if (orientation < 2 || orientation > 8) {
        upright = std::move(stored);
        return true;
    }
    TColor32* pixels = swapped ? upright.allocate(stored.height, stored.width)
                               : upright.allocate(stored.width, stored.height);
    orientPicture(stored.pixels.data(), stored.width, stored.height, orientation, pixels);
    return true;
}

// WebP and HEIF pictures as the element list shows PNGs: over white, opaque.
bool decodeNewFormat(ByteSpan bytes, DecodedPicture& decoded) {
    const bool read =
        looksLikeWebp(bytes) ? decodeWebp(bytes, decoded) : decodeHeif(bytes, decoded);
    if (read) compositeOverWhite(decoded.pixels.data(), decoded.pixels.size());
    return read;
}

} // namespace

std::optional<ThumbnailResult> MakeThumbnail(const std::string& path, PictureSize area) {
    const auto bytes = ReadThumbnailSource(path);
    if (!bytes) return std::nullopt;
    auto own = PictureHeaderSize(*bytes);
    if (!own) return std::nullopt;
    const int orientation = looksLikeJpeg(*bytes) ? jpegOrientation(*bytes) : 1;
    if (orientationSwapsSides(orientation)) std::swap(own->Width, own->Height);
    const PictureSize fitted = FitThumbnailSize(*own, area);
    if (fitted.Width <= 0 || fitted.Height <= 0) return std::nullopt;

    ThumbnailResult result;
    result.PictureOwnSize = *own;
    if (looksLikeJpeg(*bytes) || looksLikeWebp(*bytes) || looksLikeHeif(*bytes)) {
        DecodedPicture decoded;
        const bool read = looksLikeJpeg(*bytes)
                              ? decodeJpegThumbnail(*bytes, fitted, orientation, decoded)
                              : decodeNewFormat(*bytes, decoded);
        if (!read) return std::nullopt;
        result.Thumbnail =
            AreaAverageResize(decoded.pixels.data(), {decoded.width, decoded.height}, fitted);
    } else {
        TBitmap32 picture;
        ReadPictureFile(picture, path);
        if (picture.IsEmpty()) return std::nullopt;
        result.Thumbnail =
            AreaAverageResize(picture.Bits(), {picture.Width(), picture.Height()}, fitted);
    }
    if (result.Thumbnail.Empty()) return std::nullopt;
    return result;
}

} // namespace schauplatz
