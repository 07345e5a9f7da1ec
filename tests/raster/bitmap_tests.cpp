#include "raster/Bitmap32.h"
#include "raster/Samplers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace schauplatz;

namespace {

// Records every notification of a bitmap in order.
struct TEventLog {
    std::vector<std::string> Events;
    std::vector<TRect> Areas;

    void Attach(TCustomBitmap32& B) {
        B.OnChange = [this](TNotifiablePersistent*) { Events.push_back("change"); };
        B.OnResize = [this](TNotifiablePersistent*) { Events.push_back("resize"); };
        B.OnAreaChanged = [this](TCustomBitmap32*, const TRect& A, std::uint32_t Info) {
            Events.push_back(Info == kAreaInfoRect ? "area" : "area?");
            Areas.push_back(A);
        };
    }
    std::size_t Count(const std::string& Name) const {
        std::size_t n = 0;
        for (const auto& e : Events)
            n += e == Name ? 1 : 0;
        return n;
    }
};

bool AllPixelsAre(const TCustomBitmap32& B, TColor32 C) {
    for (std::int32_t y = 0; y < B.Height(); ++y)
        for (std::int32_t x = 0; x < B.Width(); ++x)
            if (B.GetPixel(x, y) != C) return false;
    return true;
}

void FillPattern(TCustomBitmap32& B) {
    for (std::int32_t y = 0; y < B.Height(); ++y)
        for (std::int32_t x = 0; x < B.Width(); ++x)
            B.SetPixel(x, y, 0x80000000u | static_cast<TColor32>(y << 8 | x));
}

} // namespace

TEST(BitmapSize, SetSizeNotifiesChangeThenResizeOnlyOnRealChanges) {
    TBitmap32 b;
    TEventLog log;
    log.Attach(b);
    EXPECT_TRUE(b.SetSize(4, 3));
    EXPECT_EQ(log.Events, (std::vector<std::string>{"area", "change", "resize"}));
    EXPECT_EQ(log.Areas.back(), (TRect{0, 0, 4, 3}));
    log.Events.clear();
    EXPECT_FALSE(b.SetSize(4, 3)) << "the current size";
    EXPECT_TRUE(log.Events.empty());

    b.SetWidth(5);
    b.SetHeight(6);
    EXPECT_EQ(log.Count("resize"), 2u) << "width then height: two size changes";
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 6);
    b.MakeEmpty();
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.Bits(), nullptr);
}

TEST(BitmapSize, NegativeSizeCountsAsZero) {
    TCustomBitmap32 b;
    EXPECT_TRUE(b.SetSize(-5, 3));
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.ClipRect(), (TRect{0, 0, 0, 3}));
}

TEST(BitmapSize, FreshPixelsDependOnBackendAndClipRectIsReset) {
    TCustomBitmap32 memory;
    TBitmap32 surface;
    for (TCustomBitmap32* b :
         {static_cast<TCustomBitmap32*>(&memory), static_cast<TCustomBitmap32*>(&surface)}) {
        b->SetSize(7, 5);
        FillPattern(*b);
        b->SetClipRect(TRect{1, 1, 3, 3});
        b->SetSize(9, 4);
        EXPECT_EQ(b->ClipRect(), (TRect{0, 0, 9, 4}));
        EXPECT_FALSE(b->Clipping());
    }
    EXPECT_TRUE(AllPixelsAre(memory, 0xFF000000u)) << "memory backend fills opaque black";
    EXPECT_TRUE(AllPixelsAre(surface, 0u)) << "surface backend reads 0";
}

TEST(BitmapClear, ClearsClipRectOnlyAndSkipsEmptyBitmaps) {
    TCustomBitmap32 b;
    TEventLog log;
    log.Attach(b);
    b.Clear(0x12345678);
    EXPECT_TRUE(log.Events.empty()) << "Clear on an empty bitmap sends nothing";

    b.SetSize(6, 4);
    b.Clear(0x11111111);
    EXPECT_TRUE(AllPixelsAre(b, 0x11111111u));
    b.SetClipRect(TRect{2, 1, 4, 3});
    log.Events.clear();
    b.Clear();
    for (std::int32_t y = 0; y < 4; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(b.GetPixel(x, y),
                      (x >= 2 && x < 4 && y >= 1 && y < 3) ? 0xFF000000u : 0x11111111u)
                << x << "," << y;
    EXPECT_EQ(log.Events, (std::vector<std::string>{"area", "change"}));
}

TEST(BitmapClip, IntersectionFixedFormsAndSafeReads) {
    TBitmap32 b;
    TEventLog log;
    b.SetSize(10, 8);
    log.Attach(b);
    b.SetClipRect(TRect{-5, 2, 6, 20});
    EXPECT_EQ(b.ClipRect(), (TRect{0, 2, 6, 8}));
    EXPECT_EQ(b.FixedClipRect(), (TRect{0, 2 * 65536, 6 * 65536, 8 * 65536}));
    EXPECT_EQ(b.SubClipRect(), (TRect{0, 2 * 256, 6 * 256, 8 * 256}));
    EXPECT_TRUE(b.Clipping());
    EXPECT_TRUE(log.Events.empty()) << "no notification";

    b.SetClipRect(TRect{4, 1, 2, 5}); // crossed
    EXPECT_EQ(b.ClipRect(), (TRect{0, 0, 0, 0}));
    b.SetClipRect(TRect{3, 1, 3, 5}); // zero width stays
    EXPECT_EQ(b.ClipRect(), (TRect{3, 1, 3, 5}));

    b.SetClipRect(TRect{1, 1, 3, 3});
    b.SetOuterColor(0xDEADBEEF);
    b.SetPixel(1, 1, 0x01020304);
    EXPECT_EQ(b.GetPixelSafe(1, 1), 0x01020304u);
    EXPECT_EQ(b.GetPixelSafe(0, 1), 0xDEADBEEFu);
    EXPECT_EQ(b.GetPixelSafe(3, 2), 0xDEADBEEFu);
    EXPECT_EQ(b.GetPixelSafe(2, 3), 0xDEADBEEFu);
    b.ResetClipRect();
    EXPECT_EQ(b.ClipRect(), (TRect{0, 0, 10, 8}));
    EXPECT_FALSE(b.Clipping());
}

TEST(BitmapRects, IntersectionRule) {
    EXPECT_EQ(IntersectRect(TRect{0, 0, 5, 5}, TRect{5, 0, 9, 9}), (TRect{5, 0, 5, 5}));
    EXPECT_EQ(IntersectRect(TRect{0, 0, 5, 5}, TRect{6, 0, 9, 9}), (TRect{0, 0, 0, 0}));
    EXPECT_TRUE(IsRectEmpty(TRect{5, 0, 5, 5}));
    EXPECT_FALSE(IsRectEmpty(TRect{4, 0, 5, 1}));
}

TEST(BitmapCopy, AssignCopiesSizePixelsAndPropertiesWithOneNotification) {
    TCustomBitmap32 src;
    src.SetSize(3, 2);
    FillPattern(src);
    src.SetDrawMode(dmBlend);
    src.SetCombineMode(cmMerge);
    src.SetWrapMode(wmMirror);
    src.SetMasterAlpha(77);
    src.SetOuterColor(0x12345678);
    src.Resampler()->SetPixelAccessMode(pamWrap);

    TBitmap32 dst;
    TEventLog log;
    log.Attach(dst);
    dst.Assign(&src);
    EXPECT_EQ(log.Count("change"), 1u);
    EXPECT_EQ(log.Count("area"), 1u);
    ASSERT_EQ(dst.Width(), 3);
    ASSERT_EQ(dst.Height(), 2);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(dst.GetPixel(x, y), src.GetPixel(x, y));
    EXPECT_EQ(dst.DrawMode(), dmBlend);
    EXPECT_EQ(dst.CombineMode(), cmMerge);
    EXPECT_EQ(dst.WrapMode(), wmMirror);
    EXPECT_EQ(dst.MasterAlpha(), 77u);
    EXPECT_EQ(dst.OuterColor(), 0x12345678u);
    EXPECT_EQ(dst.ResamplerClassName(), "TNearestResampler");
    EXPECT_EQ(dst.Resampler()->PixelAccessMode(), pamWrap);
    EXPECT_EQ(dst.BlendProc(), static_cast<TBlendMasterIntoProc>(MergeMasterInto));
}

TEST(BitmapCopy, AssignFromEmptyOrNothingEmptiesButKeepsProperties) {
    TCustomBitmap32 empty;
    empty.SetDrawMode(dmTransparent);
    empty.SetOuterColor(0x00ABCDEF);
    TCustomBitmap32 dst;
    dst.SetSize(4, 4);
    dst.Assign(&empty);
    EXPECT_TRUE(dst.IsEmpty());
    EXPECT_EQ(dst.DrawMode(), dmTransparent);
    EXPECT_EQ(dst.OuterColor(), 0x00ABCDEFu);

    dst.SetSize(2, 2);
    TEventLog log;
    log.Attach(dst);
    dst.Assign(nullptr);
    EXPECT_TRUE(dst.IsEmpty());
    EXPECT_EQ(log.Count("change"), 1u);
}

TEST(BitmapCopy, CopyPixelsToTakesSizeAndPixels) {
    TCustomBitmap32 src;
    src.SetSize(5, 3);
    FillPattern(src);
    TBitmap32 dst;
    src.CopyPixelsTo(dst);
    ASSERT_EQ(dst.Width(), 5);
    EXPECT_EQ(std::memcmp(dst.Bits(), src.Bits(), 5 * 3 * 4), 0);
}

TEST(BitmapMirror, InPlaceAndIntoAnotherBitmap) {
    TCustomBitmap32 b;
    b.SetSize(5, 3);
    FillPattern(b);
    TCustomBitmap32 original;
    original.Assign(&b);

    TEventLog log;
    log.Attach(b);
    b.MirrorHorizontally();
    EXPECT_EQ(log.Count("change"), 1u);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(b.GetPixel(x, y), original.GetPixel(4 - x, y));
    b.MirrorHorizontally(&b);
    EXPECT_EQ(std::memcmp(b.Bits(), original.Bits(), 5 * 3 * 4), 0) << "twice restores";

    TBitmap32 dst;
    TEventLog dstLog;
    dstLog.Attach(dst);
    b.MirrorHorizontally(&dst);
    EXPECT_EQ(dstLog.Count("change"), 1u);
    EXPECT_EQ(std::memcmp(b.Bits(), original.Bits(), 5 * 3 * 4), 0) << "source unchanged";
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(dst.GetPixel(x, y), original.GetPixel(4 - x, y));

    // Even width: every pair swaps.
    TCustomBitmap32 even;
    even.SetSize(4, 1);
    FillPattern(even);
    even.MirrorHorizontally();
    EXPECT_EQ(even.GetPixel(0, 0), 0x80000003u);
    EXPECT_EQ(even.GetPixel(1, 0), 0x80000002u);
}

TEST(BitmapMirror, OnePixelWideKeepsPixelsAndStillSignals) {
    TCustomBitmap32 b;
    b.SetSize(1, 4);
    FillPattern(b);
    TEventLog log;
    log.Attach(b);
    b.MirrorHorizontally();
    EXPECT_EQ(log.Count("change"), 1u);
    for (std::int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(b.GetPixel(0, y), 0x80000000u | (y << 8));
}

TEST(BitmapAlpha, SetAllAlphaKeepsColoursAndIsSkippedWhileMeasuring) {
    TCustomBitmap32 b;
    b.SetSize(3, 3);
    FillPattern(b);
    b.SetAllAlpha(0x40);
    EXPECT_EQ(b.GetPixel(2, 1), 0x40000102u);
    b.SetAllAlpha();
    EXPECT_EQ(b.GetPixel(2, 1), 0xFF000102u);

    std::vector<TRect> measured;
    b.StartMeasuring(
        [&](TCustomBitmap32*, const TRect& A, std::uint32_t) { measured.push_back(A); });
    b.SetAllAlpha(0);
    EXPECT_EQ(b.GetPixel(2, 1), 0xFF000102u) << "pixels untouched while measuring";
    ASSERT_EQ(measured.size(), 1u);
    EXPECT_EQ(measured[0], (TRect{0, 0, 3, 3}));
    b.StopMeasuring();
}

TEST(BitmapNotification, UpdateCounterMeasuringAndUnpairedEndUpdate) {
    TCustomBitmap32 b;
    b.SetSize(4, 4);
    TEventLog log;
    log.Attach(b);
    b.BeginUpdate();
    b.Changed();
    b.AreaChanged(TRect{1, 1, 2, 2}, kAreaInfoLine + 2);
    EXPECT_TRUE(log.Events.empty()) << "nothing inside a bracket";
    b.EndUpdate();
    EXPECT_TRUE(log.Events.empty()) << "EndUpdate itself does not notify";
    b.AreaChanged(TRect{1, 1, 2, 2}, kAreaInfoLine + 4);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"area?", "change"}));

    try {
        b.EndUpdate();
        FAIL() << "unpaired EndUpdate must fail";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Unpaired TThreadPersistent.EndUpdate");
    }

    // Measuring: the measuring handler sees areas also inside a bracket; OnChange is silent.
    log.Events.clear();
    std::vector<std::uint32_t> infos;
    b.StartMeasuring([&](TCustomBitmap32*, const TRect&, std::uint32_t I) { infos.push_back(I); });
    EXPECT_TRUE(b.Measuring());
    b.Clear(0x01010101);
    EXPECT_TRUE(AllPixelsAre(b, 0xFF000000u)) << "measuring leaves pixels alone";
    b.BeginUpdate();
    b.AreaChanged(TRect{0, 0, 1, 1}, kAreaInfoLine + 2);
    b.EndUpdate();
    b.StopMeasuring();
    EXPECT_EQ(infos, (std::vector<std::uint32_t>{kAreaInfoRect, kAreaInfoLine + 2}));
    EXPECT_TRUE(log.Events.empty());
    b.Changed();
    EXPECT_EQ(log.Events, (std::vector<std::string>{"area", "change"})) << "handler restored";
}

TEST(BitmapNotification, SettersNotifyOnlyOnChangeAndMasterAlphaIsNotClamped) {
    TCustomBitmap32 b;
    TEventLog log;
    log.Attach(b);
    b.SetDrawMode(dmOpaque);
    b.SetCombineMode(cmBlend);
    b.SetWrapMode(wmClamp);
    b.SetMasterAlpha(255);
    EXPECT_TRUE(log.Events.empty());
    b.SetDrawMode(dmBlend);
    b.SetCombineMode(cmMerge);
    b.SetWrapMode(wmRepeat);
    b.SetMasterAlpha(300);
    EXPECT_EQ(log.Count("change"), 4u);
    EXPECT_EQ(b.MasterAlpha(), 300u);
    b.SetOuterColor(5);
    EXPECT_EQ(log.Count("change"), 4u) << "OuterColor is a plain field";
}

TEST(BitmapNotification, DestructionSendsNothing) {
    int calls = 0;
    {
        TCustomBitmap32 b;
        b.SetSize(2, 2);
        b.OnResize = [&](TNotifiablePersistent*) { ++calls; };
        b.OnChange = [&](TNotifiablePersistent*) { ++calls; };
    }
    EXPECT_EQ(calls, 0);
}

TEST(BitmapLock, LockIsReentrantAndCounted) {
    TBitmap32 b;
    b.Lock();
    b.Lock();
    EXPECT_EQ(b.LockCount(), 2);
    b.Unlock();
    EXPECT_EQ(b.LockCount(), 1);
    {
        TLockBracket bracket(b);
        EXPECT_EQ(b.LockCount(), 2);
    }
    b.Unlock();
    EXPECT_EQ(b.LockCount(), 0);
}

TEST(BitmapResampler, RegistryNamesAndChangeReports) {
    TBitmap32 b;
    TEventLog log;
    log.Attach(b);
    EXPECT_EQ(b.ResamplerClassName(), "TNearestResampler");
    TCustomResampler* before = b.Resampler();
    b.SetResamplerClassName("TNearestResampler");
    b.SetResamplerClassName("TNoSuchResampler");
    b.SetResamplerClassName("");
    EXPECT_EQ(b.Resampler(), before);
    EXPECT_TRUE(log.Events.empty());

    b.SetResampler(std::make_unique<TNearestResampler>(b));
    EXPECT_NE(b.Resampler(), before);
    EXPECT_EQ(log.Count("change"), 1u);
    b.SetResampler(nullptr);
    EXPECT_NE(b.Resampler(), nullptr) << "installing none is ignored";

    b.Resampler()->SetPixelAccessMode(pamTransparentEdge);
    EXPECT_EQ(log.Count("change"), 2u) << "resampler changes are the bitmap's";
    b.Resampler()->SetPixelAccessMode(pamTransparentEdge);
    EXPECT_EQ(log.Count("change"), 2u);

    TCustomBitmap32 other;
    EXPECT_THROW(b.SetResampler(std::make_unique<TNearestResampler>(other)), EAssertionFailed);
    ASSERT_NE(FindResamplerClass("TNearestResampler"), nullptr);
    EXPECT_EQ(FindResamplerClass("TKernelResampler"), nullptr) << "only working kinds";
}

TEST(BitmapData, RoundTripAndLayout) {
    TCustomBitmap32 b;
    b.SetSize(3, 2);
    FillPattern(b);
    const std::vector<std::uint8_t> data = b.WriteData();
    ASSERT_EQ(data.size(), 8u + 3 * 2 * 4);
    EXPECT_EQ(data[0], 3);
    EXPECT_EQ(data[4], 2);
    // Pixel (1, 0) = 0x80000001: bytes blue, green, red, alpha.
    EXPECT_EQ(data[8 + 4], 0x01);
    EXPECT_EQ(data[8 + 7], 0x80);

    TBitmap32 c;
    TEventLog log;
    log.Attach(c);
    c.ReadData(data.data(), data.size());
    EXPECT_EQ(c.Width(), 3);
    EXPECT_EQ(std::memcmp(c.Bits(), b.Bits(), 24), 0);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"area", "change", "resize", "area", "change"}));

    TCustomBitmap32 big;
    big.SetSize(1000, 667);
    EXPECT_EQ(big.WriteData().size(), 2668008u);
}

TEST(BitmapData, BadBlocksThrowAndLeaveTheBitmapAlone) {
    TCustomBitmap32 b;
    b.SetSize(2, 2);
    FillPattern(b);
    const std::vector<std::uint8_t> before = b.WriteData();

    std::vector<std::uint8_t> shortBlock = before;
    shortBlock.pop_back();
    EXPECT_THROW(b.ReadData(shortBlock.data(), shortBlock.size()), EBitmapException);
    EXPECT_THROW(b.ReadData(before.data(), 7), EBitmapException);
    EXPECT_THROW(b.ReadData(nullptr, 0), EBitmapException);
    std::vector<std::uint8_t> huge(8, 0);
    huge[0] = 0xFF;
    huge[1] = 0xFF;
    huge[2] = 0xFF;
    huge[3] = 0x7F; // width 2^31 - 1
    huge[4] = 0xFF;
    huge[5] = 0xFF;
    huge[6] = 0xFF;
    huge[7] = 0x7F;
    EXPECT_THROW(b.ReadData(huge.data(), huge.size()), EBitmapException);
    EXPECT_EQ(b.WriteData(), before);

    // A negative width counts as 0: an empty bitmap of height 3, no pixel bytes needed.
    std::vector<std::uint8_t> negative{0xFB, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0};
    b.ReadData(negative.data(), negative.size());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 3);
}

TEST(BitmapWrap, ClampRepeatMirror) {
    EXPECT_EQ(WrapClamp(-3, 0, 4), 0);
    EXPECT_EQ(WrapClamp(9, 0, 4), 4);
    EXPECT_EQ(WrapRepeat(5, 0, 4), 0);
    EXPECT_EQ(WrapRepeat(-1, 0, 4), 4);
    EXPECT_EQ(WrapRepeat(7, 2, 4), 4);
    EXPECT_EQ(WrapMirror(5, 0, 4), 4);
    EXPECT_EQ(WrapMirror(6, 0, 4), 3);
    EXPECT_EQ(WrapMirror(-1, 0, 4), 0);
    EXPECT_EQ(WrapMirror(-2, 0, 4), 1);
    EXPECT_EQ(WrapMirror(10, 0, 4), 0);

    TCustomBitmap32 b;
    b.SetSize(3, 1);
    FillPattern(b);
    b.SetWrapMode(wmRepeat);
    EXPECT_EQ(b.GetPixelW(4, 0), 0x80000001u);
    b.SetWrapMode(wmMirror);
    EXPECT_EQ(b.GetPixelW(4, 0), 0x80000001u);
    EXPECT_EQ(b.GetPixelW(3, 0), 0x80000002u);
}

namespace {
TBitmap32 MakeStripes() {
    TBitmap32 b;
    b.SetSize(3, 2);
    FillPattern(b);
    b.SetDrawMode(dmBlend);
    return b;
}
} // namespace

TEST(BitmapMove, MoveHandsOverPixelsPropertiesAndResampler) {
    TBitmap32 moved = MakeStripes();
    ASSERT_EQ(moved.Width(), 3);
    EXPECT_EQ(moved.GetPixel(2, 1), 0x80000102u);
    EXPECT_EQ(moved.DrawMode(), dmBlend);
    ASSERT_NE(moved.Resampler(), nullptr);
    EXPECT_EQ(&moved.Resampler()->Bitmap(), &moved) << "the back reference follows the move";

    TBitmap32 target;
    target.SetSize(5, 5);
    TEventLog log;
    log.Attach(target);
    TBitmap32 source = std::move(moved);
    EXPECT_TRUE(moved.IsEmpty()) << "the moved-from bitmap is empty and usable";
    EXPECT_EQ(&moved.Resampler()->Bitmap(), &moved);
    moved.SetSize(2, 2);
    EXPECT_EQ(moved.GetPixel(1, 1), 0u) << "with a fresh surface backend";

    target = std::move(source);
    EXPECT_EQ(target.Width(), 3);
    EXPECT_EQ(target.GetPixel(1, 0), 0x80000001u);
    EXPECT_EQ(&target.Resampler()->Bitmap(), &target);
    EXPECT_EQ(&source.Resampler()->Bitmap(), &source);
    EXPECT_TRUE(log.Events.empty()) << "moves do not notify";
    target.Changed();
    EXPECT_EQ(log.Count("change"), 1u) << "the watcher's handlers stay with their object";
}
