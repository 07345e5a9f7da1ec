// Picture placement and scaling of the layered view, and the buffer sizing rule.
#include "raster/view/Image32.h"

#include <gtest/gtest.h>

#include <ostream>

namespace schauplatz {

std::ostream& operator<<(std::ostream& os, const TRect& r) {
    return os << "(" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << ")";
}

namespace {

struct PlacementCase {
    const char* name;
    int pictureW, pictureH;
    int viewW, viewH;
    TScaleMode scaleMode;
    TBitmapAlign align;
    float scale;
    TRect expected;
};

std::ostream& operator<<(std::ostream& os, const PlacementCase& c) {
    return os << c.name;
}

class ViewPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(ViewPlacement, PictureRectangle) {
    const PlacementCase& c = GetParam();
    TImage32 view;
    view.Resize(c.viewW, c.viewH);
    view.Bitmap().SetSize(c.pictureW, c.pictureH);
    view.SetScaleMode(c.scaleMode);
    view.SetBitmapAlign(c.align);
    view.SetScale(c.scale);
    EXPECT_EQ(view.GetBitmapRect(), c.expected);
    EXPECT_EQ(view.CachedBitmapRect(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewPlacement,
    ::testing::Values(
        // 1/3 as a single lies below 0.5: the width touches, 200 * 0.333.. rounds to 67.
        PlacementCase{"optimal_shrinks_wide_picture",
                      300,
                      200,
                      100,
                      100,
                      smOptimal,
                      baCenter,
                      1.0f,
                      {0, 16, 100, 83}},
        PlacementCase{"optimal_keeps_small_picture",
                      300,
                      200,
                      400,
                      400,
                      smOptimal,
                      baCenter,
                      1.0f,
                      {50, 100, 350, 300}},
        PlacementCase{"optimal_scaled_small_at_origin",
                      300,
                      200,
                      400,
                      400,
                      smOptimalScaled,
                      baTopLeft,
                      1.0f,
                      {0, 0, 300, 200}},
        PlacementCase{"optimal_scaled_exact_fit",
                      400,
                      400,
                      400,
                      400,
                      smOptimalScaled,
                      baTopLeft,
                      1.0f,
                      {0, 0, 400, 400}},
        PlacementCase{"optimal_scaled_large_shrinks",
                      300,
                      200,
                      150,
                      150,
                      smOptimalScaled,
                      baTopLeft,
                      1.0f,
                      {0, 0, 150, 100}},
        PlacementCase{"optimal_scaled_scale_pushes_over",
                      100,
                      100,
                      150,
                      150,
                      smOptimalScaled,
                      baTopLeft,
                      2.0f,
                      {0, 0, 150, 150}},
        PlacementCase{"optimal_scaled_scale_fits",
                      100,
                      50,
                      250,
                      250,
                      smOptimalScaled,
                      baTopLeft,
                      2.0f,
                      {0, 0, 200, 100}},
        PlacementCase{
            "normal_centre_truncates", 3, 3, 10, 10, smNormal, baCenter, 1.0f, {3, 3, 6, 6}},
        // A picture larger than the view: (VW - W) div 2 truncates toward zero.
        PlacementCase{
            "normal_centre_negative", 13, 3, 10, 10, smNormal, baCenter, 1.0f, {-1, 3, 12, 6}},
        PlacementCase{"stretch", 3, 7, 10, 20, smStretch, baTopLeft, 1.0f, {0, 0, 10, 20}},
        PlacementCase{
            "scale_rounds_half_even", 5, 3, 100, 100, smScale, baTopLeft, 1.5f, {0, 0, 8, 4}},
        PlacementCase{
            "resize_tall_picture", 100, 400, 200, 200, smResize, baCenter, 1.0f, {75, 0, 125, 200}},
        PlacementCase{
            "resize_enlarges", 10, 5, 100, 100, smResize, baTopLeft, 1.0f, {0, 0, 100, 50}},
        PlacementCase{"tile_not_moved", 3, 3, 10, 10, smNormal, baTile, 1.0f, {0, 0, 3, 3}},
        PlacementCase{
            "scale_below_one_pixel", 1, 1, 10, 10, smScale, baTopLeft, 0.4f, {0, 0, 0, 0}},
        PlacementCase{"empty_picture", 0, 0, 10, 10, smNormal, baCenter, 1.0f, {0, 0, 0, 0}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ViewPlacement, CustomOffsetRoundsHalfToEven) {
    TImage32 view;
    view.Resize(50, 50);
    view.Bitmap().SetSize(4, 4);
    view.SetBitmapAlign(baCustom);
    view.SetOffsetHorz(2.5f);
    view.SetOffsetVert(3.5f);
    EXPECT_EQ(view.GetBitmapRect(), (TRect{2, 4, 6, 8}));
    view.SetOffsetHorz(-1.5f);
    EXPECT_EQ(view.GetBitmapRect(), (TRect{-2, 4, 2, 8}));
}

TEST(ViewPlacement, ZeroSizedControlShowsNothing) {
    TImage32 view;
    view.Resize(0, 40);
    view.Bitmap().SetSize(4, 4);
    view.SetScaleMode(smStretch);
    const TViewSize size = view.GetBitmapSize();
    EXPECT_EQ(size.Width, 0);
    EXPECT_EQ(size.Height, 0);
}

TEST(ViewPlacement, ScaleHasALowerBound) {
    TImage32 view;
    view.SetScale(0.0f);
    EXPECT_FLOAT_EQ(view.ScaleX(), 0.001f);
    EXPECT_FLOAT_EQ(view.ScaleY(), 0.001f);
    view.SetScale(-3.0f);
    EXPECT_FLOAT_EQ(view.Scale(), 0.001f);
}

TEST(ViewPlacement, CacheFollowsPictureAndControlSize) {
    TImage32 view;
    view.Resize(100, 100);
    view.SetBitmapAlign(baCenter);
    view.Bitmap().SetSize(10, 10);
    EXPECT_EQ(view.CachedBitmapRect(), (TRect{45, 45, 55, 55}));
    view.Bitmap().SetSize(20, 10);
    EXPECT_EQ(view.CachedBitmapRect(), (TRect{40, 45, 60, 55}));
    view.Resize(60, 60);
    EXPECT_EQ(view.CachedBitmapRect(), (TRect{20, 25, 40, 35}));
    view.SetScaleMode(smScale);
    view.SetScale(2.0f);
    EXPECT_EQ(view.CachedBitmapRect(), (TRect{10, 20, 50, 40}));
}

TEST(ViewPlacement, MapsPicturePixelsToClientPixels) {
    TImage32 view;
    view.Resize(100, 100);
    view.Bitmap().SetSize(10, 20);
    view.SetScaleMode(smScale);
    view.SetScale(3.0f);
    view.SetBitmapAlign(baCenter);
    // Picture 30 x 60 at (35, 20).
    EXPECT_EQ(view.BitmapToControl({0, 0}), (TPoint{35, 20}));
    EXPECT_EQ(view.BitmapToControl({2, 5}), (TPoint{41, 35}));
    EXPECT_EQ(view.ControlToBitmap({41, 35}), (TPoint{2, 5}));
    EXPECT_EQ(view.ControlToBitmap({43, 37}), (TPoint{2, 5}));
    EXPECT_EQ(view.ControlToBitmap({34, 19}), (TPoint{-1, -1}));
}

// --- buffer sizing ---------------------------------------------------------------------------

TEST(ViewBuffer, GrowsWithOversizeAndShrinksOnlyBeyondIt) {
    TImage32 view;
    EXPECT_EQ(view.Buffer().Width(), 0) << "the buffer gets its size at the first resize";
    view.Resize(200, 100);
    EXPECT_EQ(view.Buffer().Width(), 240);
    EXPECT_EQ(view.Buffer().Height(), 140);
    view.Resize(200, 100);
    EXPECT_EQ(view.Buffer().Width(), 240) << "240 is kept at 200";
    view.Resize(230, 100);
    EXPECT_EQ(view.Buffer().Width(), 240);
    view.Resize(199, 100);
    EXPECT_EQ(view.Buffer().Width(), 199) << "at 199 the buffer fits exactly";
    EXPECT_EQ(view.Buffer().Height(), 140) << "the other axis is sized on its own";
    view.Resize(241, 100);
    EXPECT_EQ(view.Buffer().Width(), 281) << "at 241 it grows to 281";
    view.Resize(0, 0);
    EXPECT_EQ(view.Buffer().Width(), 1) << "never below one pixel";
    EXPECT_EQ(view.Buffer().Height(), 1);
}

TEST(ViewBuffer, ReallocationForcesAFullRepaint) {
    TImage32 view;
    view.Resize(20, 20);
    view.Paint();
    EXPECT_TRUE(view.BufferValid());
    EXPECT_FALSE(view.ForceFullRepaint());
    view.Resize(20, 20);
    EXPECT_FALSE(view.BufferValid()) << "a resize always repaints: the placement may change";
    view.Paint();
    view.Resize(80, 20);
    EXPECT_FALSE(view.BufferValid());
    EXPECT_TRUE(view.ForceFullRepaint());
}

TEST(ViewBuffer, OversizeIsConfigurable) {
    TImage32 view;
    EXPECT_EQ(view.BufferOversize(), 40);
    view.SetBufferOversize(0);
    view.Resize(50, 50);
    EXPECT_EQ(view.Buffer().Width(), 50);
}

} // namespace
} // namespace schauplatz
