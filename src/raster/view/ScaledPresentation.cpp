#include "raster/view/ScaledPresentation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace schauplatz {

namespace {

// The weights of one screen pixel along an axis sum to this (12 bits).
constexpr std::uint32_t kWeightOne = 4096;

// One row of the picture as the source composes it.
class RowSource {
public:
    explicit RowSource(const TScaledSource& src) : m_src(src) {}
    // Pixels [x0, x0 + n) of row y into out.
    const TColor32* row(std::int32_t y, std::int32_t x0, std::int32_t n,
                        std::vector<TColor32>& out) const {
        const TColor32* base = m_src.Bitmap->PixelPointer(x0, y);
        if (!m_src.Over) return base;
        const TColor32* over = m_src.Over->PixelPointer(x0, y);
        out.resize(static_cast<std::size_t>(n));
        const TColor32 transparent = m_src.OverTransparent;
        TColor32* to = out.data();
        // Without a branch, so that the loop runs on vectors.
        for (std::int32_t i = 0; i < n; ++i) {
            const TColor32 keep = 0u - static_cast<TColor32>(over[i] != transparent);
            to[i] = (over[i] & keep) | (base[i] & ~keep);
        }
        return to;
    }

private:
    const TScaledSource& m_src;
};

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
    // The picture columns the part reads, composed once per row.
    std::int32_t c0 = src.Width, c1 = 0;
    for (std::int32_t c : columns)
        if (c >= 0) {
            c0 = std::min(c0, c);
            c1 = std::max(c1, c + 1);
        }
    const RowSource rows(src);
    std::vector<TColor32> composed;
    const auto n = static_cast<std::size_t>(R.Width());
    std::int64_t previous = -2;
    for (std::int32_t y = R.Top; y < R.Bottom; ++y) {
        TColor32* out = dst.PixelPointer(R.Left, y);
        const std::int64_t py = ScreenToPicture(y, oy, scale);
        if (py < 0 || py >= src.Height || c0 >= c1) {
            std::fill_n(out, n, outside);
            previous = -2;
            continue;
        }
        // Rows showing the same picture row are equal: copy the one above.
        if (py == previous) {
            std::memcpy(out, dst.PixelPointer(R.Left, y - 1), n * sizeof(TColor32));
            continue;
        }
        previous = py;
        const TColor32* row = rows.row(static_cast<std::int32_t>(py), c0, c1 - c0, composed);
        for (std::size_t k = 0; k < n; ++k)
            out[k] = columns[k] >= 0 ? row[columns[k] - c0] : outside;
    }
}

// Channel pairs in 32-bit lanes: blue and red of a pixel in one 64-bit word, green and alpha
// in another, so that one multiplication weighs two channels.
constexpr std::uint64_t kLanes = 0x000000FF000000FFull;
inline std::uint64_t lowPair(TColor32 c) {
    return (c & 0xFFu) | (static_cast<std::uint64_t>(c & 0xFF0000u) << 16);
}
inline std::uint64_t highPair(TColor32 c) {
    return ((c >> 8) & 0xFFu) | (static_cast<std::uint64_t>(c & 0xFF000000u) << 8);
}

// One picture row reduced along x: per screen column the weighted sums of the channel pairs
// (each lane at most 255 * 4096), brought to 1/16 units (at most 4080) for the vertical step.
struct ReducedRow {
    std::int32_t row = -1;
    std::vector<std::uint64_t> low;
    std::vector<std::uint64_t> high;
};

// The column taps padded to one count (zero weights fill up; the pixels they read exist, as
// the padding stays inside the composed row), so the inner loop has a fixed length.
struct DenseTaps {
    int taps = 0;
    std::vector<std::int32_t> first;    // relative to the composed row's start
    std::vector<std::uint32_t> weights; // taps per column
};

DenseTaps denseTaps(const AxisTaps& cols, std::int32_t rowStart, std::int32_t rowEnd) {
    DenseTaps dense;
    for (std::uint8_t c : cols.count)
        dense.taps = std::max<int>(dense.taps, c);
    const std::size_t n = cols.first.size();
    dense.first.resize(n);
    dense.weights.assign(n * static_cast<std::size_t>(dense.taps), 0);
    for (std::size_t k = 0; k < n; ++k) {
        if (cols.count[k] == 0) continue;
        // Start early enough that all taps lie inside the row.
        const std::int32_t start = std::max(rowStart, std::min(cols.first[k], rowEnd - dense.taps));
        dense.first[k] = start - rowStart;
        for (std::uint8_t i = 0; i < cols.count[k]; ++i)
            dense.weights[k * static_cast<std::size_t>(dense.taps) +
                          static_cast<std::size_t>(cols.first[k] + i - start)] =
                cols.weights[cols.offset[k] + i];
    }
    return dense;
}

template <int Taps>
void reduceRowFixed(const TColor32* row, const DenseTaps& cols, ReducedRow& out) {
    constexpr std::uint64_t kHalf = 0x0000008000000080ull; // rounding before the shift by 8
    constexpr std::uint64_t kMask = 0x00000FFF00000FFFull;
    const int taps = Taps > 0 ? Taps : cols.taps;
    const std::size_t n = cols.first.size();
    for (std::size_t k = 0; k < n; ++k) {
        const TColor32* p = row + cols.first[k];
        const std::uint32_t* w = cols.weights.data() + k * static_cast<std::size_t>(taps);
        std::uint64_t lo = 0, hi = 0;
        for (int i = 0; i < taps; ++i) {
            lo += w[i] * lowPair(p[i]);
            hi += w[i] * highPair(p[i]);
        }
        out.low[k] = ((lo + kHalf) >> 8) & kMask;
        out.high[k] = ((hi + kHalf) >> 8) & kMask;
    }
}

void reduceRow(const TColor32* row, const DenseTaps& cols, ReducedRow& out) {
    out.low.resize(cols.first.size());
    out.high.resize(cols.first.size());
    switch (cols.taps) {
    case 2:
        reduceRowFixed<2>(row, cols, out);
        break;
    case 3:
        reduceRowFixed<3>(row, cols, out);
        break;
    case 4:
        reduceRowFixed<4>(row, cols, out);
        break;
    default:
        reduceRowFixed<0>(row, cols, out);
        break;
    }
}

void presentReduced(const TScaledSource& src, TCustomBitmap32& dst, const TRect& R,
                    const TViewScale& scale, std::int64_t ox, std::int64_t oy, TColor32 outside) {
    const AxisTaps cols = reductionTaps(R.Left, R.Right, ox, src.Width, scale);
    const AxisTaps rows = reductionTaps(R.Top, R.Bottom, oy, src.Height, scale);
    const auto n = static_cast<std::size_t>(R.Width());
    // The picture columns the part reads.
    std::int32_t c0 = src.Width, c1 = 0;
    for (std::size_t k = 0; k < n; ++k)
        if (cols.count[k] > 0) {
            c0 = std::min(c0, cols.first[k]);
            c1 = std::max(c1, cols.first[k] + cols.count[k]);
        }
    const RowSource source(src);
    std::vector<TColor32> composed;
    const DenseTaps dense = denseTaps(cols, c0, c1);
    // Reduced rows are kept while the screen rows below still need them (a screen row reads
    // at most 12 picture rows; neighbours share one).
    std::array<ReducedRow, 16> ring;
    const auto reduced = [&](std::int32_t y) -> const ReducedRow& {
        ReducedRow& slot = ring[static_cast<std::size_t>(y) % ring.size()];
        if (slot.row != y) {
            reduceRow(source.row(y, c0, c1 - c0, composed), dense, slot);
            slot.row = y;
        }
        return slot;
    };
    constexpr std::uint64_t kRound = 0x0000800000008000ull;
    for (std::int32_t y = R.Top; y < R.Bottom; ++y) {
        TColor32* out = dst.PixelPointer(R.Left, y);
        const auto ry = static_cast<std::size_t>(y - R.Top);
        if (rows.count[ry] == 0 || c0 >= c1) {
            std::fill_n(out, n, outside);
            continue;
        }
        std::array<const ReducedRow*, 16> taps{};
        const std::uint8_t count = rows.count[ry];
        for (std::uint8_t t = 0; t < count; ++t)
            taps[t] = &reduced(rows.first[ry] + t);
        const std::uint16_t* wy = rows.weights.data() + rows.offset[ry];
        for (std::size_t k = 0; k < n; ++k) {
            if (cols.count[k] == 0) {
                out[k] = outside;
                continue;
            }
            // Each lane at most 4080 * 4096 < 2^24; the channel is the lane / 65536.
            std::uint64_t lo = kRound, hi = kRound;
            for (std::uint8_t t = 0; t < count; ++t) {
                lo += wy[t] * taps[t]->low[k];
                hi += wy[t] * taps[t]->high[k];
            }
            lo = (lo >> 16) & kLanes;
            hi = (hi >> 16) & kLanes;
            out[k] = static_cast<TColor32>(lo | (lo >> 16) | (hi << 8) | (hi >> 8));
        }
    }
}

} // namespace

void PresentScaled(const TScaledSource& Src, TCustomBitmap32& Dst, const TRect& Area,
                   const TViewScale& Scale, std::int64_t OriginX, std::int64_t OriginY,
                   TColor32 Outside) {
    const TRect R = IntersectRect(Area, Dst.BoundsRect());
    if (IsRectEmpty(R)) return;
    const auto holds = [&](const TCustomBitmap32* b) {
        return b != nullptr && Src.Width <= b->Width() && Src.Height <= b->Height();
    };
    const bool empty = Src.Width <= 0 || Src.Height <= 0 || !holds(Src.Bitmap) ||
                       (Src.Over != nullptr && !holds(Src.Over));
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
