#pragma once

// What reading a picture file and keeping one in the store share: the size limit of a file
// read whole, the decoder target that is a picture, the extension test and the read itself.

#include "elements/codecs/PixelTarget.h"
#include "raster/Bitmap32.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace schauplatz {

// The largest file read whole into memory: a 2^28-pixel 32-bit BMP plus room for headers and
// palettes. Anything longer cannot hold a picture we accept.
inline constexpr std::uintmax_t kMaxPictureFileBytes = (std::uintmax_t{1} << 30) + (1u << 20);

// Pixels land straight in the picture: the decoders size it and fill its memory.
class BitmapTarget : public PixelTarget {
public:
    explicit BitmapTarget(TCustomBitmap32& picture) : m_picture(picture) {}
    TColor32* allocate(std::int32_t width, std::int32_t height) override {
        m_picture.SetSize(width, height);
        return m_picture.Bits();
    }

private:
    TCustomBitmap32& m_picture;
};

// The extension of the path's last name in upper case ASCII, with its dot; empty when the
// name has none.
std::string UpperExtension(const std::string& path);

// The whole regular file of at most kMaxPictureFileBytes; otherwise nothing and the reason
// (reasons::missing, folder, notReadable or tooLarge without a size). reason is empty after a
// read.
std::optional<std::vector<std::uint8_t>> ReadPictureBytes(const std::string& path,
                                                          std::string& reason);

} // namespace schauplatz
