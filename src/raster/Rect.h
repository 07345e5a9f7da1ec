#pragma once

#include <algorithm>
#include <cstdint>

namespace schauplatz {

// Rectangles are (Left, Top, Right, Bottom) with Right and Bottom exclusive.
struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    constexpr std::int32_t Width() const { return Right - Left; }
    constexpr std::int32_t Height() const { return Bottom - Top; }
    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

struct TFloatRect {
    float Left = 0.0f;
    float Top = 0.0f;
    float Right = 0.0f;
    float Bottom = 0.0f;

    friend constexpr bool operator==(const TFloatRect&, const TFloatRect&) = default;
};

struct TPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

// 16.16 fixed-point coordinates (value * 65536).
struct TFixedPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    friend constexpr bool operator==(const TFixedPoint&, const TFixedPoint&) = default;
};

struct TFloatPoint {
    float X = 0.0f;
    float Y = 0.0f;
    friend constexpr bool operator==(const TFloatPoint&, const TFloatPoint&) = default;
};

constexpr TRect MakeRect(std::int32_t L, std::int32_t T, std::int32_t R, std::int32_t B) {
    return TRect{L, T, R, B};
}

constexpr TFloatRect MakeFloatRect(const TRect& R) {
    return TFloatRect{static_cast<float>(R.Left), static_cast<float>(R.Top),
                      static_cast<float>(R.Right), static_cast<float>(R.Bottom)};
}

// Empty unless Left < Right and Top < Bottom.
constexpr bool IsRectEmpty(const TRect& R) {
    return !(R.Left < R.Right && R.Top < R.Bottom);
}
constexpr bool IsRectEmpty(const TFloatRect& R) {
    return !(R.Left < R.Right && R.Top < R.Bottom);
}

// Larger Left/Top, smaller Right/Bottom. A crossed result (Right < Left or Bottom < Top)
// collapses to (0, 0, 0, 0); a result of zero width or height is kept as it is, because
// callers use its position (for instance in area notifications).
constexpr TRect IntersectRect(const TRect& A, const TRect& B) {
    TRect R{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
            std::min(A.Bottom, B.Bottom)};
    if (R.Right < R.Left || R.Bottom < R.Top) return TRect{};
    return R;
}

// Same rule for rectangles of singles.
constexpr TFloatRect IntersectRect(const TFloatRect& A, const TFloatRect& B) {
    TFloatRect R{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
                 std::min(A.Bottom, B.Bottom)};
    if (R.Right < R.Left || R.Bottom < R.Top) return TFloatRect{};
    return R;
}

// The form that also reports whether the result is non-empty.
constexpr bool IntersectRect(TRect& Dst, const TRect& A, const TRect& B) {
    Dst = IntersectRect(A, B);
    return !IsRectEmpty(Dst);
}

} // namespace schauplatz
