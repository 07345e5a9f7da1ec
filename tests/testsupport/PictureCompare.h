#pragma once

// Exact picture comparisons for the tests of every layer: size first, then every pixel, and
// on a mismatch the first differing pixel with both colours in ARGB.

#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace schauplatz::testing {

// A picture read pixel by pixel, whatever holds it.
using PixelAt = std::function<TColor32(int x, int y)>;

// "0xAARRGGBB".
std::string argbText(TColor32 colour);

// Two sizes as "size 3 x 4, expected 3 x 5" when they differ.
::testing::AssertionResult sameSize(int width, int height, int expectedWidth, int expectedHeight);

// The first pixel of a width x height area where the two sources differ.
::testing::AssertionResult samePixels(int width, int height, const PixelAt& actual,
                                      const PixelAt& expected);

// Size and every pixel of two bitmaps.
::testing::AssertionResult sameBitmap(const TCustomBitmap32& actual,
                                      const TCustomBitmap32& expected);

// Size and every pixel of a picture held as colours row by row; expected must hold
// expectedWidth x expectedHeight colours.
::testing::AssertionResult samePixelList(int width, int height, const std::vector<TColor32>& actual,
                                         int expectedWidth, int expectedHeight,
                                         const std::vector<TColor32>& expected);

// Size and every pixel of any picture with width, height and at(x, y), against an expected
// width x height picture.
template <class Picture>
::testing::AssertionResult pictureMatches(const Picture& picture, int width, int height,
                                          const PixelAt& expected) {
    if (auto size = sameSize(picture.width, picture.height, width, height); !size) return size;
    return samePixels(
        width, height, [&](int x, int y) { return picture.at(x, y); }, expected);
}

} // namespace schauplatz::testing
