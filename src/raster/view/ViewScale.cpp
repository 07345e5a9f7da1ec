#include "raster/view/ViewScale.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace schauplatz {

namespace {

__extension__ typedef __int128 Int128;

// a * b / c with the product in 128 bits, for positions far outside the picture.
std::int64_t mulFloorDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
    const Int128 p = static_cast<Int128>(a) * b;
    Int128 q = p / c;
    if ((p % c != 0) && ((p < 0) != (c < 0))) --q;
    return static_cast<std::int64_t>(std::clamp<Int128>(q, std::numeric_limits<std::int64_t>::min(),
                                                        std::numeric_limits<std::int64_t>::max()));
}

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

bool less(const TViewScale& a, const TViewScale& b) {
    return static_cast<Int128>(a.Num) * b.Den < static_cast<Int128>(b.Num) * a.Den;
}

} // namespace

TViewScale TViewScale::Fraction(std::int64_t Num, std::int64_t Den) {
    if (Num <= 0 || Den <= 0) return Minimum();
    const std::int64_t g = std::gcd(Num, Den);
    Num /= g;
    Den /= g;
    // Very large terms (never from the steps or real window sizes) are brought into range at
    // a tiny loss of exactness.
    while (Num >= kLimit || Den >= kLimit) {
        Num = std::max<std::int64_t>(1, (Num + 1) / 2);
        Den = std::max<std::int64_t>(1, (Den + 1) / 2);
    }
    const TViewScale result{Num, Den};
    if (less(result, Minimum())) return Minimum();
    if (less(Maximum(), result)) return Maximum();
    return result;
}

int TViewScale::RoundedPercent() const {
    return static_cast<int>(FloorDiv(Num * 200 + Den, 2 * Den));
}

TViewScale NextScaleStep(const TViewScale& Scale) {
    for (int percent : kViewScaleSteps) {
        const TViewScale step = TViewScale::Percent(percent);
        if (less(Scale, step)) return step;
    }
    return Scale;
}

TViewScale PreviousScaleStep(const TViewScale& Scale) {
    for (auto it = kViewScaleSteps.rbegin(); it != kViewScaleSteps.rend(); ++it) {
        const TViewScale step = TViewScale::Percent(*it);
        if (less(step, Scale)) return step;
    }
    return Scale;
}

TViewScale FitScale(std::int64_t Width, std::int64_t Height, std::int64_t AreaWidth,
                    std::int64_t AreaHeight) {
    if (Width <= 0 || Height <= 0 || AreaWidth <= 0 || AreaHeight <= 0) return TViewScale{};
    if (Width <= AreaWidth && Height <= AreaHeight) return TViewScale{};
    // The smaller of the two ratios decides.
    const bool byWidth =
        static_cast<Int128>(AreaWidth) * Height <= static_cast<Int128>(AreaHeight) * Width;
    return byWidth ? TViewScale::Fraction(AreaWidth, Width)
                   : TViewScale::Fraction(AreaHeight, Height);
}

std::int64_t FloorDiv(std::int64_t A, std::int64_t B) {
    std::int64_t q = A / B;
    if ((A % B != 0) && ((A < 0) != (B < 0))) --q;
    return q;
}

std::int64_t CeilDiv(std::int64_t A, std::int64_t B) {
    return -FloorDiv(-A, B);
}

std::int64_t ScreenToPicture(std::int64_t Screen, std::int64_t Origin, const TViewScale& Scale) {
    return mulFloorDiv(Screen - Origin, Scale.Den, Scale.Num);
}

std::int64_t PictureEdgeToScreen(std::int64_t Picture, std::int64_t Origin,
                                 const TViewScale& Scale) {
    return Origin - mulFloorDiv(-Picture, Scale.Num, Scale.Den);
}

std::int64_t PictureCentreToScreen(std::int64_t Picture, std::int64_t Origin,
                                   const TViewScale& Scale) {
    const Int128 doubled = static_cast<Int128>(Picture) * 2 + 1;
    const Int128 p = doubled * Scale.Num;
    const Int128 d = static_cast<Int128>(Scale.Den) * 2;
    Int128 q = p / d;
    if (p % d != 0 && p < 0) --q;
    return static_cast<std::int64_t>(
        std::clamp<Int128>(q + Origin, std::numeric_limits<std::int64_t>::min() / 2,
                           std::numeric_limits<std::int64_t>::max() / 2));
}

std::int64_t ScaledExtent(std::int64_t Size, const TViewScale& Scale) {
    return -mulFloorDiv(-Size, Scale.Num, Scale.Den);
}

TRect PictureAreaToScreen(const TRect& Area, std::int64_t OriginX, std::int64_t OriginY,
                          const TViewScale& Scale) {
    if (IsRectEmpty(Area)) return {};
    return TRect{saturate(OriginX + mulFloorDiv(Area.Left, Scale.Num, Scale.Den)),
                 saturate(OriginY + mulFloorDiv(Area.Top, Scale.Num, Scale.Den)),
                 saturate(PictureEdgeToScreen(Area.Right, OriginX, Scale)),
                 saturate(PictureEdgeToScreen(Area.Bottom, OriginY, Scale))};
}

} // namespace schauplatz
