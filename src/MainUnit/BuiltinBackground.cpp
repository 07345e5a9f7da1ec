#include "MainUnit/BuiltinBackground.h"

namespace schauplatz {
namespace {

constexpr int kGridStep = 50;

BuiltinPicture makeBackground() {
    BuiltinPicture picture;
    picture.width = kBuiltinBackgroundWidth;
    picture.height = kBuiltinBackgroundHeight;
    picture.pixels.resize(static_cast<std::size_t>(picture.width) *
                          static_cast<std::size_t>(picture.height));
    const int span = picture.width + picture.height - 2;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            // Diagonal gradient from a light grey (0xD8) at the top left to a
            // darker one (0x98) at the bottom right; integer maths keeps it exact.
            int grey = 0xD8 - (0x40 * (x + y) + span / 2) / span;
            if (x % kGridStep == 0 || y % kGridStep == 0) grey -= 10;
            const auto g = static_cast<std::uint32_t>(grey);
            picture.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                           static_cast<std::size_t>(x)] = 0xFF000000u | g << 16 | g << 8 | g;
        }
    }
    return picture;
}

} // namespace

const BuiltinPicture& BuiltinBackground() {
    static const BuiltinPicture picture = makeBackground();
    return picture;
}

} // namespace schauplatz
