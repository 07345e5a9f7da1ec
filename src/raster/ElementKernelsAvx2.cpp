#include "raster/ElementKernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define SCHAUPLATZ_KERNELS_AVX2 1
#endif

#include <cstdlib>

namespace schauplatz::kernels {

#ifdef SCHAUPLATZ_KERNELS_AVX2

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// Eight reads per instruction: the reads of a row jump between picture rows, and many in
// flight at once hide the memory's latency. Gives exactly the scalar reads.
__attribute__((target("avx2"))) void GatherAvx2(const TColor32* Bits, const std::int32_t* Offsets,
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

__attribute__((target("avx2"))) void BlockSumsAvx2(const TColor32* Bits, std::int32_t Stride,
                                                   const TFixed* U, const TFixed* V,
                                                   const BlockGrid& G, BlockSums& Out) {
    const __m256i cu = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(U));
    const __m256i cv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(V));
    const __m256i stride = _mm256_set1_epi32(Stride);
    const __m256i low = _mm256_set1_epi32(0xFF);
    const __m256i full = _mm256_set1_epi32(255);
    const int* base = reinterpret_cast<const int*>(Bits);
    __m256i sb = _mm256_setzero_si256(), sg = sb, sr = sb, sa = sb;
    for (int j = 0; j < G.n2; ++j)
        for (int i = 0; i < G.n1; ++i) {
            // Offsets within one footprint of at most 4 pixels fit an int32.
            const auto du = static_cast<std::int32_t>(G.offU + j * G.tu + i * G.su);
            const auto dv = static_cast<std::int32_t>(G.offV + j * G.tv + i * G.sv);
            const __m256i pu = _mm256_srai_epi32(_mm256_add_epi32(cu, _mm256_set1_epi32(du)), 16);
            const __m256i pv = _mm256_srai_epi32(_mm256_add_epi32(cv, _mm256_set1_epi32(dv)), 16);
            const __m256i off = _mm256_add_epi32(_mm256_mullo_epi32(pv, stride), pu);
            const __m256i px = _mm256_i32gather_epi32(base, off, 4);
            const __m256i alpha = _mm256_srli_epi32(px, 24);
            // Each lane holds a value below 256 in its low half: madd gives the product.
            sb = _mm256_add_epi32(sb, _mm256_madd_epi16(_mm256_and_si256(px, low), alpha));
            sg = _mm256_add_epi32(
                sg, _mm256_madd_epi16(_mm256_and_si256(_mm256_srli_epi32(px, 8), low), alpha));
            sr = _mm256_add_epi32(
                sr, _mm256_madd_epi16(_mm256_and_si256(_mm256_srli_epi32(px, 16), low), alpha));
            sa = _mm256_add_epi32(sa, _mm256_madd_epi16(alpha, full));
        }
    _mm256_store_si256(reinterpret_cast<__m256i*>(Out.b), sb);
    _mm256_store_si256(reinterpret_cast<__m256i*>(Out.g), sg);
    _mm256_store_si256(reinterpret_cast<__m256i*>(Out.r), sr);
    _mm256_store_si256(reinterpret_cast<__m256i*>(Out.a), sa);
}

// (X * F + 2^38) >> 39 in each lane, for X below 2^21 and F below 2^32 (the mean of
// averageOf).
__attribute__((target("avx2"))) inline __m256i meanAvx2(__m256i X, __m256i F) {
    const __m256i bias = _mm256_set1_epi64x(std::int64_t{1} << 38);
    const __m256i even = _mm256_srli_epi64(_mm256_add_epi64(_mm256_mul_epu32(X, F), bias), 39);
    const __m256i odd = _mm256_srli_epi64(
        _mm256_add_epi64(_mm256_mul_epu32(_mm256_srli_epi64(X, 32), F), bias), 39);
    return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

// floor((2^32 - 1) / X) in each lane for X = 1..2^21, through the correctly rounded double
// quotient: its error stays below the distance 1 / X of a non-integer quotient from the next
// integer, so the floor is exact. Lanes with X = 0 give an unused value.
__attribute__((target("avx2"))) inline __m256i reciprocalAvx2(__m256i X) {
    const __m256d n = _mm256_set1_pd(4294967295.0);
    const __m256d half = _mm256_set1_pd(2147483648.0);
    const __m256d lo =
        _mm256_floor_pd(_mm256_div_pd(n, _mm256_cvtepi32_pd(_mm256_castsi256_si128(X))));
    const __m256d hi =
        _mm256_floor_pd(_mm256_div_pd(n, _mm256_cvtepi32_pd(_mm256_extracti128_si256(X, 1))));
    // Quotients up to 2^32 - 1 do not fit a signed lane: shift by 2^31, convert, shift back.
    const __m128i l = _mm256_cvttpd_epi32(_mm256_sub_pd(lo, half));
    const __m128i h = _mm256_cvttpd_epi32(_mm256_sub_pd(hi, half));
    return _mm256_add_epi32(_mm256_set_m128i(h, l), _mm256_set1_epi32(INT32_MIN));
}

// min(255, (255 C * Inv + 2^31) >> 32) in each lane (the translucent colour of averageOf).
__attribute__((target("avx2"))) inline __m256i scaleAvx2(__m256i C, __m256i Inv) {
    const __m256i c255 = _mm256_mullo_epi32(C, _mm256_set1_epi32(255));
    const __m256i bias = _mm256_set1_epi64x(std::int64_t{1} << 31);
    const __m256i even = _mm256_srli_epi64(_mm256_add_epi64(_mm256_mul_epu32(c255, Inv), bias), 32);
    const __m256i odd = _mm256_srli_epi64(
        _mm256_add_epi64(_mm256_mul_epu32(_mm256_srli_epi64(c255, 32), _mm256_srli_epi64(Inv, 32)),
                         bias),
        32);
    return _mm256_min_epu32(_mm256_or_si256(even, _mm256_slli_epi64(odd, 32)),
                            _mm256_set1_epi32(255));
}

// Finishes the eight unshadowed pixels of a block at once and writes them into empty layer
// pixels: the same bytes averageOf, finishPixel and putPixel give. Returns false, writing
// nothing, when a layer pixel is not empty; the caller then goes pixel by pixel.
__attribute__((target("avx2"))) bool
FinishBlockAvx2(const BlockSums& Sums, std::uint32_t Count, std::uint64_t MeanFactor,
                std::uint32_t Opacity, const std::int32_t* LightTables, TColor32* Dst) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Dst));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_srli_epi32(d, 24), zero)) != -1)
        return false;
    const __m256i sa = _mm256_load_si256(reinterpret_cast<const __m256i*>(Sums.a));
    const __m256i sr = _mm256_load_si256(reinterpret_cast<const __m256i*>(Sums.r));
    const __m256i sg = _mm256_load_si256(reinterpret_cast<const __m256i*>(Sums.g));
    const __m256i sb = _mm256_load_si256(reinterpret_cast<const __m256i*>(Sums.b));
    const __m256i f = _mm256_set1_epi64x(static_cast<std::int64_t>(MeanFactor));
    const __m256i opaque =
        _mm256_cmpeq_epi32(sa, _mm256_set1_epi32(static_cast<std::int32_t>(kFullAlpha16 * Count)));
    __m256i alpha = meanAvx2(sa, f);
    __m256i r = meanAvx2(sr, f), g = meanAvx2(sg, f), b = meanAvx2(sb, f);
    if (_mm256_movemask_epi8(opaque) != -1) {
        const __m256i inv = reciprocalAvx2(sa);
        r = _mm256_blendv_epi8(scaleAvx2(sr, inv), r, opaque);
        g = _mm256_blendv_epi8(scaleAvx2(sg, inv), g, opaque);
        b = _mm256_blendv_epi8(scaleAvx2(sb, inv), b, opaque);
    }
    if (Opacity < 255) {
        // (alpha M + 127) / 255, exactly, as (x * 0x8081) >> 23 for x below 2^16.
        const __m256i x = _mm256_add_epi32(
            _mm256_mullo_epi32(alpha, _mm256_set1_epi32(static_cast<std::int32_t>(Opacity))),
            _mm256_set1_epi32(127));
        alpha = _mm256_srli_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(0x8081)), 23);
    }
    if (LightTables != nullptr) {
        r = _mm256_i32gather_epi32(LightTables, r, 4);
        g = _mm256_i32gather_epi32(LightTables + 256, g, 4);
        b = _mm256_i32gather_epi32(LightTables + 512, b, 4);
    }
    const __m256i out =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(alpha, 24), _mm256_slli_epi32(r, 16)),
                        _mm256_or_si256(_mm256_slli_epi32(g, 8), b));
    // A pixel whose alpha comes out 0 is not drawn (its layer pixel stays as it was).
    const __m256i drawn = _mm256_xor_si256(_mm256_cmpeq_epi32(alpha, zero), _mm256_set1_epi32(-1));
    _mm256_maskstore_epi32(reinterpret_cast<int*>(Dst), drawn, out);
    return true;
}

// Opacity and light on eight straight pixels; the alpha as finishPixel computes it.
__attribute__((target("avx2"))) bool FinishStraightAvx2(const TColor32* Samples,
                                                        std::uint32_t Opacity,
                                                        const std::int32_t* LightTables,
                                                        TColor32* Dst) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Dst));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_srli_epi32(d, 24), zero)) != -1)
        return false;
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Samples));
    __m256i alpha = _mm256_srli_epi32(s, 24);
    if (Opacity < 255) {
        const __m256i x = _mm256_add_epi32(
            _mm256_mullo_epi32(alpha, _mm256_set1_epi32(static_cast<std::int32_t>(Opacity))),
            _mm256_set1_epi32(127));
        alpha = _mm256_srli_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(0x8081)), 23);
    }
    __m256i colour = _mm256_and_si256(s, _mm256_set1_epi32(0x00FFFFFF));
    if (LightTables != nullptr) {
        const __m256i low = _mm256_set1_epi32(0xFF);
        const __m256i r =
            _mm256_i32gather_epi32(LightTables, _mm256_and_si256(_mm256_srli_epi32(s, 16), low), 4);
        const __m256i g = _mm256_i32gather_epi32(LightTables + 256,
                                                 _mm256_and_si256(_mm256_srli_epi32(s, 8), low), 4);
        const __m256i b = _mm256_i32gather_epi32(LightTables + 512, _mm256_and_si256(s, low), 4);
        colour =
            _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(r, 16), _mm256_slli_epi32(g, 8)), b);
    }
    const __m256i out = _mm256_or_si256(_mm256_slli_epi32(alpha, 24), colour);
    const __m256i drawn = _mm256_xor_si256(_mm256_cmpeq_epi32(alpha, zero), _mm256_set1_epi32(-1));
    _mm256_maskstore_epi32(reinterpret_cast<int*>(Dst), drawn, out);
    return true;
}

#else

bool HaveAvx2() {
    return false;
}
void GatherAvx2(const TColor32*, const std::int32_t*, int, TColor32*) {
    std::abort();
}
void BlockSumsAvx2(const TColor32*, std::int32_t, const TFixed*, const TFixed*, const BlockGrid&,
                   BlockSums&) {
    std::abort();
}
bool FinishBlockAvx2(const BlockSums&, std::uint32_t, std::uint64_t, std::uint32_t,
                     const std::int32_t*, TColor32*) {
    std::abort();
}
bool FinishStraightAvx2(const TColor32*, std::uint32_t, const std::int32_t*, TColor32*) {
    std::abort();
}

#endif

} // namespace schauplatz::kernels
