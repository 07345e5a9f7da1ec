#include "raster/Appearance.h"

#include <algorithm>

namespace schauplatz {

namespace {

// N / D rounded to nearest, exact halves away from zero (D > 0).
constexpr std::int64_t divRound(std::int64_t N, std::int64_t D) {
    return N >= 0 ? (N + D / 2) / D : -((-N + D / 2) / D);
}

constexpr std::int32_t kUnit = 1024;

} // namespace

TAppearance ClampAppearance(const TAppearance& A) {
    TAppearance R = A;
    R.Brightness = std::clamp(A.Brightness, kLightMin, kLightMax);
    R.Contrast = std::clamp(A.Contrast, kLightMin, kLightMax);
    R.Temperature = std::clamp(A.Temperature, kLightMin, kLightMax);
    R.Opacity = std::clamp(A.Opacity, 0, kOpacityMax);
    R.ShadowDepth = std::clamp(A.ShadowDepth, 0, kShadowDepthMax);
    R.ShadowDarkness = std::clamp(A.ShadowDarkness, 0, kShadowDarknessMax);
    if (R.ShadowSide != TShadowSide::Right) R.ShadowSide = TShadowSide::Left;
    return R;
}

bool IsLightNeutral(const TAppearance& A) {
    return A.Brightness == 0 && A.Contrast == 0 && A.Temperature == 0;
}

bool IsShadowNeutral(const TAppearance& A) {
    return A.ShadowDepth <= 0 || A.ShadowDarkness <= 0;
}

bool IsNeutral(const TAppearance& A) {
    return !A.Smooth && IsLightNeutral(A) && IsShadowNeutral(A) && A.Opacity >= kOpacityMax;
}

// Brightness is an exposure gain, symmetric in stops: +100 doubles, -100 halves.
std::int32_t BrightnessGain1024(std::int32_t Brightness) {
    const std::int64_t b = std::clamp(Brightness, kLightMin, kLightMax);
    if (b >= 0) return static_cast<std::int32_t>(divRound(std::int64_t{kUnit} * 200, 200 - b));
    return static_cast<std::int32_t>(divRound(std::int64_t{kUnit} * (200 + b), 200));
}

// Contrast is the slope around mid-grey 128: -100 flattens to grey, +100 steepens four times.
std::int32_t ContrastSlope1024(std::int32_t Contrast) {
    const std::int64_t c = std::clamp(Contrast, kLightMin, kLightMax);
    if (c >= 0) return static_cast<std::int32_t>(divRound(std::int64_t{kUnit} * 400, 400 - 3 * c));
    return static_cast<std::int32_t>(divRound(std::int64_t{kUnit} * (100 + c), 100));
}

// Temperature moves red and blue against each other by up to a quarter.
std::int32_t TemperatureRedGain1024(std::int32_t Temperature) {
    const std::int64_t t = std::clamp(Temperature, kLightMin, kLightMax);
    return static_cast<std::int32_t>(kUnit + divRound(256 * t, 100));
}

std::int32_t TemperatureBlueGain1024(std::int32_t Temperature) {
    const std::int64_t t = std::clamp(Temperature, kLightMin, kLightMax);
    return static_cast<std::int32_t>(kUnit - divRound(256 * t, 100));
}

TLightTables MakeLightTables(const TAppearance& A) {
    const TAppearance a = ClampAppearance(A);
    const std::int64_t gb = BrightnessGain1024(a.Brightness);
    const std::int64_t slope = ContrastSlope1024(a.Contrast);
    const std::int64_t gains[3] = {TemperatureRedGain1024(a.Temperature), kUnit,
                                   TemperatureBlueGain1024(a.Temperature)};
    TLightTables tables;
    for (int ch = 0; ch < 3; ++ch)
        for (std::int64_t v = 0; v < 256; ++v) {
            const std::int64_t lit = divRound(v * gb * gains[ch], std::int64_t{kUnit} * kUnit);
            const std::int64_t out = 128 + divRound((lit - 128) * slope, kUnit);
            tables.Channel[static_cast<std::size_t>(ch)][static_cast<std::size_t>(v)] =
                static_cast<std::uint8_t>(std::clamp<std::int64_t>(out, 0, 255));
        }
    return tables;
}

} // namespace schauplatz
