#include "raster/TransformedFastPath.h"

#include "raster/FixedPoint.h"
#include "raster/Samplers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <typeinfo>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define SCHAUPLATZ_FASTPATH_AVX2 1
#endif

namespace schauplatz {

namespace {

// Along a destination row the pixel centre x * 65536 + 32767 grows by exactly 65536, and
// FixedMul(m, x + 65536) = FixedMul(m, x) + m (the added product is a whole multiple of
// 65536, so the floor shifts by exactly m). The three sums of the reverse mapping therefore
// grow by the constant steps I0, I1 and I2 (int32, wrapping like the per-pixel sums).
struct RowStart {
    std::int32_t u, v, z;
};

RowStart rowStart(const TFixedMatrix& I, std::int32_t X, std::int32_t Y) {
    const TFixed fx = WrapAdd(FixedFromInt(X), kFixedNearHalf);
    const TFixed fy = WrapAdd(FixedFromInt(Y), kFixedNearHalf);
    return {WrapAdd(WrapAdd(FixedMul(I[0], fx), FixedMul(I[3], fy)), I[6]),
            WrapAdd(WrapAdd(FixedMul(I[1], fx), FixedMul(I[4], fy)), I[7]),
            WrapAdd(WrapAdd(FixedMul(I[2], fx), FixedMul(I[5], fy)), I[8])};
}

// What the pixels of one chunk read: an offset into the source buffer, or -1 for the outer
// colour (outside the source clip rectangle, or on the vanishing line).
constexpr int kChunk = 2048;
using Offsets = std::array<std::int32_t, kChunk + 8>; // + a partial group of the vector form

struct Source {
    const TColor32* bits;
    std::int32_t width;
    TRect clip;
    TColor32 outer;
};

inline std::int32_t offsetOf(const Source& S, std::int32_t U, std::int32_t V) {
    const std::int32_t sx = U >> kFixedShift, sy = V >> kFixedShift;
    if (sx < S.clip.Left || sx >= S.clip.Right || sy < S.clip.Top || sy >= S.clip.Bottom) return -1;
    return sy * S.width + sx;
}

// One pixel exactly as the reverse mapping does it (the perspective division in extended
// precision).
inline std::int32_t mapOne(const Source& S, std::int32_t U, std::int32_t V, std::int32_t Z) {
    if (Z == 0) return -1;
    DivideByFixedZ(U, V, Z);
    return offsetOf(S, U, V);
}

inline void mapRaw(std::int32_t U, std::int32_t V, std::int32_t Z, TFixed& OutU, TFixed& OutV,
                   std::uint8_t& Valid) {
    Valid = Z != 0;
    if (Z == 0) return;
    DivideByFixedZ(U, V, Z);
    OutU = U;
    OutV = V;
}

void mapChunkScalar(const Source& S, RowStart P, const TFixedMatrix& I, int N, std::int32_t* Out) {
    for (int i = 0; i < N; ++i) {
        Out[i] = mapOne(S, P.u, P.v, P.z);
        P.u = WrapAdd(P.u, I[0]);
        P.v = WrapAdd(P.v, I[1]);
        P.z = WrapAdd(P.z, I[2]);
    }
}

#ifdef SCHAUPLATZ_FASTPATH_AVX2

// The helpers of the vector loops are forced inline so that the loops compile as one body.
#define SCHAUPLATZ_AVX2_STEP __attribute__((target("avx2"), always_inline)) inline

// Round(A * Q) for four lanes, exactly: Q = M * 2^-s with a 24-bit mantissa M, so |A| * M
// is an exact product of at most 55 bits, shifted right by s with ties to even, then given
// the sign of A * Q. (s is 7..38 for every |z| in 1..2^31.)
__attribute__((target("avx2"))) inline __m128i scaleExact(__m128i A, __m128i QBits) {
    const __m128i mant =
        _mm_or_si128(_mm_and_si128(QBits, _mm_set1_epi32(0x7FFFFF)), _mm_set1_epi32(0x800000));
    const __m128i shift = _mm_sub_epi32(
        _mm_set1_epi32(150), _mm_and_si128(_mm_srli_epi32(QBits, 23), _mm_set1_epi32(0xFF)));
    const __m128i negative = _mm_srai_epi32(_mm_xor_si128(A, QBits), 31);
    const __m256i p =
        _mm256_mul_epu32(_mm256_cvtepu32_epi64(_mm_abs_epi32(A)), _mm256_cvtepu32_epi64(mant));
    const __m256i s = _mm256_cvtepu32_epi64(shift);
    const __m256i one = _mm256_set1_epi64x(1);
    const __m256i halfMinusOne =
        _mm256_sub_epi64(_mm256_sllv_epi64(one, _mm256_sub_epi64(s, one)), one);
    const __m256i odd = _mm256_and_si256(_mm256_srlv_epi64(p, s), one);
    const __m256i r =
        _mm256_srlv_epi64(_mm256_add_epi64(_mm256_add_epi64(p, halfMinusOne), odd), s);
    // Low 32 bits of each 64-bit lane, in order.
    const __m256i packed =
        _mm256_permutevar8x32_epi32(r, _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0));
    const __m128i low = _mm256_castsi256_si128(packed);
    return _mm_sub_epi32(_mm_xor_si128(low, negative), negative);
}

// The sums u, v and z of eight neighbouring pixels.
struct Lanes8 {
    __m256i u, v, z;
};

// Start + k Step in lane k, wrapping like the scalar sums.
SCHAUPLATZ_AVX2_STEP __m256i startLanes(std::int32_t Start, std::int32_t Step) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    return _mm256_add_epi32(_mm256_set1_epi32(Start),
                            _mm256_mullo_epi32(lane, _mm256_set1_epi32(Step)));
}

SCHAUPLATZ_AVX2_STEP __m256i eightSteps(std::int32_t Step) {
    return _mm256_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(Step) * 8u));
}

SCHAUPLATZ_AVX2_STEP void advance(Lanes8& L, const Lanes8& Step) {
    L.u = _mm256_add_epi32(L.u, Step.u);
    L.v = _mm256_add_epi32(L.v, Step.v);
    L.z = _mm256_add_epi32(L.z, Step.z);
}

// Whether a double quotient lies exactly between two singles (then its rounding to single
// may differ from the extended-precision one).
SCHAUPLATZ_AVX2_STEP bool onMidpoint(__m256d QLo, __m256d QHi) {
    const __m256i midMask = _mm256_set1_epi64x(0x1FFFFFFF);
    const __m256i midValue = _mm256_set1_epi64x(0x10000000);
    const __m256i midLo =
        _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_castpd_si256(QLo), midMask), midValue);
    const __m256i midHi =
        _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_castpd_si256(QHi), midMask), midValue);
    return !_mm256_testz_si256(_mm256_or_si256(midLo, midHi), _mm256_or_si256(midLo, midHi));
}

// Eight 16.16 values scaled by the singles FLo (lanes 0-3) and FHi (lanes 4-7).
SCHAUPLATZ_AVX2_STEP __m256i scaleLanes(__m256i A, __m128i FLo, __m128i FHi) {
    return _mm256_set_m128i(scaleExact(_mm256_extracti128_si256(A, 1), FHi),
                            scaleExact(_mm256_castsi256_si128(A), FLo));
}

// Pixels [I, I + Count) of a group one by one with the scalar form.
template <bool RawOut>
SCHAUPLATZ_AVX2_STEP void mapGroupOneByOne(const Source& S, const Lanes8& L, int Count, int I,
                                           std::int32_t* Out, TFixed* U, TFixed* V,
                                           std::uint8_t* Valid) {
    alignas(32) std::int32_t us[8], vs[8], zs[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(us), L.u);
    _mm256_store_si256(reinterpret_cast<__m256i*>(vs), L.v);
    _mm256_store_si256(reinterpret_cast<__m256i*>(zs), L.z);
    for (int k = 0; k < Count; ++k) {
        if constexpr (RawOut)
            mapRaw(us[k], vs[k], zs[k], U[I + k], V[I + k], Valid[I + k]);
        else
            Out[I + k] = mapOne(S, us[k], vs[k], zs[k]);
    }
}

// The source clip rectangle (left and top one less, for greater-than tests) and row width.
struct ClipLanes {
    __m256i left, right, top, bottom, width;
};

SCHAUPLATZ_AVX2_STEP ClipLanes clipLanes(const Source& S) {
    return {_mm256_set1_epi32(S.clip.Left - 1), _mm256_set1_epi32(S.clip.Right),
            _mm256_set1_epi32(S.clip.Top - 1), _mm256_set1_epi32(S.clip.Bottom),
            _mm256_set1_epi32(S.width)};
}

// Source offsets of the mapped positions U, V, or -1 outside the clip rectangle or at z = 0.
SCHAUPLATZ_AVX2_STEP __m256i clippedOffsets(const ClipLanes& C, __m256i U, __m256i V, __m256i Z) {
    const __m256i sx = _mm256_srai_epi32(U, kFixedShift);
    const __m256i sy = _mm256_srai_epi32(V, kFixedShift);
    const __m256i inside = _mm256_andnot_si256(
        _mm256_cmpeq_epi32(Z, _mm256_setzero_si256()),
        _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpgt_epi32(sx, C.left), _mm256_cmpgt_epi32(C.right, sx)),
            _mm256_and_si256(_mm256_cmpgt_epi32(sy, C.top), _mm256_cmpgt_epi32(C.bottom, sy))));
    const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(sy, C.width), sx);
    return _mm256_or_si256(_mm256_and_si256(inside, offset),
                           _mm256_andnot_si256(inside, _mm256_set1_epi32(-1)));
}

SCHAUPLATZ_AVX2_STEP void storeRaw(__m256i SU, __m256i SV, __m256i Z, TFixed* U, TFixed* V,
                                   std::uint8_t* Valid) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(U), SU);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(V), SV);
    alignas(32) std::int32_t zs[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(zs), Z);
    for (int k = 0; k < 8; ++k)
        Valid[k] = zs[k] != 0;
}

// Eight pixels per step. q = single(65536 / z) is taken from the correctly rounded double
// quotient; that equals the extended-precision result except when the double lands exactly
// on a midpoint between two singles, which is detected and sent to the scalar form.
// Writes source offsets into Out, or, for RawOut, the mapped u and v with a validity flag
// (z != 0) into U, V and Valid.
template <bool RawOut>
__attribute__((target("avx2"))) void
mapChunkAvx2(const Source& S, RowStart P, const TFixedMatrix& I, int N, std::int32_t* Out,
             TFixed* U = nullptr, TFixed* V = nullptr, std::uint8_t* Valid = nullptr) {
    Lanes8 p{startLanes(P.u, I[0]), startLanes(P.v, I[1]), startLanes(P.z, I[2])};
    const Lanes8 step{eightSteps(I[0]), eightSteps(I[1]), eightSteps(I[2])};
    const __m256d numerator = _mm256_set1_pd(65536.0);
    const ClipLanes clip = clipLanes(S);

    // For offsets the last, partial group is computed in full: the buffer has room for it.
    int i = 0;
    for (; i + 8 <= N || (!RawOut && i < N); i += 8, advance(p, step)) {
        const __m128i zLo = _mm256_castsi256_si128(p.z), zHi = _mm256_extracti128_si256(p.z, 1);
        const __m256d qLo = _mm256_div_pd(numerator, _mm256_cvtepi32_pd(zLo));
        const __m256d qHi = _mm256_div_pd(numerator, _mm256_cvtepi32_pd(zHi));
        if (onMidpoint(qLo, qHi)) {
            mapGroupOneByOne<RawOut>(S, p, 8, i, Out, U, V, Valid);
            continue;
        }
        const __m128i fLo = _mm_castps_si128(_mm256_cvtpd_ps(qLo));
        const __m128i fHi = _mm_castps_si128(_mm256_cvtpd_ps(qHi));
        const __m256i su = scaleLanes(p.u, fLo, fHi), sv = scaleLanes(p.v, fLo, fHi);
        if constexpr (RawOut)
            storeRaw(su, sv, p.z, U + i, V + i, Valid + i);
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(Out + i),
                                clippedOffsets(clip, su, sv, p.z));
    }
    if (i < N) mapGroupOneByOne<RawOut>(S, p, N - i, i, Out, U, V, Valid);
}

// (S W + D IW + 128) >> 8 on sixteen 16-bit channels.
__attribute__((target("avx2"))) inline __m256i mix16(__m256i S16, __m256i D16, __m256i W16,
                                                     __m256i IW16, __m256i Bias) {
    return _mm256_srli_epi16(
        _mm256_add_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(S16, W16), _mm256_mullo_epi16(D16, IW16)), Bias),
        8);
}

// BlendMasterInto for eight pixels at a time. The mix (F W + B (256 - W) + 128) >> 8 stays
// below 65536, so each channel fits a 16-bit lane; W = 0 gives B exactly, so the skip of the
// scalar form needs no special case. Source pixels are gathered (the outer colour where the
// offset is -1) and prefetched a little ahead, since the rows of a perspective read jump
// between source rows.
__attribute__((target("avx2"))) void blendChunkAvx2(const Source& S, const std::int32_t* Offs,
                                                    int N, TColor32* Dst, std::uint32_t Master) {
    constexpr int kAhead = 96;
    const __m256i outer = _mm256_set1_epi32(static_cast<std::int32_t>(S.outer));
    const __m256i master1 = _mm256_set1_epi32(static_cast<std::int32_t>(ClampMaster(Master) + 1));
    const __m256i minusOne = _mm256_set1_epi32(-1);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bias = _mm256_set1_epi16(128);
    const __m256i full = _mm256_set1_epi16(256);
    const int* base = reinterpret_cast<const int*>(S.bits);
    int i = 0;
    for (; i + 8 <= N; i += 8) {
        if (i + kAhead + 8 <= N && S.bits != nullptr)
            for (int k = 0; k < 8; k += 2)
                __builtin_prefetch(S.bits + std::max(Offs[i + kAhead + k], 0));
        const __m256i off = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Offs + i));
        const __m256i valid = _mm256_cmpgt_epi32(off, minusOne);
        const __m256i s = _mm256_mask_i32gather_epi32(outer, base, off, valid, 4);
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Dst + i));
        const __m256i w =
            _mm256_srli_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(s, 24), master1), 8);
        const __m256i w2 = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
        const __m256i iw2 = _mm256_sub_epi16(full, w2);
        const __m256i lo =
            mix16(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero),
                  _mm256_unpacklo_epi32(w2, w2), _mm256_unpacklo_epi32(iw2, iw2), bias);
        const __m256i hi =
            mix16(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero),
                  _mm256_unpackhi_epi32(w2, w2), _mm256_unpackhi_epi32(iw2, iw2), bias);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Dst + i), _mm256_packus_epi16(lo, hi));
    }
    for (; i < N; ++i) {
        const std::int32_t o = Offs[i];
        BlendMasterInto(o >= 0 ? S.bits[o] : S.outer, Dst[i], Master);
    }
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

#undef SCHAUPLATZ_AVX2_STEP

#endif

// The affine case (z exactly 65536 on the whole row): no division at all.
void mapChunkAffine(const Source& S, RowStart P, const TFixedMatrix& I, int N, std::int32_t* Out) {
    for (int i = 0; i < N; ++i) {
        Out[i] = offsetOf(S, P.u, P.v);
        P.u = WrapAdd(P.u, I[0]);
        P.v = WrapAdd(P.v, I[1]);
    }
}

enum class Mode { Blend, Opaque, Transparent };

template <Mode M>
void combineChunk(const Source& S, const std::int32_t* Offs, int N, TColor32* Dst,
                  std::uint32_t MasterAlpha) {
    for (int i = 0; i < N; ++i) {
        const std::int32_t o = Offs[i];
        const TColor32 c = o >= 0 ? S.bits[o] : S.outer;
        if constexpr (M == Mode::Blend)
            BlendMasterInto(c, Dst[i], MasterAlpha);
        else if constexpr (M == Mode::Opaque)
            Dst[i] = c;
        else if (c != S.outer)
            Dst[i] = c;
    }
}

// How the fast path draws Src, or nothing when it does not apply (another sampler, access
// mode or transformation class, a combine mode or handler of its own).
std::optional<Mode> fastMode(const TCustomBitmap32& Src, const TProjectiveTransformation& T) {
    const TCustomResampler* resampler = Src.Resampler();
    if (resampler == nullptr || typeid(*resampler) != typeid(TNearestResampler) ||
        resampler->PixelAccessMode() != pamSafe)
        return std::nullopt;
    if (typeid(T) != typeid(TProjectiveTransformation)) return std::nullopt;
    switch (Src.DrawMode()) {
    case dmBlend:
        if (Src.CombineMode() != cmBlend) return std::nullopt;
        return Mode::Blend;
    case dmOpaque:
        return Mode::Opaque;
    case dmTransparent:
        return Mode::Transparent;
    case dmCustom:
        if (Src.OnPixelCombine) return std::nullopt;
        return Mode::Opaque;
    default:
        return std::nullopt;
    }
}

// Whether R lies inside Dst and the stepping can rely on x * 65536 + 32767 not wrapping
// along a row.
bool fitsFastPath(const TCustomBitmap32& Dst, const TRect& R) {
    constexpr std::int32_t kMaxCoordinate = 32767;
    const TRect bounds = Dst.BoundsRect();
    return R.Left >= bounds.Left && R.Top >= bounds.Top && R.Right <= bounds.Right &&
           R.Bottom <= bounds.Bottom && R.Right <= kMaxCoordinate && R.Bottom <= kMaxCoordinate;
}

// The source offsets of N pixels from P on.
void mapChunk(const Source& S, RowStart P, const TFixedMatrix& I, bool Affine, bool Vector, int N,
              std::int32_t* Out) {
    if (Affine) mapChunkAffine(S, P, I, N, Out);
#ifdef SCHAUPLATZ_FASTPATH_AVX2
    else if (Vector)
        mapChunkAvx2<false>(S, P, I, N, Out);
#endif
    else
        mapChunkScalar(S, P, I, N, Out);
    (void)Vector;
}

void combineChunkAs(Mode M, const Source& S, const std::int32_t* Offs, int N, TColor32* Dst,
                    std::uint32_t Master, bool Vector) {
    switch (M) {
    case Mode::Blend:
#ifdef SCHAUPLATZ_FASTPATH_AVX2
        if (Vector) {
            blendChunkAvx2(S, Offs, N, Dst, Master);
            break;
        }
#endif
        combineChunk<Mode::Blend>(S, Offs, N, Dst, Master);
        break;
    case Mode::Opaque:
        combineChunk<Mode::Opaque>(S, Offs, N, Dst, Master);
        break;
    case Mode::Transparent:
        combineChunk<Mode::Transparent>(S, Offs, N, Dst, Master);
        break;
    }
    (void)Vector;
}

bool drawFast(TCustomBitmap32& Dst, const TCustomBitmap32& Src, TProjectiveTransformation& T,
              const TRect& R, bool AllowVector) {
    const std::optional<Mode> mode = fastMode(Src, T);
    if (!mode || !fitsFastPath(Dst, R)) return false;

    if (!T.Prepared()) T.Prepare();
    if (IsRectEmpty(R)) return true;

    const TFixedMatrix& I = T.InverseFixedMatrix();
    const bool affine = I[2] == 0 && I[5] == 0 && I[8] == kFixedOne;
    bool vector = false;
#ifdef SCHAUPLATZ_FASTPATH_AVX2
    vector = AllowVector && haveAvx2();
#endif
    const Source src{Src.Bits(), Src.Width(), Src.ClipRect(), Src.OuterColor()};
    const std::uint32_t master = Src.MasterAlpha();

    Offsets offsets;
    for (std::int32_t y = R.Top; y < R.Bottom; ++y) {
        TColor32* row = Dst.RowPointer(y);
        for (std::int32_t x = R.Left; x < R.Right; x += kChunk) {
            const int n = static_cast<int>(std::min<std::int32_t>(kChunk, R.Right - x));
            mapChunk(src, rowStart(I, x, y), I, affine, vector, n, offsets.data());
            combineChunkAs(*mode, src, offsets.data(), n, row + x, master, vector);
        }
    }
    return true;
}

} // namespace

void ReverseFixedRow(const TFixedMatrix& I, std::int32_t X, std::int32_t Y, int N, TFixed* U,
                     TFixed* V, std::uint8_t* Valid, bool AllowVector) {
    for (int done = 0; done < N; done += kChunk) {
        const int n = std::min(kChunk, N - done);
        RowStart p = rowStart(I, X + done, Y);
#ifdef SCHAUPLATZ_FASTPATH_AVX2
        if (AllowVector && haveAvx2()) {
            const Source none{nullptr, 0, TRect{}, 0};
            mapChunkAvx2<true>(none, p, I, n, nullptr, U + done, V + done, Valid + done);
            continue;
        }
#endif
        for (int i = 0; i < n; ++i) {
            mapRaw(p.u, p.v, p.z, U[done + i], V[done + i], Valid[done + i]);
            p.u = WrapAdd(p.u, I[0]);
            p.v = WrapAdd(p.v, I[1]);
            p.z = WrapAdd(p.z, I[2]);
        }
    }
}

bool DrawProjectiveNearestFast(TCustomBitmap32& Dst, const TCustomBitmap32& Src,
                               TProjectiveTransformation& T, const TRect& R) {
    return drawFast(Dst, Src, T, R, true);
}

bool DrawProjectiveNearestFastScalar(TCustomBitmap32& Dst, const TCustomBitmap32& Src,
                                     TProjectiveTransformation& T, const TRect& R) {
    return drawFast(Dst, Src, T, R, false);
}

} // namespace schauplatz
