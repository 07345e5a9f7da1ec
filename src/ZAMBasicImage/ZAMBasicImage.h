// The maker's picture control: the layered view in every respect, plus two picture operations
// the main window needs for facades and for the preview.
#pragma once

#include "raster/view/Image32.h"

namespace schauplatz {

class TZAMBasicImage : public TImage32 {
public:
    TZAMBasicImage() = default;

    // Shrinks the picture, keeping its proportions, when it exceeds MaxWidth or MaxHeight;
    // otherwise leaves its pixels as they are. The factor is held as a 32-bit float and the
    // sizes are rounded up, so a side may come out one pixel over its limit. When the reduced
    // copy cannot be made the picture ends up empty; false only when the final assignment
    // fails.
    bool FitToSize(int MaxWidth, int MaxHeight);

    // Writes every pixel of Overlay whose value is not 0 into the picture at the same position,
    // unblended, alpha included. Positions outside the picture are skipped. Sends no change
    // notification of its own.
    void CopyNonZeroPixels(const TCustomBitmap32& Overlay);
};

// What FitToSize does, for a picture outside a control (the document model reads facades
// this way).
bool FitPictureToSize(TBitmap32& picture, int MaxWidth, int MaxHeight);

} // namespace schauplatz
