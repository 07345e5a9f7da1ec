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
// M (master alpha) is 0..255; a larger value counts as 255.

// W = F's alpha, no shortcuts.
TColor32 Blend(TColor32 F, TColor32 B);
// W = F's alpha; alpha 0 leaves B, alpha 255 copies F.
void BlendInto(TColor32 F, TColor32& B);
// W = ((M + 1) * Fa) >> 8; W = 0 gives B.
TColor32 BlendMaster(TColor32 F, TColor32 B, std::uint32_t M);
// W = ((M + 1) * Fa) >> 8; Fa = 0 or W = 0 leaves B. No shortcut for W = 255.
void BlendMasterInto(TColor32 F, TColor32& B, std::uint32_t M);
// Per pixel as BlendInto.
void BlendRow(const TColor32* Src, TColor32* Dst, std::size_t N);
// Per pixel W = ((Fa + 1) * M) >> 8 (note: not the weight of BlendMasterInto; they differ by
// one step for some pairs, e.g. Fa = 254, M = 2); Fa = 0 or W = 0 leaves the pixel.
void BlendRowMaster(const TColor32* Src, TColor32* Dst, std::size_t N, std::uint32_t M);

// X weighted W, Y weighted 256 - W.
TColor32 CombineColors(TColor32 X, TColor32 Y, std::uint32_t W);
// W = 0 leaves Y, W = 255 copies X, otherwise CombineColors.
void CombineInto(TColor32 X, TColor32& Y, std::uint32_t W);

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
