// ReadPictureFile on one format path: the input is written to a file whose extension picks
// the decoder (FUZZ_PICTURE_EXTENSION), then read. Whatever the bytes, the outcome must be
// a picture whose every pixel is readable, or an empty 0 x 0 picture.
//
// With FUZZ_PICTURE_DIRECT_BMP the header is forced to an uncompressed 32-bit BMP, so
// nearly every input takes the direct path that reads rows straight into the picture.

#include "FuzzSupport.h"

#include "elements/PictureFiles.h"
#include "raster/Bitmap32.h"

#include <cstdint>
#include <vector>

#ifndef FUZZ_PICTURE_EXTENSION
#error "FUZZ_PICTURE_EXTENSION must name the file extension, e.g. \".png\""
#endif

namespace {

using namespace schauplatz;

void checkPicture(const TBitmap32& picture) {
    const std::int32_t width = picture.Width();
    const std::int32_t height = picture.Height();
    if (width < 0 || height < 0) fuzz::finding("negative picture size");
    if (width == 0 || height == 0) {
        if (width != 0 || height != 0) fuzz::finding("an empty picture must be 0 x 0");
        return;
    }
    if (picture.Bits() == nullptr) fuzz::finding("picture without pixel memory");
    // Read the first pixel of every row and the very last pixel: a buffer shorter than the
    // size claims shows up under ASan. (Every pixel would make pictures of many megapixels,
    // which tiny files may legally declare, too slow to check.)
    const std::size_t rowLength = static_cast<std::size_t>(width);
    const TColor32* pixels = picture.Bits();
    std::uint32_t sum = pixels[rowLength * static_cast<std::size_t>(height) - 1];
    for (std::int32_t y = 0; y < height; ++y)
        sum += pixels[rowLength * static_cast<std::size_t>(y)];
    volatile std::uint32_t sink = sum;
    (void)sink;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
#ifdef FUZZ_PICTURE_DIRECT_BMP
    if (bytes.size() >= 34) {
        bytes[0] = 'B';
        bytes[1] = 'M';
        bytes[28] = 32; // bits per pixel
        bytes[29] = 0;
        for (std::size_t i = 30; i < 34; ++i)
            bytes[i] = 0; // no compression
    }
#endif
    const std::string path = fuzz::scratchFolder() + "input" FUZZ_PICTURE_EXTENSION;
    fuzz::writeInput(path, bytes.data(), bytes.size());
    TBitmap32 picture;
    ReadPictureFile(picture, path);
    checkPicture(picture);
    // A second read into the same (now sized) picture must replace it cleanly.
    ReadPictureFile(picture, path);
    checkPicture(picture);
    return 0;
}
