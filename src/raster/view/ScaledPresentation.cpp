#include "raster/view/ScaledPresentation.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace schauplatz {

namespace {

constexpr std::uint32_t kWeightOne = 4096; // the weights of one screen pixel sum to this

// Which picture pixels one screen pixel reads along an axis, and with what weight.
struct AxisTaps {
    std::vector<std::int32_t> first; // first picture pixel; count 0: outside the picture
    std::vector<std::uint8_t> count;
    std::vector<std::uint32_t> offset; // into weights
    std::vector<std::uint16_t> weights;
};

// Screen pixels [from, to) of an axis over a picture of `size` pixels. A screen pixel covers
// [(i - origin) D, (i - origin + 1) D) in units of 1 / N; picture pixel p covers
// [p N, (p + 1) N). Where the picture ends inside a screen pixel, the part it covers counts
// as the whole, so the picture's last row and column are not darkened.
AxisTaps reductionTaps(std::int64_t from, std::int64_t to, std::int64_t origin, std::int64_t size,
                       const TViewScale& scale) {
    AxisTaps taps;
    const auto n = static_cast<std::size_t>(std::max<std::int64_t>(0, to - from));
    taps.first.resize(n);
    taps.count.resize(n);
    taps.offset.resize(n);
    const std::int64_t N = scale.Num, D = scale.Den, end = size * N;
    for (std::size_t k = 0; k < n; ++k) {
        const std::int64_t a = (from + static_cast<std::int64_t>(k) - origin) * D;
        const std::int64_t lo = std::max<std::int64_t>(a, 0), hi = std::min(a + D, end);
        taps.offset[k] = static_cast<std::uint32_t>(taps.weights.size());
        if (hi <= lo) continue;
        const std::int64_t covered = hi - lo;
        const std::int64_t p0 = lo / N, p1 = (hi + N - 1) / N; // [p0, p1)
        std::uint32_t sum = 0;
        std::size_t largest = taps.weights.size();
        for (std::int64_t p = p0; p < p1; ++p) {
            const std::int64_t overlap = std::min(hi, (p + 1) * N) - std::max(lo, p * N);
            const auto w =
                static_cast<std::uint16_t>((overlap * kWeightOne + covered / 2) / covered);
            if (largest == taps.weights.size() || w > taps.weights[largest])
                largest = taps.weights.size();
            taps.weights.push_back(w);
            sum += w;
        }
        // Rounding may leave the sum a little off; the largest weight takes the difference.
        taps.weights[largest] =
            static_cast<std::uint16_t>(taps.weights[largest] + kWeightOne - sum);
        taps.first[k] = static_cast<std::int32_t>(p0);
        taps.count[k] = static_cast<std::uint8_t>(p1 - p0);
    }
    return taps;
}

// Screen pixel -> picture pixel, -1 outside the picture (nearest neighbour, scale >= 1).
std::vector<std::int32_t> nearestMap(std::int64_t from, std::int64_t to, std::int64_t origin,
                                     std::int64_t size, const TViewScale& scale) {
    std::vector<std::int32_t> map(static_cast<std::size_t>(std::max<std::int64_t>(0, to - from)));
    for (std::size_t k = 0; k < map.size(); ++k) {
        const std::int64_t p = ScreenToPicture(from + static_cast<std::int64_t>(k), origin, scale);
        map[k] = p >= 0 && p < size ? static_cast<std::int32_t>(p) : -1;
    }
    return map;
}

void presentNearest(const TScaledSource& src, TCustomBitmap32& dst, const TRect& R,
                    const TViewScale& scale, std::int64_t ox, std::int64_t oy, TColor32 outside) {
    const std::vector<std::int32_t> columns = nearestMap(R.Left, R.Right, ox, src.Width, scale);
    const auto n = static_cast<std::size_t>(R.Width());
    std::int32_t previous = -2;
    for (std::int32_t y = R.Top; y < R.Bottom; ++y) {
        TColor32* out = dst.PixelPointer(R.Left, y);
        const std::int64_t py = ScreenToPicture(y, oy, scale);
        if (py < 0 || py >= src.Height) {
            std::fill_n(out, n, outside);
            previous = -2;
            continue;
        }
        // Rows showing the same picture row are equal: copy the one above.
        if (py == previous) {
            std::memcpy(out, dst.PixelPointer(R.Left, y - 1), n * sizeof(TColor32));
            continue;
        }
        previous = static_cast<std::int32_t>(py);
        const TColor32* row = src.Bitmap->RowPointer(static_cast<std::int32_t>(py));
        for (std::size_t k = 0; k < n; ++k)
            out[k] = columns[k] >= 0 ? row[columns[k]] : outside;
    }
}

void presentReduced(const TScaledSource& src, TCustomBitmap32& dst, const TRect& R,
                    const TViewScale& scale, std::int64_t ox, std::int64_t oy, TColor32 outside) {
    const AxisTaps cols = reductionTaps(R.Left, R.Right, ox, src.Width, scale);
    const AxisTaps rows = reductionTaps(R.Top, R.Bottom, oy, src.Height, scale);
    const auto n = static_cast<std::size_t>(R.Width());
    std::vector<std::uint32_t> acc(n * 4);
    for (std::int32_t y = R.Top; y < R.Bottom; ++y) {
        TColor32* out = dst.PixelPointer(R.Left, y);
        const auto ry = static_cast<std::size_t>(y - R.Top);
        if (rows.count[ry] == 0) {
            std::fill_n(out, n, outside);
            continue;
        }
        std::fill(acc.begin(), acc.end(), 0u);
        for (std::uint8_t t = 0; t < rows.count[ry]; ++t) {
            const std::uint32_t wy = rows.weights[rows.offset[ry] + t];
            const TColor32* row = src.Bitmap->RowPointer(rows.first[ry] + t);
            for (std::size_t k = 0; k < n; ++k) {
                const TColor32* p = row + cols.first[k];
                const std::uint16_t* w = cols.weights.data() + cols.offset[k];
                std::uint32_t b = 0, g = 0, r = 0, a = 0;
                for (std::uint8_t i = 0; i < cols.count[k]; ++i) {
                    const TColor32 c = p[i];
                    b += w[i] * (c & 0xFFu);
                    g += w[i] * ((c >> 8) & 0xFFu);
                    r += w[i] * ((c >> 16) & 0xFFu);
                    a += w[i] * (c >> 24);
                }
                // At most 255 * 4096 * 4096 (+ the rounding half) < 2^32 over all taps.
                acc[4 * k] += wy * b;
                acc[4 * k + 1] += wy * g;
                acc[4 * k + 2] += wy * r;
                acc[4 * k + 3] += wy * a;
            }
        }
        constexpr std::uint32_t kHalf = 1u << 23;
        for (std::size_t k = 0; k < n; ++k) {
            if (cols.count[k] == 0) {
                out[k] = outside;
                continue;
            }
            const auto channel = [&](std::size_t c) {
                return static_cast<TColor32>((acc[4 * k + c] + kHalf) >> 24);
            };
            out[k] = channel(0) | (channel(1) << 8) | (channel(2) << 16) | (channel(3) << 24);
        }
    }
}

} // namespace

void PresentScaled(const TScaledSource& Src, TCustomBitmap32& Dst, const TRect& Area,
                   const TViewScale& Scale, std::int64_t OriginX, std::int64_t OriginY,
                   TColor32 Outside) {
    const TRect R = IntersectRect(Area, Dst.BoundsRect());
    if (IsRectEmpty(R)) return;
    const bool empty = Src.Bitmap == nullptr || Src.Width <= 0 || Src.Height <= 0 ||
                       Src.Width > Src.Bitmap->Width() || Src.Height > Src.Bitmap->Height();
    if (empty) {
        for (std::int32_t y = R.Top; y < R.Bottom; ++y)
            std::fill_n(Dst.PixelPointer(R.Left, y), R.Width(), Outside);
        return;
    }
    if (Scale.Num >= Scale.Den)
        presentNearest(Src, Dst, R, Scale, OriginX, OriginY, Outside);
    else
        presentReduced(Src, Dst, R, Scale, OriginX, OriginY, Outside);
}

} // namespace schauplatz
