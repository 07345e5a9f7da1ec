#include "raster/Blend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace schauplatz;

namespace {

std::string Argb(TColor32 C) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", C);
    return text;
}

// The plain formula, channel by channel.
std::uint32_t RefChannel(std::uint32_t F, std::uint32_t B, std::uint32_t W) {
    return (F * W + B * (256 - W) + 128) >> 8;
}

TColor32 RefMix(TColor32 F, TColor32 B, std::uint32_t W) {
    TColor32 r = 0;
    for (int shift = 0; shift < 32; shift += 8)
        r |= RefChannel((F >> shift) & 255, (B >> shift) & 255, W) << shift;
    return r;
}

TColor32 RefBlendMasterInto(TColor32 F, TColor32 B, std::uint32_t M) {
    const std::uint32_t fa = F >> 24;
    const std::uint32_t w = ((M + 1) * fa) >> 8;
    if (fa == 0 || w == 0) return B;
    return RefMix(F, B, w);
}

TColor32 RefBlendRowMasterPixel(TColor32 F, TColor32 B, std::uint32_t M) {
    const std::uint32_t fa = F >> 24;
    const std::uint32_t w = ((fa + 1) * M) >> 8;
    if (fa == 0 || w == 0) return B;
    return RefMix(F, B, w);
}

// Two colours per (i, j) pair whose channels sweep all 256 x 256 channel pairs: alpha gets
// (i, j) itself, the colour channels permutations of it.
TColor32 MakeF(std::uint32_t I, std::uint32_t J) {
    return (I << 24) | (J << 16) | ((255 - I) << 8) | (I ^ J);
}
TColor32 MakeB(std::uint32_t I, std::uint32_t J) {
    return (J << 24) | (I << 16) | ((255 - J) << 8) | ((I + J) & 255);
}

} // namespace

TEST(BlendArithmetic, BlendAndBlendIntoMatchFormulaForAllPairs) {
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (std::uint32_t j = 0; j < 256; ++j) {
            const TColor32 f = MakeF(i, j);
            const TColor32 b = MakeB(i, j);
            ASSERT_EQ(Blend(f, b), RefMix(f, b, i)) << Argb(f) << " over " << Argb(b);
            TColor32 into = b;
            BlendInto(f, into);
            const TColor32 expected = i == 0 ? b : (i == 255 ? f : RefMix(f, b, i));
            ASSERT_EQ(into, expected) << Argb(f) << " over " << Argb(b);
        }
    }
}

TEST(BlendArithmetic, MasterVariantsMatchFormulaForAllAlphasAndMasters) {
    for (std::uint32_t m = 0; m < 256; ++m) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            for (std::uint32_t j = 0; j < 256; j += 5) {
                const TColor32 f = MakeF(i, j);
                const TColor32 b = MakeB(i, j);
                TColor32 into = b;
                BlendMasterInto(f, into, m);
                ASSERT_EQ(into, RefBlendMasterInto(f, b, m))
                    << Argb(f) << " over " << Argb(b) << " M " << m;
                const std::uint32_t w = ((m + 1) * i) >> 8;
                ASSERT_EQ(BlendMaster(f, b, m), w == 0 ? b : RefMix(f, b, w));
            }
        }
    }
}

TEST(BlendArithmetic, CombineMatchesFormulaForAllWeightsAndChannelPairs) {
    for (std::uint32_t w = 0; w < 256; ++w) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            for (std::uint32_t j = 0; j < 256; ++j) {
                const TColor32 x = MakeF(i, j);
                const TColor32 y = MakeB(i, j);
                const TColor32 expected = RefMix(x, y, w);
                ASSERT_EQ(CombineColors(x, y, w), expected) << w << " " << Argb(x) << Argb(y);
                TColor32 into = y;
                CombineInto(x, into, w);
                ASSERT_EQ(into, w == 0 ? y : (w == 255 ? x : expected));
            }
        }
    }
}

TEST(BlendArithmetic, WorkedExamples) {
    TColor32 b = 0;
    BlendMasterInto(0xFFFFFFFF, b, 255);
    EXPECT_EQ(b, 0xFEFEFEFEu) << "W = 255 does not reproduce F";

    for (TColor32 under : {0u, 0x12345678u, 0xFFFFFFFFu}) {
        TColor32 d = under;
        BlendInto(0xFFFFFFFF, d);
        EXPECT_EQ(d, 0xFFFFFFFFu);
    }

    b = 0;
    BlendMasterInto(Color32(16, 32, 48, 255), b, 255);
    EXPECT_EQ(b, 0xFE102030u) << Argb(b);

    b = 0;
    BlendMasterInto(0x80FF0000, b, 255);
    EXPECT_EQ(b, 0x40800000u) << Argb(b);

    for (TColor32 f : {0x80FF0000u, 0xFFFFFFFFu, 0x01020304u}) {
        b = 0x11223344;
        BlendMasterInto(f, b, 0);
        EXPECT_EQ(b, 0x11223344u) << "M = 0 changes nothing";
    }
    b = 0;
    BlendMasterInto(0x00FFFFFF, b, 255);
    EXPECT_EQ(b, 0u) << "alpha 0 leaves B";

    const TColor32 x = 0xFF102030;
    const TColor32 y = 0x80405060;
    TColor32 c = y;
    CombineInto(x, c, 0);
    EXPECT_EQ(c, y);
    CombineInto(x, c, 255);
    EXPECT_EQ(c, x);
    EXPECT_EQ(CombineColors(x, y, 0), y);
}

TEST(BlendArithmetic, RowMasterAndSinglePixelMasterDifferAtAlpha254Master2) {
    const TColor32 src = 0xFEFFFFFF;
    TColor32 row = 0;
    BlendRowMaster(&src, &row, 1, 2);
    TColor32 single = 0;
    BlendMasterInto(src, single, 2);
    EXPECT_EQ(row, 0x01010101u) << "row weight (254 + 1) * 2 >> 8 = 1";
    EXPECT_EQ(single, 0x02020202u) << "pixel weight (2 + 1) * 254 >> 8 = 2";
}

TEST(BlendRows, RowsEqualPerPixelReferenceForAllMastersAndOddLengths) {
    std::mt19937 rng(1234);
    for (std::size_t n : {0u, 1u, 3u, 7u, 8u, 15u, 16u, 17u, 33u, 257u}) {
        std::vector<TColor32> src(n);
        std::vector<TColor32> dst(n);
        for (auto& p : src) {
            p = rng();
            // Make the special alphas frequent.
            if (rng() % 4 == 0) p = (p & 0x00FFFFFF) | ((rng() % 2 == 0) ? 0xFF000000u : 0u);
        }
        for (auto& p : dst)
            p = rng();
        for (std::uint32_t m = 0; m < 256; ++m) {
            std::vector<TColor32> out = dst;
            BlendRowMaster(src.data(), out.data(), n, m);
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(out[i], RefBlendRowMasterPixel(src[i], dst[i], m))
                    << "seed 1234, n " << n << " i " << i << " M " << m;
        }
        std::vector<TColor32> out = dst;
        BlendRow(src.data(), out.data(), n);
        for (std::size_t i = 0; i < n; ++i) {
            TColor32 expected = dst[i];
            BlendInto(src[i], expected);
            ASSERT_EQ(out[i], expected) << "n " << n << " i " << i;
        }
        out = dst;
        MergeRow(src.data(), out.data(), n);
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(out[i], Merge(src[i], dst[i]));
        out = dst;
        MergeRowMaster(src.data(), out.data(), n, 77);
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(out[i], MergeMaster(src[i], dst[i], 77));
    }
}

TEST(BlendRows, FillAndMovePixelsIncludingOverlap) {
    std::vector<TColor32> buf(20, 0);
    FillPixels(buf.data() + 3, 5, 0xAABBCCDD);
    for (std::size_t i = 0; i < buf.size(); ++i)
        EXPECT_EQ(buf[i], (i >= 3 && i < 8) ? 0xAABBCCDDu : 0u) << i;

    for (std::size_t i = 0; i < buf.size(); ++i)
        buf[i] = static_cast<TColor32>(i);
    MovePixels(buf.data(), buf.data() + 2, 10); // forward overlap
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(buf[i + 2], i);
    for (std::size_t i = 0; i < buf.size(); ++i)
        buf[i] = static_cast<TColor32>(i);
    MovePixels(buf.data() + 2, buf.data(), 10); // backward overlap
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(buf[i], i + 2);
    MovePixels(buf.data(), buf.data(), 10); // same address: nothing
    EXPECT_EQ(buf[0], 2u);
}

TEST(MergeTables, ProductAndRatioRoundToNearestEven) {
    const auto& product = ProductTable();
    const auto& ratio = RatioTable();
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const long double p = std::nearbyint(static_cast<long double>(a) * b / 255.0L);
            ASSERT_EQ(product[a][b], static_cast<int>(p)) << a << " " << b;
            long double r = b == 0 ? 0 : std::nearbyint(static_cast<long double>(a) * 255 / b);
            if (r > 255) r = 255;
            ASSERT_EQ(ratio[a][b], static_cast<int>(r)) << a << " " << b;
        }
    }
    // A tie that rounds to even: 1 * 255 / 2 = 127.5 -> 128; 3 * 255 / 2 = 382.5 (saturated).
    EXPECT_EQ(ratio[1][2], 128);
    EXPECT_EQ(ratio[5][6], 212); // 212.5 -> 212
}

TEST(MergeArithmetic, SpecialCasesAndMixedAlpha) {
    EXPECT_EQ(Merge(0x00FFFFFF, 0x80102030), 0x80102030u) << "Fa = 0 gives B";
    EXPECT_EQ(Merge(0x80FFFFFF, 0xFF000000), Blend(0x80FFFFFF, 0xFF000000) | 0xFF000000u);
    EXPECT_EQ(Merge(0xFF123456, 0x80102030), 0xFF123456u) << "Fa = 255 gives F";
    EXPECT_EQ(Merge(0x80123456, 0x00102030), 0x80123456u) << "Ba = 0 gives F";

    const auto& product = ProductTable();
    for (std::uint32_t fa = 1; fa < 255; fa += 3) {
        for (std::uint32_t ba = 1; ba < 255; ba += 7) {
            const TColor32 f = (fa << 24) | 0x00FF8000u;
            const TColor32 b = (ba << 24) | 0x000080FFu;
            const TColor32 r = Merge(f, b);
            ASSERT_EQ(r >> 24, fa + ba - product[ba][fa]) << fa << " " << ba;
            // Every channel lies between the two inputs.
            for (int shift = 0; shift < 24; shift += 8) {
                const std::uint32_t cf = (f >> shift) & 255;
                const std::uint32_t cb = (b >> shift) & 255;
                const std::uint32_t cr = (r >> shift) & 255;
                ASSERT_GE(cr, std::min(cf, cb));
                ASSERT_LE(cr, std::max(cf, cb));
            }
            // Equal colours stay.
            ASSERT_EQ(Merge((fa << 24) | 0x00445566u, (ba << 24) | 0x00445566u) & 0x00FFFFFFu,
                      0x00445566u);
        }
    }
    const TColor32 f = 0xC0FF0000;
    const TColor32 b = 0x600000FF;
    EXPECT_EQ(MergeMaster(f, b, 100), Merge((f & 0x00FFFFFFu) | (product[100][0xC0] << 24), b));
    TColor32 into = b;
    MergeMasterInto(f, into, 100);
    EXPECT_EQ(into, MergeMaster(f, b, 100));
}

// The vector row loops against the plain formula for every alpha, master and channel pair.
TEST(BlendRows, RowLoopsExhaustiveOverAlphaMasterAndChannelPairs) {
    std::vector<TColor32> src(256 * 256);
    std::vector<TColor32> dst(256 * 256);
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (std::uint32_t j = 0; j < 256; ++j) {
            src[i * 256 + j] = MakeF(i, j);
            dst[i * 256 + j] = MakeB(i, j);
        }
    }
    std::vector<TColor32> out = dst;
    BlendRow(src.data(), out.data(), out.size());
    for (std::size_t k = 0; k < out.size(); ++k) {
        const std::uint32_t fa = src[k] >> 24;
        const TColor32 expected =
            fa == 0 ? dst[k] : (fa == 255 ? src[k] : RefMix(src[k], dst[k], fa));
        ASSERT_EQ(out[k], expected) << Argb(src[k]) << " over " << Argb(dst[k]);
    }
    for (std::uint32_t m = 0; m < 256; ++m) {
        out = dst;
        BlendRowMaster(src.data(), out.data(), out.size(), m);
        for (std::size_t k = 0; k < out.size(); ++k)
            ASSERT_EQ(out[k], RefBlendRowMasterPixel(src[k], dst[k], m))
                << Argb(src[k]) << " over " << Argb(dst[k]) << " M " << m;
    }
}
