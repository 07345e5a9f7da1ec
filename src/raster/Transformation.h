#pragma once

// Mapping between source picture coordinates and destination coordinates.
//
// TTransformation is the abstract base: a source rectangle, a Prepared flag that every
// parameter change clears, and the fixed/float/int forms of the forward and reverse
// mappings. TProjectiveTransformation maps SourceRect onto the quad (X0,Y0)..(X3,Y3)
// (top left, top right, bottom right, bottom left) with perspective. Its matrices are
// computed lazily by Prepare with the exact rounding the rendered pixels depend on (see
// docs/pixel-rules.md).
//
// Operations returning bool give false when the point has no image (it lies on the
// vanishing line); the outputs are then left untouched.

#include "raster/FixedPoint.h"
#include "raster/Persistent.h"
#include "raster/Rect.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>

namespace schauplatz {

// Floating-point division by zero (checked explicitly; no infinity is ever produced).
class EDivByZero : public std::runtime_error {
public:
    EDivByZero() : std::runtime_error("Floating point division by zero") {}
};

class ETransformNotImplemented : public std::runtime_error {
public:
    explicit ETransformNotImplemented(const std::string& Message) : std::runtime_error(Message) {}
};

// 3 x 3 matrices stored column by column: element m[3c + r] is row r, column c.
// A point (x, y) maps to (m0 x + m3 y + m6, m1 x + m4 y + m7) / (m2 x + m5 y + m8).
using TFloatMatrix = std::array<float, 9>;
using TFixedMatrix = std::array<TFixed, 9>;

inline constexpr TFloatMatrix kIdentityMatrix{1, 0, 0, 0, 1, 0, 0, 0, 1};

// Product A * B (B applied first), each element summed left to right in extended
// precision and stored as single.
TFloatMatrix Multiply(const TFloatMatrix& A, const TFloatMatrix& B);
// Inverse through the adjugate; a matrix with |det| < 0.00001 gives the identity.
TFloatMatrix Invert(const TFloatMatrix& M);

class TTransformation : public TNotifiablePersistent {
public:
    // Clears Prepared, then notifies.
    void Changed() override;

    virtual std::string ClassName() const { return "TTransformation"; }

    bool Prepared() const { return m_prepared; }
    const TFloatRect& SourceRect() const { return m_sourceRect; }
    void SetSourceRect(const TFloatRect& Value);

    virtual void Prepare() {}

    // The mappings assume Prepared; the point operations below prepare on demand.
    virtual bool ReverseInt(std::int32_t X, std::int32_t Y, std::int32_t& U, std::int32_t& V);
    virtual bool ReverseFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V);
    virtual bool ReverseFloat(float X, float Y, float& U, float& V);
    virtual bool ForwardInt(std::int32_t X, std::int32_t Y, std::int32_t& U, std::int32_t& V);
    virtual bool ForwardFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V);
    virtual bool ForwardFloat(float X, float Y, float& U, float& V);
    virtual bool HasDestinationBounds() const { return true; }
    // The base class has no geometry of its own: the source rectangle as it is.
    virtual TFloatRect DestinationBounds(const TFloatRect& SrcRect);

    std::optional<TPoint> ReversePoint(const TPoint& P);
    std::optional<TFixedPoint> ReversePoint(const TFixedPoint& P);
    std::optional<TFloatPoint> ReversePoint(const TFloatPoint& P);
    std::optional<TPoint> ForwardPoint(const TPoint& P);
    std::optional<TFixedPoint> ForwardPoint(const TFixedPoint& P);
    std::optional<TFloatPoint> ForwardPoint(const TFloatPoint& P);

protected:
    void ensurePrepared() {
        if (!m_prepared) Prepare();
    }

    TFloatRect m_sourceRect;
    bool m_prepared = false;
};

class TProjectiveTransformation : public TTransformation {
public:
    std::string ClassName() const override { return "TProjectiveTransformation"; }

    float X0() const { return m_x[0]; }
    float X1() const { return m_x[1]; }
    float X2() const { return m_x[2]; }
    float X3() const { return m_x[3]; }
    float Y0() const { return m_y[0]; }
    float Y1() const { return m_y[1]; }
    float Y2() const { return m_y[2]; }
    float Y3() const { return m_y[3]; }
    // Every setter notifies, also when the value does not change.
    void SetX0(float Value) { setCorner(m_x[0], Value); }
    void SetX1(float Value) { setCorner(m_x[1], Value); }
    void SetX2(float Value) { setCorner(m_x[2], Value); }
    void SetX3(float Value) { setCorner(m_x[3], Value); }
    void SetY0(float Value) { setCorner(m_y[0], Value); }
    void SetY1(float Value) { setCorner(m_y[1], Value); }
    void SetY2(float Value) { setCorner(m_y[2], Value); }
    void SetY3(float Value) { setCorner(m_y[3], Value); }

    const TFloatMatrix& Matrix() const { return m_matrix; }
    const TFloatMatrix& InverseMatrix() const { return m_inverseMatrix; }
    const TFixedMatrix& FixedMatrix() const { return m_fixedMatrix; }
    const TFixedMatrix& InverseFixedMatrix() const { return m_inverseFixedMatrix; }

    // Throws EDivByZero for a SourceRect of zero width or height; Prepared stays false.
    void Prepare() override;

    bool ReverseFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) override;
    bool ReverseFloat(float X, float Y, float& U, float& V) override;
    bool ForwardFixed(TFixed X, TFixed Y, TFixed& U, TFixed& V) override;
    bool ForwardFloat(float X, float Y, float& U, float& V) override;
    bool HasDestinationBounds() const override { return true; }
    // The bounding box of the four corners; the argument is not used.
    TFloatRect DestinationBounds(const TFloatRect& SrcRect) override;

private:
    void setCorner(float& Corner, float Value) {
        Corner = Value;
        Changed();
    }

    std::array<float, 4> m_x{};
    std::array<float, 4> m_y{};
    TFloatMatrix m_matrix{};
    TFloatMatrix m_inverseMatrix{};
    TFixedMatrix m_fixedMatrix{};
    TFixedMatrix m_inverseFixedMatrix{};
};

// The exact 16.16 mapping through a fixed matrix (shared with the fast drawing path):
// z = FixedMul(M2, x) + FixedMul(M5, y) + M8, likewise u and v; then, unless z is 65536,
// q = single(65536 / z) and u, v = Round(u * q), Round(v * q) on the exact products.
bool MapFixed(const TFixedMatrix& M, TFixed X, TFixed Y, TFixed& U, TFixed& V);

// The perspective division step alone: Round(A * single(65536 / Z)) for Z != 0.
TFixed ScaleByFixedReciprocal(TFixed A, float Q);
float FixedReciprocal(std::int32_t Z);

// U and V divided by Z (not 0) as MapFixed does it; Z = 65536 leaves them as they are.
inline void DivideByFixedZ(TFixed& U, TFixed& V, std::int32_t Z) {
    if (Z == kFixedOne) return;
    const float q = FixedReciprocal(Z);
    U = ScaleByFixedReciprocal(U, q);
    V = ScaleByFixedReciprocal(V, q);
}

} // namespace schauplatz
