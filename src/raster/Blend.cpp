#include "raster/Blend.h"

#include <algorithm>
#include <cstring>

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

void BlendRow(const TColor32* Src, TColor32* Dst, std::size_t N) {
    // Branch-free so that the loop vectorises: weight 0 already reproduces the destination
    // exactly ((B * 256 + 128) >> 8 = B); only alpha 255 needs the copy.
    for (std::size_t i = 0; i < N; ++i) {
        const TColor32 f = Src[i];
        const std::uint32_t fa = f >> 24;
        const TColor32 mixed = MixColors(f, Dst[i], fa);
        Dst[i] = fa == 255 ? f : mixed;
    }
}

void BlendRowMaster(const TColor32* Src, TColor32* Dst, std::size_t N, std::uint32_t M) {
    const std::uint32_t m = ClampMaster(M);
    // Fa = 0 gives weight 0 for every M <= 255, and weight 0 leaves the pixel as it is.
    for (std::size_t i = 0; i < N; ++i) {
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
    std::fill_n(Dst, N, C);
}

void MovePixels(const TColor32* Src, TColor32* Dst, std::size_t N) {
    if (Src == Dst || N == 0) return;
    std::memmove(Dst, Src, N * sizeof(TColor32));
}

} // namespace schauplatz
