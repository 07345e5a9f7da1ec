#include "testsupport/PictureCompare.h"

#include <cstddef>
#include <cstdio>

namespace schauplatz::testing {

std::string argbText(TColor32 colour) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", colour);
    return text;
}

::testing::AssertionResult sameSize(int width, int height, int expectedWidth, int expectedHeight) {
    if (width == expectedWidth && height == expectedHeight) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "size " << width << " x " << height << ", expected "
                                         << expectedWidth << " x " << expectedHeight;
}

::testing::AssertionResult samePixels(int width, int height, const PixelAt& actual,
                                      const PixelAt& expected) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const TColor32 is = actual(x, y);
            const TColor32 want = expected(x, y);
            if (is != want)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << argbText(is) << ", expected "
                       << argbText(want);
        }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameBitmap(const TCustomBitmap32& actual,
                                      const TCustomBitmap32& expected) {
    if (auto size = sameSize(actual.Width(), actual.Height(), expected.Width(), expected.Height());
        !size)
        return size;
    return samePixels(
        actual.Width(), actual.Height(), [&](int x, int y) { return actual.GetPixel(x, y); },
        [&](int x, int y) { return expected.GetPixel(x, y); });
}

::testing::AssertionResult samePixelList(int width, int height, const std::vector<TColor32>& actual,
                                         int expectedWidth, int expectedHeight,
                                         const std::vector<TColor32>& expected) {
    if (auto size = sameSize(width, height, expectedWidth, expectedHeight); !size) return size;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (expected.size() != count)
        return ::testing::AssertionFailure() << "test error: expected list has the wrong length";
    if (actual.size() != count)
        return ::testing::AssertionFailure()
               << actual.size() << " colours for " << width << " x " << height << " pixels";
    const auto at = [width](const std::vector<TColor32>& pixels) {
        return [&pixels, width](int x, int y) {
            return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                          static_cast<std::size_t>(x)];
        };
    };
    return samePixels(width, height, at(actual), at(expected));
}

} // namespace schauplatz::testing
