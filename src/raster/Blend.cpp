#include "raster/Blend.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace schauplatz {

namespace {

// Integer a / b rounded to nearest, ties to even (a >= 0, b > 0).
constexpr std::uint32_t DivRoundEven(std::uint32_t A, std::uint32_t B) {
    std::uint32_t q = A / B;
    const std::uint32_t r = A % B;
    if (2 * r > B || (2 * r == B && (q & 1u) != 0)) ++q;
    return q;
}

struct TMergeTables {
    TByteTable256 Product;
    TByteTable256 Ratio;

    TMergeTables() {
        for (std::uint32_t a = 0; a < 256; ++a) {
            for (std::uint32_t b = 0; b < 256; ++b) {
                Product[a][b] = static_cast<std::uint8_t>(DivRoundEven(a * b, 255));
                // ratio[a][b] exceeds 255 for a > b; those entries saturate at 255 (Merge
                // only asks for a <= b).
                const std::uint32_t ratio = b == 0 ? 0 : DivRoundEven(a * 255, b);
                Ratio[a][b] = static_cast<std::uint8_t>(std::min<std::uint32_t>(ratio, 255));
            }
        }
    }
};

const TMergeTables& MergeTables() {
    static const TMergeTables tables;
    return tables;
}

} // namespace

const TByteTable256& ProductTable() {
    return MergeTables().Product;
}
const TByteTable256& RatioTable() {
    return MergeTables().Ratio;
}

#if defined(__SSE2__)
namespace {

// Four pixels at a time in 16-bit lanes: every product F * W and B * (256 - W) is below
// 65536 and so is their sum plus 128, so the lane arithmetic gives the formula exactly.
// AlphaLanes returns each pixel's alpha repeated in its four lanes.
inline __m128i AlphaLanes(__m128i Pixels16) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(Pixels16, 0xFF), 0xFF);
}

inline __m128i MixLanes(__m128i F16, __m128i B16, __m128i W16) {
    const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(256), W16);
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(F16, W16), _mm_mullo_epi16(B16, inverse)),
                      _mm_set1_epi16(128));
    return _mm_srli_epi16(sum, 8);
}

// F over B for four pixels, each half weighted by Weight(its 16-bit lanes of F).
template <class WeightOf>
inline __m128i MixFour(__m128i F, __m128i B, WeightOf Weight) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i fLo = _mm_unpacklo_epi8(F, zero);
    const __m128i fHi = _mm_unpackhi_epi8(F, zero);
    const __m128i lo = MixLanes(fLo, _mm_unpacklo_epi8(B, zero), Weight(fLo));
    const __m128i hi = MixLanes(fHi, _mm_unpackhi_epi8(B, zero), Weight(fHi));
    return _mm_packus_epi16(lo, hi);
}

} // namespace
#endif

void BlendRow(const TColor32* Src, TColor32* Dst, std::size_t N) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i opaque = _mm_set1_epi32(255);
    const auto weight = [](__m128i F16) { return AlphaLanes(F16); };
    for (; i + 4 <= N; i += 4) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Dst + i));
        const __m128i mixed = MixFour(f, b, weight);
        // Alpha 255 copies F; alpha 0 needs nothing, weight 0 reproduces B exactly.
        const __m128i copy = _mm_cmpeq_epi32(_mm_srli_epi32(f, 24), opaque);
        const __m128i r = _mm_or_si128(_mm_and_si128(copy, f), _mm_andnot_si128(copy, mixed));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + i), r);
    }
#endif
    for (; i < N; ++i)
        BlendInto(Src[i], Dst[i]);
}

void BlendRowMaster(const TColor32* Src, TColor32* Dst, std::size_t N, std::uint32_t M) {
    const std::uint32_t m = ClampMaster(M);
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi16(1);
    const __m128i master = _mm_set1_epi16(static_cast<short>(m));
    // W = ((Fa + 1) * M) >> 8: the product is at most 256 * 255 and fits a 16-bit lane.
    const auto weight = [&](__m128i F16) {
        return _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(AlphaLanes(F16), one), master), 8);
    };
    for (; i + 4 <= N; i += 4) {
        const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Dst + i));
        // Fa = 0 gives W = 0 for every M <= 255, and W = 0 leaves the pixel as it is.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Dst + i), MixFour(f, b, weight));
    }
#endif
    for (; i < N; ++i) {
        const TColor32 f = Src[i];
        const std::uint32_t w = (((f >> 24) + 1) * m) >> 8;
        Dst[i] = MixColors(f, Dst[i], w);
    }
}

TColor32 Merge(TColor32 F, TColor32 B) {
    const std::uint32_t fa = F >> 24;
    if (fa == 0) return B;
    const std::uint32_t ba = B >> 24;
    if (ba == 255) return Blend(F, B) | 0xFF000000u;
    if (fa == 255 || ba == 0) return F;

    const TMergeTables& t = MergeTables();
    // Result alpha: Fa + Ba - Fa * Ba / 255; Fa <= Ra, so the ratio below is at most 255.
    const std::uint32_t ra = fa + ba - t.Product[ba][fa];
    const std::uint32_t wf = t.Ratio[fa][ra];
    const std::uint32_t wb = 255 - wf;
    // Each channel is round(wf * f / 255) + round(wb * b / 255), which never exceeds 255.
    const auto channel = [&](std::uint32_t Shift) {
        const std::uint32_t f = (F >> Shift) & 0xFFu;
        const std::uint32_t b = (B >> Shift) & 0xFFu;
        return static_cast<std::uint32_t>(t.Product[wf][f] + t.Product[wb][b]) << Shift;
    };
    return (ra << 24) | channel(16) | channel(8) | channel(0);
}

void MergeInto(TColor32 F, TColor32& B) {
    B = Merge(F, B);
}

TColor32 MergeMaster(TColor32 F, TColor32 B, std::uint32_t M) {
    const std::uint32_t fa = ProductTable()[ClampMaster(M)][F >> 24];
    return Merge((F & 0x00FFFFFFu) | (fa << 24), B);
}

void MergeMasterInto(TColor32 F, TColor32& B, std::uint32_t M) {
    B = MergeMaster(F, B, M);
}

void MergeRow(const TColor32* Src, TColor32* Dst, std::size_t N) {
    for (std::size_t i = 0; i < N; ++i)
        Dst[i] = Merge(Src[i], Dst[i]);
}

void MergeRowMaster(const TColor32* Src, TColor32* Dst, std::size_t N, std::uint32_t M) {
    for (std::size_t i = 0; i < N; ++i)
        Dst[i] = MergeMaster(Src[i], Dst[i], M);
}

void FillPixels(TColor32* Dst, std::size_t N, TColor32 C) {
    // A colour of four equal bytes (0, opaque white, ...) is a byte fill.
    if ((C & 0xFFu) * 0x01010101u == C) {
        std::memset(Dst, static_cast<int>(C & 0xFFu), N * sizeof(TColor32));
        return;
    }
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i c = _mm_set1_epi32(static_cast<int>(C));
    for (; i < N && (reinterpret_cast<std::uintptr_t>(Dst + i) & 15u) != 0; ++i)
        Dst[i] = C;
    for (; i + 16 <= N; i += 16) {
        auto* p = reinterpret_cast<__m128i*>(Dst + i);
        _mm_store_si128(p, c);
        _mm_store_si128(p + 1, c);
        _mm_store_si128(p + 2, c);
        _mm_store_si128(p + 3, c);
    }
#endif
    for (; i < N; ++i)
        Dst[i] = C;
}

void MovePixels(const TColor32* Src, TColor32* Dst, std::size_t N) {
    if (Src == Dst || N == 0) return;
    std::memmove(Dst, Src, N * sizeof(TColor32));
}

} // namespace schauplatz
