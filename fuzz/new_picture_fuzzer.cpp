// The readers of today's formats on hostile bytes: FUZZ_NEW_PICTURE_HEIF takes the input as
// a HEIC/HEIF/AVIF file, FUZZ_NEW_PICTURE_WEBP as a WebP file. Whatever the bytes, a decode
// either fails with a reason or gives a picture within the size limits whose every row is
// readable, allocated exactly once; header peeks never disagree with the limits.

#include "FuzzSupport.h"

#include "elements/codecs/HeifCodec.h"
#include "elements/codecs/WebpCodec.h"

#include <cstdint>
#include <string>

namespace {

using namespace schauplatz;

struct CheckedTarget : DecodedPicture {
    int allocations = 0;
    TColor32* allocate(std::int32_t w, std::int32_t h) override {
        if (!pictureSizeAllowed(w, h)) fuzz::finding("allocation beyond the picture limits");
        if (++allocations > 1) fuzz::finding("the decoder allocated twice");
        return DecodedPicture::allocate(w, h);
    }
};

void checkPicture(const CheckedTarget& picture) {
    if (picture.pixels.size() !=
        static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height))
        fuzz::finding("picture size and pixel count disagree");
    std::uint32_t sum = 0;
    for (std::int32_t y = 0; y < picture.height; ++y)
        sum += picture.at(0, y) + picture.at(picture.width - 1, y);
    volatile std::uint32_t sink = sum;
    (void)sink;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan bytes(data, size);
    CheckedTarget picture;
    std::string reason;
    std::int64_t width = 0, height = 0;
#if defined(FUZZ_NEW_PICTURE_HEIF)
    (void)looksLikeHeif(bytes);
    (void)heifFormatName(bytes);
    (void)peekHeifSize(bytes, width, height);
    const bool read = decodeHeif(bytes, picture, &reason);
#elif defined(FUZZ_NEW_PICTURE_WEBP)
    (void)peekWebpSize(bytes, width, height);
    const bool read = decodeWebp(bytes, picture, &reason);
#else
#error "define FUZZ_NEW_PICTURE_HEIF or FUZZ_NEW_PICTURE_WEBP"
#endif
    if (read) {
        if (picture.allocations != 1) fuzz::finding("a picture without its allocation");
        checkPicture(picture);
    } else if (reason.empty()) {
        fuzz::finding("a failed decode without a reason");
    }
    return 0;
}
