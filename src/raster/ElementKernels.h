#pragma once

// The vector (AVX2) forms of the appearance layer's inner steps. Each gives exactly the bytes
// of the portable form in ElementSampler.cpp; HaveAvx2() says whether they may be called.

#include "raster/Color32.h"
#include "raster/FixedPoint.h"

#include <cstdint>

namespace schauplatz::kernels {

inline constexpr int kBlock = 8;
inline constexpr std::uint32_t kFullAlpha16 = 255u * 255u; // an opaque sample's alpha sum

// True on a processor with AVX2 (and a build for x86-64); false elsewhere.
bool HaveAvx2();

// Out[i] = Bits[Offsets[i]], or 0 where Offsets[i] is -1.
void GatherAvx2(const TColor32* Bits, const std::int32_t* Offsets, int N, TColor32* Out);

// The premultiplied sums (b a, g a, r a, 255 a) of the eight pixels of a block.
struct BlockSums {
    alignas(32) std::uint32_t b[kBlock], g[kBlock], r[kBlock], a[kBlock];
};

// A grid of N1 x N2 samples shared by a block: sample (i, j) of the pixel with centre c lies
// at c + off + i (su, sv) + j (tu, tv), 16.16 picture pixels, all inside the picture.
struct BlockGrid {
    int n1, n2;
    std::int64_t offU, offV, su, sv, tu, tv;
};

// The level-0 sums of the grid for the eight centres U[0..7], V[0..7].
void BlockSumsAvx2(const TColor32* Bits, std::int32_t Stride, const TFixed* U, const TFixed* V,
                   const BlockGrid& G, BlockSums& Out);

// Mean (factor MeanFactor for Count samples), opacity and light (LightTables: 3 x 256 int32,
// red, green, blue, or nullptr) of the eight sums, written into Dst[0..7] where the alpha is
// not 0. Returns false, writing nothing, when a Dst pixel is not empty (alpha 0).
bool FinishBlockAvx2(const BlockSums& Sums, std::uint32_t Count, std::uint64_t MeanFactor,
                     std::uint32_t Opacity, const std::int32_t* LightTables, TColor32* Dst);

// Opacity and light of eight straight samples, written into Dst[0..7] where the alpha is not
// 0. Returns false, writing nothing, when a Dst pixel is not empty.
bool FinishStraightAvx2(const TColor32* Samples, std::uint32_t Opacity,
                        const std::int32_t* LightTables, TColor32* Dst);

} // namespace schauplatz::kernels
