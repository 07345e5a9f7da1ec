// FitToSize and CopyNonZeroPixels of the basic image control.
#include "ZAMBasicImage/ZAMBasicImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

namespace schauplatz {
namespace {

struct FitCase {
    int w, h;
    int expectedW, expectedH;
};

std::ostream& operator<<(std::ostream& os, const FitCase& c) {
    return os << c.w << "x" << c.h << " -> " << c.expectedW << "x" << c.expectedH;
}

class FitToSizeTable : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitToSizeTable, GivesTheExactSize) {
    const FitCase& c = GetParam();
    TZAMBasicImage image;
    image.Bitmap().SetSize(c.w, c.h);
    EXPECT_TRUE(image.FitToSize(1920, 1080));
    EXPECT_EQ(image.Bitmap().Width(), c.expectedW);
    EXPECT_EQ(image.Bitmap().Height(), c.expectedH);
}

// The 32-bit factor and the rounding up make some sides one pixel longer than the limit.
INSTANTIATE_TEST_SUITE_P(
    CameraSizes, FitToSizeTable,
    ::testing::Values(FitCase{1000, 667, 1000, 667}, FitCase{1920, 1080, 1920, 1080},
                      FitCase{1921, 1080, 1920, 1080}, FitCase{1920, 1081, 1919, 1081},
                      FitCase{2000, 1000, 1920, 960}, FitCase{3840, 2160, 1920, 1080},
                      FitCase{4000, 3000, 1441, 1081}, FitCase{4032, 3024, 1441, 1081},
                      FitCase{3000, 4000, 811, 1081}, FitCase{5184, 3456, 1620, 1080},
                      FitCase{6000, 4000, 1621, 1081}));

void fillPattern(TCustomBitmap32& b) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.SetPixel(x, y, 0xFF000000u | static_cast<TColor32>((x * 7 + y * 131) & 0xFFFFFF));
}

TEST(FitToSize, EmptyPictureStaysEmpty) {
    TZAMBasicImage image;
    EXPECT_TRUE(image.FitToSize(1920, 1080));
    EXPECT_TRUE(image.Bitmap().IsEmpty());
    EXPECT_EQ(image.Bitmap().Width(), 0);
}

TEST(FitToSize, FittingPictureKeepsItsPixelsAndDrawMode) {
    TZAMBasicImage image;
    image.Bitmap().SetSize(13, 11);
    fillPattern(image.Bitmap());
    image.Bitmap().SetPixel(3, 4, 0x00000000u);
    image.Bitmap().SetPixel(5, 6, 0x80FF0000u);
    image.Bitmap().SetDrawMode(dmBlend);
    const std::vector<TColor32> before(image.Bitmap().Bits(), image.Bitmap().Bits() + 13 * 11);
    EXPECT_TRUE(image.FitToSize(13, 11));
    ASSERT_EQ(image.Bitmap().Width(), 13);
    ASSERT_EQ(image.Bitmap().Height(), 11);
    const std::vector<TColor32> after(image.Bitmap().Bits(), image.Bitmap().Bits() + 13 * 11);
    EXPECT_EQ(after, before);
    EXPECT_EQ(image.Bitmap().DrawMode(), dmBlend);
}

TEST(FitToSize, ReducesByNearestNeighbour) {
    TZAMBasicImage image;
    image.Bitmap().SetSize(8, 4);
    fillPattern(image.Bitmap());
    EXPECT_TRUE(image.FitToSize(4, 4)); // f = 0.5: 4 x 2, every other column and row
    ASSERT_EQ(image.Bitmap().Width(), 4);
    ASSERT_EQ(image.Bitmap().Height(), 2);
    TBitmap32 reference;
    reference.SetSize(8, 4);
    fillPattern(reference);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(image.Bitmap().GetPixel(x, y), reference.GetPixel(2 * x, 2 * y))
                << x << "," << y;
}

TEST(FitToSize, BlendedPicturesComeOutOverWhite) {
    TZAMBasicImage image;
    image.Bitmap().SetSize(4, 2);
    image.Bitmap().Clear(0x00000000u);          // fully transparent
    image.Bitmap().SetPixel(0, 0, 0x80FF0000u); // half-transparent red
    image.Bitmap().SetPixel(1, 0, 0x80FF0000u);
    image.Bitmap().SetDrawMode(dmBlend);
    EXPECT_TRUE(image.FitToSize(2, 2)); // 2 x 1
    ASSERT_EQ(image.Bitmap().Width(), 2);
    ASSERT_EQ(image.Bitmap().Height(), 1);
    // Weight 128 on every channel, alpha included: (128 * 128 + 255 * 128 + 128) >> 8 = 192
    // for alpha, (255 * 128 + 255 * 128 + 128) >> 8 = 255 for red, (0 + 255 * 128 + 128) >> 8
    // = 128 for green and blue.
    EXPECT_EQ(image.Bitmap().GetPixel(0, 0), 0xC0FF8080u);
    EXPECT_EQ(image.Bitmap().GetPixel(1, 0), 0xFFFFFFFFu) << "transparent stays white";
}

TEST(FitToSize, NotifiesTheViewOnceWithTheNewSize) {
    TZAMBasicImage image;
    image.Resize(100, 100);
    image.Bitmap().SetSize(300, 100);
    int changes = 0;
    image.OnChange = [&](TCustomImage32*) { ++changes; };
    EXPECT_TRUE(image.FitToSize(150, 150));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(image.GetBitmapRect(), (TRect{0, 0, 150, 50}));
}

// --- CopyNonZeroPixels -------------------------------------------------------------------------

class CopyNonZero : public ::testing::Test {
protected:
    void SetUp() override {
        image.Bitmap().SetSize(6, 5);
        image.Bitmap().Clear(kBackground);
    }
    std::vector<TColor32> pixels() const {
        const TBitmap32& b = image.Bitmap();
        return std::vector<TColor32>(b.Bits(), b.Bits() + b.Width() * b.Height());
    }
    static constexpr TColor32 kBackground = 0xFF336699u;
    TZAMBasicImage image;
    TBitmap32 overlay;
};

TEST_F(CopyNonZero, AllZeroOverlayChangesNothing) {
    overlay.SetSize(6, 5); // a fresh TBitmap32 reads 0
    image.CopyNonZeroPixels(overlay);
    EXPECT_EQ(pixels(), std::vector<TColor32>(30, kBackground));
}

TEST_F(CopyNonZero, OnlyTheExactValueZeroIsSkipped) {
    overlay.SetSize(6, 5);
    overlay.SetPixel(1, 1, 0x00FFFFFFu); // transparent white: copied unchanged
    overlay.SetPixel(2, 1, 0x80FF0000u); // half-transparent red: replaces, alpha and all
    overlay.SetPixel(5, 4, 0xFF000000u);
    overlay.SetPixel(0, 4, 0x00000001u);
    image.CopyNonZeroPixels(overlay);
    std::vector<TColor32> expected(30, kBackground);
    expected[1 * 6 + 1] = 0x00FFFFFFu;
    expected[1 * 6 + 2] = 0x80FF0000u;
    expected[4 * 6 + 5] = 0xFF000000u;
    expected[4 * 6 + 0] = 0x00000001u;
    EXPECT_EQ(pixels(), expected);
    EXPECT_EQ(image.Bitmap().GetPixel(2, 1) >> 24, 128u);
}

TEST_F(CopyNonZero, SmallerOverlayChangesOnlyTheTopLeft) {
    overlay.SetSize(2, 3);
    overlay.Clear(0xFFFFFFFFu);
    image.CopyNonZeroPixels(overlay);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(image.Bitmap().GetPixel(x, y), (x < 2 && y < 3) ? 0xFFFFFFFFu : kBackground)
                << x << "," << y;
}

TEST_F(CopyNonZero, LargerOverlayIsClippedToThePicture) {
    overlay.SetSize(9, 8);
    overlay.Clear(0xFF00FF00u);
    image.CopyNonZeroPixels(overlay);
    EXPECT_EQ(image.Bitmap().Width(), 6);
    EXPECT_EQ(image.Bitmap().Height(), 5);
    EXPECT_EQ(pixels(), std::vector<TColor32>(30, 0xFF00FF00u));

    TZAMBasicImage empty; // the preview after an undo to the empty undo picture
    EXPECT_NO_THROW(empty.CopyNonZeroPixels(overlay));
    EXPECT_TRUE(empty.Bitmap().IsEmpty());
}

// The row loop skips empty runs; it must match a plain pixel-by-pixel copy on every width,
// including the tails shorter than a run.
TEST(CopyNonZeroPixels, MatchesAPlainPerPixelCopy) {
    const unsigned seed = 20240611u;
    std::mt19937 random(seed);
    const int sizes[][4] = {{1, 1, 1, 1},   {7, 3, 7, 3},   {8, 2, 8, 2},   {9, 4, 9, 4},
                            {17, 5, 13, 6}, {33, 9, 40, 3}, {64, 7, 63, 7}, {301, 11, 299, 12}};
    for (const auto& s : sizes) {
        const int pw = s[0], ph = s[1], ow = s[2], oh = s[3];
        TZAMBasicImage image;
        image.Bitmap().SetSize(pw, ph);
        TBitmap32 overlay;
        overlay.SetSize(ow, oh);
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x)
                image.Bitmap().SetPixel(x, y, random() | 1u);
        for (int y = 0; y < oh; ++y)
            for (int x = 0; x < ow; ++x) {
                const unsigned pick = random() % 10;
                // Mostly empty, some single pixels, some alpha-0 colours.
                overlay.SetPixel(x, y,
                                 pick < 7   ? 0u
                                 : pick < 9 ? random()
                                            : (random() & 0xFFFFFFu));
            }
        std::vector<TColor32> expected(image.Bitmap().Bits(), image.Bitmap().Bits() + pw * ph);
        for (int y = 0; y < std::min(ph, oh); ++y)
            for (int x = 0; x < std::min(pw, ow); ++x)
                if (overlay.GetPixel(x, y) != 0) expected[y * pw + x] = overlay.GetPixel(x, y);
        image.CopyNonZeroPixels(overlay);
        const std::vector<TColor32> actual(image.Bitmap().Bits(), image.Bitmap().Bits() + pw * ph);
        EXPECT_EQ(actual, expected) << "seed " << seed << ", picture " << pw << "x" << ph
                                    << ", overlay " << ow << "x" << oh;
    }
}

TEST_F(CopyNonZero, SendsNoNotification) {
    int changes = 0;
    image.OnChange = [&](TCustomImage32*) { ++changes; };
    overlay.SetSize(6, 5);
    overlay.Clear(0xFFFFFFFFu);
    image.CopyNonZeroPixels(overlay);
    EXPECT_EQ(changes, 0);
}

} // namespace
} // namespace schauplatz
