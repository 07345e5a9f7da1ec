#pragma once

// The background the window holds before any facade is loaded: a neutral
// 1000 x 667 placeholder (a soft grey gradient with a faint grid), made in
// code so the program starts with a sensible picture even without Muster/.

#include <cstdint>
#include <vector>

namespace schauplatz {

inline constexpr int kBuiltinBackgroundWidth = 1000;
inline constexpr int kBuiltinBackgroundHeight = 667;

struct BuiltinPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB, top-down rows, all opaque
};

const BuiltinPicture& BuiltinBackground();

} // namespace schauplatz
