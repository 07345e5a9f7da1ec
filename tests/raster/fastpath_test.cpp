#include "raster/Bitmap32.h"
#include "raster/Drawing.h"
#include "raster/Samplers.h"
#include "raster/Transformation.h"
#include "raster/TransformedFastPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

std::string argb(TColor32 C) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", C);
    return text;
}

// First differing pixel of two equally sized bitmaps, in ARGB.
::testing::AssertionResult samePixels(const TCustomBitmap32& A, const TCustomBitmap32& B) {
    if (A.Width() != B.Width() || A.Height() != B.Height())
        return ::testing::AssertionFailure() << "sizes differ";
    for (int y = 0; y < A.Height(); ++y)
        for (int x = 0; x < A.Width(); ++x)
            if (A.GetPixel(x, y) != B.GetPixel(x, y))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << "): " << argb(A.GetPixel(x, y)) << " vs "
                       << argb(B.GetPixel(x, y));
    return ::testing::AssertionSuccess();
}

// The rows and columns the rasterizer visits: the corners' bounding box, floor and ceiling,
// clipped to the destination.
TRect visitedRect(TProjectiveTransformation& T, const TCustomBitmap32& Dst) {
    const TFloatRect b = T.DestinationBounds(TFloatRect{});
    const TRect box{static_cast<std::int32_t>(std::floor(b.Left)),
                    static_cast<std::int32_t>(std::floor(b.Top)),
                    static_cast<std::int32_t>(std::ceil(b.Right)),
                    static_cast<std::int32_t>(std::ceil(b.Bottom))};
    return IntersectRect(Dst.BoundsRect(), box);
}

// A per-pixel reference written from the drawing rules with the public ReverseFixed only.
void referenceDraw(TCustomBitmap32& Dst, const TCustomBitmap32& Src, TProjectiveTransformation& T,
                   const TRect& R) {
    if (!T.Prepared()) T.Prepare();
    const TRect clip = Src.ClipRect();
    for (int y = R.Top; y < R.Bottom; ++y)
        for (int x = R.Left; x < R.Right; ++x) {
            TFixed u = 0, v = 0;
            TColor32 s = Src.OuterColor();
            if (T.ReverseFixed(x * 65536 + 32767, y * 65536 + 32767, u, v)) {
                const int sx = u >> 16, sy = v >> 16;
                if (sx >= clip.Left && sx < clip.Right && sy >= clip.Top && sy < clip.Bottom)
                    s = Src.GetPixel(sx, sy);
            }
            TColor32& d = *Dst.PixelPointer(x, y);
            switch (Src.DrawMode()) {
            case dmBlend:
                BlendMasterInto(s, d, Src.MasterAlpha());
                break;
            case dmTransparent:
                if (s != Src.OuterColor()) d = s;
                break;
            default:
                d = s;
                break;
            }
        }
}

void setQuad(TProjectiveTransformation& T, const float (&P)[8]) {
    T.SetX0(P[0]);
    T.SetY0(P[1]);
    T.SetX1(P[2]);
    T.SetY1(P[3]);
    T.SetX2(P[4]);
    T.SetY2(P[5]);
    T.SetX3(P[6]);
    T.SetY3(P[7]);
}

// Random quads of every kind the user can drag into, and some no user can.
struct QuadMaker {
    std::mt19937& rng;
    float coord(float Lo, float Hi) { return std::uniform_real_distribution<float>(Lo, Hi)(rng); }
    int pick(int N) { return std::uniform_int_distribution<int>(0, N - 1)(rng); }

    void make(float W, float H, float (&P)[8]) {
        const int kind = pick(9);
        const bool whole = pick(2) == 0; // whole-pixel corners, as the window uses
        auto c = [&](float Lo, float Hi) {
            const float v = coord(Lo, Hi);
            return whole ? std::round(v) : v;
        };
        switch (kind) {
        case 0: // convex, inside
        case 1: {
            const float cx = c(0, W), cy = c(0, H), rx = c(2, W / 2), ry = c(2, H / 2);
            const float j = std::max(1.0f, std::min(rx, ry) / 3);
            P[0] = cx - rx + c(-j, j), P[1] = cy - ry + c(-j, j);
            P[2] = cx + rx + c(-j, j), P[3] = cy - ry + c(-j, j);
            P[4] = cx + rx + c(-j, j), P[5] = cy + ry + c(-j, j);
            P[6] = cx - rx + c(-j, j), P[7] = cy + ry + c(-j, j);
            break;
        }
        case 2: // anything inside and around the destination: concave or self-crossing
            for (float& p : P)
                p = c(-W / 2, W * 1.5f);
            break;
        case 3: // self-crossing bow tie
            P[0] = c(0, W / 3), P[1] = c(0, H / 3), P[2] = c(2 * W / 3, W), P[3] = c(0, H / 3);
            P[4] = c(0, W / 3), P[5] = c(2 * H / 3, H), P[6] = c(2 * W / 3, W),
            P[7] = c(2 * H / 3, H);
            break;
        case 4: { // degenerate: a point or a line
            const float x = c(-5, W), y = c(-5, H);
            for (int i = 0; i < 4; ++i) {
                P[2 * i] = pick(2) ? x : x + i * c(0, 9);
                P[2 * i + 1] = pick(2) ? y : y + i * c(0, 9);
            }
            break;
        }
        case 5: // negative coordinates, partly outside
            for (float& p : P)
                p = c(-3 * W, W);
            break;
        case 6: // tiny
        {
            const float x = c(0, W), y = c(0, H);
            for (int i = 0; i < 4; ++i)
                P[2 * i] = x + coord(-2, 2), P[2 * i + 1] = y + coord(-2, 2);
            break;
        }
        case 7: // huge
            for (float& p : P)
                p = c(-200000, 200000);
            break;
        default: { // strong perspective: a vanishing line through the box
            const float y = c(0, H);
            P[0] = c(0, W), P[1] = y, P[2] = P[0] + c(1, 4), P[3] = y;
            P[4] = c(W / 2, W * 2), P[5] = c(H, 3 * H), P[6] = c(-W, W / 2), P[7] = P[5];
            break;
        }
        }
    }
};

// A fixed sweep by default, so two runs test the same quads; SCHAUPLATZ_TEST_SEED picks another.
std::uint32_t sweepSeed() {
    const char* text = std::getenv("SCHAUPLATZ_TEST_SEED");
    return text != nullptr && *text != '\0'
               ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10))
               : 20261210u;
}

TEST(FastPath, RandomQuadsMatchTheGeneralChainToThePixel) {
    const std::uint32_t seed = sweepSeed();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (SCHAUPLATZ_TEST_SEED repeats it)");
    std::mt19937 rng(seed);
    QuadMaker quads{rng};
    auto rnd = [&](std::uint32_t N) {
        return std::uniform_int_distribution<std::uint32_t>(0, N - 1)(rng);
    };

    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        // Source with varied alpha, sometimes empty, sometimes one pixel, sometimes clipped.
        TBitmap32 src;
        const int sw = rnd(8) == 0 ? static_cast<int>(rnd(2)) : 1 + static_cast<int>(rnd(90));
        const int sh = rnd(8) == 0 ? static_cast<int>(rnd(2)) : 1 + static_cast<int>(rnd(90));
        src.SetSize(sw, sh);
        for (int y = 0; y < src.Height(); ++y)
            for (int x = 0; x < src.Width(); ++x) {
                TColor32 c = rng();
                if (rnd(4) == 0) c &= 0x00FFFFFFu; // alpha 0
                if (rnd(4) == 0) c |= 0xFF000000u; // opaque
                src.SetPixel(x, y, c);
            }
        if (rnd(4) == 0 && sw > 2 && sh > 2)
            src.SetClipRect(TRect{1, 1, sw - static_cast<int>(rnd(2)), sh - 1});
        const TDrawMode modes[] = {dmBlend, dmBlend, dmOpaque, dmTransparent};
        src.SetDrawMode(modes[rnd(4)]);
        src.SetMasterAlpha(rnd(3) == 0 ? rnd(300) : 255); // above 255 counts as 255
        src.SetOuterColor(rnd(3) == 0 ? rng() : 0);
        if (src.DrawMode() == dmTransparent && rnd(2) == 0 && sw > 0 && sh > 0)
            src.SetOuterColor(src.GetPixel(0, 0)); // some pixels then equal the outer colour

        TBitmap32 dstGeneral;
        dstGeneral.SetSize(1 + static_cast<int>(rnd(120)), 1 + static_cast<int>(rnd(120)));
        for (int y = 0; y < dstGeneral.Height(); ++y)
            for (int x = 0; x < dstGeneral.Width(); ++x)
                dstGeneral.SetPixel(x, y, rnd(3) ? 0 : rng());
        TBitmap32 dstFast, dstScalar, dstReference;
        for (TBitmap32* d : {&dstFast, &dstScalar, &dstReference})
            d->Assign(&dstGeneral);

        TProjectiveTransformation T;
        float p[8];
        quads.make(static_cast<float>(dstGeneral.Width()), static_cast<float>(dstGeneral.Height()),
                   p);
        setQuad(T, p);
        if (rnd(4) == 0)
            T.SetSourceRect(TFloatRect{static_cast<float>(rnd(4)), static_cast<float>(rnd(4)),
                                       sw + 3.5f, sh - 0.25f});
        else
            T.SetSourceRect(TFloatRect{0, 0, sw - 1.0f, sh - 1.0f});
        SCOPED_TRACE("quad " + std::to_string(p[0]) + "," + std::to_string(p[1]) + " " +
                     std::to_string(p[2]) + "," + std::to_string(p[3]) + " " +
                     std::to_string(p[4]) + "," + std::to_string(p[5]) + " " +
                     std::to_string(p[6]) + "," + std::to_string(p[7]) + " source " +
                     std::to_string(sw) + "x" + std::to_string(sh));

        bool prepares = true;
        try {
            T.Prepare();
        } catch (const EDivByZero&) {
            prepares = false; // a one-pixel source: nothing may be drawn on either path
        }
        if (!prepares) {
            EXPECT_THROW(DrawTransformedGeneral(&dstGeneral, &src, &T), EDivByZero);
            EXPECT_THROW(DrawProjectiveNearestFast(dstFast, src, T, visitedRect(T, dstFast)),
                         EDivByZero);
            ASSERT_TRUE(samePixels(dstGeneral, dstFast));
            continue;
        }

        DrawTransformedGeneral(&dstGeneral, &src, &T);
        const TRect r = visitedRect(T, dstFast);
        ASSERT_TRUE(DrawProjectiveNearestFast(dstFast, src, T, r));
        ASSERT_TRUE(DrawProjectiveNearestFastScalar(dstScalar, src, T, r));
        referenceDraw(dstReference, src, T, r);
        ASSERT_TRUE(samePixels(dstReference, dstGeneral)) << "general chain vs reference";
        ASSERT_TRUE(samePixels(dstGeneral, dstFast)) << "vector fast path";
        ASSERT_TRUE(samePixels(dstGeneral, dstScalar)) << "scalar fast path";
    }
}

// The incremental row mapping equals ReverseFixed per pixel, also where the double quotient
// 65536 / z lands exactly between two singles (there a double-only division would round
// twice and differ), and for the extreme sums.
TEST(FastPath, RowMappingEqualsReverseFixed) {
    std::mt19937 rng(12345);
    const std::int32_t awkward[] = {
        -2004436223, -1886402574, -1879048206, -943201287, -939524103,     1,
        -1,          65536,       65535,       2147483647, -2147483647 - 1};
    std::vector<TFixed> u(300), v(300);
    std::vector<std::uint8_t> valid(300);
    for (bool vector : {true, false})
        for (std::int32_t z : awkward)
            for (int round = 0; round < 40; ++round) {
                // z constant along the row; u and v sweep large values in odd steps.
                const TFixedMatrix I{
                    static_cast<TFixed>(rng()), static_cast<TFixed>(rng()), 0, 0, 0, 0,
                    static_cast<TFixed>(rng()), static_cast<TFixed>(rng()), z};
                ReverseFixedRow(I, 0, 0, 300, u.data(), v.data(), valid.data(), vector);
                for (int i = 0; i < 300; ++i) {
                    TFixed eu = 0, ev = 0;
                    const bool ok = MapFixed(I, i * 65536 + 32767, 32767, eu, ev);
                    ASSERT_EQ(valid[i] != 0, ok) << z << " " << i;
                    if (ok) {
                        ASSERT_EQ(u[i], eu) << "z " << z << " pixel " << i << " vector " << vector;
                        ASSERT_EQ(v[i], ev) << "z " << z << " pixel " << i << " vector " << vector;
                    }
                }
            }
    // Varying z through zero and both signs.
    for (int round = 0; round < 200; ++round) {
        const TFixedMatrix I{static_cast<TFixed>(rng()),
                             static_cast<TFixed>(rng()),
                             static_cast<TFixed>(rng() >> (rng() % 32)),
                             static_cast<TFixed>(rng()),
                             static_cast<TFixed>(rng()),
                             static_cast<TFixed>(rng() >> (rng() % 32)),
                             static_cast<TFixed>(rng()),
                             static_cast<TFixed>(rng()),
                             static_cast<TFixed>(rng())};
        const int y = static_cast<int>(rng() % 3000);
        ReverseFixedRow(I, 7, y, 300, u.data(), v.data(), valid.data());
        for (int i = 0; i < 300; ++i) {
            TFixed eu = 0, ev = 0;
            const bool ok = MapFixed(I, (7 + i) * 65536 + 32767, y * 65536 + 32767, eu, ev);
            ASSERT_EQ(valid[i] != 0, ok);
            if (ok) {
                ASSERT_EQ(u[i], eu);
                ASSERT_EQ(v[i], ev);
            }
        }
    }
}

// Rows longer than the internal chunk and partial vector groups at every row end.
TEST(FastPath, WideRowsMatchTheGeneralChain) {
    TBitmap32 src;
    src.SetSize(300, 40);
    std::mt19937 rng(99);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x)
            src.SetPixel(x, y, rng());
    src.SetDrawMode(dmBlend);
    for (int width : {4500, 2049, 2047, 13}) {
        TBitmap32 general, fast;
        general.SetSize(width, 6);
        fast.SetSize(width, 6);
        TProjectiveTransformation T;
        const float w = static_cast<float>(width);
        setQuad(T, {-3.5f, 0.25f, w + 7, 1, w - 2, 5.5f, 1, 6});
        T.SetSourceRect(TFloatRect{0, 0, 299, 39});
        DrawTransformedGeneral(&general, &src, &T);
        ASSERT_TRUE(DrawProjectiveNearestFast(fast, src, T, visitedRect(T, fast)));
        ASSERT_TRUE(samePixels(general, fast)) << width;
    }
}

TEST(FastPath, WorkedTrapezoidPixels) {
    TBitmap32 src, dst;
    src.SetSize(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            src.SetPixel(x, y, 0xFF000000u | (x << 8) | y);
    src.SetDrawMode(dmBlend);
    dst.SetSize(64, 64);
    TProjectiveTransformation T;
    setQuad(T, {0, 0, 64, 0, 48, 64, 16, 64});
    T.SetSourceRect(TFloatRect{0, 0, 64, 64});
    ASSERT_TRUE(DrawProjectiveNearestFast(dst, src, T, dst.BoundsRect()));
    // An opaque source pixel blended onto 0 keeps channels up to 128 and has alpha 254.
    auto shows = [&](int X, int Y, int Sx, int Sy) {
        return argb(dst.GetPixel(X, Y)) == argb(0xFE000000u | (Sx << 8) | Sy);
    };
    EXPECT_TRUE(shows(24, 32, 21, 21));
    EXPECT_TRUE(shows(0, 0, 0, 0));
    EXPECT_TRUE(shows(16, 63, 1, 63));
    EXPECT_TRUE(shows(47, 63, 62, 63));
    EXPECT_EQ(dst.GetPixel(48, 63), 0u);
}

TEST(FastPath, DeclinesWhatItDoesNotCover) {
    TBitmap32 src, dst;
    src.SetSize(8, 8);
    dst.SetSize(8, 8);
    TProjectiveTransformation T;
    setQuad(T, {0, 0, 7, 0, 7, 7, 0, 7});
    T.SetSourceRect(TFloatRect{0, 0, 7, 7});
    const TRect r = dst.BoundsRect();

    src.SetDrawMode(dmBlend);
    src.SetCombineMode(cmMerge);
    EXPECT_FALSE(DrawProjectiveNearestFast(dst, src, T, r));
    src.SetCombineMode(cmBlend);
    src.Resampler()->SetPixelAccessMode(pamTransparentEdge);
    EXPECT_FALSE(DrawProjectiveNearestFast(dst, src, T, r));
    src.Resampler()->SetPixelAccessMode(pamSafe);
    src.SetDrawMode(dmCustom);
    src.OnPixelCombine = [](TColor32, TColor32&, TColor32) {};
    EXPECT_FALSE(DrawProjectiveNearestFast(dst, src, T, r));
    src.OnPixelCombine = nullptr;
    EXPECT_FALSE(DrawProjectiveNearestFast(dst, src, T, TRect{0, 0, 9, 8})); // outside Dst
    EXPECT_TRUE(DrawProjectiveNearestFast(dst, src, T, r));
}

} // namespace
} // namespace schauplatz
