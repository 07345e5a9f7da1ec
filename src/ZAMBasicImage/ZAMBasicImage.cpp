#include "ZAMBasicImage/ZAMBasicImage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
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

constexpr int kBlock = 8;

// True when the eight pixels at p are all 0 (read as four 64-bit words, no alignment needed).
bool blockIsZero(const TColor32* p) {
    std::uint64_t a, b, c, d;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 2, 8);
    std::memcpy(&c, p + 4, 8);
    std::memcpy(&d, p + 6, 8);
    return (a | b | c | d) == 0;
}

float singleRatio(int limit, int size) {
    return static_cast<float>(static_cast<long double>(limit) / static_cast<long double>(size));
}

} // namespace

bool TZAMBasicImage::FitToSize(int MaxWidth, int MaxHeight) {
    return FitPictureToSize(Bitmap(), MaxWidth, MaxHeight);
}

bool FitPictureToSize(TBitmap32& picture, int MaxWidth, int MaxHeight) {
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
    if (w <= 0 || h <= 0) return;
    for (int y = 0; y < h; ++y) {
        const TColor32* src = Overlay.RowPointer(y);
        TColor32* dst = picture.RowPointer(y);
        // The overlay is the workspace bitmap: mostly 0 around one element. Runs of eight
        // empty pixels are skipped with one test; the rest is copied pixel by pixel.
        int x = 0;
        for (; x + kBlock <= w; x += kBlock) {
            if (blockIsZero(src + x)) continue;
            for (int i = x; i < x + kBlock; ++i)
                if (src[i] != 0) dst[i] = src[i];
        }
        for (; x < w; ++x)
            if (src[x] != 0) dst[x] = src[x];
    }
}

} // namespace schauplatz
