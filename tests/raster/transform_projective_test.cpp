#include "raster/Transformation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace schauplatz {
namespace {

void setQuad(TProjectiveTransformation& T, float x0, float y0, float x1, float y1, float x2,
             float y2, float x3, float y3) {
    T.SetX0(x0);
    T.SetY0(y0);
    T.SetX1(x1);
    T.SetY1(y1);
    T.SetX2(x2);
    T.SetY2(y2);
    T.SetX3(x3);
    T.SetY3(y3);
}

TFixed fixedOf(long double V) {
    return static_cast<TFixed>(std::lround(V * 65536.0L));
}

TEST(ProjectiveTransformation, TrapezoidMatricesAndReverseFixed) {
    TProjectiveTransformation T;
    setQuad(T, 0, 0, 64, 0, 48, 64, 16, 64);
    T.SetSourceRect(TFloatRect{0, 0, 64, 64});
    T.Prepare();
    ASSERT_TRUE(T.Prepared());

    EXPECT_EQ(T.Matrix(), (TFloatMatrix{1, 0, 0, 0.5f, 2, 0.015625f, 0, 0, 1}));
    EXPECT_EQ(T.InverseMatrix(), (TFloatMatrix{1, 0, 0, -0.25f, 0.5f, -0.0078125f, 0, 0, 1}));
    EXPECT_EQ(T.InverseFixedMatrix(),
              (TFixedMatrix{65536, 0, 0, -16384, 32768, -512, 0, 0, 65536}));
    EXPECT_EQ(T.FixedMatrix(), (TFixedMatrix{65536, 0, 0, 32768, 131072, 1024, 0, 0, 65536}));

    TFixed u = 0, v = 0;
    ASSERT_TRUE(T.ReverseFixed(24 * 65536 + 32767, 32 * 65536 + 32767, u, v));
    EXPECT_EQ(u, fixedOf(21.9476165771484375L));
    EXPECT_EQ(v, fixedOf(21.78009033203125L));
    EXPECT_EQ(u >> 16, 21);
    EXPECT_EQ(v >> 16, 21);
}

TEST(ProjectiveTransformation, OwnCornersGiveIdentity) {
    TProjectiveTransformation T;
    setQuad(T, 0, 0, 63, 0, 63, 63, 0, 63);
    T.SetSourceRect(TFloatRect{0, 0, 63, 63});
    T.Prepare();
    EXPECT_EQ(T.Matrix(), kIdentityMatrix);
    EXPECT_EQ(T.InverseMatrix(), kIdentityMatrix);
    for (TFixed x : {0, 12345, 63 * 65536 + 32767, -70000, 2000000})
        for (TFixed y : {0, 1, 40 * 65536, -1}) {
            TFixed u = 1, v = 1;
            ASSERT_TRUE(T.ReverseFixed(x, y, u, v));
            EXPECT_EQ(u, x);
            EXPECT_EQ(v, y);
        }
}

TEST(ProjectiveTransformation, ParallelogramIsAffineWithUnitZ) {
    TProjectiveTransformation T;
    setQuad(T, 10, 5, 110, 25, 130, 125, 30, 105); // sheared, not axis-aligned
    T.SetSourceRect(TFloatRect{0, 0, 99, 49});
    T.Prepare();
    for (const auto* M : {&T.FixedMatrix(), &T.InverseFixedMatrix()}) {
        EXPECT_EQ((*M)[2], 0);
        EXPECT_EQ((*M)[5], 0);
        EXPECT_EQ((*M)[8], 65536);
    }
    // z is exactly one step: the reverse mapping is the plain affine fixed sum.
    const TFixedMatrix& I = T.InverseFixedMatrix();
    for (int y = 0; y < 140; y += 7)
        for (int x = 0; x < 140; x += 3) {
            const TFixed fx = x * 65536 + 32767, fy = y * 65536 + 32767;
            TFixed u = 0, v = 0;
            ASSERT_TRUE(T.ReverseFixed(fx, fy, u, v));
            EXPECT_EQ(u, FixedMul(I[0], fx) + FixedMul(I[3], fy) + I[6]);
            EXPECT_EQ(v, FixedMul(I[1], fx) + FixedMul(I[4], fy) + I[7]);
        }
}

TEST(ProjectiveTransformation, AllCornersEqualInvertsToIdentity) {
    TProjectiveTransformation T;
    setQuad(T, 7, 9, 7, 9, 7, 9, 7, 9);
    T.SetSourceRect(TFloatRect{0, 0, 20, 30});
    T.Prepare();
    EXPECT_EQ(T.Matrix(), (TFloatMatrix{0, 0, 0, 0, 0, 0, 7, 9, 1}));
    EXPECT_EQ(T.InverseMatrix(), kIdentityMatrix);
    TFixed u = 0, v = 0;
    ASSERT_TRUE(T.ReverseFixed(-5 * 65536, 33, u, v));
    EXPECT_EQ(u, -5 * 65536);
    EXPECT_EQ(v, 33);
}

TEST(ProjectiveTransformation, DegenerateQuadGivesZeroMatrix) {
    TProjectiveTransformation T;
    setQuad(T, 0, 0, 10, 0, 20, 0, 5, 0); // all on one line, not a parallelogram
    T.SetSourceRect(TFloatRect{0, 0, 10, 10});
    T.Prepare();
    EXPECT_EQ(T.Matrix(), (TFloatMatrix{}));
    EXPECT_EQ(T.InverseMatrix(), kIdentityMatrix);
}

TEST(ProjectiveTransformation, ZeroSizedSourceRectThrowsAndStaysUnprepared) {
    TProjectiveTransformation T;
    setQuad(T, 0, 0, 64, 0, 48, 64, 16, 64);
    T.SetSourceRect(TFloatRect{0, 0, 0, 40});
    EXPECT_THROW(T.Prepare(), EDivByZero);
    EXPECT_FALSE(T.Prepared());
    T.SetSourceRect(TFloatRect{0, 0, 40, 40});
    T.Prepare();
    T.SetSourceRect(TFloatRect{3, 5, 9, 5});
    EXPECT_THROW(T.Prepare(), EDivByZero);
    EXPECT_FALSE(T.Prepared());
    EXPECT_THROW((void)T.ReversePoint(TPoint{1, 1}), EDivByZero);
}

TEST(ProjectiveTransformation, EverySettingClearsPreparedAndNotifies) {
    TProjectiveTransformation T;
    setQuad(T, 0, 0, 64, 0, 48, 64, 16, 64);
    T.SetSourceRect(TFloatRect{0, 0, 64, 64});
    int notified = 0;
    T.OnChange = [&](TNotifiablePersistent* Sender) {
        EXPECT_EQ(Sender, &T);
        ++notified;
    };
    T.Prepare();
    T.SetX0(T.X0());
    EXPECT_FALSE(T.Prepared());
    EXPECT_EQ(notified, 1);

    // Inside an update bracket the flag still clears but nothing is reported.
    T.Prepare();
    T.BeginUpdate();
    T.SetY3(T.Y3());
    T.SetSourceRect(T.SourceRect());
    EXPECT_FALSE(T.Prepared());
    T.EndUpdate();
    EXPECT_EQ(notified, 1);

    // Eight corner settings notify eight times; the point operations prepare once.
    setQuad(T, 0, 0, 64, 0, 48, 64, 16, 64);
    EXPECT_EQ(notified, 9);
    auto p = T.ReversePoint(TFixedPoint{24 * 65536 + 32767, 32 * 65536 + 32767});
    ASSERT_TRUE(p.has_value());
    EXPECT_TRUE(T.Prepared());
    EXPECT_EQ(p->X >> 16, 21);
}

TEST(ProjectiveTransformation, VanishingLineHasNoResult) {
    TProjectiveTransformation T;
    setQuad(T, 0, 0, 64, 0, 48, 64, 16, 64);
    T.SetSourceRect(TFloatRect{0, 0, 64, 64});
    T.Prepare();
    // z = FixedMul(-512, y) + 65536 vanishes at y = 128.
    TFixed u = 123, v = 456;
    EXPECT_FALSE(T.ReverseFixed(5 * 65536, 128 * 65536, u, v));
    EXPECT_EQ(u, 123);
    EXPECT_EQ(v, 456);
    EXPECT_FALSE(T.ReversePoint(TPoint{5, 128}).has_value());
    float fu = 0, fv = 0;
    EXPECT_FALSE(T.ReverseFloat(5, 128, fu, fv));
    // Beyond the line z is negative and the mapping mirrors.
    ASSERT_TRUE(T.ReverseFixed(10 * 65536, 200 * 65536, u, v));
    EXPECT_LT(v, 0);
}

TEST(ProjectiveTransformation, ForwardAndReverseAgree) {
    TProjectiveTransformation T;
    setQuad(T, 100, 50, 900, 80, 850, 700, 60, 650);
    T.SetSourceRect(TFloatRect{0, 0, 999, 1999});
    T.Prepare();
    float x = 0, y = 0;
    ASSERT_TRUE(T.ForwardFloat(0, 0, x, y));
    EXPECT_NEAR(x, 100, 1e-3);
    EXPECT_NEAR(y, 50, 1e-3);
    ASSERT_TRUE(T.ForwardFloat(999, 1999, x, y));
    EXPECT_NEAR(x, 850, 1e-2);
    EXPECT_NEAR(y, 700, 1e-2);
    float u = 0, v = 0;
    ASSERT_TRUE(T.ReverseFloat(x, y, u, v));
    EXPECT_NEAR(u, 999, 0.1);
    EXPECT_NEAR(v, 1999, 0.1);

    TFixed fx = 0, fy = 0;
    ASSERT_TRUE(T.ForwardFixed(500 * 65536, 1000 * 65536, fx, fy));
    TFixed fu = 0, fv = 0;
    ASSERT_TRUE(T.ReverseFixed(fx, fy, fu, fv));
    // The perspective terms keep only a few digits in 16.16, so the round trip is coarse.
    EXPECT_NEAR(fu / 65536.0, 500, 8);
    EXPECT_NEAR(fv / 65536.0, 1000, 8);

    auto ip = T.ForwardPoint(TPoint{0, 0});
    ASSERT_TRUE(ip.has_value());
    EXPECT_EQ(*ip, (TPoint{100, 50}));
    EXPECT_EQ(T.DestinationBounds(TFloatRect{}), (TFloatRect{60, 50, 900, 700}));
    EXPECT_TRUE(T.HasDestinationBounds());
}

// Round(a * q) against an exact 128-bit reference: q = m * 2^e with a 24-bit mantissa m,
// so a * q = a * m * 2^e, rounded half to even. A double product of up to 55 bits would
// round twice.
TFixed exactScaled(TFixed A, float Q) {
    int e = 0;
    const float frac = std::frexp(Q, &e); // Q = frac * 2^e, 0.5 <= |frac| < 1
    const auto m = static_cast<std::int64_t>(std::ldexp(frac, 24)); // exact, 24 bits
    const int shift = 24 - e;                                       // Q = m / 2^shift
    std::int64_t p = static_cast<std::int64_t>(A) * m;              // at most 55 bits
    const bool negative = p < 0;
    if (negative) p = -p;
    std::int64_t q = p >> shift;
    const std::int64_t rem = p - (q << shift), half = std::int64_t{1} << (shift - 1);
    if (rem > half || (rem == half && (q & 1))) ++q;
    if (negative) q = -q;
    return static_cast<TFixed>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(q)));
}

TEST(ProjectiveTransformation, ReciprocalScalingIsRoundedOnce) {
    const float q = std::nextafter(2.0f, 0.0f); // full 24-bit mantissa
    EXPECT_EQ(ScaleByFixedReciprocal(0x7FFFFFFF, q), exactScaled(0x7FFFFFFF, q));
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < 200000; ++i) {
        auto z = static_cast<std::int32_t>(next());
        if (i % 3 == 0) z >>= (next() % 31);
        if (z == 0) continue;
        const auto a = static_cast<TFixed>(next());
        const float rq = FixedReciprocal(z);
        ASSERT_EQ(rq, static_cast<float>(65536.0L / z)) << z;
        ASSERT_EQ(ScaleByFixedReciprocal(a, rq), exactScaled(a, rq)) << a << " " << z;
    }
}

TEST(ProjectiveTransformation, BaseClassReportsNotImplemented) {
    TTransformation T;
    float u = 0, v = 0;
    try {
        T.ReverseFloat(1, 2, u, v);
        FAIL();
    } catch (const ETransformNotImplemented& E) {
        EXPECT_STREQ(E.what(), "Reverse transformation is not implemented in TTransformation.");
    }
    try {
        TFixed fu = 0, fv = 0;
        T.ForwardFixed(1, 2, fu, fv);
        FAIL();
    } catch (const ETransformNotImplemented& E) {
        EXPECT_STREQ(E.what(), "Forward transformation is not implemented in TTransformation.");
    }
}

} // namespace
} // namespace schauplatz

namespace schauplatz {
namespace {

TEST(FixedPointRounding, HalvesGoToEvenAndInt32KeepsTheLowBits) {
    const struct {
        long double value;
        std::int64_t rounded;
    } cases[] = {{0.5L, 0},
                 {1.5L, 2},
                 {2.5L, 2},
                 {-0.5L, 0},
                 {-1.5L, -2},
                 {-2.5L, -2},
                 {2.4999L, 2},
                 {-2.5001L, -3},
                 {1e18L, 1000000000000000000},
                 {4611686018427387903.5L, 4611686018427387904},
                 {-4611686018427387905.0L, -4611686018427387905}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundToInt64(c.value), c.rounded) << double(c.value);
    EXPECT_EQ(RoundToInt64(1e30L), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(RoundToInt32(4294967296.0L + 7), 7);
    EXPECT_EQ(RoundToInt32(-1.5L), -2);
    EXPECT_EQ(FixedRound(32768), 0); // halves round down
    EXPECT_EQ(FixedRound(32769), 1);
    EXPECT_EQ(FixedRound(-32768), -1); // -0.5 rounds down as well
    EXPECT_EQ(FixedMul(-1, 1), -1);    // floors
    EXPECT_EQ(FixedMul(65536 * 3, -21845), -65535);
}

} // namespace
} // namespace schauplatz
