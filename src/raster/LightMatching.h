#pragma once

// "Automatisch an Fassade anpassen": measures the facade in a band around the element's quad
// and suggests brightness, contrast and colour temperature so that the element's mean
// brightness and white balance sit where the band's do, within limits that keep a white
// element white. Integer arithmetic throughout; the rules are in docs/appearance.md.

#include "raster/Appearance.h"
#include "raster/Bitmap32.h"
#include "raster/ElementRendering.h"

#include <cstdint>

namespace schauplatz {

// Trimmed means of a set of pixels (the darkest and brightest 5 % by luminance left out),
// in 1/16 levels, and the mean absolute deviation of the luminance from its mean.
struct TLightMeasure {
    std::int64_t Count = 0; // pixels kept after trimming; 0: nothing measured
    std::int64_t Red16 = 0, Green16 = 0, Blue16 = 0, Luma16 = 0;
    std::int64_t Spread16 = 0;
};

// Luminance of a colour: (77 R + 150 G + 29 B + 128) >> 8.
std::uint32_t Luma(TColor32 C);

// The facade pixels whose centres lie outside the quad but inside the quad grown by 30 %
// about its centroid (15 % of its size on every side).
TLightMeasure MeasureFacadeBand(const TCustomBitmap32& Facade, const TElementQuad& Quad);
// The picture's pixels with alpha 128 or more.
TLightMeasure MeasureElement(const TCustomBitmap32& Picture);

// Limits of a suggestion.
inline constexpr std::int32_t kAutoBrightnessMin = -60, kAutoBrightnessMax = 40;
inline constexpr std::int32_t kAutoContrastMin = -30, kAutoContrastMax = 15;
inline constexpr std::int32_t kAutoTemperatureMin = -40, kAutoTemperatureMax = 40;
// A white pixel stays at least this bright in every channel, and its channels at most this
// far apart.
inline constexpr std::int32_t kWhiteFloor = 210;
inline constexpr std::int32_t kWhiteTint = 30;

// Current with brightness, contrast and temperature replaced by the suggestion (the other
// settings are kept). With nothing to measure (the band lies outside the facade, or the
// picture has no opaque pixel) the light settings become neutral.
TAppearance AutoMatchAppearance(const TCustomBitmap32& Facade, const TCustomBitmap32& Picture,
                                const TElementQuad& Quad, const TAppearance& Current);

// The suggestion from two measures, before Current is merged in.
TAppearance SuggestLight(const TLightMeasure& Band, const TLightMeasure& Element);

} // namespace schauplatz
