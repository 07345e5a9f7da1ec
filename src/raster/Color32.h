#pragma once

#include <cstdint>
#include <vector>

namespace schauplatz {

// A straight (not premultiplied) colour:
//
//   bit 31      24 23     16 15      8 7       0
//      | alpha    | red     | green   | blue    |
//
// In memory (little-endian) a pixel's bytes are blue, green, red, alpha.
using TColor32 = std::uint32_t;
using TArrayOfColor32 = std::vector<TColor32>;

inline constexpr TColor32 clBlack32 = 0xFF000000u;
inline constexpr TColor32 clWhite32 = 0xFFFFFFFFu;

constexpr std::uint32_t AlphaComponent(TColor32 C) {
    return C >> 24;
}
constexpr std::uint32_t RedComponent(TColor32 C) {
    return (C >> 16) & 0xFFu;
}
constexpr std::uint32_t GreenComponent(TColor32 C) {
    return (C >> 8) & 0xFFu;
}
constexpr std::uint32_t BlueComponent(TColor32 C) {
    return C & 0xFFu;
}

constexpr TColor32 Color32(std::uint32_t R, std::uint32_t G, std::uint32_t B,
                           std::uint32_t A = 255) {
    return ((A & 0xFFu) << 24) | ((R & 0xFFu) << 16) | ((G & 0xFFu) << 8) | (B & 0xFFu);
}

// Replaces the alpha byte, keeping the colour channels.
constexpr TColor32 SetAlpha(TColor32 C, std::uint32_t A) {
    return (C & 0x00FFFFFFu) | ((A & 0xFFu) << 24);
}

// A platform colour 0x00BBGGRR as an opaque TColor32.
constexpr TColor32 Color32FromPlatform(std::uint32_t BGR) {
    return 0xFF000000u | ((BGR & 0xFFu) << 16) | (BGR & 0xFF00u) | ((BGR >> 16) & 0xFFu);
}

} // namespace schauplatz
