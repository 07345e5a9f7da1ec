#pragma once

#include "raster/Color32.h"

#include <cstddef>
#include <cstdint>

namespace schauplatz {

// Blend arithmetic. Every operation mixes the four channels alike (alpha included) as
//
//   r = (F * W + B * (256 - W) + 128) >> 8        W = 0..255
//
// which never exceeds 255, so no clamping is needed. W = 255 does not reproduce F
// (255 over 0 gives 254); the operations with a shortcut for opaque pixels say so below.
// M (master alpha) is 0..255; a larger value counts as 255. W must be 0..255.

// The mix of all four channels with weight W (0..255). Two channels share one 32-bit lane
// pair (0x00FF00FF); each partial sum stays below 65536, so no carry crosses lanes and the
// result equals the per-channel formula exactly.
constexpr TColor32 MixColors(TColor32 F, TColor32 B, std::uint32_t W) {
    const std::uint32_t iw = 256 - W;
    const std::uint32_t rb =
        (((F & 0x00FF00FFu) * W + (B & 0x00FF00FFu) * iw + 0x00800080u) >> 8) & 0x00FF00FFu;
    const std::uint32_t ag =
        (((F >> 8) & 0x00FF00FFu) * W + ((B >> 8) & 0x00FF00FFu) * iw + 0x00800080u) & 0xFF00FF00u;
    return ag | rb;
}

constexpr std::uint32_t ClampMaster(std::uint32_t M) {
    return M > 255 ? 255 : M;
}

// W = F's alpha, no shortcuts.
constexpr TColor32 Blend(TColor32 F, TColor32 B) {
    return MixColors(F, B, F >> 24);
}

// W = F's alpha; alpha 0 leaves B, alpha 255 copies F.
constexpr void BlendInto(TColor32 F, TColor32& B) {
    const std::uint32_t fa = F >> 24;
    if (fa == 0) return;
    B = fa == 255 ? F : MixColors(F, B, fa);
}

// W = ((M + 1) * Fa) >> 8; W = 0 gives B.
constexpr TColor32 BlendMaster(TColor32 F, TColor32 B, std::uint32_t M) {
    const std::uint32_t w = ((ClampMaster(M) + 1) * (F >> 24)) >> 8;
    return w == 0 ? B : MixColors(F, B, w);
}

// W = ((M + 1) * Fa) >> 8; Fa = 0 or W = 0 leaves B. No shortcut for W = 255.
constexpr void BlendMasterInto(TColor32 F, TColor32& B, std::uint32_t M) {
    const std::uint32_t w = ((ClampMaster(M) + 1) * (F >> 24)) >> 8;
    if (w != 0) B = MixColors(F, B, w);
}

// Per pixel as BlendInto.
void BlendRow(const TColor32* Src, TColor32* Dst, std::size_t N);
// Per pixel W = ((Fa + 1) * M) >> 8 (note: not the weight of BlendMasterInto; they differ by
// one step for some pairs, e.g. Fa = 254, M = 2); Fa = 0 or W = 0 leaves the pixel.
void BlendRowMaster(const TColor32* Src, TColor32* Dst, std::size_t N, std::uint32_t M);

// X weighted W, Y weighted 256 - W.
constexpr TColor32 CombineColors(TColor32 X, TColor32 Y, std::uint32_t W) {
    return MixColors(X, Y, W);
}
// W = 0 leaves Y, W = 255 copies X, otherwise CombineColors.
constexpr void CombineInto(TColor32 X, TColor32& Y, std::uint32_t W) {
    if (W == 0) return;
    Y = W >= 255 ? X : MixColors(X, Y, W);
}

// Merging: F over B with both alphas, through the product and ratio tables.
TColor32 Merge(TColor32 F, TColor32 B);
void MergeInto(TColor32 F, TColor32& B);
// F's alpha first becomes product[M][Fa].
TColor32 MergeMaster(TColor32 F, TColor32 B, std::uint32_t M);
void MergeMasterInto(TColor32 F, TColor32& B, std::uint32_t M);
void MergeRow(const TColor32* Src, TColor32* Dst, std::size_t N);
void MergeRowMaster(const TColor32* Src, TColor32* Dst, std::size_t N, std::uint32_t M);

// Row operations.
void FillPixels(TColor32* Dst, std::size_t N, TColor32 C);
// Overlap allowed; nothing when Src == Dst.
void MovePixels(const TColor32* Src, TColor32* Dst, std::size_t N);

// product[a][b] = round(a * b / 255); ratio[a][b] = round(a * 255 / b), 0 for b = 0.
// Both round to nearest with ties to even. Each table is 256 x 256 bytes, row a first.
using TByteTable256 = std::uint8_t[256][256];
const TByteTable256& ProductTable();
const TByteTable256& RatioTable();

// Per-pixel blend function selected by a bitmap's CombineMode.
using TBlendMasterIntoProc = void (*)(TColor32 F, TColor32& B, std::uint32_t M);

} // namespace schauplatz
