#include "raster/LightMatching.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace schauplatz {

namespace {

constexpr std::int64_t divRound(std::int64_t N, std::int64_t D) {
    return N >= 0 ? (N + D / 2) / D : -((-N + D / 2) / D);
}

// Per luminance level: the number of pixels and their channel sums.
struct Histogram {
    struct Bin {
        std::int64_t n = 0, r = 0, g = 0, b = 0;
    };
    std::array<Bin, 256> bins{};
    std::int64_t total = 0;

    void add(TColor32 C) {
        Bin& bin = bins[Luma(C)];
        ++bin.n;
        bin.r += (C >> 16) & 0xFFu;
        bin.g += (C >> 8) & 0xFFu;
        bin.b += C & 0xFFu;
        ++total;
    }

    // Removes Drop pixels from the dark end (or the bright end); a bin that is cut keeps
    // its share of each sum.
    void trim(std::int64_t Drop, bool FromDark) {
        for (int i = 0; i < 256 && Drop > 0; ++i) {
            Bin& bin = bins[static_cast<std::size_t>(FromDark ? i : 255 - i)];
            if (bin.n == 0) continue;
            const std::int64_t take = std::min(Drop, bin.n);
            const std::int64_t keep = bin.n - take;
            bin.r = bin.r * keep / bin.n;
            bin.g = bin.g * keep / bin.n;
            bin.b = bin.b * keep / bin.n;
            bin.n = keep;
            Drop -= take;
            total -= take;
        }
    }

    TLightMeasure measure() {
        const std::int64_t drop = total * 5 / 100;
        trim(drop, true);
        trim(drop, false);
        TLightMeasure m;
        m.Count = total;
        if (total == 0) return m;
        std::int64_t r = 0, g = 0, b = 0, y = 0;
        for (std::size_t i = 0; i < 256; ++i) {
            r += bins[i].r;
            g += bins[i].g;
            b += bins[i].b;
            y += bins[i].n * static_cast<std::int64_t>(i);
        }
        m.Red16 = divRound(16 * r, total);
        m.Green16 = divRound(16 * g, total);
        m.Blue16 = divRound(16 * b, total);
        m.Luma16 = divRound(16 * y, total);
        std::int64_t dev = 0;
        for (std::size_t i = 0; i < 256; ++i)
            dev += bins[i].n * std::llabs(16 * static_cast<std::int64_t>(i) - m.Luma16);
        m.Spread16 = divRound(dev, total);
        return m;
    }
};

// Even-odd test of point P against the quad, everything in the same integer units.
bool insideQuad(const std::array<std::int64_t, 8>& Q, std::int64_t PX, std::int64_t PY) {
    bool inside = false;
    for (int i = 0, j = 3; i < 4; j = i++) {
        const std::int64_t xi = Q[2 * i], yi = Q[2 * i + 1], xj = Q[2 * j], yj = Q[2 * j + 1];
        if ((yi > PY) == (yj > PY)) continue;
        // P is left of the edge's crossing at PY: (PX - xi) (yj - yi) < (xj - xi) (PY - yi),
        // the sign flipped for downward edges.
        const std::int64_t lhs = (PX - xi) * (yj - yi), rhs = (xj - xi) * (PY - yi);
        if (yj > yi ? lhs < rhs : lhs > rhs) inside = !inside;
    }
    return inside;
}

// Brightness whose gain is Target / Have (both positive).
std::int32_t brightnessFor(std::int64_t Target, std::int64_t Have) {
    if (Target >= Have) return static_cast<std::int32_t>(divRound(200 * (Target - Have), Target));
    return static_cast<std::int32_t>(divRound(200 * Target, Have) - 200);
}

// Contrast whose slope is Target / Have (both positive).
std::int32_t contrastFor(std::int64_t Target, std::int64_t Have) {
    if (Target >= Have)
        return static_cast<std::int32_t>(divRound(400 * (Target - Have), 3 * Target));
    return static_cast<std::int32_t>(divRound(100 * Target, Have) - 100);
}

bool keepsWhite(const TAppearance& A) {
    const TLightTables t = MakeLightTables(A);
    const std::int32_t r = t.Channel[0][255], g = t.Channel[1][255], b = t.Channel[2][255];
    const std::int32_t lo = std::min({r, g, b}), hi = std::max({r, g, b});
    return lo >= kWhiteFloor && hi - lo <= kWhiteTint;
}

} // namespace

std::uint32_t Luma(TColor32 C) {
    return (77 * ((C >> 16) & 0xFFu) + 150 * ((C >> 8) & 0xFFu) + 29 * (C & 0xFFu) + 128) >> 8;
}

TLightMeasure MeasureFacadeBand(const TCustomBitmap32& Facade, const TElementQuad& Quad) {
    // Units of 1/40 pixel: the centroid is 10 * sum, a grown corner 10 * sum + 13 (4 v - sum).
    // Corners are kept within 2^20 so the cross products of the inside test stay exact.
    constexpr std::int32_t kFar = 1 << 20;
    TElementQuad q = Quad;
    std::int64_t sx = 0, sy = 0;
    for (TPoint& p : q) {
        p.X = std::clamp(p.X, -kFar, kFar);
        p.Y = std::clamp(p.Y, -kFar, kFar);
        sx += p.X;
        sy += p.Y;
    }
    std::array<std::int64_t, 8> inner{}, outer{};
    std::int64_t minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        inner[2 * i] = 40 * std::int64_t{q[i].X};
        inner[2 * i + 1] = 40 * std::int64_t{q[i].Y};
        outer[2 * i] = 10 * sx + 13 * (4 * std::int64_t{q[i].X} - sx);
        outer[2 * i + 1] = 10 * sy + 13 * (4 * std::int64_t{q[i].Y} - sy);
        minX = i == 0 ? outer[0] : std::min(minX, outer[2 * i]);
        maxX = i == 0 ? outer[0] : std::max(maxX, outer[2 * i]);
        minY = i == 0 ? outer[1] : std::min(minY, outer[2 * i + 1]);
        maxY = i == 0 ? outer[1] : std::max(maxY, outer[2 * i + 1]);
    }
    const std::int64_t x0 = std::max<std::int64_t>(0, minX / 40 - 1);
    const std::int64_t y0 = std::max<std::int64_t>(0, minY / 40 - 1);
    const std::int64_t x1 = std::min<std::int64_t>(Facade.Width(), maxX / 40 + 2);
    const std::int64_t y1 = std::min<std::int64_t>(Facade.Height(), maxY / 40 + 2);
    Histogram h;
    for (std::int64_t y = y0; y < y1; ++y)
        for (std::int64_t x = x0; x < x1; ++x) {
            const std::int64_t px = 40 * x + 20, py = 40 * y + 20;
            if (insideQuad(outer, px, py) && !insideQuad(inner, px, py))
                h.add(Facade.GetPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)));
        }
    return h.measure();
}

TLightMeasure MeasureElement(const TCustomBitmap32& Picture) {
    Histogram h;
    for (std::int32_t y = 0; y < Picture.Height(); ++y) {
        const TColor32* row = Picture.RowPointer(y);
        for (std::int32_t x = 0; x < Picture.Width(); ++x)
            if ((row[x] >> 24) >= 128) h.add(row[x]);
    }
    return h.measure();
}

TAppearance SuggestLight(const TLightMeasure& Band, const TLightMeasure& Element) {
    TAppearance s;
    if (Band.Count == 0 || Element.Count == 0) return s;
    // +16 (one level) keeps black measures away from zero.
    s.Brightness = std::clamp(brightnessFor(Band.Luma16 + 16, Element.Luma16 + 16),
                              kAutoBrightnessMin, kAutoBrightnessMax);
    s.Contrast = std::clamp(contrastFor(Band.Spread16 + 16, Element.Spread16 + 16),
                            kAutoContrastMin, kAutoContrastMax);
    // Red and blue gains (1 + t/4) and (1 - t/4) bring the element's red-to-blue ratio to
    // the band's ratio rho when t = 4 (rho - 1) / (rho + 1).
    const std::int64_t bandRatio = (Band.Red16 + 16) * (Element.Blue16 + 16);
    const std::int64_t elementRatio = (Band.Blue16 + 16) * (Element.Red16 + 16);
    s.Temperature = std::clamp(static_cast<std::int32_t>(divRound(400 * (bandRatio - elementRatio),
                                                                  bandRatio + elementRatio)),
                               kAutoTemperatureMin, kAutoTemperatureMax);
    // Shrink the whole suggestion in tenths until white stays white (neutral always does).
    const TAppearance raw = s;
    for (int tenths = 9; tenths >= 0 && !keepsWhite(s); --tenths) {
        s.Brightness = static_cast<std::int32_t>(divRound(raw.Brightness * tenths, 10));
        s.Contrast = static_cast<std::int32_t>(divRound(raw.Contrast * tenths, 10));
        s.Temperature = static_cast<std::int32_t>(divRound(raw.Temperature * tenths, 10));
    }
    return s;
}

TAppearance AutoMatchAppearance(const TCustomBitmap32& Facade, const TCustomBitmap32& Picture,
                                const TElementQuad& Quad, const TAppearance& Current) {
    const TAppearance s = SuggestLight(MeasureFacadeBand(Facade, Quad), MeasureElement(Picture));
    TAppearance r = ClampAppearance(Current);
    r.Brightness = s.Brightness;
    r.Contrast = s.Contrast;
    r.Temperature = s.Temperature;
    return r;
}

} // namespace schauplatz
