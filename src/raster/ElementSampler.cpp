#include "raster/ElementSampler.h"

#include "raster/FixedPoint.h"
#include "raster/TransformedFastPath.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace schauplatz {

namespace {

constexpr std::uint32_t kFullAlpha16 = 255u * 255u; // an opaque texel's alpha channel
constexpr int kPrefetchAhead = 96;

// Sums of premultiplied samples: at most 16 samples of 65025 each.
struct Accumulator {
    std::uint32_t b = 0, g = 0, r = 0, a = 0;

    void addStraight(TColor32 P) {
        const std::uint32_t alpha = P >> 24;
        b += (P & 0xFFu) * alpha;
        g += ((P >> 8) & 0xFFu) * alpha;
        r += ((P >> 16) & 0xFFu) * alpha;
        a += alpha * 255u;
    }
    void addTexel(const std::uint16_t* T) {
        b += T[0];
        g += T[1];
        r += T[2];
        a += T[3];
    }
};

} // namespace

// --- the pyramid ------------------------------------------------------------------------

TPremultipliedPyramid::TPremultipliedPyramid(const TCustomBitmap32& Picture) : m_picture(Picture) {
    std::int32_t w = Picture.Width(), h = Picture.Height();
    while (w > 1 || h > 1) {
        w = (w + 1) / 2;
        h = (h + 1) / 2;
        ++m_maxLevel;
    }
}

const TPremultipliedPyramid::Level& TPremultipliedPyramid::LevelAt(int K) {
    K = std::clamp(K, 1, std::max(1, m_maxLevel));
    while (static_cast<int>(m_levels.size()) < K)
        buildNext();
    return m_levels[static_cast<std::size_t>(K - 1)];
}

// Each texel is the rounded mean of its four children, (sum + 2) >> 2; children beyond the
// lower level's edge are transparent.
void TPremultipliedPyramid::buildNext() {
    const bool fromPicture = m_levels.empty();
    const std::int32_t lw = fromPicture ? m_picture.Width() : m_levels.back().Width;
    const std::int32_t lh = fromPicture ? m_picture.Height() : m_levels.back().Height;
    Level next;
    next.Width = (lw + 1) / 2;
    next.Height = (lh + 1) / 2;
    next.Texels.assign(static_cast<std::size_t>(next.Width) * next.Height * 4, 0);
    std::vector<Accumulator> row(static_cast<std::size_t>(next.Width));
    for (std::int32_t y = 0; y < next.Height; ++y) {
        std::fill(row.begin(), row.end(), Accumulator{});
        for (std::int32_t cy = 2 * y; cy < std::min(2 * y + 2, lh); ++cy) {
            if (fromPicture) {
                const TColor32* src = m_picture.RowPointer(cy);
                for (std::int32_t cx = 0; cx < lw; ++cx)
                    row[static_cast<std::size_t>(cx >> 1)].addStraight(src[cx]);
            } else {
                const std::uint16_t* src =
                    &m_levels.back().Texels[static_cast<std::size_t>(cy) * lw * 4];
                for (std::int32_t cx = 0; cx < lw; ++cx)
                    row[static_cast<std::size_t>(cx >> 1)].addTexel(src + 4 * cx);
            }
        }
        std::uint16_t* t = &next.Texels[static_cast<std::size_t>(y) * next.Width * 4];
        for (const Accumulator& acc : row) {
            t[0] = static_cast<std::uint16_t>((acc.b + 2) >> 2);
            t[1] = static_cast<std::uint16_t>((acc.g + 2) >> 2);
            t[2] = static_cast<std::uint16_t>((acc.r + 2) >> 2);
            t[3] = static_cast<std::uint16_t>((acc.a + 2) >> 2);
            t += 4;
        }
    }
    m_levels.push_back(std::move(next));
}

// --- shadow ------------------------------------------------------------------------------

TShadowParams MakeShadowParams(const TAppearance& A) {
    TShadowParams s;
    if (IsShadowNeutral(A)) return s;
    s.Enabled = true;
    s.Side = A.ShadowSide;
    s.Depth = std::int64_t{A.ShadowDepth} << kFixedShift;
    s.Inverse = (std::uint64_t{1} << 40) / static_cast<std::uint64_t>(s.Depth);
    s.Darkness = A.ShadowDarkness;
    return s;
}

namespace {

// 4096 minus the darkening at distance D (16.16 picture pixels) from the edge: the strength
// falls off as the square of the remaining distance, (1 - D / depth)^2, times the darkness.
std::int32_t shadowFall(const TShadowParams& S, std::int64_t D) {
    if (D >= S.Depth) return 4096;
    if (D < 0) D = 0;
    const std::uint64_t q =
        std::min<std::uint64_t>((static_cast<std::uint64_t>(S.Depth - D) * S.Inverse) >> 28, 4096);
    const std::uint64_t f = (q * q) >> 12;
    return 4096 - static_cast<std::int32_t>(f * static_cast<std::uint64_t>(S.Darkness) / 100);
}

} // namespace

std::int32_t ShadowKeep4096(const TShadowParams& S, std::int64_t U, std::int64_t V,
                            std::int32_t PictureWidth) {
    if (!S.Enabled) return 4096;
    const std::int64_t side =
        S.Side == TShadowSide::Left ? U : (std::int64_t{PictureWidth} << kFixedShift) - U;
    const std::int64_t top = shadowFall(S, V);
    const std::int64_t keep = shadowFall(S, side);
    return static_cast<std::int32_t>((top * keep + 2048) >> 12);
}

// --- compositing -------------------------------------------------------------------------

TColor32 StraightOver(TColor32 S, TColor32 D) {
    const std::uint32_t sa = S >> 24, da = D >> 24;
    if (sa == 0) return D;
    if (da == 0 || sa == 255) return S;
    const std::uint32_t rest = da * (255 - sa); // background share, * 255
    const std::uint32_t ra = sa + (rest + 127) / 255;
    const std::uint32_t den = 255 * ra;
    TColor32 out = ra << 24;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t sc = (S >> shift) & 0xFFu, dc = (D >> shift) & 0xFFu;
        const std::uint32_t c = (255 * sc * sa + dc * rest + den / 2) / den;
        out |= std::min<std::uint32_t>(c, 255) << shift;
    }
    return out;
}

// --- the pixel loop ----------------------------------------------------------------------

namespace {

// The mapped centres of one destination row, one pixel beyond the region on each side.
struct MappedRow {
    std::vector<TFixed> u, v;
    std::vector<std::uint8_t> valid;

    explicit MappedRow(int N) : u(N), v(N), valid(N) {}
    void map(const TFixedMatrix& I, std::int32_t X, std::int32_t Y) {
        ReverseFixedRow(I, X, Y, static_cast<int>(u.size()), u.data(), v.data(), valid.data());
    }
};

struct Footprint {
    std::int64_t exu, exv, eyu, eyv; // the pixel's extent along destination x and y
};

// Half the central difference where both neighbours have a position, else the one-sided
// difference, else the largest extent allowed.
inline std::int64_t derivative(bool HasPrev, TFixed Prev, TFixed Centre, bool HasNext, TFixed Next,
                               std::int64_t Limit) {
    std::int64_t d;
    if (HasPrev && HasNext)
        d = (std::int64_t{Next} - Prev) >> 1;
    else if (HasNext)
        d = std::int64_t{Next} - Centre;
    else if (HasPrev)
        d = std::int64_t{Centre} - Prev;
    else
        d = Limit;
    return std::clamp(d, -Limit, Limit);
}

// floor(N / C) for 0 <= N < 2^21 and C = 1..16, exactly: N * ceil(2^32 / C) >> 32.
constexpr std::array<std::uint64_t, 17> kReciprocal = [] {
    std::array<std::uint64_t, 17> r{};
    for (std::uint64_t c = 1; c <= 16; ++c)
        r[c] = ((std::uint64_t{1} << 32) + c - 1) / c;
    return r;
}();

inline std::uint32_t divideByCount(std::uint32_t N, std::uint32_t Count) {
    return static_cast<std::uint32_t>((N * kReciprocal[Count]) >> 32);
}

// X / N (toward zero) for N = 1..4 with constant divisors.
inline std::int64_t divideSmall(std::int64_t X, int N) {
    switch (N) {
    case 2:
        return X / 2;
    case 3:
        return X / 3;
    case 4:
        return X / 4;
    default:
        return X;
    }
}

// The level is the finest on which the larger extent spans at most 4 texels; each axis then
// takes ceil(extent / texel) samples (1..4), at most one texel apart. A box level of
// 2^k x 2^k pixels sampled that densely averages the footprint like a box filter.
inline int levelFor(std::int64_t Extent, int MaxLevel) {
    const std::uint64_t q =
        static_cast<std::uint64_t>(std::max<std::int64_t>(Extent - 1, 0)) >> (kFixedShift + 2);
    return std::min(q == 0 ? 0 : static_cast<int>(std::bit_width(q)), MaxLevel);
}

inline int samplesFor(std::int64_t Extent, int K) {
    const std::int64_t n = ((Extent - 1) >> (kFixedShift + K)) + 1;
    return static_cast<int>(std::clamp<std::int64_t>(n, 1, 4));
}

// Where the samples of one pixel lie: a grid of N1 x N2 points centred on the pixel's
// mapped centre, spanning its footprint: the first at centre - e * (n - 1) / (2 n) along
// each axis, then steps of e / n.
struct Grid {
    int k, n1, n2;
    std::int64_t startU, startV, su, sv, tu, tv;
    bool interior;
};

class PixelSampler {
public:
    PixelSampler(const TCustomBitmap32& Picture, TPremultipliedPyramid& Pyramid)
        : m_picture(Picture), m_bits(Picture.Bits()), m_stride(Picture.Width()), m_pyramid(Pyramid),
          m_width65(std::int64_t{Picture.Width()} << kFixedShift),
          m_height65(std::int64_t{Picture.Height()} << kFixedShift),
          m_limit(std::int64_t{std::max(Picture.Width(), Picture.Height())} << kFixedShift) {}

    std::int64_t Limit() const { return m_limit; }

    bool inside(std::int64_t U, std::int64_t V) const {
        return static_cast<std::uint64_t>(U) < static_cast<std::uint64_t>(m_width65) &&
               static_cast<std::uint64_t>(V) < static_cast<std::uint64_t>(m_height65);
    }
    const TColor32* address(std::int64_t U, std::int64_t V) const {
        return m_bits + (V >> kFixedShift) * m_stride + (U >> kFixedShift);
    }
    void prefetch(std::int64_t U, std::int64_t V) const {
        if (inside(U, V)) __builtin_prefetch(address(U, V));
    }

    Grid grid(std::int64_t U, std::int64_t V, const Footprint& F) const;
    // The sum of the grid's samples; returns their number.
    std::uint32_t sample(const Grid& G, Accumulator& Acc);

private:
    template <bool Level0, bool Check>
    void sampleGrid(const Grid& G, const TPremultipliedPyramid::Level* L, Accumulator& Acc) const;

    const TCustomBitmap32& m_picture;
    const TColor32* m_bits;
    std::int64_t m_stride;
    TPremultipliedPyramid& m_pyramid;
    std::int64_t m_width65, m_height65, m_limit;
};

Grid PixelSampler::grid(std::int64_t U, std::int64_t V, const Footprint& F) const {
    const std::int64_t l1 = std::max(std::llabs(F.exu), std::llabs(F.exv));
    const std::int64_t l2 = std::max(std::llabs(F.eyu), std::llabs(F.eyv));
    Grid g{};
    g.k = levelFor(std::max(l1, l2), m_pyramid.MaxLevel());
    g.n1 = samplesFor(l1, g.k);
    g.n2 = samplesFor(l2, g.k);
    // Pixels on the picture's outline take a 4 x 4 grid, so their coverage has 17 steps.
    const std::int64_t hu = (std::llabs(F.exu) + std::llabs(F.eyu)) / 2 + 4;
    const std::int64_t hv = (std::llabs(F.exv) + std::llabs(F.eyv)) / 2 + 4;
    g.interior = U - hu >= 0 && U + hu < m_width65 && V - hv >= 0 && V + hv < m_height65;
    if (!g.interior) g.n1 = g.n2 = 4;
    g.su = divideSmall(F.exu, g.n1);
    g.sv = divideSmall(F.exv, g.n1);
    g.tu = divideSmall(F.eyu, g.n2);
    g.tv = divideSmall(F.eyv, g.n2);
    g.startU = U - divideSmall((F.exu * (g.n1 - 1)) / 2, g.n1) -
               divideSmall((F.eyu * (g.n2 - 1)) / 2, g.n2);
    g.startV = V - divideSmall((F.exv * (g.n1 - 1)) / 2, g.n1) -
               divideSmall((F.eyv * (g.n2 - 1)) / 2, g.n2);
    return g;
}

template <bool Level0, bool Check>
void PixelSampler::sampleGrid(const Grid& G, const TPremultipliedPyramid::Level* L,
                              Accumulator& Acc) const {
    const int shift = kFixedShift + G.k;
    for (int j = 0; j < G.n2; ++j) {
        std::int64_t pu = G.startU + j * G.tu, pv = G.startV + j * G.tv;
        for (int i = 0; i < G.n1; ++i, pu += G.su, pv += G.sv) {
            if (Check && !inside(pu, pv)) continue;
            if constexpr (Level0)
                Acc.addStraight(*address(pu, pv));
            else
                Acc.addTexel(
                    &L->Texels[static_cast<std::size_t>((pv >> shift) * L->Width + (pu >> shift)) *
                               4]);
        }
    }
}

std::uint32_t PixelSampler::sample(const Grid& G, Accumulator& Acc) {
    if (G.k == 0) {
        if (G.interior)
            sampleGrid<true, false>(G, nullptr, Acc);
        else
            sampleGrid<true, true>(G, nullptr, Acc);
    } else {
        const TPremultipliedPyramid::Level* level = &m_pyramid.LevelAt(G.k);
        if (G.interior)
            sampleGrid<false, false>(G, level, Acc);
        else
            sampleGrid<false, true>(G, level, Acc);
    }
    return static_cast<std::uint32_t>(G.n1 * G.n2);
}

// The straight colour and alpha of Count summed samples (integer divisions floor):
//   alpha  = (sum a / Count + 127) / 255
//   colour = (sum c / Count + 127) / 255                       when every sample is opaque
//          = min(255, (255 sum c * floor((2^32 - 1) / sum a) + 2^31) >> 32)   otherwise
// (the second is exact for a single sample and within one level of 255 sum c / sum a).
TColor32 averageOf(const Accumulator& Acc, std::uint32_t Count) {
    if (Acc.a == 0) return 0;
    const std::uint32_t alpha = (divideByCount(Acc.a, Count) + 127) / 255;
    if (Acc.a == kFullAlpha16 * Count) {
        const auto mean = [Count](std::uint32_t C) {
            return (divideByCount(C, Count) + 127) / 255;
        };
        return (alpha << 24) | (mean(Acc.r) << 16) | (mean(Acc.g) << 8) | mean(Acc.b);
    }
    const std::uint64_t inv = 0xFFFFFFFFu / Acc.a;
    const auto scale = [inv](std::uint32_t C) {
        return static_cast<std::uint32_t>(
            std::min<std::uint64_t>((255 * std::uint64_t{C} * inv + (1u << 31)) >> 32, 255));
    };
    return (alpha << 24) | (scale(Acc.r) << 16) | (scale(Acc.g) << 8) | scale(Acc.b);
}

// Light, shadow and opacity on a straight colour.
inline TColor32 finishPixel(TColor32 C, const TAppearanceLoop& Loop, std::int32_t ShadowKeep) {
    const std::uint32_t a = ((C >> 24) * Loop.Opacity + 127) / 255;
    if (a == 0) return 0;
    if (Loop.LightOn) C = Loop.Light.Apply(C);
    if (ShadowKeep < 4096) {
        const std::uint32_t keep = static_cast<std::uint32_t>(ShadowKeep);
        const auto dim = [keep](std::uint32_t V) { return (V * keep + 2048) >> 12; };
        C = (dim((C >> 16) & 0xFFu) << 16) | (dim((C >> 8) & 0xFFu) << 8) | dim(C & 0xFFu);
    }
    return (C & 0x00FFFFFFu) | (a << 24);
}

inline void putPixel(TColor32 S, TColor32& D) {
    if (S == 0) return;
    D = (D >> 24) == 0 ? S : StraightOver(S, D);
}

struct RowContext {
    const MappedRow& prev;
    const MappedRow& cur;
    const MappedRow& next;
    int n;
};

// Source offsets of a row's centres, -1 where a centre has no picture pixel.
void nearestOffsets(const MappedRow& Cur, const PixelSampler& Sampler, int N, std::int32_t Stride,
                    std::vector<std::int32_t>& Offsets) {
    for (int i = 1; i + 1 < N; ++i) {
        const std::int64_t u = Cur.u[i], v = Cur.v[i];
        Offsets[static_cast<std::size_t>(i)] =
            Cur.valid[i] && Sampler.inside(u, v)
                ? static_cast<std::int32_t>((v >> kFixedShift) * Stride + (u >> kFixedShift))
                : -1;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Eight reads per instruction: the reads of a row jump between picture rows, and many in
// flight at once hide the memory's latency. Gives exactly the scalar reads.
__attribute__((target("avx2"))) void gatherAvx2(const TColor32* Bits, const std::int32_t* Offsets,
                                                int N, TColor32* Out) {
    const __m256i minusOne = _mm256_set1_epi32(-1);
    const int* base = reinterpret_cast<const int*>(Bits);
    int i = 0;
    for (; i + 8 <= N; i += 8) {
        const __m256i off = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Offsets + i));
        const __m256i valid = _mm256_cmpgt_epi32(off, minusOne);
        const __m256i s = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, off, valid, 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + i), s);
    }
    for (; i < N; ++i)
        Out[i] = Offsets[i] >= 0 ? Bits[Offsets[i]] : 0;
}
#endif

void gather(const TColor32* Bits, const std::int32_t* Offsets, int N, TColor32* Out) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool haveAvx2 = __builtin_cpu_supports("avx2");
    if (haveAvx2) {
        gatherAvx2(Bits, Offsets, N, Out);
        return;
    }
#endif
    for (int i = 0; i < N; ++i)
        Out[i] = Offsets[i] >= 0 ? Bits[Offsets[i]] : 0;
}

// The samples of one row without smoothing: first every read, then light, shadow and
// opacity.
void nearestRow(const RowContext& R, PixelSampler& Sampler, const TCustomBitmap32& Picture,
                std::vector<std::int32_t>& Offsets, std::vector<TColor32>& Samples,
                const TAppearanceLoop& Loop, TColor32* Row) {
    nearestOffsets(R.cur, Sampler, R.n, Picture.Width(), Offsets);
    gather(Picture.Bits(), Offsets.data() + 1, R.n - 2, Samples.data() + 1);
    for (int i = 1; i + 1 < R.n; ++i) {
        const TColor32 s = Samples[static_cast<std::size_t>(i)];
        if ((s >> 24) == 0) continue;
        putPixel(finishPixel(s, Loop,
                             ShadowKeep4096(Loop.Shadow, R.cur.u[i], R.cur.v[i], Picture.Width())),
                 Row[i]);
    }
}

void smoothRow(const RowContext& R, PixelSampler& Sampler, const TAppearanceLoop& Loop,
               std::int32_t PictureWidth, TColor32* Row) {
    const std::int64_t lim = Sampler.Limit();
    const MappedRow &prev = R.prev, &cur = R.cur, &next = R.next;
    for (int i = 1; i + 1 < R.n; ++i) {
        if (i + kPrefetchAhead < R.n && cur.valid[i + kPrefetchAhead])
            Sampler.prefetch(cur.u[i + kPrefetchAhead], cur.v[i + kPrefetchAhead]);
        if (!cur.valid[i]) continue;
        const std::int64_t u = cur.u[i], v = cur.v[i];
        Footprint f;
        if (cur.valid[i - 1] && cur.valid[i + 1] && prev.valid[i] && next.valid[i]) {
            f = Footprint{std::clamp((std::int64_t{cur.u[i + 1]} - cur.u[i - 1]) >> 1, -lim, lim),
                          std::clamp((std::int64_t{cur.v[i + 1]} - cur.v[i - 1]) >> 1, -lim, lim),
                          std::clamp((std::int64_t{next.u[i]} - prev.u[i]) >> 1, -lim, lim),
                          std::clamp((std::int64_t{next.v[i]} - prev.v[i]) >> 1, -lim, lim)};
        } else {
            f = Footprint{
                derivative(cur.valid[i - 1], cur.u[i - 1], cur.u[i], cur.valid[i + 1], cur.u[i + 1],
                           lim),
                derivative(cur.valid[i - 1], cur.v[i - 1], cur.v[i], cur.valid[i + 1], cur.v[i + 1],
                           lim),
                derivative(prev.valid[i], prev.u[i], cur.u[i], next.valid[i], next.u[i], lim),
                derivative(prev.valid[i], prev.v[i], cur.v[i], next.valid[i], next.v[i], lim)};
        }
        Accumulator acc;
        const std::uint32_t count = Sampler.sample(Sampler.grid(u, v, f), acc);
        const TColor32 s = averageOf(acc, count);
        if ((s >> 24) == 0) continue;
        putPixel(finishPixel(s, Loop, ShadowKeep4096(Loop.Shadow, u, v, PictureWidth)), Row[i]);
    }
}

} // namespace

void RenderAppearanceRegion(TCustomBitmap32& Dst, const TCustomBitmap32& Picture,
                            const TProjectiveTransformation& T, const TRect& Region,
                            const TAppearanceLoop& Loop) {
    if (IsRectEmpty(Region) || Picture.IsEmpty()) return;
    const TFixedMatrix& I = T.InverseFixedMatrix();
    const int n = Region.Width() + 2;
    const std::int32_t x0 = Region.Left - 1;
    TPremultipliedPyramid pyramid(Picture);
    PixelSampler sampler(Picture, pyramid);
    MappedRow prev(n), cur(n), next(n);
    std::vector<TColor32> samples(static_cast<std::size_t>(n));
    std::vector<std::int32_t> offsets(static_cast<std::size_t>(n));
    if (Loop.Smooth) {
        prev.map(I, x0, Region.Top - 1);
        cur.map(I, x0, Region.Top);
    }
    for (std::int32_t y = Region.Top; y < Region.Bottom; ++y) {
        TColor32* row = Dst.RowPointer(y) + x0;
        if (Loop.Smooth) {
            // The footprint needs the rows above and below; they roll along.
            next.map(I, x0, y + 1);
            smoothRow(RowContext{prev, cur, next, n}, sampler, Loop, Picture.Width(), row);
            std::swap(prev, cur);
            std::swap(cur, next);
        } else {
            cur.map(I, x0, y);
            nearestRow(RowContext{prev, cur, next, n}, sampler, Picture, offsets, samples, Loop,
                       row);
        }
    }
}

} // namespace schauplatz
