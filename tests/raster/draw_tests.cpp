#include "raster/Bitmap32.h"
#include "raster/Drawing.h"
#include "raster/FixedPoint.h"
#include "raster/Rasterizers.h"
#include "raster/Samplers.h"
#include "raster/Transformation.h"

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

// Every pixel different: red = x, green = y, blue = x ^ y, opaque.
void FillCoordinates(TCustomBitmap32& B, std::uint32_t Alpha = 255) {
    for (std::int32_t y = 0; y < B.Height(); ++y)
        for (std::int32_t x = 0; x < B.Width(); ++x)
            B.SetPixel(x, y, Color32(x & 255, y & 255, (x ^ y) & 255, Alpha));
}

void SetQuad(TProjectiveTransformation& T, const float (&X)[4], const float (&Y)[4]) {
    T.SetX0(X[0]);
    T.SetX1(X[1]);
    T.SetX2(X[2]);
    T.SetX3(X[3]);
    T.SetY0(Y[0]);
    T.SetY1(Y[1]);
    T.SetY2(Y[2]);
    T.SetY3(Y[3]);
}

struct TAreaLog {
    std::vector<TRect> Areas;
    int Changes = 0;
    void Attach(TCustomBitmap32& B) {
        B.OnAreaChanged = [this](TCustomBitmap32*, const TRect& A, std::uint32_t) {
            Areas.push_back(A);
        };
        B.OnChange = [this](TNotifiablePersistent*) { ++Changes; };
    }
};

// The per-pixel rule of the element rendering written out directly: map the pixel centre
// back, take the source pixel whose square contains it, blend it with the master alpha. The
// mapping is the code's own ReverseFixed, so this checks the drawing around it; the mapping
// itself is checked against an independent reference in projective_reference_test.cpp.
void ReferenceDraw(TCustomBitmap32& Dst, const TCustomBitmap32& Src, TProjectiveTransformation& T) {
    T.Prepare();
    const float xs[4] = {T.X0(), T.X1(), T.X2(), T.X3()};
    const float ys[4] = {T.Y0(), T.Y1(), T.Y2(), T.Y3()};
    const double l = std::floor(*std::min_element(xs, xs + 4));
    const double t = std::floor(*std::min_element(ys, ys + 4));
    const double r = std::ceil(*std::max_element(xs, xs + 4));
    const double b = std::ceil(*std::max_element(ys, ys + 4));
    const std::int32_t x0 = static_cast<std::int32_t>(std::max(l, 0.0));
    const std::int32_t y0 = static_cast<std::int32_t>(std::max(t, 0.0));
    const std::int32_t x1 = static_cast<std::int32_t>(std::min(r, double(Dst.Width())));
    const std::int32_t y1 = static_cast<std::int32_t>(std::min(b, double(Dst.Height())));
    for (std::int32_t y = y0; y < y1; ++y) {
        for (std::int32_t x = x0; x < x1; ++x) {
            TFixed u = 0;
            TFixed v = 0;
            TColor32 s = Src.OuterColor();
            if (T.ReverseFixed(x * 65536 + 32767, y * 65536 + 32767, u, v)) {
                const std::int64_t sx = static_cast<std::int64_t>(u) >> 16;
                const std::int64_t sy = static_cast<std::int64_t>(v) >> 16;
                if (sx >= 0 && sy >= 0 && sx < Src.Width() && sy < Src.Height())
                    s = Src.GetPixel(static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy));
            }
            TColor32 d = Dst.GetPixel(x, y);
            BlendMasterInto(s, d, Src.MasterAlpha());
            Dst.SetPixel(x, y, d);
        }
    }
}

::testing::AssertionResult SameBitmaps(const TCustomBitmap32& A, const TCustomBitmap32& B) {
    if (A.Width() != B.Width() || A.Height() != B.Height())
        return ::testing::AssertionFailure() << "sizes differ";
    for (std::int32_t y = 0; y < A.Height(); ++y)
        for (std::int32_t x = 0; x < A.Width(); ++x)
            if (A.GetPixel(x, y) != B.GetPixel(x, y))
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y
                       << "): " << Argb(A.GetPixel(x, y)) << " vs " << Argb(B.GetPixel(x, y));
    return ::testing::AssertionSuccess();
}

} // namespace

// ---------------------------------------------------------------- transformed drawing

TEST(DrawTransformed, TrapezoidShowsTheExpectedSourcePixels) {
    TBitmap32 src;
    src.SetSize(64, 64);
    FillCoordinates(src);
    src.SetDrawMode(dmBlend);
    TBitmap32 dst;
    dst.SetSize(64, 64);
    TProjectiveTransformation t;
    SetQuad(t, {0, 64, 48, 16}, {0, 0, 64, 64});
    t.SetSourceRect(TFloatRect{0, 0, 64, 64});

    DrawTransformedGeneral(&dst, &src, &t);
    const auto shows = [&](std::int32_t X, std::int32_t Y, std::int32_t SX, std::int32_t SY) {
        TColor32 expected = 0;
        BlendMasterInto(src.GetPixel(SX, SY), expected, 255);
        return dst.GetPixel(X, Y) == expected;
    };
    EXPECT_TRUE(shows(24, 32, 21, 21)) << Argb(dst.GetPixel(24, 32));
    EXPECT_TRUE(shows(0, 0, 0, 0));
    EXPECT_TRUE(shows(16, 63, 1, 63)) << Argb(dst.GetPixel(16, 63));
    EXPECT_TRUE(shows(47, 63, 62, 63)) << Argb(dst.GetPixel(47, 63));
    EXPECT_EQ(dst.GetPixel(48, 63), 0u) << "column 64 lies outside the source";

    TBitmap32 fast;
    fast.SetSize(64, 64);
    DrawTransformed(&fast, &src, &t);
    EXPECT_TRUE(SameBitmaps(fast, dst));
}

TEST(DrawTransformed, GeneralChainEqualsDirectReferenceOnRandomQuads) {
    const unsigned seed = 20261209;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> coord(-40.0f, 140.0f);
    for (int round = 0; round < 60; ++round) {
        TBitmap32 src;
        src.SetSize(1 + static_cast<std::int32_t>(rng() % 40),
                    1 + static_cast<std::int32_t>(rng() % 40));
        FillCoordinates(src, 1 + rng() % 255);
        src.SetDrawMode(dmBlend);
        src.SetMasterAlpha(rng() % 256);
        TProjectiveTransformation t;
        float xs[4];
        float ys[4];
        for (int i = 0; i < 4; ++i) {
            xs[i] = std::round(coord(rng));
            ys[i] = std::round(coord(rng));
        }
        SetQuad(t, xs, ys);
        const float w = static_cast<float>(std::max(src.Width() - 1, 1));
        const float h = static_cast<float>(std::max(src.Height() - 1, 1));
        t.SetSourceRect(TFloatRect{0, 0, w, h});

        TBitmap32 a;
        a.SetSize(100, 90);
        a.Clear(0x20406080);
        TBitmap32 b;
        b.Assign(&a);
        DrawTransformedGeneral(&a, &src, &t);
        ReferenceDraw(b, src, t);
        ASSERT_TRUE(SameBitmaps(a, b)) << "seed " << seed << " round " << round;
    }
}

TEST(DrawTransformed, OnlyTheBoundingBoxIsVisitedAndNotifiedOnce) {
    TCustomBitmap32 src;
    src.SetSize(8, 8);
    src.SetDrawMode(dmOpaque);
    src.Clear(0xFF00FF00);
    TBitmap32 dst;
    dst.SetSize(40, 30);
    TAreaLog log;
    log.Attach(dst);
    TProjectiveTransformation t;
    // A quad far to the right of the source rectangle: every visited pixel reads outside and
    // gets OuterColor through dmOpaque.
    src.SetOuterColor(0x11223344);
    SetQuad(t, {10, 20, 20, 10}, {5, 5, 12, 12});
    t.SetSourceRect(TFloatRect{100, 100, 107, 107});
    DrawTransformedGeneral(&dst, &src, &t);
    for (std::int32_t y = 0; y < 30; ++y)
        for (std::int32_t x = 0; x < 40; ++x)
            ASSERT_EQ(dst.GetPixel(x, y),
                      (x >= 10 && x < 20 && y >= 5 && y < 12) ? 0x11223344u : 0u)
                << x << "," << y;
    // One from the rasterizer (the rows drawn), one from DrawTransformed (the clipped rect).
    ASSERT_EQ(log.Areas.size(), 2u);
    EXPECT_EQ(log.Areas[0], (TRect{10, 5, 20, 12}));
    EXPECT_EQ(log.Areas[1], (TRect{0, 0, 40, 30}));
}

TEST(DrawTransformed, QuadOutsideTheDestinationStillNotifies) {
    TCustomBitmap32 src;
    src.SetSize(8, 8);
    src.SetDrawMode(dmOpaque);
    TBitmap32 dst;
    dst.SetSize(20, 20);
    dst.SetClipRect(TRect{2, 2, 18, 18});
    TAreaLog log;
    log.Attach(dst);
    TProjectiveTransformation t;
    SetQuad(t, {100, 120, 120, 100}, {100, 100, 120, 120});
    t.SetSourceRect(TFloatRect{0, 0, 7, 7});
    DrawTransformed(&dst, &src, &t);
    for (std::int32_t y = 0; y < 20; ++y)
        for (std::int32_t x = 0; x < 20; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), 0u);
    ASSERT_EQ(log.Areas.size(), 1u);
    EXPECT_EQ(log.Areas[0], (TRect{2, 2, 18, 18}));
}

TEST(DrawTransformed, MasterAlphaZeroChangesNothing) {
    TCustomBitmap32 src;
    src.SetSize(16, 16);
    FillCoordinates(src);
    src.SetDrawMode(dmBlend);
    src.SetMasterAlpha(0);
    TBitmap32 dst;
    dst.SetSize(16, 16);
    dst.Clear(0x55667788);
    TProjectiveTransformation t;
    SetQuad(t, {0, 15, 15, 0}, {0, 0, 15, 15});
    t.SetSourceRect(TFloatRect{0, 0, 15, 15});
    DrawTransformedGeneral(&dst, &src, &t);
    DrawTransformed(&dst, &src, &t);
    for (std::int32_t y = 0; y < 16; ++y)
        for (std::int32_t x = 0; x < 16; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), 0x55667788u);
}

TEST(DrawTransformed, UnpreparableTransformationDrawsAndReportsNothing) {
    TCustomBitmap32 src;
    src.SetSize(1, 40);
    src.SetDrawMode(dmOpaque);
    TBitmap32 dst;
    dst.SetSize(10, 10);
    TAreaLog log;
    log.Attach(dst);
    TProjectiveTransformation t;
    SetQuad(t, {0, 9, 9, 0}, {0, 0, 9, 9});
    t.SetSourceRect(TFloatRect{0, 0, 0, 40});
    EXPECT_THROW(DrawTransformed(&dst, &src, &t), EDivByZero);
    EXPECT_FALSE(t.Prepared());
    EXPECT_TRUE(log.Areas.empty());
    for (std::int32_t y = 0; y < 10; ++y)
        for (std::int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), 0u);
}

TEST(DrawTransformed, MeasuringReportsWithoutDrawing) {
    TCustomBitmap32 src;
    src.SetSize(4, 4);
    src.Clear(0xFFFFFFFF);
    TBitmap32 dst;
    dst.SetSize(10, 10);
    std::vector<TRect> areas;
    dst.StartMeasuring(
        [&](TCustomBitmap32*, const TRect& A, std::uint32_t) { areas.push_back(A); });
    TProjectiveTransformation t;
    SetQuad(t, {0, 9, 9, 0}, {0, 0, 9, 9});
    t.SetSourceRect(TFloatRect{0, 0, 3, 3});
    TRegularRasterizer r;
    DrawTransformed(&dst, &src, &t, r, TRect{1, 2, 30, 8});
    dst.StopMeasuring();
    for (std::int32_t y = 0; y < 10; ++y)
        for (std::int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), 0u);
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0], (TRect{1, 2, 10, 8}));
}

TEST(DrawTransformed, UpdateRowCountReportsRowBatches) {
    TCustomBitmap32 src;
    src.SetSize(4, 4);
    src.Clear(0xFFFFFFFF);
    TBitmap32 dst;
    dst.SetSize(10, 10);
    TAreaLog log;
    log.Attach(dst);
    TProjectiveTransformation t;
    SetQuad(t, {1, 8, 8, 1}, {1, 1, 8, 8});
    t.SetSourceRect(TFloatRect{0, 0, 3, 3});
    TRegularRasterizer r;
    r.SetUpdateRowCount(3);
    DrawTransformed(&dst, &src, &t, r);
    EXPECT_EQ(log.Areas,
              (std::vector<TRect>{{1, 1, 8, 4}, {1, 4, 8, 7}, {1, 7, 8, 8}, {0, 0, 10, 10}}));
}

TEST(DrawTransformed, EmptySourceGivesOuterColorAndNullsAreErrors) {
    TCustomBitmap32 src;
    src.SetDrawMode(dmOpaque);
    src.SetOuterColor(0x0A0B0C0D);
    TBitmap32 dst;
    dst.SetSize(6, 6);
    TProjectiveTransformation t;
    SetQuad(t, {1, 4, 4, 1}, {1, 1, 4, 4});
    t.SetSourceRect(TFloatRect{0, 0, 3, 3});
    DrawTransformed(&dst, &src, &t);
    for (std::int32_t y = 0; y < 6; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), (x >= 1 && x < 4 && y >= 1 && y < 4) ? 0x0A0B0C0Du : 0u);

    try {
        DrawTransformed(nullptr, &src, &t);
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_STREQ(e.what(), "Destination bitmap is nil");
    }
    try {
        DrawTransformed(&dst, nullptr, &t);
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_STREQ(e.what(), "Source bitmap is nil");
    }
    TNestedSampler nested;
    try {
        nested.PrepareSampling();
        FAIL();
    } catch (const ENestedException& e) {
        EXPECT_STREQ(e.what(), "Nested sampler is nil");
    }
    EXPECT_THROW(nested.HasBounds(), ENestedException);
}

// ---------------------------------------------------------------- nearest resampler

TEST(NearestResampler, FourPixelAccessModes) {
    TCustomBitmap32 b;
    b.SetSize(4, 4);
    FillCoordinates(b);
    b.SetClipRect(TRect{1, 1, 3, 3});
    b.SetOuterColor(0x99999999);
    TNearestResampler& r = static_cast<TNearestResampler&>(*b.Resampler());

    r.SetPixelAccessMode(pamSafe);
    r.PrepareSampling();
    EXPECT_EQ(r.SampleInt(1, 1), b.GetPixel(1, 1));
    EXPECT_EQ(r.SampleInt(0, 1), 0x99999999u);
    EXPECT_EQ(r.SampleInt(3, 2), 0x99999999u);
    EXPECT_EQ(r.SampleOutside(), 0x99999999u);
    EXPECT_TRUE(r.HasBounds());
    EXPECT_EQ(r.SampleBounds(), (TFloatRect{1, 1, 3, 3}));

    r.SetPixelAccessMode(pamUnsafe);
    r.PrepareSampling();
    EXPECT_EQ(r.SampleInt(0, 0), b.GetPixel(0, 0)) << "no check at all";

    r.SetPixelAccessMode(pamTransparentEdge);
    r.PrepareSampling();
    EXPECT_EQ(r.SampleInt(2, 2), b.GetPixel(2, 2));
    EXPECT_EQ(r.SampleInt(0, 2), b.GetPixel(1, 2) & 0x00FFFFFFu);
    EXPECT_EQ(r.SampleInt(7, 7), b.GetPixel(2, 2) & 0x00FFFFFFu);
    EXPECT_EQ(r.SampleBounds(), (TFloatRect{0, 0, 4, 4}));

    b.SetWrapMode(wmRepeat);
    r.SetPixelAccessMode(pamWrap);
    r.PrepareSampling();
    EXPECT_EQ(r.SampleInt(3, 1), b.GetPixel(1, 1));
    EXPECT_EQ(r.SampleInt(0, 0), b.GetPixel(2, 2));
    EXPECT_FALSE(r.HasBounds());

    // Fixed and float forms.
    r.SetPixelAccessMode(pamSafe);
    r.PrepareSampling();
    EXPECT_EQ(r.SampleFixed(2 * 65536 - 32767, 65536), b.GetPixel(2, 1)) << "rounds halves up";
    EXPECT_EQ(r.SampleFixed(2 * 65536 - 32768, 65536), b.GetPixel(1, 1));
    EXPECT_EQ(r.SampleFloat(1.5f, 1.0f), b.GetPixel(2, 1)) << "ties to even";
    EXPECT_EQ(r.SampleFloat(2.5f, 1.0f), b.GetPixel(2, 1));

    // The snapshot is taken by PrepareSampling; later clip changes are not seen.
    b.ResetClipRect();
    EXPECT_EQ(r.SampleInt(0, 0), 0x99999999u);
}

// ---------------------------------------------------------------- stretched drawing

namespace {

std::vector<TColor32> StretchRow(std::int32_t SrcW, std::int32_t DstW) {
    TCustomBitmap32 src;
    src.SetSize(SrcW, 1);
    FillCoordinates(src);
    TCustomBitmap32 dst;
    dst.SetSize(DstW, 1);
    src.DrawOnto(&dst, TRect{0, 0, DstW, 1});
    std::vector<TColor32> columns;
    for (std::int32_t x = 0; x < DstW; ++x)
        columns.push_back(RedComponent(dst.GetPixel(x, 0)));
    return columns;
}

} // namespace

TEST(StretchDraw, ColumnMapsTruncateScaledLeftEdges) {
    EXPECT_EQ(StretchRow(4, 8), (std::vector<TColor32>{0, 0, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(StretchRow(4, 3), (std::vector<TColor32>{0, 1, 2}));
    EXPECT_EQ(StretchRow(5, 1), (std::vector<TColor32>{2}));
    EXPECT_EQ(StretchRow(4, 1), (std::vector<TColor32>{1})) << "(0 + 4 - 1) div 2";

    // Rows follow the same rule; a one-pixel-high destination takes the middle row.
    TCustomBitmap32 src;
    src.SetSize(1, 4);
    FillCoordinates(src);
    TCustomBitmap32 dst;
    dst.SetSize(1, 8);
    src.DrawOnto(&dst, TRect{0, 0, 1, 8});
    for (std::int32_t y = 0; y < 8; ++y)
        EXPECT_EQ(GreenComponent(dst.GetPixel(0, y)), std::uint32_t(y / 2));
    dst.SetSize(1, 1);
    src.DrawOnto(&dst, TRect{0, 0, 1, 1});
    EXPECT_EQ(GreenComponent(dst.GetPixel(0, 0)), 1u);
}

TEST(StretchDraw, MatchesPerPixelReferenceInAllModes) {
    const unsigned seed = 77;
    std::mt19937 rng(seed);
    for (int round = 0; round < 80; ++round) {
        TCustomBitmap32 src;
        src.SetSize(1 + rng() % 30, 1 + rng() % 30);
        for (std::int32_t y = 0; y < src.Height(); ++y)
            for (std::int32_t x = 0; x < src.Width(); ++x)
                src.SetPixel(x, y, rng() % 3 == 0 ? 0u : static_cast<TColor32>(rng()));
        const TDrawMode mode = static_cast<TDrawMode>(rng() % 4);
        src.SetDrawMode(mode);
        src.SetMasterAlpha(rng() % 2 == 0 ? 255 : rng() % 256);
        src.SetCombineMode(rng() % 4 == 0 ? cmMerge : cmBlend);
        if (mode == dmCustom && rng() % 2 == 0)
            src.OnPixelCombine = [](TColor32 F, TColor32& B, TColor32 M) { B = (F ^ B) + M; };

        const TRect srcRect{static_cast<std::int32_t>(rng() % src.Width()),
                            static_cast<std::int32_t>(rng() % src.Height()), 0, 0};
        const TRect s{
            srcRect.Left, srcRect.Top,
            srcRect.Left + 1 + static_cast<std::int32_t>(rng() % (src.Width() - srcRect.Left)),
            srcRect.Top + 1 + static_cast<std::int32_t>(rng() % (src.Height() - srcRect.Top))};
        const TRect d{static_cast<std::int32_t>(rng() % 20) - 5,
                      static_cast<std::int32_t>(rng() % 20) - 5, 0, 0};
        const TRect dstRect{d.Left, d.Top, d.Left + 1 + static_cast<std::int32_t>(rng() % 40),
                            d.Top + 1 + static_cast<std::int32_t>(rng() % 40)};

        TCustomBitmap32 dst;
        dst.SetSize(30, 25);
        for (std::int32_t y = 0; y < 25; ++y)
            for (std::int32_t x = 0; x < 30; ++x)
                dst.SetPixel(x, y, static_cast<TColor32>(rng()));
        TCustomBitmap32 expected;
        expected.Assign(&dst);
        src.DrawOnto(&dst, dstRect, s);

        // Reference: per destination pixel, truncate the scaled left/top edge.
        const double scaleX = static_cast<float>(double(s.Width()) / dstRect.Width());
        const double scaleY = static_cast<float>(double(s.Height()) / dstRect.Height());
        if (!(mode == dmBlend && src.MasterAlpha() == 0)) {
            for (std::int32_t y = std::max(dstRect.Top, 0); y < std::min(dstRect.Bottom, 25); ++y) {
                for (std::int32_t x = std::max(dstRect.Left, 0); x < std::min(dstRect.Right, 30);
                     ++x) {
                    std::int32_t sx =
                        dstRect.Width() > 1
                            ? static_cast<std::int32_t>((x - dstRect.Left) * scaleX + s.Left)
                            : (s.Left + s.Right - 1) / 2;
                    std::int32_t sy =
                        dstRect.Height() > 1
                            ? static_cast<std::int32_t>((y - dstRect.Top) * scaleY + s.Top)
                            : (s.Top + s.Bottom - 1) / 2;
                    if (s.Width() == dstRect.Width()) sx = s.Left + x - dstRect.Left;
                    if (s.Height() == dstRect.Height() && s.Width() == dstRect.Width())
                        sy = s.Top + y - dstRect.Top;
                    const TColor32 f = src.GetPixel(sx, sy);
                    TColor32 p = expected.GetPixel(x, y);
                    switch (mode == dmCustom && !src.OnPixelCombine ? dmOpaque : mode) {
                    case dmOpaque:
                        p = f;
                        break;
                    case dmTransparent:
                        if (f != src.OuterColor()) p = f;
                        break;
                    case dmCustom:
                        src.OnPixelCombine(f, p, src.MasterAlpha());
                        break;
                    case dmBlend:
                        if (src.CombineMode() == cmMerge)
                            p = src.MasterAlpha() >= 255 ? Merge(f, p)
                                                         : MergeMaster(f, p, src.MasterAlpha());
                        else if (src.MasterAlpha() >= 255)
                            BlendInto(f, p);
                        else
                            BlendRowMaster(&f, &p, 1, src.MasterAlpha());
                        break;
                    }
                    expected.SetPixel(x, y, p);
                }
            }
        }
        ASSERT_TRUE(SameBitmaps(dst, expected))
            << "seed " << seed << " round " << round << " mode " << int(mode) << " src " << s.Left
            << "," << s.Top << "," << s.Right << "," << s.Bottom << " dst " << dstRect.Left << ","
            << dstRect.Top << "," << dstRect.Right << "," << dstRect.Bottom;
    }
}

TEST(StretchDraw, TransparentEqualSizeCopiesNonZeroPixels) {
    TBitmap32 src;
    src.SetSize(5, 5);
    src.SetDrawMode(dmTransparent);
    src.SetPixel(1, 1, 0xFF112233);
    src.SetPixel(3, 4, 0x01000000);
    TCustomBitmap32 dst;
    dst.SetSize(5, 5);
    src.DrawOnto(&dst, TRect{0, 0, 5, 5});
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 5; ++x) {
            const TColor32 expected = src.GetPixel(x, y) != 0 ? src.GetPixel(x, y) : 0xFF000000u;
            ASSERT_EQ(dst.GetPixel(x, y), expected) << x << "," << y;
        }
}

TEST(StretchDraw, BlendRowsUseRowWeights) {
    TCustomBitmap32 src;
    src.SetSize(1, 1);
    src.SetPixel(0, 0, 0xFEFFFFFF);
    src.SetDrawMode(dmBlend);
    src.SetMasterAlpha(2);
    TBitmap32 dst;
    dst.SetSize(1, 1);
    src.DrawOnto(&dst, TRect{0, 0, 1, 1});
    EXPECT_EQ(dst.GetPixel(0, 0), 0x01010101u) << "whole rows blend with (Fa + 1) * M";
}

TEST(StretchDraw, SourceRectOutsideIsTrimmedAndDestinationShrunk) {
    TCustomBitmap32 src;
    src.SetSize(10, 10);
    FillCoordinates(src);
    TBitmap32 dst;
    dst.SetSize(40, 40);
    TAreaLog log;
    log.Attach(dst);
    // Ratio 24 / 16 = 1.5: 3 columns cut on the left shrink the destination by ceil(4.5) = 5,
    // 3 on the right by floor(4.5) = 4; 2 rows on top with ratio 20 / 10 = 2 by 4.
    src.DrawOnto(&dst, TRect{0, 0, 24, 20}, TRect{-3, -2, 13, 8});
    ASSERT_EQ(log.Areas.size(), 1u);
    EXPECT_EQ(log.Areas[0], (TRect{5, 4, 20, 20}));
    EXPECT_EQ(dst.GetPixel(4, 10), 0u);
    EXPECT_EQ(dst.GetPixel(5, 3), 0u);
    EXPECT_EQ(dst.GetPixel(5, 4), src.GetPixel(0, 0));
    EXPECT_EQ(dst.GetPixel(19, 19), src.GetPixel(9, 7)) << "15 columns show 10, 16 rows show 8";
    EXPECT_EQ(dst.GetPixel(20, 4), 0u);
}

TEST(StretchDraw, StopsWithoutNotificationAndReportsErrors) {
    TCustomBitmap32 src;
    src.SetSize(4, 4);
    src.SetDrawMode(dmBlend);
    src.SetMasterAlpha(0);
    TBitmap32 dst;
    dst.SetSize(8, 8);
    TAreaLog log;
    log.Attach(dst);
    src.DrawOnto(&dst, TRect{0, 0, 8, 8});
    src.SetMasterAlpha(255);
    src.DrawOnto(&dst, TRect{0, 0, 8, 8}, TRect{2, 2, 2, 4}); // empty SrcRect
    src.DrawOnto(&dst, TRect{20, 20, 28, 28});                // outside the destination
    EXPECT_TRUE(log.Areas.empty());
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), 0u);

    try {
        src.DrawOnto(nullptr, TRect{0, 0, 1, 1});
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_STREQ(e.what(), "Destination bitmap is nil");
    }
    try {
        StretchDraw(&dst, TRect{0, 0, 1, 1}, dst.ClipRect(), nullptr, TRect{0, 0, 1, 1}, nullptr,
                    dmOpaque, nullptr);
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_STREQ(e.what(), "Source bitmap is nil");
    }
    try {
        NearestStretch(dst, TRect{0, 0, 8, 8}, dst.ClipRect(), src, TRect{0, 0, 5, 4}, dmOpaque,
                       nullptr);
        FAIL();
    } catch (const EBitmapException& e) {
        EXPECT_STREQ(e.what(), "Invalid SrcRect");
    }
    dst.DrawFrom(TRect{0, 0, 8, 8}, TRect{0, 0, 4, 4}, nullptr);
    EXPECT_TRUE(log.Areas.empty()) << "DrawFrom without a source does nothing";
    src.SetDrawMode(dmOpaque);
    src.Clear(0xFF0000FF);
    dst.DrawFrom(TRect{0, 0, 8, 8}, TRect{0, 0, 4, 4}, &src);
    EXPECT_EQ(dst.GetPixel(7, 7), 0xFF0000FFu);
    EXPECT_EQ(log.Areas.size(), 1u);
}

TEST(BlockDraw, CustomHandlerGetsMasterAlphaPerPixel) {
    TCustomBitmap32 src;
    src.SetSize(3, 2);
    FillCoordinates(src);
    src.SetMasterAlpha(9);
    TCustomBitmap32 dst;
    dst.SetSize(5, 5);
    std::vector<TColor32> masters;
    BlockDraw(dst, TRect{1, 2, 3, 4}, src, 1, 0, dmCustom,
              [&](TColor32 F, TColor32& B, TColor32 M) {
                  masters.push_back(M);
                  B = F;
              });
    EXPECT_EQ(masters.size(), 4u);
    EXPECT_EQ(masters[0], 9u);
    EXPECT_EQ(dst.GetPixel(1, 2), src.GetPixel(1, 0));
    EXPECT_EQ(dst.GetPixel(2, 3), src.GetPixel(2, 1));
    EXPECT_EQ(dst.GetPixel(0, 2), 0xFF000000u);
}

TEST(DrawTransformed, DefaultPathEqualsGeneralChainInPixelsAndNotifications) {
    const unsigned seed = 4242;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> coord(-60.0f, 160.0f);
    for (int round = 0; round < 120; ++round) {
        TBitmap32 src;
        src.SetSize(1 + static_cast<std::int32_t>(rng() % 50),
                    2 + static_cast<std::int32_t>(rng() % 50));
        for (std::int32_t y = 0; y < src.Height(); ++y)
            for (std::int32_t x = 0; x < src.Width(); ++x)
                src.SetPixel(x, y, static_cast<TColor32>(rng()));
        const TDrawMode modes[] = {dmBlend, dmOpaque, dmTransparent, dmCustom};
        src.SetDrawMode(modes[rng() % 4]);
        src.SetMasterAlpha(rng() % 2 == 0 ? 255 : rng() % 256);
        src.SetOuterColor(rng() % 2 == 0 ? 0 : static_cast<TColor32>(rng()));
        TProjectiveTransformation t;
        float xs[4];
        float ys[4];
        for (int i = 0; i < 4; ++i) {
            xs[i] = rng() % 3 == 0 ? coord(rng) : std::round(coord(rng));
            ys[i] = rng() % 3 == 0 ? coord(rng) : std::round(coord(rng));
        }
        if (rng() % 8 == 0) xs[2] = xs[1], ys[2] = ys[1]; // degenerate
        SetQuad(t, xs, ys);
        t.SetSourceRect(TFloatRect{0, 0, std::max(src.Width() - 1.0f, 1.0f),
                                   static_cast<float>(src.Height() - 1)});

        TBitmap32 a;
        a.SetSize(1 + static_cast<std::int32_t>(rng() % 120),
                  1 + static_cast<std::int32_t>(rng() % 120));
        for (std::int32_t y = 0; y < a.Height(); ++y)
            for (std::int32_t x = 0; x < a.Width(); ++x)
                a.SetPixel(x, y, rng() % 2 == 0 ? 0u : static_cast<TColor32>(rng()));
        if (rng() % 3 == 0) a.SetClipRect(TRect{3, 2, a.Width() - 4, a.Height() - 1});
        TBitmap32 b;
        b.Assign(&a);
        b.SetClipRect(a.ClipRect());
        TAreaLog logA;
        TAreaLog logB;
        logA.Attach(a);
        logB.Attach(b);
        DrawTransformed(&a, &src, &t);
        DrawTransformedGeneral(&b, &src, &t);
        ASSERT_TRUE(SameBitmaps(a, b)) << "seed " << seed << " round " << round;
        ASSERT_EQ(logA.Areas, logB.Areas) << "seed " << seed << " round " << round;
    }
}

TEST(Rasterizer, DirectCallWithRectangleBeyondTheDestinationStaysInside) {
    TCustomBitmap32 src;
    src.SetSize(4, 4);
    src.Clear(0xFF123456);
    src.SetDrawMode(dmOpaque);
    TProjectiveTransformation t;
    SetQuad(t, {-30, 60, 60, -30}, {-30, -30, 60, 60});
    t.SetSourceRect(TFloatRect{0, 0, 3, 3});
    // Writes beyond the buffer would land hundreds of rows outside it (a sanitizer build
    // reports them at once; without the clipping the general loop segfaults here).
    TCustomBitmap32 dst;
    dst.SetSize(10, 10);
    dst.Clear(0);
    for (bool fast : {false, true}) {
        TRegularRasterizer r;
        r.SetFastPathEnabled(fast);
        TTransformer transformer(src.Resampler(), &t);
        r.SetSampler(&transformer);
        r.Rasterize(dst, TRect{-50, -50, 500, 500}, src);
    }
    for (std::int32_t y = 0; y < 10; ++y)
        for (std::int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), 0xFF123456u);
}

namespace {

// Shifts points 10 pixels to the right; the column of pixel 2 has no result (as if it lay on
// the vanishing line).
class TShiftTransformation : public TTransformation {
public:
    bool ReverseFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) override {
        if ((X >> 16) == 2) return false;
        U = X + 10 * 65536;
        V = Y;
        return true;
    }
    bool ReverseFloat(float X, float Y, float& U, float& V) override {
        if (std::floor(X) == 2.0f) return false;
        U = X + 10.0f;
        V = Y;
        return true;
    }
};

} // namespace

TEST(Transformer, CentreOffsetsAndPointsWithoutResult) {
    TCustomBitmap32 b;
    b.SetSize(16, 4);
    FillCoordinates(b);
    b.SetOuterColor(0x77777777);
    TShiftTransformation shift;
    TTransformer t(b.Resampler(), &shift);
    t.PrepareSampling();
    EXPECT_EQ(t.SampleInt(1, 3), b.GetPixel(11, 3)) << "centre mapped and floored";
    EXPECT_EQ(t.SampleFixed(65536, 3 * 65536), b.GetPixel(11, 3));
    EXPECT_EQ(t.SampleFloat(1.0f, 3.0f), b.GetPixel(11, 3));
    EXPECT_EQ(t.SampleInt(6, 0), 0x77777777u) << "16 lies outside";
    EXPECT_EQ(t.SampleInt(2, 1), 0x77777777u) << "no result: the resampler's outside colour";
    EXPECT_EQ(t.SampleFloat(2.0f, 1.0f), 0x77777777u);
    // Bounds: the transformation's destination bounds of (resampler bounds within SourceRect); the
    // base transformation hands its argument back.
    shift.SetSourceRect(TFloatRect{-5, 1, 8, 10});
    EXPECT_TRUE(t.HasBounds());
    EXPECT_EQ(t.SampleBounds(), (TFloatRect{0, 1, 8, 4}));

    b.Resampler()->SetPixelAccessMode(pamTransparentEdge);
    t.PrepareSampling();
    EXPECT_EQ(t.SampleInt(2, 1), b.GetPixel(0, 0) & 0x00FFFFFFu)
        << "transparent edge: the clamped corner pixel with alpha 0";
    t.FinalizeSampling();
}
