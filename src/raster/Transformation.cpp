#include "raster/Transformation.h"

#include <algorithm>
#include <cmath>

namespace schauplatz {

namespace {

using L = TExtended;

constexpr float kFixedToFloat = 1.0f / 65536.0f;

// Every stored intermediate is a single rounded from the extended-precision expression.
inline float single(L V) {
    return static_cast<float>(V);
}

// 1 / d for a divisor that must not be zero.
inline L checkedReciprocal(L D) {
    if (D == 0) throw EDivByZero();
    return 1.0L / D;
}

} // namespace

TFloatMatrix Multiply(const TFloatMatrix& A, const TFloatMatrix& B) {
    TFloatMatrix R{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            R[3 * i + j] = single(L(A[j]) * B[3 * i] + L(A[3 + j]) * B[3 * i + 1] +
                                  L(A[6 + j]) * B[3 * i + 2]);
    return R;
}

TFloatMatrix Invert(const TFloatMatrix& M) {
    const L m0 = M[0], m1 = M[1], m2 = M[2], m3 = M[3], m4 = M[4], m5 = M[5], m6 = M[6], m7 = M[7],
            m8 = M[8];
    const float det =
        single(m0 * (m4 * m8 - m7 * m5) - m1 * (m3 * m8 - m6 * m5) + m2 * (m3 * m7 - m6 * m4));
    if (std::fabs(det) < 0.00001f) return kIdentityMatrix;

    // The adjugate: each 2 x 2 determinant is stored as single, the marked ones negated
    // after storing (the sign of a stored single flips exactly).
    TFloatMatrix R{
        single(m4 * m8 - m5 * m7),  -single(m1 * m8 - m2 * m7), single(m1 * m5 - m2 * m4),
        -single(m3 * m8 - m5 * m6), single(m0 * m8 - m2 * m6),  -single(m0 * m5 - m2 * m3),
        single(m3 * m7 - m4 * m6),  -single(m0 * m7 - m1 * m6), single(m0 * m4 - m1 * m3)};
    const float s = single(checkedReciprocal(det));
    for (float& r : R)
        r = single(L(r) * s);
    return R;
}

float FixedReciprocal(std::int32_t Z) {
    return single(L(kFixedOne) / L(Z));
}

TFixed ScaleByFixedReciprocal(TFixed A, float Q) {
    // int32 * single needs up to 55 bits: exact in the 64-bit mantissa, rounded once.
    return RoundToInt32(L(A) * L(Q));
}

bool MapFixed(const TFixedMatrix& M, TFixed X, TFixed Y, TFixed& U, TFixed& V) {
    const std::int32_t z = WrapAdd(WrapAdd(FixedMul(M[2], X), FixedMul(M[5], Y)), M[8]);
    if (z == 0) return false;
    std::int32_t u = WrapAdd(WrapAdd(FixedMul(M[0], X), FixedMul(M[3], Y)), M[6]);
    std::int32_t v = WrapAdd(WrapAdd(FixedMul(M[1], X), FixedMul(M[4], Y)), M[7]);
    DivideByFixedZ(u, v, z);
    U = u;
    V = v;
    return true;
}

namespace {

bool mapFloat(const TFloatMatrix& M, float X, float Y, float& U, float& V) {
    const float z = single(L(M[2]) * X + L(M[5]) * Y + M[8]);
    if (z == 0) return false;
    const L u = L(M[0]) * X + L(M[3]) * Y + M[6];
    const L v = L(M[1]) * X + L(M[4]) * Y + M[7];
    if (z == 1) {
        U = single(u);
        V = single(v);
    } else {
        const float q = single(1.0L / z);
        U = single(u * q);
        V = single(v * q);
    }
    return true;
}

} // namespace

// --- TTransformation --------------------------------------------------------------------

void TTransformation::Changed() {
    m_prepared = false;
    TNotifiablePersistent::Changed();
}

void TTransformation::SetSourceRect(const TFloatRect& Value) {
    m_sourceRect = Value;
    Changed();
}

bool TTransformation::ReverseInt(std::int32_t X, std::int32_t Y, std::int32_t& U, std::int32_t& V) {
    TFixed u = 0, v = 0;
    if (!ReverseFixed(FixedFromInt(X), FixedFromInt(Y), u, v)) return false;
    U = FixedRound(u);
    V = FixedRound(v);
    return true;
}

bool TTransformation::ForwardInt(std::int32_t X, std::int32_t Y, std::int32_t& U, std::int32_t& V) {
    TFixed u = 0, v = 0;
    if (!ForwardFixed(FixedFromInt(X), FixedFromInt(Y), u, v)) return false;
    U = FixedRound(u);
    V = FixedRound(v);
    return true;
}

bool TTransformation::ReverseFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
    float u = 0, v = 0;
    if (!ReverseFloat(single(L(X) * kFixedToFloat), single(L(Y) * kFixedToFloat), u, v))
        return false;
    U = RoundToInt32(L(u) * kFixedOne);
    V = RoundToInt32(L(v) * kFixedOne);
    return true;
}

bool TTransformation::ForwardFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
    float u = 0, v = 0;
    if (!ForwardFloat(single(L(X) * kFixedToFloat), single(L(Y) * kFixedToFloat), u, v))
        return false;
    U = RoundToInt32(L(u) * kFixedOne);
    V = RoundToInt32(L(v) * kFixedOne);
    return true;
}

bool TTransformation::ReverseFloat(float, float, float&, float&) {
    throw ETransformNotImplemented("Reverse transformation is not implemented in " + ClassName() +
                                   ".");
}

bool TTransformation::ForwardFloat(float, float, float&, float&) {
    throw ETransformNotImplemented("Forward transformation is not implemented in " + ClassName() +
                                   ".");
}

TFloatRect TTransformation::DestinationBounds(const TFloatRect& SrcRect) {
    return SrcRect;
}

std::optional<TPoint> TTransformation::ReversePoint(const TPoint& P) {
    ensurePrepared();
    TPoint R;
    if (!ReverseInt(P.X, P.Y, R.X, R.Y)) return std::nullopt;
    return R;
}

std::optional<TFixedPoint> TTransformation::ReversePoint(const TFixedPoint& P) {
    ensurePrepared();
    TFixedPoint R;
    if (!ReverseFixed(P.X, P.Y, R.X, R.Y)) return std::nullopt;
    return R;
}

std::optional<TFloatPoint> TTransformation::ReversePoint(const TFloatPoint& P) {
    ensurePrepared();
    TFloatPoint R;
    if (!ReverseFloat(P.X, P.Y, R.X, R.Y)) return std::nullopt;
    return R;
}

std::optional<TPoint> TTransformation::ForwardPoint(const TPoint& P) {
    ensurePrepared();
    TPoint R;
    if (!ForwardInt(P.X, P.Y, R.X, R.Y)) return std::nullopt;
    return R;
}

std::optional<TFixedPoint> TTransformation::ForwardPoint(const TFixedPoint& P) {
    ensurePrepared();
    TFixedPoint R;
    if (!ForwardFixed(P.X, P.Y, R.X, R.Y)) return std::nullopt;
    return R;
}

std::optional<TFloatPoint> TTransformation::ForwardPoint(const TFloatPoint& P) {
    ensurePrepared();
    TFloatPoint R;
    if (!ForwardFloat(P.X, P.Y, R.X, R.Y)) return std::nullopt;
    return R;
}

// --- TProjectiveTransformation ----------------------------------------------------------

void TProjectiveTransformation::Prepare() {
    const L X0 = m_x[0], X1 = m_x[1], X2 = m_x[2], X3 = m_x[3];
    const L Y0 = m_y[0], Y1 = m_y[1], Y2 = m_y[2], Y3 = m_y[3];

    // Unit square onto the quad.
    TFloatMatrix M{};
    const float px = single(((X0 - X1) + X2) - X3);
    const float py = single(((Y0 - Y1) + Y2) - Y3);
    if (px == 0 && py == 0) {
        // A parallelogram: affine, so z stays exactly 1 and no division happens per pixel.
        M = {single(X1 - X0), single(Y1 - Y0), 0, single(X2 - X1), single(Y2 - Y1), 0,
             m_x[0],          m_y[0],          1};
    } else {
        const float dx1 = single(X1 - X2), dx2 = single(X3 - X2);
        const float dy1 = single(Y1 - Y2), dy2 = single(Y3 - Y2);
        const float den = single(L(dx1) * dy2 - L(dx2) * dy1);
        if (den != 0) {
            const float r = single(1.0L / den);
            const float g = single((L(px) * dy2 - L(py) * dx2) * r);
            const float h = single((L(dx1) * py - L(dy1) * px) * r);
            M = {single((X1 - X0) + L(g) * X1),
                 single((Y1 - Y0) + L(g) * Y1),
                 g,
                 single((X3 - X0) + L(h) * X3),
                 single((Y3 - Y0) + L(h) * Y3),
                 h,
                 m_x[0],
                 m_y[0],
                 1};
        } // else: a degenerate quad keeps the all-zero matrix
    }

    // Source rectangle onto the unit square: scale, then translate (applied first).
    TFloatMatrix S = kIdentityMatrix;
    S[0] = single(checkedReciprocal(L(m_sourceRect.Right) - m_sourceRect.Left));
    S[4] = single(checkedReciprocal(L(m_sourceRect.Bottom) - m_sourceRect.Top));
    TFloatMatrix T = kIdentityMatrix;
    T[6] = -m_sourceRect.Left;
    T[7] = -m_sourceRect.Top;

    m_matrix = Multiply(Multiply(M, S), T);
    m_inverseMatrix = Invert(m_matrix);
    for (int i = 0; i < 9; ++i) {
        m_inverseFixedMatrix[i] = RoundToInt32(L(m_inverseMatrix[i]) * kFixedOne);
        m_fixedMatrix[i] = RoundToInt32(L(m_matrix[i]) * kFixedOne);
    }
    m_prepared = true;
}

bool TProjectiveTransformation::ReverseFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
    return MapFixed(m_inverseFixedMatrix, X, Y, U, V);
}

bool TProjectiveTransformation::ForwardFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) {
    return MapFixed(m_fixedMatrix, X, Y, U, V);
}

bool TProjectiveTransformation::ReverseFloat(float X, float Y, float& U, float& V) {
    return mapFloat(m_inverseMatrix, X, Y, U, V);
}

bool TProjectiveTransformation::ForwardFloat(float X, float Y, float& U, float& V) {
    return mapFloat(m_matrix, X, Y, U, V);
}

TFloatRect TProjectiveTransformation::DestinationBounds(const TFloatRect&) {
    const auto [minX, maxX] = std::minmax_element(m_x.begin(), m_x.end());
    const auto [minY, maxY] = std::minmax_element(m_y.begin(), m_y.end());
    return TFloatRect{*minX, *minY, *maxX, *maxY};
}

} // namespace schauplatz
