#include "elements/codecs/JpegTransform.h"

#include "elements/codecs/ExifOrientation.h"

#include <turbojpeg.h>

#include <memory>

namespace schauplatz {
namespace {

struct HandleCloser {
    void operator()(void* handle) const noexcept { tjDestroy(handle); }
};
using TurboHandle = std::unique_ptr<void, HandleCloser>;

struct BufferFree {
    void operator()(unsigned char* buffer) const noexcept { tjFree(buffer); }
};
using TurboBuffer = std::unique_ptr<unsigned char, BufferFree>;

// The TurboJPEG operation that does what the orientation asks for.
int transformFor(int orientation) {
    switch (orientation) {
    case 2:
        return TJXOP_HFLIP;
    case 3:
        return TJXOP_ROT180;
    case 4:
        return TJXOP_VFLIP;
    case 5:
        return TJXOP_TRANSPOSE;
    case 6:
        return TJXOP_ROT90;
    case 7:
        return TJXOP_TRANSVERSE;
    case 8:
        return TJXOP_ROT270;
    default:
        return TJXOP_NONE;
    }
}

} // namespace

bool resetJpegOrientation(std::vector<std::uint8_t>& jpeg) {
    const auto found = findJpegOrientation(jpeg);
    if (!found) return false;
    for (std::size_t i = 0; i < found->valueBytes; ++i) {
        const bool last = found->bigEndian ? i + 1 == found->valueBytes : i == 0;
        jpeg[found->valueOffset + i] = last ? 1 : 0;
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> transformJpegLosslessly(ByteSpan jpeg, int orientation) {
    const int operation = transformFor(orientation);
    if (operation == TJXOP_NONE || jpeg.empty()) return std::nullopt;
    TurboHandle handle(tjInitTransform());
    if (!handle) return std::nullopt;
    const auto* data = jpeg.data();
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling,
                            &colourSpace) != 0)
        return std::nullopt;
    // Refuse oversized pictures before the library allocates their coefficients.
    if (!pictureSizeAllowed(width, height)) return std::nullopt;
    tjtransform transform{};
    transform.op = operation;
    transform.options = TJXOPT_PERFECT;
    unsigned char* output = nullptr;
    unsigned long outputSize = 0;
    // Limiting the scans keeps a hostile progressive file from taking minutes.
    const int failed = tjTransform(handle.get(), data, size, 1, &output, &outputSize, &transform,
                                   TJFLAG_LIMITSCANS);
    TurboBuffer owned(output);
    if (failed != 0 || !output || outputSize == 0) return std::nullopt;
    std::vector<std::uint8_t> result(output, output + outputSize);
    resetJpegOrientation(result);
    return result;
}

} // namespace schauplatz
