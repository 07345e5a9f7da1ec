#pragma once

// Fixed-point formats and the rounding helpers every exact pixel computation shares.
//
//   16.16 (TFixed):  int32 value * 65536   - positions, matrices, line end points
//   24.8  (sub-pixel): int32 value * 256   - anti-aliased points
//
// Shifts of negative values are arithmetic (floor), which C++20 guarantees.

#include <cmath>
#include <cstdint>
#include <limits>

namespace schauplatz {

using TFixed = std::int32_t;

inline constexpr int kFixedShift = 16;
inline constexpr TFixed kFixedOne = 1 << kFixedShift; // 1.0
inline constexpr TFixed kFixedHalf = kFixedOne / 2;   // 0.5
// One 16.16 step short of a half: pixel centres are taken at x + kFixedNearHalf, and
// FixedRound adds it so that exact halves round down.
inline constexpr TFixed kFixedNearHalf = kFixedHalf - 1;

inline constexpr int kSubpixelShift = 8;
inline constexpr std::int32_t kSubpixelOne = 1 << kSubpixelShift;

// (a * b) >> 16 on the 64-bit product, floored, truncated to 32 bits.
constexpr TFixed FixedMul(TFixed A, TFixed B) {
    return static_cast<TFixed>((static_cast<std::int64_t>(A) * B) >> kFixedShift);
}

// Nearest integer of a 16.16 value, halves downwards.
constexpr std::int32_t FixedRound(TFixed V) {
    return static_cast<std::int32_t>((static_cast<std::int64_t>(V) + kFixedNearHalf) >>
                                     kFixedShift);
}

constexpr TFixed FixedFromInt(std::int32_t V) {
    return static_cast<TFixed>(static_cast<std::uint32_t>(V) << kFixedShift);
}

// int32 sums wrap as the arithmetic unit does, without undefined behaviour.
constexpr std::int32_t WrapAdd(std::int32_t A, std::int32_t B) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(A) + static_cast<std::uint32_t>(B));
}
constexpr std::int32_t WrapSub(std::int32_t A, std::int32_t B) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(A) - static_cast<std::uint32_t>(B));
}

// Extended precision for intermediates: a 64-bit mantissa makes int32 * single products
// exact and reproduces the stored singles of the matrix computation.
using TExtended = long double;
static_assert(std::numeric_limits<long double>::digits >= 64,
              "exact rounding needs a 64-bit mantissa long double (g++ on x86-64)");

// Round to nearest, ties to even, as a 64-bit integer. Values outside the int64 range give
// the integer-indefinite value INT64_MIN, as the conversion instruction does.
inline std::int64_t RoundToInt64(TExtended V) {
    constexpr TExtended kLimit = 9223372036854775808.0L; // 2^63
    // Below 2^62 adding 1.5 * 2^63 leaves a unit of 1 in the last place, so the addition itself
    // rounds to an integer (nearest, ties to even) and the subtraction is exact: much cheaper
    // than a library call on the hot paths. Larger values are integers already.
    constexpr TExtended kShifter = 13835058055282163712.0L; // 1.5 * 2^63
    constexpr TExtended kSmall = 4611686018427387904.0L;    // 2^62
    if (V > -kSmall && V < kSmall) {
        volatile TExtended shifted = V + kShifter; // kept apart from the subtraction
        return static_cast<std::int64_t>(shifted - kShifter);
    }
    if (!(V > -kLimit && V < kLimit)) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(V);
}

// Round stored in an int32: the low 32 bits of the rounded 64-bit integer.
inline std::int32_t RoundToInt32(TExtended V) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(RoundToInt64(V)));
}

} // namespace schauplatz
