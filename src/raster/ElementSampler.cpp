#include "raster/ElementSampler.h"

#include "raster/ElementKernels.h"
#include "raster/FixedPoint.h"
#include "raster/TransformedFastPath.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <utility>

namespace schauplatz {

namespace {

constexpr std::uint32_t kFullAlpha16 = kernels::kFullAlpha16;
constexpr int kPrefetchAhead = 96;
constexpr int kBlock = kernels::kBlock;

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

// The mapped centres of one layer row: whole blocks, and one pixel beyond on each side.
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
// each axis (the offset below), then steps of e / n.
struct Grid {
    int k, n1, n2;
    std::int64_t offU, offV, su, sv, tu, tv;
    std::int64_t hu, hv; // half the footprint's extent, plus a margin for the rounding
};

class PixelSampler {
public:
    PixelSampler(const TCustomBitmap32& Picture, TPremultipliedPyramid& Pyramid)
        : m_bits(Picture.Bits()), m_stride(Picture.Width()), m_pyramid(Pyramid),
          m_width65(std::int64_t{Picture.Width()} << kFixedShift),
          m_height65(std::int64_t{Picture.Height()} << kFixedShift),
          m_limit(std::int64_t{std::max(Picture.Width(), Picture.Height())} << kFixedShift) {}

    std::int64_t Limit() const { return m_limit; }

    bool inside(std::int64_t U, std::int64_t V) const {
        return static_cast<std::uint64_t>(U) < static_cast<std::uint64_t>(m_width65) &&
               static_cast<std::uint64_t>(V) < static_cast<std::uint64_t>(m_height65);
    }
    // No part of the footprint around (U, V) touches the picture.
    bool outside(std::int64_t U, std::int64_t V, const Grid& G) const {
        return U + G.hu < 0 || U - G.hu >= m_width65 || V + G.hv < 0 || V - G.hv >= m_height65;
    }
    // The whole footprint around (U, V) lies inside the picture.
    bool interior(std::int64_t U, std::int64_t V, const Grid& G) const {
        return U - G.hu >= 0 && U + G.hu < m_width65 && V - G.hv >= 0 && V + G.hv < m_height65;
    }
    const TColor32* address(std::int64_t U, std::int64_t V) const {
        return m_bits + (V >> kFixedShift) * m_stride + (U >> kFixedShift);
    }
    void prefetch(std::int64_t U, std::int64_t V) const {
        if (inside(U, V)) __builtin_prefetch(address(U, V));
    }
    const TColor32* bits() const { return m_bits; }
    std::int32_t stride() const { return static_cast<std::int32_t>(m_stride); }
    const TPremultipliedPyramid::Level* level(int K) {
        return K == 0 ? nullptr : &m_pyramid.LevelAt(K);
    }

    // Outline pixels take a 4 x 4 grid, so their coverage has 17 steps.
    Grid grid(const Footprint& F, bool Outline) const;

    // The sum of the grid's samples around (U, V), each tested against the picture's area.
    void sampleChecked(std::int64_t U, std::int64_t V, const Grid& G,
                       const TPremultipliedPyramid::Level* L, Accumulator& Acc) const;

    // The same for a footprint inside the picture, the grid size fixed.
    template <int N1, int N2, bool Level0>
    void sampleInterior(std::int64_t U, std::int64_t V, const Grid& G,
                        const TPremultipliedPyramid::Level* L, Accumulator& Acc) const {
        const int shift = kFixedShift + G.k;
        for (int j = 0; j < N2; ++j) {
            std::int64_t pu = U + G.offU + j * G.tu, pv = V + G.offV + j * G.tv;
            for (int i = 0; i < N1; ++i, pu += G.su, pv += G.sv) {
                if constexpr (Level0)
                    Acc.addStraight(*address(pu, pv));
                else
                    Acc.addTexel(&L->Texels[static_cast<std::size_t>((pv >> shift) * L->Width +
                                                                     (pu >> shift)) *
                                            4]);
            }
        }
    }

private:
    const TColor32* m_bits;
    std::int64_t m_stride;
    TPremultipliedPyramid& m_pyramid;
    std::int64_t m_width65, m_height65, m_limit;
};

Grid PixelSampler::grid(const Footprint& F, bool Outline) const {
    const std::int64_t l1 = std::max(std::llabs(F.exu), std::llabs(F.exv));
    const std::int64_t l2 = std::max(std::llabs(F.eyu), std::llabs(F.eyv));
    Grid g{};
    g.k = levelFor(std::max(l1, l2), m_pyramid.MaxLevel());
    g.n1 = Outline ? 4 : samplesFor(l1, g.k);
    g.n2 = Outline ? 4 : samplesFor(l2, g.k);
    g.hu = (std::llabs(F.exu) + std::llabs(F.eyu)) / 2 + 4;
    g.hv = (std::llabs(F.exv) + std::llabs(F.eyv)) / 2 + 4;
    g.su = divideSmall(F.exu, g.n1);
    g.sv = divideSmall(F.exv, g.n1);
    g.tu = divideSmall(F.eyu, g.n2);
    g.tv = divideSmall(F.eyv, g.n2);
    g.offU =
        -divideSmall((F.exu * (g.n1 - 1)) / 2, g.n1) - divideSmall((F.eyu * (g.n2 - 1)) / 2, g.n2);
    g.offV =
        -divideSmall((F.exv * (g.n1 - 1)) / 2, g.n1) - divideSmall((F.eyv * (g.n2 - 1)) / 2, g.n2);
    return g;
}

void PixelSampler::sampleChecked(std::int64_t U, std::int64_t V, const Grid& G,
                                 const TPremultipliedPyramid::Level* L, Accumulator& Acc) const {
    const int shift = kFixedShift + G.k;
    for (int j = 0; j < G.n2; ++j) {
        std::int64_t pu = U + G.offU + j * G.tu, pv = V + G.offV + j * G.tv;
        for (int i = 0; i < G.n1; ++i, pu += G.su, pv += G.sv) {
            if (!inside(pu, pv)) continue;
            if (L == nullptr)
                Acc.addStraight(*address(pu, pv));
            else
                Acc.addTexel(
                    &L->Texels[static_cast<std::size_t>((pv >> shift) * L->Width + (pu >> shift)) *
                               4]);
        }
    }
}

using InteriorSampler = void (PixelSampler::*)(std::int64_t, std::int64_t, const Grid&,
                                               const TPremultipliedPyramid::Level*,
                                               Accumulator&) const;

template <bool Level0, int... N>
constexpr std::array<InteriorSampler, 16> interiorTable(std::integer_sequence<int, N...>) {
    return {&PixelSampler::sampleInterior<N / 4 + 1, N % 4 + 1, Level0>...};
}

// [level 0 or above][n1 - 1][n2 - 1]
const std::array<std::array<InteriorSampler, 16>, 2> kInteriorSamplers{
    interiorTable<true>(std::make_integer_sequence<int, 16>{}),
    interiorTable<false>(std::make_integer_sequence<int, 16>{})};

InteriorSampler interiorSampler(const Grid& G) {
    return kInteriorSamplers[G.k == 0 ? 0 : 1][static_cast<std::size_t>((G.n1 - 1) * 4 + G.n2 - 1)];
}

// ceil(2^39 / (255 n)) for n = 1..16 samples (each below 2^32).
constexpr std::array<std::uint64_t, 17> kMeanFactor = [] {
    std::array<std::uint64_t, 17> r{};
    for (std::uint64_t n = 1; n <= 16; ++n)
        r[n] = ((std::uint64_t{1} << 39) + 255 * n - 1) / (255 * n);
    return r;
}();

// The straight colour and alpha of Count summed samples:
//   alpha  = (sum a * F + 2^38) >> 39,  F = ceil(2^39 / (255 Count))
//   colour = (sum c * F + 2^38) >> 39                          when every sample is opaque
//          = min(255, (255 sum c * floor((2^32 - 1) / sum a) + 2^31) >> 32)   otherwise
// (each within a rounding step of the exact mean; the last is exact for a single sample).
inline TColor32 averageOf(const Accumulator& Acc, std::uint32_t Count) {
    if (Acc.a == 0) return 0;
    const std::uint64_t f = kMeanFactor[Count];
    const auto mean = [f](std::uint32_t C) {
        return static_cast<std::uint32_t>((C * f + (std::uint64_t{1} << 38)) >> 39);
    };
    const std::uint32_t alpha = mean(Acc.a);
    if (Acc.a == kFullAlpha16 * Count)
        return (alpha << 24) | (mean(Acc.r) << 16) | (mean(Acc.g) << 8) | mean(Acc.b);
    const std::uint64_t inv = 0xFFFFFFFFu / Acc.a;
    const auto scale = [inv](std::uint32_t C) {
        return static_cast<std::uint32_t>(
            std::min<std::uint64_t>((255 * std::uint64_t{C} * inv + (1u << 31)) >> 32, 255));
    };
    return (alpha << 24) | (scale(Acc.r) << 16) | (scale(Acc.g) << 8) | scale(Acc.b);
}

// Light, shadow and opacity on a straight colour.
inline TColor32 finishPixel(TColor32 C, const TAppearanceLoop& Loop, std::int32_t ShadowKeep) {
    const std::uint32_t a = Loop.Opacity >= 255 ? C >> 24 : ((C >> 24) * Loop.Opacity + 127) / 255;
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
void nearestOffsets(const MappedRow& Cur, const PixelSampler& Sampler, int Lo, int Hi,
                    std::int32_t Stride, std::vector<std::int32_t>& Offsets) {
    for (int i = Lo; i < Hi; ++i) {
        const std::int64_t u = Cur.u[i], v = Cur.v[i];
        Offsets[static_cast<std::size_t>(i)] =
            Cur.valid[i] && Sampler.inside(u, v)
                ? static_cast<std::int32_t>((v >> kFixedShift) * Stride + (u >> kFixedShift))
                : -1;
    }
}

// Whether the shadow darkens any pixel of the block.
bool shadowReaches(const TShadowParams& S, const MappedRow& Cur, int B, std::int32_t PictureWidth) {
    if (!S.Enabled) return false;
    const std::int64_t right = std::int64_t{PictureWidth} << kFixedShift;
    for (int i = B; i < B + kBlock; ++i) {
        const std::int64_t side = S.Side == TShadowSide::Left ? Cur.u[i] : right - Cur.u[i];
        if (Cur.v[i] < S.Depth || side < S.Depth) return true;
    }
    return false;
}

bool g_vectorAllowed = true;

bool useVector() {
    return g_vectorAllowed && kernels::HaveAvx2();
}

// The samples of one row without smoothing: first every read, then light, shadow and
// opacity (eight pixels at a time where the vector form applies; a pixel's result does not
// depend on its neighbours, so the grouping does not matter).
void nearestRow(const RowContext& R, int Lo, int Hi, PixelSampler& Sampler,
                const TCustomBitmap32& Picture, std::vector<std::int32_t>& Offsets,
                std::vector<TColor32>& Samples, const TAppearanceLoop& Loop,
                const std::int32_t* LightTables, TColor32* Row) {
    nearestOffsets(R.cur, Sampler, Lo, Hi, Picture.Width(), Offsets);
    if (useVector())
        kernels::GatherAvx2(Picture.Bits(), Offsets.data() + Lo, Hi - Lo, Samples.data() + Lo);
    else
        for (int i = Lo; i < Hi; ++i)
            Samples[static_cast<std::size_t>(i)] =
                Offsets[static_cast<std::size_t>(i)] >= 0
                    ? Picture.Bits()[Offsets[static_cast<std::size_t>(i)]]
                    : 0;
    for (int i = Lo; i < Hi;) {
        if (i + kBlock <= Hi && useVector() &&
            !shadowReaches(Loop.Shadow, R.cur, i, Picture.Width()) &&
            kernels::FinishStraightAvx2(Samples.data() + i, Loop.Opacity, LightTables, Row + i)) {
            i += kBlock;
            continue;
        }
        const int end = std::min(i + kBlock, Hi);
        for (; i < end; ++i) {
            const TColor32 s = Samples[static_cast<std::size_t>(i)];
            if ((s >> 24) == 0) continue;
            putPixel(
                finishPixel(s, Loop,
                            ShadowKeep4096(Loop.Shadow, R.cur.u[i], R.cur.v[i], Picture.Width())),
                Row[i]);
        }
    }
}

// The footprint of pixel I from its neighbours' mapped centres.
Footprint footprintAt(const RowContext& R, int I, std::int64_t Limit) {
    const MappedRow &prev = R.prev, &cur = R.cur, &next = R.next;
    return Footprint{
        derivative(cur.valid[I - 1], cur.u[I - 1], cur.u[I], cur.valid[I + 1], cur.u[I + 1], Limit),
        derivative(cur.valid[I - 1], cur.v[I - 1], cur.v[I], cur.valid[I + 1], cur.v[I + 1], Limit),
        derivative(prev.valid[I], prev.u[I], cur.u[I], next.valid[I], next.u[I], Limit),
        derivative(prev.valid[I], prev.v[I], cur.v[I], next.valid[I], next.v[I], Limit)};
}

inline void finishAndPut(const Accumulator& Acc, std::uint32_t Count, const TAppearanceLoop& Loop,
                         std::int64_t U, std::int64_t V, std::int32_t PictureWidth, TColor32& D) {
    const TColor32 s = averageOf(Acc, Count);
    if ((s >> 24) == 0) return;
    const std::int32_t keep =
        Loop.Shadow.Enabled ? ShadowKeep4096(Loop.Shadow, U, V, PictureWidth) : 4096;
    putPixel(finishPixel(s, Loop, keep), D);
}

// One pixel with its own footprint.
void smoothPixel(const RowContext& R, int I, PixelSampler& Sampler, const TAppearanceLoop& Loop,
                 std::int32_t PictureWidth, TColor32& D) {
    if (!R.cur.valid[I]) return;
    const std::int64_t u = R.cur.u[I], v = R.cur.v[I];
    const Footprint f = footprintAt(R, I, Sampler.Limit());
    Grid g = Sampler.grid(f, false);
    if (Sampler.outside(u, v, g)) return;
    Accumulator acc;
    if (Sampler.interior(u, v, g)) {
        (Sampler.*interiorSampler(g))(u, v, g, Sampler.level(g.k), acc);
    } else {
        g = Sampler.grid(f, true);
        Sampler.sampleChecked(u, v, g, Sampler.level(g.k), acc);
    }
    finishAndPut(acc, static_cast<std::uint32_t>(g.n1 * g.n2), Loop, u, v, PictureWidth, D);
}

// Every pixel of the block lies so far from the picture that no footprint of up to twice
// the block's own reaches it.
bool farOutside(const PixelSampler& Sampler, const MappedRow& Cur, int B, Grid G) {
    G.hu = 2 * G.hu + (std::int64_t{4} << kFixedShift);
    G.hv = 2 * G.hv + (std::int64_t{4} << kFixedShift);
    for (int i = B; i < B + kBlock; ++i)
        if (!Sampler.outside(Cur.u[i], Cur.v[i], G)) return false;
    return true;
}

// Starts the reads of the block kPrefetchAhead pixels ahead: its centres and half a footprint
// above and below them.
[[gnu::always_inline]] inline void prefetchAhead(const RowContext& R, int B,
                                                 const PixelSampler& Sampler) {
    if (B + kPrefetchAhead + kBlock >= R.n) return;
    const MappedRow &prev = R.prev, &cur = R.cur, &next = R.next;
    for (int p = 0; p < kBlock; p += 4) {
        const int j = B + kPrefetchAhead + p;
        if (!cur.valid[j]) continue;
        const std::int64_t half = std::llabs(std::int64_t{next.v[j]} - prev.v[j]) / 4;
        Sampler.prefetch(cur.u[j], cur.v[j]);
        Sampler.prefetch(cur.u[j], cur.v[j] - half);
        Sampler.prefetch(cur.u[j], cur.v[j] + half);
    }
}

enum class BlockPlan { Skip, OneByOne, Shared };

// How the block at B is drawn: with one grid G for all its pixels (they and their neighbours
// have mapped centres and every footprint lies inside the picture), pixel by pixel, or not
// at all, as it lies too far from the picture. (The margin of the per-pixel footprints is
// covered by testing with twice the extent.)
[[gnu::always_inline]] inline BlockPlan planBlock(const RowContext& R, int B,
                                                  const PixelSampler& Sampler, Grid& G) {
    const MappedRow& cur = R.cur;
    const int m = B + kBlock / 2;
    bool shared = R.prev.valid[m] && R.next.valid[m];
    for (int i = B - 1; shared && i <= B + kBlock; ++i)
        shared = cur.valid[i] != 0;
    if (!shared) return BlockPlan::OneByOne;
    G = Sampler.grid(footprintAt(R, m, Sampler.Limit()), false);
    bool allOutside = true;
    for (int i = B; i < B + kBlock; ++i) {
        shared = shared && Sampler.interior(cur.u[i], cur.v[i], G);
        allOutside = allOutside && Sampler.outside(cur.u[i], cur.v[i], G);
    }
    if (allOutside && farOutside(Sampler, cur, B, G)) return BlockPlan::Skip;
    return shared ? BlockPlan::Shared : BlockPlan::OneByOne;
}

// A block sharing a grid on the picture itself, its sums in vector form; the whole block is
// finished in vector form too unless it is cut by [From, To) or shadowed.
[[gnu::always_inline]] inline void sharedBlockAvx2(const RowContext& R, int B, int From, int To,
                                                   const PixelSampler& Sampler, const Grid& G,
                                                   const TAppearanceLoop& Loop,
                                                   const std::int32_t* LightTables,
                                                   std::int32_t PictureWidth, TColor32* Row) {
    const MappedRow& cur = R.cur;
    const std::uint32_t count = static_cast<std::uint32_t>(G.n1 * G.n2);
    kernels::BlockSums sums;
    kernels::BlockSumsAvx2(Sampler.bits(), Sampler.stride(), cur.u.data() + B, cur.v.data() + B,
                           kernels::BlockGrid{G.n1, G.n2, G.offU, G.offV, G.su, G.sv, G.tu, G.tv},
                           sums);
    if (From == B && To == B + kBlock && !shadowReaches(Loop.Shadow, cur, B, PictureWidth) &&
        kernels::FinishBlockAvx2(sums, count, kMeanFactor[count], Loop.Opacity, LightTables,
                                 Row + B))
        return;
    for (int i = From; i < To; ++i) {
        const int k = i - B;
        const Accumulator acc{sums.b[k], sums.g[k], sums.r[k], sums.a[k]};
        finishAndPut(acc, count, Loop, cur.u[i], cur.v[i], PictureWidth, Row[i]);
    }
}

// A block sharing a grid, each pixel through the grid's interior sampler.
[[gnu::always_inline]] inline void sharedBlock(const RowContext& R, int From, int To,
                                               PixelSampler& Sampler, const Grid& G,
                                               const TAppearanceLoop& Loop,
                                               std::int32_t PictureWidth, TColor32* Row) {
    const MappedRow& cur = R.cur;
    const std::uint32_t count = static_cast<std::uint32_t>(G.n1 * G.n2);
    const InteriorSampler sample = interiorSampler(G);
    const TPremultipliedPyramid::Level* level = Sampler.level(G.k);
    for (int i = From; i < To; ++i) {
        Accumulator acc;
        (Sampler.*sample)(cur.u[i], cur.v[i], G, level, acc);
        finishAndPut(acc, count, Loop, cur.u[i], cur.v[i], PictureWidth, Row[i]);
    }
}

// The pixels of a row in blocks of kBlock, aligned to whole multiples of kBlock in layer
// coordinates. A block whose pixels and neighbours all have mapped centres and whose
// footprints lie inside the picture shares one grid, taken from the footprint of its
// fifth pixel; any other block is done pixel by pixel. Which pixels share a grid depends
// only on their position and the mapping, never on the area being drawn. First is the index
// of the block's first pixel; only the indices in [Lo, Hi) are written.
void smoothRow(const RowContext& R, int First, int Lo, int Hi, PixelSampler& Sampler,
               const TAppearanceLoop& Loop, const std::int32_t* LightTables,
               std::int32_t PictureWidth, TColor32* Row) {
    for (int b = First; b + kBlock <= R.n - 1; b += kBlock) {
        if (b + kBlock <= Lo || b >= Hi) continue;
        prefetchAhead(R, b, Sampler);
        Grid g{};
        const BlockPlan plan = planBlock(R, b, Sampler, g);
        if (plan == BlockPlan::Skip) continue;
        const int from = std::max(b, Lo), to = std::min(b + kBlock, Hi);
        if (plan == BlockPlan::OneByOne) {
            for (int i = from; i < to; ++i)
                smoothPixel(R, i, Sampler, Loop, PictureWidth, Row[i]);
        } else if (g.k == 0 && useVector()) {
            sharedBlockAvx2(R, b, from, to, Sampler, g, Loop, LightTables, PictureWidth, Row);
        } else {
            sharedBlock(R, from, to, Sampler, g, Loop, PictureWidth, Row);
        }
    }
}

} // namespace

void SetAppearanceVectorAllowed(bool Allowed) {
    g_vectorAllowed = Allowed;
}

void RenderAppearanceRegion(TCustomBitmap32& Dst, const TCustomBitmap32& Picture,
                            const TProjectiveTransformation& T, const TRect& Region,
                            const TAppearanceLoop& Loop) {
    if (IsRectEmpty(Region) || Picture.IsEmpty()) return;
    const TFixedMatrix& I = T.InverseFixedMatrix();
    // Rows are mapped over whole blocks (and one pixel beyond), so a pixel's result does not
    // depend on where the drawn area starts or ends.
    const std::int32_t xa = Region.Left - Region.Left % kBlock;
    const std::int32_t xb = Region.Right + (kBlock - Region.Right % kBlock) % kBlock;
    const std::int32_t x0 = xa - 1;
    const int n = xb - xa + 2;
    const int lo = Region.Left - x0, hi = Region.Right - x0;
    TPremultipliedPyramid pyramid(Picture);
    PixelSampler sampler(Picture, pyramid);
    MappedRow prev(n), cur(n), next(n);
    // The light tables widened to int32 for the vector form: red, green, blue.
    std::array<std::int32_t, 768> lightTables{};
    for (std::size_t ch = 0; ch < 3; ++ch)
        for (std::size_t v = 0; v < 256; ++v)
            lightTables[ch * 256 + v] = Loop.Light.Channel[ch][v];
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
            smoothRow(RowContext{prev, cur, next, n}, 1, lo, hi, sampler, Loop,
                      Loop.LightOn ? lightTables.data() : nullptr, Picture.Width(), row);
            std::swap(prev, cur);
            std::swap(cur, next);
        } else {
            cur.map(I, x0, y);
            nearestRow(RowContext{prev, cur, next, n}, lo, hi, sampler, Picture, offsets, samples,
                       Loop, Loop.LightOn ? lightTables.data() : nullptr, row);
        }
    }
}

} // namespace schauplatz
