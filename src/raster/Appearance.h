#pragma once

// The appearance settings of one placed element: smoothing, light (brightness, contrast,
// colour temperature), opacity and the reveal shadow. The defaults are neutral: an element
// with neutral settings is drawn exactly as the nearest-neighbour rendering always drew it.
//
// The integer formulas are written down in docs/appearance.md.

#include "raster/Color32.h"

#include <array>
#include <cstdint>

namespace schauplatz {

enum class TShadowSide : std::uint8_t { Left, Right };

struct TAppearance {
    bool Smooth = false;
    std::int32_t Brightness = 0;     // -100..100, 0 neutral
    std::int32_t Contrast = 0;       // -100..100, 0 neutral
    std::int32_t Temperature = 0;    // -100 (cooler) .. 100 (warmer), 0 neutral
    std::int32_t Opacity = 255;      // master alpha 0..255
    std::int32_t ShadowDepth = 0;    // picture pixels 0..200; 0 no shadow
    std::int32_t ShadowDarkness = 0; // 0..100; 0 no shadow
    TShadowSide ShadowSide = TShadowSide::Left;

    friend constexpr bool operator==(const TAppearance&, const TAppearance&) = default;
};

inline constexpr std::int32_t kLightMin = -100;
inline constexpr std::int32_t kLightMax = 100;
inline constexpr std::int32_t kOpacityMax = 255;
inline constexpr std::int32_t kShadowDepthMax = 200;
inline constexpr std::int32_t kShadowDarknessMax = 100;

// Every value brought into its range.
TAppearance ClampAppearance(const TAppearance& A);

// Brightness, contrast and temperature all 0.
bool IsLightNeutral(const TAppearance& A);
// No visible shadow (depth or darkness 0).
bool IsShadowNeutral(const TAppearance& A);
// Drawn exactly as the plain nearest-neighbour rendering: no smoothing, neutral light, no shadow,
// opacity 255. Such an element takes the exact nearest-neighbour rendering and the copying
// composite.
bool IsNeutral(const TAppearance& A);

// One 256-entry table per colour channel (red, green, blue) applying brightness, contrast and
// temperature to a straight colour value. Built once per rendering.
struct TLightTables {
    std::array<std::array<std::uint8_t, 256>, 3> Channel{}; // [0] red, [1] green, [2] blue

    TColor32 Apply(TColor32 C) const {
        return (C & 0xFF000000u) | (TColor32{Channel[0][(C >> 16) & 0xFFu]} << 16) |
               (TColor32{Channel[1][(C >> 8) & 0xFFu]} << 8) | TColor32{Channel[2][C & 0xFFu]};
    }
};

// Out-of-range settings are clamped first. Neutral light gives the identity tables.
TLightTables MakeLightTables(const TAppearance& A);

// The gains the light formula uses, in 1/1024 (exposed for the automatic matching, which
// inverts them).
std::int32_t BrightnessGain1024(std::int32_t Brightness);
std::int32_t ContrastSlope1024(std::int32_t Contrast);
// Red and blue gains of a temperature; green stays 1024.
std::int32_t TemperatureRedGain1024(std::int32_t Temperature);
std::int32_t TemperatureBlueGain1024(std::int32_t Temperature);

} // namespace schauplatz
