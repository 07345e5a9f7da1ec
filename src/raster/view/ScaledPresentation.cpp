#include "raster/view/ScaledPresentation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define SCHAUPLATZ_VIEW_SSE41 1
#endif

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
inline std::uint64_t lowPair(TColor32 c) {
    return (c & 0xFFu) | (static_cast<std::uint64_t>(c & 0xFF0000u) << 16);
}
inline std::uint64_t highPair(TColor32 c) {
    return ((c >> 8) & 0xFFu) | (static_cast<std::uint64_t>(c & 0xFF000000u) << 8);
}

// The column taps padded to one count, for the vector form a multiple of four (zero weights
// fill up; the pixels they read exist, as the padding stays inside the composed row), so the
// inner loops have a fixed length.
struct DenseTaps {
    int taps = 0;
    std::vector<std::int32_t> first;    // relative to the composed row's start
    std::vector<std::uint16_t> weights; // taps per column
};

int mostTaps(const AxisTaps& cols) {
    int most = 0;
    for (std::uint8_t c : cols.count)
        most = std::max<int>(most, c);
    return most;
}

DenseTaps denseTaps(const AxisTaps& cols, std::int32_t rowStart, std::int32_t rowEnd, int group) {
    DenseTaps dense;
    dense.taps = (mostTaps(cols) + group - 1) / group * group;
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

// One picture row reduced along x: per screen column and channel (blue, green, red, alpha)
// the weighted sum in 1/4096, rounded to 1/16 units (at most 4080) for the vertical step.
struct ReducedRow {
    std::int32_t row = -1;
    std::vector<std::uint16_t> sums; // 4 per column
};

void reduceRowPortable(const TColor32* row, const DenseTaps& cols, std::uint16_t* out) {
    constexpr std::uint64_t kHalf = 0x0000008000000080ull; // rounding before the shift by 8
    constexpr std::uint64_t kMask = 0x00000FFF00000FFFull;
    const std::size_t n = cols.first.size();
    const auto taps = static_cast<std::size_t>(cols.taps);
    for (std::size_t k = 0; k < n; ++k) {
        const TColor32* p = row + cols.first[k];
        const std::uint16_t* w = cols.weights.data() + k * taps;
        std::uint64_t lo = 0, hi = 0;
        for (std::size_t i = 0; i < taps; ++i) {
            lo += w[i] * lowPair(p[i]);
            hi += w[i] * highPair(p[i]);
        }
        lo = ((lo + kHalf) >> 8) & kMask;
        hi = ((hi + kHalf) >> 8) & kMask;
        out[4 * k] = static_cast<std::uint16_t>(lo);
        out[4 * k + 1] = static_cast<std::uint16_t>(hi);
        out[4 * k + 2] = static_cast<std::uint16_t>(lo >> 32);
        out[4 * k + 3] = static_cast<std::uint16_t>(hi >> 32);
    }
}

// Screen row from its picture rows: each channel (sum of weight * row sum + 1/2) / 65536.
void combineRowsPortable(const std::uint16_t* const* rows, const std::uint16_t* wy, int count,
                         std::size_t n, TColor32* out) {
    for (std::size_t k = 0; k < n; ++k) {
        std::uint32_t c[4] = {32768, 32768, 32768, 32768};
        for (int t = 0; t < count; ++t)
            for (std::size_t ch = 0; ch < 4; ++ch)
                c[ch] += std::uint32_t{wy[t]} * rows[t][4 * k + ch];
        out[k] = (c[0] >> 16) | ((c[1] >> 16) << 8) | ((c[2] >> 16) << 16) | ((c[3] >> 16) << 24);
    }
}

#ifdef SCHAUPLATZ_VIEW_SSE41

// The same sums four channels at a time: two pixels' channels interleaved and multiplied
// with their two weights in one step (weights and values stay below 2^15).
__attribute__((target("sse4.1"))) void reduceRowSse(const TColor32* row, const DenseTaps& cols,
                                                    std::uint16_t* out) {
    const __m128i first = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i second =
        _mm_setr_epi8(8, 12, 9, 13, 10, 14, 11, 15, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i half = _mm_set1_epi32(128);
    const std::size_t n = cols.first.size();
    const auto taps = static_cast<std::size_t>(cols.taps);
    for (std::size_t k = 0; k < n; ++k) {
        const TColor32* p = row + cols.first[k];
        const std::uint16_t* w = cols.weights.data() + k * taps;
        __m128i acc = _mm_setzero_si128();
        for (std::size_t g = 0; g < taps; g += 4) {
            const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + g));
            const __m128i w01 =
                _mm_set1_epi32(static_cast<int>(w[g] | (std::uint32_t{w[g + 1]} << 16)));
            const __m128i w23 =
                _mm_set1_epi32(static_cast<int>(w[g + 2] | (std::uint32_t{w[g + 3]} << 16)));
            const __m128i a = _mm_cvtepu8_epi16(_mm_shuffle_epi8(px, first));
            const __m128i b = _mm_cvtepu8_epi16(_mm_shuffle_epi8(px, second));
            acc = _mm_add_epi32(acc, _mm_add_epi32(_mm_madd_epi16(a, w01), _mm_madd_epi16(b, w23)));
        }
        const __m128i sums = _mm_srli_epi32(_mm_add_epi32(acc, half), 8);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * k), _mm_packus_epi32(sums, sums));
    }
}

__attribute__((target("sse4.1"))) void combineRowsSse(const std::uint16_t* const* rows,
                                                      const std::uint16_t* wy, int count,
                                                      std::size_t n, TColor32* out) {
    const __m128i round = _mm_set1_epi32(32768);
    std::size_t k = 0;
    for (; k + 2 <= n; k += 2) {
        __m128i left = round, right = round;
        for (int t = 0; t < count; t += 2) {
            // An odd last row is paired with itself at weight 0.
            const int u = t + 1 < count ? t + 1 : t;
            const std::uint32_t w1 = t + 1 < count ? wy[t + 1] : 0;
            const __m128i weights = _mm_set1_epi32(static_cast<int>(wy[t] | (w1 << 16)));
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + 4 * k));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[u] + 4 * k));
            left = _mm_add_epi32(left, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights));
            right = _mm_add_epi32(right, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights));
        }
        const __m128i words = _mm_packus_epi32(_mm_srli_epi32(left, 16), _mm_srli_epi32(right, 16));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words));
    }
    if (k == n) return;
    std::array<const std::uint16_t*, 16> tail{};
    for (int t = 0; t < count; ++t)
        tail[static_cast<std::size_t>(t)] = rows[t] + 4 * k;
    combineRowsPortable(tail.data(), wy, count, n - k, out + k);
}

bool haveSse41() {
    static const bool have = __builtin_cpu_supports("sse4.1");
    return have;
}

#endif

// The picture columns [first, end) the taps read; first >= end when they read none.
std::pair<std::int32_t, std::int32_t> columnsRead(const AxisTaps& cols, std::int32_t width) {
    std::int32_t c0 = width, c1 = 0;
    for (std::size_t k = 0; k < cols.first.size(); ++k)
        if (cols.count[k] > 0) {
            c0 = std::min(c0, cols.first[k]);
            c1 = std::max(c1, cols.first[k] + cols.count[k]);
        }
    return {c0, c1};
}

// Picture rows reduced along x, kept while the screen rows below still need them (a screen
// row reads at most 12 picture rows; neighbours share one).
class ReducedRows {
public:
    ReducedRows(const TScaledSource& src, const DenseTaps& dense, std::int32_t c0, std::int32_t c1,
                bool vector)
        : m_source(src), m_dense(dense), m_c0(c0), m_c1(c1), m_vector(vector) {}

    const std::uint16_t* row(std::int32_t y) {
        ReducedRow& slot = m_ring[static_cast<std::size_t>(y) % m_ring.size()];
        if (slot.row == y) return slot.sums.data();
        // Room for a whole pair of columns more, which the vector form may read.
        slot.sums.resize(4 * (m_dense.first.size() + 2));
        const TColor32* row = m_source.row(y, m_c0, m_c1 - m_c0, m_composed);
#ifdef SCHAUPLATZ_VIEW_SSE41
        if (m_vector)
            reduceRowSse(row, m_dense, slot.sums.data());
        else
#endif
            reduceRowPortable(row, m_dense, slot.sums.data());
        slot.row = y;
        return slot.sums.data();
    }

private:
    RowSource m_source;
    const DenseTaps& m_dense;
    std::int32_t m_c0, m_c1;
    bool m_vector;
    std::vector<TColor32> m_composed;
    std::array<ReducedRow, 16> m_ring;
};

// Screen row ry of the part from its reduced picture rows.
void composeReducedRow(ReducedRows& reduced, const AxisTaps& rows, std::size_t ry, bool vector,
                       std::size_t n, TColor32* out) {
    std::array<const std::uint16_t*, 16> taps{};
    const int count = rows.count[ry];
    for (int t = 0; t < count; ++t)
        taps[static_cast<std::size_t>(t)] = reduced.row(rows.first[ry] + t);
    const std::uint16_t* wy = rows.weights.data() + rows.offset[ry];
#ifdef SCHAUPLATZ_VIEW_SSE41
    if (vector) {
        combineRowsSse(taps.data(), wy, count, n, out);
        return;
    }
#endif
    (void)vector;
    combineRowsPortable(taps.data(), wy, count, n, out);
}

void presentReduced(const TScaledSource& src, TCustomBitmap32& dst, const TRect& R,
                    const TViewScale& scale, std::int64_t ox, std::int64_t oy, TColor32 outside,
                    bool allowVector) {
    const AxisTaps cols = reductionTaps(R.Left, R.Right, ox, src.Width, scale);
    const AxisTaps rows = reductionTaps(R.Top, R.Bottom, oy, src.Height, scale);
    const auto n = static_cast<std::size_t>(R.Width());
    const auto [c0, c1] = columnsRead(cols, src.Width);
    // The vector forms read whole groups of four; a row narrower than that goes the portable
    // way.
    bool vector = false;
#ifdef SCHAUPLATZ_VIEW_SSE41
    vector = allowVector && haveSse41() && c1 - c0 >= (mostTaps(cols) + 3) / 4 * 4;
#else
    (void)allowVector;
#endif
    const DenseTaps dense = denseTaps(cols, c0, c1, vector ? 4 : 1);
    ReducedRows reduced(src, dense, c0, c1, vector);
    for (std::int32_t y = R.Top; y < R.Bottom; ++y) {
        TColor32* out = dst.PixelPointer(R.Left, y);
        const auto ry = static_cast<std::size_t>(y - R.Top);
        if (rows.count[ry] == 0 || c0 >= c1) {
            std::fill_n(out, n, outside);
            continue;
        }
        composeReducedRow(reduced, rows, ry, vector, n, out);
        for (std::size_t k = 0; k < n; ++k)
            if (cols.count[k] == 0) out[k] = outside;
    }
}

} // namespace

namespace {

void present(const TScaledSource& Src, TCustomBitmap32& Dst, const TRect& Area,
             const TViewScale& Scale, std::int64_t OriginX, std::int64_t OriginY, TColor32 Outside,
             bool AllowVector) {
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
        presentReduced(Src, Dst, R, Scale, OriginX, OriginY, Outside, AllowVector);
}

} // namespace

void PresentScaled(const TScaledSource& Src, TCustomBitmap32& Dst, const TRect& Area,
                   const TViewScale& Scale, std::int64_t OriginX, std::int64_t OriginY,
                   TColor32 Outside) {
    present(Src, Dst, Area, Scale, OriginX, OriginY, Outside, true);
}

void PresentScaledPortable(const TScaledSource& Src, TCustomBitmap32& Dst, const TRect& Area,
                           const TViewScale& Scale, std::int64_t OriginX, std::int64_t OriginY,
                           TColor32 Outside) {
    present(Src, Dst, Area, Scale, OriginX, OriginY, Outside, false);
}

} // namespace schauplatz
