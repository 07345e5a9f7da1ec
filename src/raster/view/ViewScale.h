// The scale at which a view shows its picture, and the mapping between screen and picture.
//
// A scale is an exact fraction (screen pixels per picture pixel = Num / Den), so that every
// mapping below is integer arithmetic without rounding surprises: 33 % is 33/100, a fitted
// scale is the visible width over the picture width. The picture's top left corner lies at the
// screen position Origin (whole screen pixels, usually zero or negative while scrolled).
//
//   screen pixel X shows picture pixel floor((X - Origin) * Den / Num)
//   picture pixel P is drawn on screen pixels [Origin + ceil(P * Num / Den),
//                                              Origin + ceil((P + 1) * Num / Den))
//   the centre of picture pixel P lies on screen pixel Origin + floor((2P + 1) * Num / (2 Den))
//
// At 1/1 all three are the identity shifted by Origin.
#pragma once

#include "raster/Rect.h"

#include <array>
#include <cstdint>

namespace schauplatz {

struct TViewScale {
    // Fractions are kept reduced and between kMinimum and kMaximum.
    static constexpr std::int64_t kLimit = 1 << 20; // numerator and denominator stay below this

    std::int64_t Num = 1;
    std::int64_t Den = 1;

    // Reduced, clamped to 10 % .. 800 %; a zero or negative part gives the minimum.
    static TViewScale Fraction(std::int64_t Num, std::int64_t Den);
    static TViewScale Percent(int Percent) { return Fraction(Percent, 100); }
    static TViewScale Minimum() { return TViewScale{1, 10}; }
    static TViewScale Maximum() { return TViewScale{8, 1}; }

    bool IsOne() const { return Num == Den; }
    double Value() const { return static_cast<double>(Num) / static_cast<double>(Den); }
    // The scale in percent, rounded to the nearest whole number (halves up).
    int RoundedPercent() const;
    friend constexpr bool operator==(const TViewScale&, const TViewScale&) = default;
};

// The zoom steps of "Vergrößern" and "Verkleinern", in percent.
inline constexpr std::array<int, 13> kViewScaleSteps{10,  15,  25,  33,  50,  67, 100,
                                                     150, 200, 300, 400, 600, 800};

// The first step above Scale (Scale itself when it is the largest step or beyond).
TViewScale NextScaleStep(const TViewScale& Scale);
// The first step below Scale (Scale itself when it is the smallest step or below).
TViewScale PreviousScaleStep(const TViewScale& Scale);
// The largest scale at which a Width x Height picture fits an AreaWidth x AreaHeight area,
// never above 1/1 and never below the minimum; 1/1 for an empty picture or area.
TViewScale FitScale(std::int64_t Width, std::int64_t Height, std::int64_t AreaWidth,
                    std::int64_t AreaHeight);

// Floor and ceiling of A / B for B > 0.
std::int64_t FloorDiv(std::int64_t A, std::int64_t B);
std::int64_t CeilDiv(std::int64_t A, std::int64_t B);

// The picture pixel shown at screen pixel Screen.
std::int64_t ScreenToPicture(std::int64_t Screen, std::int64_t Origin, const TViewScale& Scale);
// The first screen pixel that shows picture pixel Picture (its left or top edge).
std::int64_t PictureEdgeToScreen(std::int64_t Picture, std::int64_t Origin,
                                 const TViewScale& Scale);
// The screen pixel on which the centre of picture pixel Picture lies.
std::int64_t PictureCentreToScreen(std::int64_t Picture, std::int64_t Origin,
                                   const TViewScale& Scale);
// The number of screen pixels that show a picture of Size pixels: ceil(Size * Num / Den).
std::int64_t ScaledExtent(std::int64_t Size, const TViewScale& Scale);

// The screen rectangle that shows any part of Area (picture pixels), a superset by at most
// one pixel on each side, saturated to the int32 range.
TRect PictureAreaToScreen(const TRect& Area, std::int64_t OriginX, std::int64_t OriginY,
                          const TViewScale& Scale);

// How overlay drawing (the element's frame, its handles, the border) is mapped onto its target
// bitmap: picture pixels scaled by Scale with the picture's origin at (OriginX, OriginY). The
// default maps one to one.
struct TOverlayMapping {
    TViewScale Scale;
    std::int64_t OriginX = 0;
    std::int64_t OriginY = 0;
    // The loupe draws the outline without handles, so they do not hide the corner.
    bool Handles = true;

    bool IsIdentity() const { return Scale.IsOne() && OriginX == 0 && OriginY == 0; }
    // Where a vertex at picture pixel P is drawn: the screen pixel with P's centre, so lines
    // and handles stay as crisp as at 1/1, where this is exactly P + Origin.
    std::int64_t ScreenX(std::int64_t X) const { return PictureCentreToScreen(X, OriginX, Scale); }
    std::int64_t ScreenY(std::int64_t Y) const { return PictureCentreToScreen(Y, OriginY, Scale); }
    friend constexpr bool operator==(const TOverlayMapping&, const TOverlayMapping&) = default;
};

} // namespace schauplatz
