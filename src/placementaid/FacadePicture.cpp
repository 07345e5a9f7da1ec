#include "placementaid/PlacementAid.h"

#include "raster/Bitmap32.h"

#include <stdexcept>

namespace schauplatz::placementaid {

TFacadePicture::TFacadePicture(std::int32_t Width, std::int32_t Height, TPlane Red, TPlane Green,
                               TPlane Blue)
    : m_width(Width),
      m_height(Height), m_channels{std::move(Red), std::move(Green), std::move(Blue)} {
    const auto count = static_cast<std::size_t>(Width < 0 ? 0 : Width) *
                       static_cast<std::size_t>(Height < 0 ? 0 : Height);
    if (Width < 0 || Height < 0 || m_channels[0].size() != count || m_channels[1].size() != count ||
        m_channels[2].size() != count)
        throw std::invalid_argument("facade picture: size and pixels differ");
}

TFacadePicture makeFacadePicture(const TCustomBitmap32& Facade) {
    const std::int32_t w = Facade.Width(), h = Facade.Height();
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    TFacadePicture::TPlane red(count), green(count), blue(count);
    const TColor32* bits = Facade.Bits();
    for (std::size_t i = 0; i < count; ++i) {
        red[i] = static_cast<std::uint8_t>(RedComponent(bits[i]));
        green[i] = static_cast<std::uint8_t>(GreenComponent(bits[i]));
        blue[i] = static_cast<std::uint8_t>(BlueComponent(bits[i]));
    }
    return TFacadePicture(w, h, std::move(red), std::move(green), std::move(blue));
}

} // namespace schauplatz::placementaid
