// The pieces both view widgets share: a bitmap region shown without a copy, and the buttons
// the view knows.
#include "platform/view/PaintBoxHost.h"
#include "raster/Bitmap32.h"

#include <gtest/gtest.h>

namespace schauplatz {
namespace {

TBitmap32 numbered(int width, int height) {
    TBitmap32 bitmap;
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.SetPixel(x, y, 0x80000000u | static_cast<TColor32>(y * 256 + x));
    return bitmap;
}

TEST(ViewHostWrap, ShowsTheRegionInPlaceWithoutAlpha) {
    const TBitmap32 bitmap = numbered(7, 5);
    const QImage image = PaintBoxHost::wrap(bitmap, 2, 1, 3, 2);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.width(), 3);
    EXPECT_EQ(image.height(), 2);
    EXPECT_EQ(image.bytesPerLine(), 7 * 4);
    EXPECT_EQ(static_cast<const void*>(image.constBits()),
              static_cast<const void*>(bitmap.PixelPointer(2, 1)));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.pixel(x, y),
                      0xFF000000u | static_cast<unsigned>((y + 1) * 256 + x + 2));
}

TEST(ViewHostWrap, KeepsToTheBitmap) {
    const TBitmap32 bitmap = numbered(7, 5);
    const QImage cut = PaintBoxHost::wrap(bitmap, 5, 3, 10, 10);
    EXPECT_EQ(cut.width(), 2);
    EXPECT_EQ(cut.height(), 2);
    EXPECT_TRUE(PaintBoxHost::wrap(bitmap, 7, 0, 1, 1).isNull());
    EXPECT_TRUE(PaintBoxHost::wrap(bitmap, -1, 0, 3, 3).isNull());
    EXPECT_TRUE(PaintBoxHost::wrap(bitmap, 0, 0, 0, 3).isNull());
    const TBitmap32 empty;
    EXPECT_TRUE(PaintBoxHost::wrap(empty, 0, 0, 4, 4).isNull());
}

TEST(ViewHostWrap, ExtraButtonsHaveNoViewButton) {
    EXPECT_EQ(PaintBoxHost::viewButton(Qt::LeftButton), mbLeft);
    EXPECT_EQ(PaintBoxHost::viewButton(Qt::RightButton), mbRight);
    EXPECT_EQ(PaintBoxHost::viewButton(Qt::MiddleButton), mbMiddle);
    EXPECT_FALSE(PaintBoxHost::viewButton(Qt::BackButton).has_value());
    EXPECT_FALSE(PaintBoxHost::viewButton(Qt::NoButton).has_value());
}

} // namespace
} // namespace schauplatz
