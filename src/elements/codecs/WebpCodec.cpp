#include "elements/codecs/WebpCodec.h"

#include "elements/codecs/PictureReasons.h"

#include <webp/decode.h>

#include <cstring>

namespace schauplatz {
namespace {

void setReason(std::string* reason, std::string text) {
    if (reason) *reason = std::move(text);
}

} // namespace

bool looksLikeWebp(ByteSpan data) {
    return data.size() >= 12 && std::memcmp(data.data(), "RIFF", 4) == 0 &&
           std::memcmp(data.data() + 8, "WEBP", 4) == 0;
}

bool peekWebpSize(ByteSpan data, std::int64_t& width, std::int64_t& height) {
    int w = 0, h = 0;
    if (!looksLikeWebp(data) || !WebPGetInfo(data.data(), data.size(), &w, &h)) return false;
    width = w;
    height = h;
    return true;
}

bool decodeWebp(ByteSpan data, PixelTarget& target, std::string* reason) {
    WebPBitstreamFeatures features{};
    if (!looksLikeWebp(data) ||
        WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) {
        setReason(reason, reasons::damaged());
        return false;
    }
    if (features.has_animation) {
        setReason(reason, reasons::animatedWebp());
        return false;
    }
    if (!pictureSizeAllowed(features.width, features.height)) {
        setReason(reason, reasons::tooLarge(features.width, features.height));
        return false;
    }
    TColor32* pixels = target.allocate(features.width, features.height);
    // BGRA bytes are the in-memory layout of a 32-bit picture; without alpha the decoder
    // writes 255 into the fourth byte.
    const std::size_t rowBytes = static_cast<std::size_t>(features.width) * 4;
    const std::size_t bytes = rowBytes * static_cast<std::size_t>(features.height);
    if (!WebPDecodeBGRAInto(data.data(), data.size(), reinterpret_cast<std::uint8_t*>(pixels),
                            bytes, static_cast<int>(rowBytes))) {
        setReason(reason, reasons::damaged());
        return false;
    }
    return true;
}

} // namespace schauplatz
