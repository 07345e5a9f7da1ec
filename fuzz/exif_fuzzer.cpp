// The EXIF orientation reader on hostile bytes, taken both as a JPEG and as a bare TIFF
// structure: a tag found lies inside the data with a value of 1..8, resetting it gives 1,
// and a decodable JPEG turned upright (in the decoder and losslessly) keeps within limits.

#include "FuzzSupport.h"

#include "elements/codecs/ExifOrientation.h"
#include "elements/codecs/JpegCodec.h"
#include "elements/codecs/JpegTransform.h"

#include <cstdint>
#include <vector>

namespace {

using namespace schauplatz;

void checkFound(const std::optional<ExifOrientation>& found, std::size_t size) {
    if (!found) return;
    if (found->value < 1 || found->value > 8) fuzz::finding("orientation outside 1..8");
    if (found->valueBytes != 2 && found->valueBytes != 4) fuzz::finding("odd value width");
    if (found->valueOffset > size || found->valueBytes > size - found->valueOffset)
        fuzz::finding("tag value outside the data");
}

// Larger inputs decode slowly and add little: the reader is what is fuzzed here.
constexpr std::size_t kMaxDecodedInput = 64 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan bytes(data, size);
    checkFound(findTiffOrientation(bytes), size);
    const auto found = findJpegOrientation(bytes);
    checkFound(found, size);
    if (!found) return 0;
    std::vector<std::uint8_t> copy(data, data + size);
    if (!resetJpegOrientation(copy) || jpegOrientation(copy) != 1)
        fuzz::finding("the reset tag does not read 1");
    if (size > kMaxDecodedInput) return 0;
    DecodedPicture upright;
    if (decodeJpegUpright(bytes, found->value, upright) &&
        !pictureSizeAllowed(upright.width, upright.height))
        fuzz::finding("upright picture beyond the limits");
    if (const auto turned = transformJpegLosslessly(bytes, found->value)) {
        if (jpegOrientation(*turned) != 1 && findJpegOrientation(*turned))
            fuzz::finding("a turned JPEG keeps its orientation");
    }
    return 0;
}
