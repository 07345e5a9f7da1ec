// Paint stages, layers, clearing, PaintInto and change notification of the layered view.
#include "raster/view/Image32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

constexpr TColor32 kRed = 0xFFFF0000u;
constexpr TColor32 kGreen = 0xFF00FF00u;
constexpr TColor32 kBlue = 0xFF0000FFu;
constexpr TColor32 kMarker = 0xFF123456u;

std::string argb(TColor32 c) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(c));
    return text;
}

// Every pixel of R in B has colour C; reports the first that differs.
::testing::AssertionResult AreaIs(const TCustomBitmap32& B, const TRect& R, TColor32 C) {
    for (int y = R.Top; y < R.Bottom; ++y)
        for (int x = R.Left; x < R.Right; ++x)
            if (B.GetPixel(x, y) != C)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << argb(B.GetPixel(x, y))
                       << ", expected " << argb(C);
    return ::testing::AssertionSuccess();
}

// A 2 x 2 picture with four distinct opaque colours.
void makeQuadPicture(TBitmap32& B) {
    B.SetSize(2, 2);
    B.SetPixel(0, 0, kRed);
    B.SetPixel(1, 0, kGreen);
    B.SetPixel(0, 1, kBlue);
    B.SetPixel(1, 1, 0xFFFFFFFFu);
}

TEST(ViewStages, DefaultList) {
    TImage32 view;
    const TPaintStages& stages = view.PaintStages();
    ASSERT_EQ(stages.Count(), 5u);
    const std::uint32_t kinds[] = {kStageClearBackground, kStageControlFrame, kStageDrawBitmap,
                                   kStageBitmapFrame, kStageDrawLayers};
    const bool runTime[] = {true, false, true, false, true};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(stages[i].DsgnTime) << i;
        EXPECT_EQ(stages[i].RunTime, runTime[i]) << i;
        EXPECT_EQ(stages[i].Stage, kinds[i]) << i;
        EXPECT_EQ(stages[i].Parameter, i == 4 ? 0x80000000u : 0u) << i;
    }
    TPaintStages list;
    TPaintStage& added = list.Add();
    EXPECT_FALSE(added.DsgnTime);
    EXPECT_TRUE(added.RunTime);
    EXPECT_EQ(added.Stage, 0u);
    EXPECT_EQ(added.Parameter, 0u);
}

TEST(ViewPaint, StretchedPictureAndColourAround) {
    TImage32 view;
    view.SetColor(kSysAppWorkSpace);
    view.Resize(8, 6);
    makeQuadPicture(view.Bitmap());
    view.SetScaleMode(smScale);
    view.SetScale(2.0f);
    view.SetBitmapAlign(baCenter); // 4 x 4 at (2, 1)
    view.Paint();
    const TBitmap32& b = view.Buffer();
    EXPECT_TRUE(AreaIs(b, {2, 1, 4, 3}, kRed));
    EXPECT_TRUE(AreaIs(b, {4, 1, 6, 3}, kGreen));
    EXPECT_TRUE(AreaIs(b, {2, 3, 4, 5}, kBlue));
    EXPECT_TRUE(AreaIs(b, {4, 3, 6, 5}, 0xFFFFFFFFu));
    const TColor32 workspace = 0xFFABABABu;
    EXPECT_TRUE(AreaIs(b, {0, 0, 8, 1}, workspace));
    EXPECT_TRUE(AreaIs(b, {0, 5, 8, 6}, workspace));
    EXPECT_TRUE(AreaIs(b, {0, 1, 2, 5}, workspace));
    EXPECT_TRUE(AreaIs(b, {6, 1, 8, 5}, workspace));
}

TEST(ViewPaint, ControlColours) {
    EXPECT_EQ(ControlColorToColor32(kSysAppWorkSpace), 0xFFABABABu);
    EXPECT_EQ(ControlColorToColor32(kSysBtnFace), 0xFFF0F0F0u);
    EXPECT_EQ(ControlColorToColor32(kSysWindow), 0xFFFFFFFFu);
    EXPECT_EQ(ControlColorToColor32(kControlBlack), 0xFF000000u);
    EXPECT_EQ(ControlColorToColor32(0x00332211u), 0xFF112233u) << "0x00BBGGRR";
}

// The clear-background stage alone, into a foreign bitmap: which pixels it fills shows whether
// it filled bands (opaque picture) or the whole destination.
class ClearBackground : public ::testing::Test {
protected:
    void SetUp() override {
        view.SetColor(kControlBlack);
        view.Resize(6, 6);
        view.PaintStages().Clear();
        view.PaintStages().Add().Stage = kStageClearBackground;
        dest.SetSize(10, 10);
        dest.Clear(kMarker);
    }
    TImage32 view;
    TBitmap32 dest;
};

TEST_F(ClearBackground, OpaquePictureFillsFourBandsOfTheControlSize) {
    view.Bitmap().SetSize(4, 4);
    view.Bitmap().SetDrawMode(dmOpaque);
    view.PaintInto(&dest, TRect{2, 2, 4, 4});
    const TColor32 black = 0xFF000000u;
    EXPECT_TRUE(AreaIs(dest, {0, 0, 6, 2}, black));
    EXPECT_TRUE(AreaIs(dest, {0, 4, 6, 6}, black));
    EXPECT_TRUE(AreaIs(dest, {0, 2, 2, 4}, black));
    EXPECT_TRUE(AreaIs(dest, {4, 2, 6, 4}, black));
    EXPECT_TRUE(AreaIs(dest, {2, 2, 4, 4}, kMarker)) << "the picture rectangle is not filled";
    EXPECT_TRUE(AreaIs(dest, {6, 0, 10, 10}, kMarker)) << "bands end at the control's width";
    EXPECT_TRUE(AreaIs(dest, {0, 6, 6, 10}, kMarker)) << "bands end at the control's height";
}

TEST_F(ClearBackground, PictureCoveringTheControlFillsNothing) {
    view.Bitmap().SetSize(4, 4);
    view.PaintInto(&dest, TRect{-1, 0, 6, 7});
    EXPECT_TRUE(AreaIs(dest, {0, 0, 10, 10}, kMarker));
}

TEST_F(ClearBackground, BlendedPictureClearsTheWholeDestination) {
    view.Bitmap().SetSize(4, 4);
    view.Bitmap().SetDrawMode(dmBlend);
    view.PaintInto(&dest, TRect{2, 2, 4, 4});
    EXPECT_TRUE(AreaIs(dest, {0, 0, 10, 10}, 0xFF000000u));
}

TEST_F(ClearBackground, EmptyPictureClearsTheWholeDestination) {
    view.PaintInto(&dest, TRect{2, 2, 4, 4});
    EXPECT_TRUE(AreaIs(dest, {0, 0, 10, 10}, 0xFF000000u));
}

TEST(ViewPaint, EmptyPictureDrawsNothing) {
    TImage32 view;
    view.PaintStages().Clear();
    view.PaintStages().Add().Stage = kStageDrawBitmap;
    view.Resize(4, 4);
    TBitmap32 dest;
    dest.SetSize(4, 4);
    dest.Clear(kMarker);
    view.PaintInto(&dest, TRect{0, 0, 4, 4});
    EXPECT_TRUE(AreaIs(dest, {0, 0, 4, 4}, kMarker));
}

TEST(ViewPaint, PaintIntoStretchesIntoTheGivenRectangle) {
    TImage32 view;
    view.Resize(50, 50);
    view.SetRepaintMode(rmOptimizer);
    view.SetBitmapAlign(baCenter);
    makeQuadPicture(view.Bitmap());
    const TRect ownPlace = view.CachedBitmapRect();
    view.Paint();
    TBitmap32 dest;
    dest.SetSize(10, 8);
    dest.Clear(kMarker);
    view.PaintInto(&dest, TRect{3, 2, 9, 6}); // 6 x 4: each picture pixel 3 x 2
    EXPECT_TRUE(AreaIs(dest, {3, 2, 6, 4}, kRed));
    EXPECT_TRUE(AreaIs(dest, {6, 2, 9, 4}, kGreen));
    EXPECT_TRUE(AreaIs(dest, {3, 4, 6, 6}, kBlue));
    EXPECT_TRUE(AreaIs(dest, {6, 4, 9, 6}, 0xFFFFFFFFu));
    EXPECT_EQ(view.RepaintMode(), rmOptimizer) << "the mode comes back";
    EXPECT_FALSE(view.PaintingInto());
    EXPECT_EQ(view.CachedBitmapRect(), ownPlace) << "the view's own placement comes back";
    EXPECT_FALSE(view.BufferValid()) << "switching modes invalidated the view";
}

TEST(ViewPaint, PaintIntoRunsOnlyRunTimeStagesAndCustomStagesGetTheDestination) {
    TImage32 view;
    view.Resize(4, 4);
    view.PaintStages().Clear();
    TPaintStage& designOnly = view.PaintStages().Add();
    designOnly.Stage = kStageCustom;
    designOnly.RunTime = false;
    designOnly.DsgnTime = true;
    view.PaintStages().Add().Stage = kStageCustom;
    TBitmap32 dest;
    std::vector<unsigned> seen;
    view.OnPaintStage = [&](TCustomImage32* sender, TBitmap32& buffer, unsigned stageNum) {
        EXPECT_EQ(sender, &view);
        EXPECT_EQ(&buffer, &dest);
        seen.push_back(stageNum);
    };
    view.PaintInto(&dest, TRect{0, 0, 1, 1});
    EXPECT_EQ(seen, (std::vector<unsigned>{1}));
    view.PaintInto(nullptr, TRect{0, 0, 1, 1});
    EXPECT_EQ(seen.size(), 1u);
}

TEST(ViewPaint, TiledPictureRepeatsFromTheTopLeft) {
    TImage32 view;
    view.Resize(5, 3);
    makeQuadPicture(view.Bitmap());
    view.SetBitmapAlign(baTile);
    view.Paint();
    const TBitmap32& b = view.Buffer();
    const TColor32 expectedRow0[] = {kRed, kGreen, kRed, kGreen, kRed};
    const TColor32 expectedRow1[] = {kBlue, 0xFFFFFFFFu, kBlue, 0xFFFFFFFFu, kBlue};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(b.GetPixel(x, 0), expectedRow0[x]) << x;
        EXPECT_EQ(b.GetPixel(x, 1), expectedRow1[x]) << x;
        EXPECT_EQ(b.GetPixel(x, 2), expectedRow0[x]) << x;
    }
}

// --- layers and custom stages ------------------------------------------------------------------

TEST(ViewLayers, PaintInListOrderAndOnlyWithAMatchingOption) {
    TImage32 view;
    view.Resize(6, 6);
    TCustomLayer& first = view.Layers().Add();
    TCustomLayer& second = view.Layers().Add();
    TCustomLayer& hidden = view.Layers().Add();
    hidden.SetVisible(false);
    std::vector<int> order;
    first.OnPaint = [&](TCustomLayer& sender, TBitmap32& buffer) {
        EXPECT_EQ(&sender, &first);
        EXPECT_EQ(&buffer, &view.Buffer());
        order.push_back(1);
        buffer.FillRect(0, 0, 4, 4, kRed);
    };
    second.OnPaint = [&](TCustomLayer&, TBitmap32& buffer) {
        order.push_back(2);
        buffer.FillRect(2, 2, 6, 6, kGreen);
    };
    hidden.OnPaint = [&](TCustomLayer&, TBitmap32& buffer) {
        order.push_back(3);
        buffer.FillRect(0, 0, 6, 6, kBlue);
    };
    view.Paint();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(view.Buffer().GetPixel(1, 1), kRed);
    EXPECT_EQ(view.Buffer().GetPixel(3, 3), kGreen) << "later layers paint over earlier ones";
}

TEST(ViewLayers, CustomStageAfterTheLayerStageDrawsOverTheLayers) {
    TImage32 view;
    view.Resize(6, 6);
    TCustomLayer& layer = view.Layers().Add();
    layer.OnPaint = [](TCustomLayer&, TBitmap32& buffer) { buffer.FillRect(0, 0, 6, 6, kRed); };
    TPaintStage& custom = view.PaintStages().Add();
    custom.Stage = kStageCustom;
    custom.Parameter = 7;
    unsigned stageSeen = 99;
    view.OnPaintStage = [&](TCustomImage32* sender, TBitmap32& buffer, unsigned stageNum) {
        stageSeen = stageNum;
        EXPECT_EQ(sender->PaintStages()[stageNum].Parameter, 7u);
        buffer.FillRect(2, 2, 4, 4, kBlue);
    };
    view.Paint();
    EXPECT_EQ(stageSeen, 5u);
    EXPECT_TRUE(AreaIs(view.Buffer(), {2, 2, 4, 4}, kBlue));
    EXPECT_EQ(view.Buffer().GetPixel(0, 0), kRed);
    EXPECT_EQ(view.Buffer().GetPixel(5, 5), kRed);
}

TEST(ViewLayers, UnknownStageKindsDrawNothing) {
    TImage32 view;
    view.Resize(4, 4);
    view.PaintStages().Clear();
    view.PaintStages().Add().Stage = 0;
    view.PaintStages().Add().Stage = 8;
    int calls = 0;
    view.OnPaintStage = [&](TCustomImage32*, TBitmap32&, unsigned) { ++calls; };
    view.Buffer().Clear(kMarker); // a fresh buffer after the first resize
    view.Paint();
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(AreaIs(view.Buffer(), {0, 0, 4, 4}, kMarker));
}

// --- update batching and notification ------------------------------------------------------

TEST(ViewNotification, UnpairedEndUpdateFailsTheAssertion) {
    TImage32 view;
    try {
        view.EndUpdate();
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Unpaired EndUpdate call");
    }
    view.BeginUpdate();
    EXPECT_NO_THROW(view.EndUpdate());
    EXPECT_EQ(view.UpdateCount(), 0);
    try {
        view.Layers().EndUpdate();
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Unpaired EndUpdate");
    }
}

TEST(ViewNotification, ChangesNotifyOnlyOutsideUpdateBrackets) {
    TImage32 view;
    view.Resize(10, 10);
    int changes = 0;
    int hostRepaints = 0;
    view.OnChange = [&](TCustomImage32* sender) {
        EXPECT_EQ(sender, &view);
        ++changes;
    };
    THostHooks hooks;
    hooks.Invalidate = [&] { ++hostRepaints; };
    view.SetHostHooks(hooks);
    view.Paint();

    view.Changed();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(hostRepaints, 1);
    EXPECT_FALSE(view.BufferValid());
    view.Paint();

    view.BeginUpdate();
    view.Changed();
    view.Bitmap().SetSize(3, 3);
    view.Layers().Add();
    EXPECT_EQ(changes, 1) << "nothing while the bracket is open";
    view.EndUpdate();
    EXPECT_EQ(changes, 1) << "EndUpdate does not notify";
    view.Changed();
    EXPECT_EQ(changes, 2);
}

TEST(ViewNotification, PictureChangesReachTheViewInEveryMode) {
    for (TRepaintMode mode : {rmFull, rmOptimizer, rmDirect}) {
        TImage32 view;
        view.Resize(10, 10);
        view.SetRepaintMode(mode);
        view.Bitmap().SetSize(4, 4);
        int changes = 0;
        view.OnChange = [&](TCustomImage32*) { ++changes; };
        view.Paint();
        view.Bitmap().Clear(kRed);
        EXPECT_EQ(changes, 1) << "mode " << mode;
        EXPECT_FALSE(view.BufferValid()) << "mode " << mode;
        view.Paint();
        EXPECT_EQ(view.Buffer().GetPixel(3, 3), kRed) << "mode " << mode;
        view.Bitmap().FillRect(1, 1, 2, 2, kGreen); // an area change only
        EXPECT_EQ(changes, 2) << "mode " << mode;
        view.Paint();
        EXPECT_EQ(view.Buffer().GetPixel(1, 1), kGreen) << "mode " << mode;
    }
}

TEST(ViewNotification, PictureResizeAndLayerListChanges) {
    TImage32 view;
    int resizes = 0;
    int changes = 0;
    view.OnBitmapResize = [&](TCustomImage32* sender) {
        EXPECT_EQ(sender, &view);
        ++resizes;
    };
    view.OnChange = [&](TCustomImage32*) { ++changes; };
    view.Bitmap().SetSize(5, 5);
    EXPECT_EQ(resizes, 1);
    EXPECT_TRUE(view.ForceFullRepaint());
    view.Bitmap().SetSize(5, 5);
    EXPECT_EQ(resizes, 1) << "same size: no notification";
    view.BeginUpdate();
    view.Bitmap().SetSize(6, 6);
    view.EndUpdate();
    EXPECT_EQ(resizes, 1) << "no OnBitmapResize inside a bracket";

    changes = 0;
    TCustomLayer& layer = view.Layers().Add();
    EXPECT_EQ(changes, 1) << "adding a layer";
    view.Layers().Remove(layer);
    EXPECT_EQ(changes, 2) << "removing a layer";
    EXPECT_EQ(view.Layers().Count(), 0u);
}

// In rmDirect a picture change repaints only the changed area, which must give the same pixels
// as a full repaint.
TEST(ViewNotification, DirectModeRepaintsTheChangedAreaOnly) {
    TImage32 view;
    view.Resize(40, 30);
    view.SetColor(kSysBtnFace);
    view.SetBitmapAlign(baCenter);
    view.SetScaleMode(smScale);
    view.SetScale(2.0f);
    view.Bitmap().SetSize(10, 8);
    view.Bitmap().Clear(kBlue);
    view.SetRepaintMode(rmDirect);
    int immediate = 0;
    THostHooks hooks;
    hooks.RepaintNow = [&] { ++immediate; };
    view.SetHostHooks(hooks);
    view.Paint();

    // Mark the buffer outside the expected area: a partial repaint leaves the mark alone.
    view.Buffer().SetPixel(0, 0, kMarker);
    view.Bitmap().FillRect(2, 3, 4, 5, kRed); // picture (2,3)-(4,5) = client (14,13)-(18,17)
    EXPECT_EQ(immediate, 1);
    ASSERT_EQ(view.InvalidRects().size(), 1u);
    const TRect area = view.InvalidRects()[0];
    EXPECT_LE(area.Left, 14);
    EXPECT_LE(area.Top, 13);
    EXPECT_GE(area.Right, 18);
    EXPECT_GE(area.Bottom, 17);
    view.Paint();
    EXPECT_EQ(view.Buffer().GetPixel(0, 0), kMarker);
    EXPECT_TRUE(view.InvalidRects().empty());

    TImage32 reference;
    reference.Resize(40, 30);
    reference.SetColor(kSysBtnFace);
    reference.SetBitmapAlign(baCenter);
    reference.SetScaleMode(smScale);
    reference.SetScale(2.0f);
    reference.Bitmap().Assign(&view.Bitmap());
    reference.Paint();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            if (x != 0 || y != 0) {
                ASSERT_EQ(view.Buffer().GetPixel(x, y), reference.Buffer().GetPixel(x, y))
                    << x << ", " << y;
            }
}

} // namespace
} // namespace schauplatz
