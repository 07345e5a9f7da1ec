#include "ZAMBasicImage/ZAMBasicImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

namespace schauplatz {

namespace {

// ceil(size × factor), the product formed exactly: a 32-bit float times an int below 2^31 fits
// the 64-bit mantissa of long double without rounding.
int ceilScaled(int size, float factor) {
    static_assert(std::numeric_limits<long double>::digits >= 64);
    return static_cast<int>(
        std::ceil(static_cast<long double>(size) * static_cast<long double>(factor)));
}

float singleRatio(int limit, int size) {
    return static_cast<float>(static_cast<long double>(limit) / static_cast<long double>(size));
}

} // namespace

bool TZAMBasicImage::FitToSize(int MaxWidth, int MaxHeight) {
    TBitmap32& picture = Bitmap();
    const int W = picture.Width();
    const int H = picture.Height();

    std::unique_ptr<TBitmap32> fitted;
    try {
        auto made = std::make_unique<TBitmap32>();
        if ((MaxWidth < W || MaxHeight < H) && W > 0 && H > 0) {
            const float f = std::min(singleRatio(MaxWidth, W), singleRatio(MaxHeight, H));
            made->SetSize(ceilScaled(W, f), ceilScaled(H, f));
            made->Clear(0xFFFFFFFFu);
            picture.DrawOnto(made.get(), made->BoundsRect());
        } else {
            made->Assign(&picture);
        }
        fitted = std::move(made);
    } catch (const std::exception&) {
        // No reduced picture: the assignment below empties the control's picture.
    }

    try {
        if (fitted) {
            // Size and pixels only: the control keeps its own drawing properties. One
            // notification for the whole copy.
            {
                TUpdateBracket bracket(picture);
                fitted->CopyPixelsTo(picture);
            }
            picture.Changed();
        } else {
            picture.Assign(nullptr);
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void TZAMBasicImage::CopyNonZeroPixels(const TCustomBitmap32& Overlay) {
    TBitmap32& picture = Bitmap();
    // Clipped to the picture: the overlay may be larger (other zoom levels) or the picture
    // empty (after an undo to the still empty undo picture).
    const int w = std::min(Overlay.Width(), picture.Width());
    const int h = std::min(Overlay.Height(), picture.Height());
    for (int y = 0; y < h; ++y) {
        const TColor32* src = Overlay.RowPointer(y);
        TColor32* dst = picture.RowPointer(y);
        for (int x = 0; x < w; ++x)
            if (src[x] != 0) dst[x] = src[x];
    }
}

} // namespace schauplatz
