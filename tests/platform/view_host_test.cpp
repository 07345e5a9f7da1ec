// The Qt host of the layered view: what reaches the screen and what reaches the view.
#include "QtTestApp.h"
#include "platform/view/PaintBoxHost.h"
#include "raster/view/Image32.h"

#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

using testing::testApp;

std::string hex(unsigned v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", v);
    return text;
}

TEST(ViewHost, ScreenShowsExactlyTheColourChannelsOfTheBuffer) {
    testApp();
    TImage32 view;
    view.SetColor(kSysAppWorkSpace);
    view.SetBitmapAlign(baCenter);
    // Every kind of alpha: the screen must ignore it, not blend with it.
    TBitmap32& picture = view.Bitmap();
    picture.SetSize(16, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            picture.SetPixel(x, y,
                             (static_cast<TColor32>((x * 17 + y * 40) & 0xFF) << 24) |
                                 (static_cast<TColor32>(x * 16) << 16) |
                                 (static_cast<TColor32>(y * 21) << 8) |
                                 static_cast<TColor32>((x * y * 3) & 0xFF));
    picture.SetPixel(0, 0, 0x00FF8040u); // fully transparent but coloured
    PaintBoxHost host(view);
    host.resize(41, 29);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    ASSERT_EQ(view.Width(), 41);
    ASSERT_EQ(view.Height(), 29);

    const QImage shot = host.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.width(), 41);
    ASSERT_EQ(shot.height(), 29);
    ASSERT_TRUE(view.BufferValid());
    const TBitmap32& buffer = view.Buffer();
    int differing = 0;
    for (int y = 0; y < 29; ++y) {
        for (int x = 0; x < 41; ++x) {
            const unsigned screen = shot.pixel(x, y) & 0xFFFFFFu;
            const unsigned expected = buffer.GetPixel(x, y) & 0xFFFFFFu;
            if (screen != expected && differing++ < 5)
                ADD_FAILURE() << "(" << x << ", " << y << ") shows " << hex(screen)
                              << ", buffer holds " << hex(expected);
        }
    }
    EXPECT_EQ(differing, 0);
    // The picture sits at ((41 - 16) div 2, (29 - 12) div 2) = (12, 8), drawn opaque.
    EXPECT_EQ(shot.pixel(12, 8) & 0xFFFFFFu, 0xFF8040u);
    EXPECT_EQ(shot.pixel(0, 0) & 0xFFFFFFu, 0xABABABu);
}

// The window's views may be destroyed before its widget tree: the host must stop using them.
TEST(ViewHost, OutlivesItsView) {
    testApp();
    auto view = std::make_unique<TImage32>();
    int downs = 0;
    view->OnMouseDown = [&](TCustomImage32*, TMouseButton, TShiftState, int, int, TCustomLayer*) {
        ++downs;
    };
    auto host = std::make_unique<PaintBoxHost>(*view);
    host->resize(20, 20);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), host->mapToGlobal(QPointF(3, 3)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host.get(), &press);
    EXPECT_EQ(downs, 1);
    view.reset();
    QMouseEvent again(QEvent::MouseButtonPress, QPointF(3, 3), host->mapToGlobal(QPointF(3, 3)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host.get(), &again);
    host->resize(30, 30);
    (void)host->grab();
    host.reset();
    EXPECT_EQ(downs, 1);
}

// Records what arrives at the view's handlers.
class HostMouse : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        view.OnMouseDown = [this](TCustomImage32*, TMouseButton b, TShiftState s, int x, int y,
                                  TCustomLayer*) { record("down", b, s, x, y); };
        view.OnMouseMove = [this](TCustomImage32*, TShiftState s, int x, int y, TCustomLayer*) {
            record("move", -1, s, x, y);
        };
        view.OnMouseUp = [this](TCustomImage32*, TMouseButton b, TShiftState s, int x, int y,
                                TCustomLayer*) { record("up", b, s, x, y); };
        view.OnDblClick = [this](TCustomPaintBox32*) { log.push_back("dblclick"); };
        host = std::make_unique<PaintBoxHost>(view);
        host->resize(100, 80);
        host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    }

    void record(const char* what, int button, TShiftState shift, int x, int y) {
        std::string line = what;
        if (button >= 0) line += " b" + std::to_string(button);
        line += " s" + std::to_string(shift) + " " + std::to_string(x) + "," + std::to_string(y);
        log.push_back(line);
    }

    void send(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, pos, host->mapToGlobal(pos), button, buttons, modifiers);
        QApplication::sendEvent(host.get(), &event);
    }

    TImage32 view;
    std::unique_ptr<PaintBoxHost> host;
    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST_F(HostMouse, PressDragAndReleaseArriveInViewPixels) {
    send(QEvent::MouseButtonPress, {5.7, 6.2}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    send(QEvent::MouseMove, {15, 16}, Qt::NoButton, Qt::LeftButton, Qt::ControlModifier);
    // Captured by the left press: a move outside still arrives, in client pixels.
    send(QEvent::MouseMove, {-5, 120}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {20, 21}, Qt::LeftButton, Qt::NoButton, Qt::AltModifier);
    const std::string left = std::string("b") + std::to_string(mbLeft);
    EXPECT_EQ(log, (Log{"down " + left + " s" + std::to_string(ssShift | ssLeft) + " 5,6",
                        "move s" + std::to_string(ssCtrl | ssLeft) + " 15,16",
                        "move s" + std::to_string(ssLeft) + " -5,120",
                        "up " + left + " s" + std::to_string(ssAlt) + " 20,21"}));
    EXPECT_FALSE(view.MouseCaptured());
}

TEST_F(HostMouse, RightDragWithoutListenerIsNotCaptured) {
    send(QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    EXPECT_FALSE(view.MouseCaptured());
    send(QEvent::MouseMove, {30, 30}, Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseMove, {130, 30}, Qt::NoButton, Qt::RightButton); // outside: not delivered
    send(QEvent::MouseButtonRelease, {130, 30}, Qt::RightButton, Qt::NoButton);
    const std::string right = std::string("b") + std::to_string(mbRight);
    EXPECT_EQ(log, (Log{"down " + right + " s" + std::to_string(ssRight) + " 10,10",
                        "move s" + std::to_string(ssRight) + " 30,30"}));
}

TEST_F(HostMouse, DoubleClickTakesThePlaceOfTheSecondPress) {
    send(QEvent::MouseButtonPress, {7, 8}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {7, 8}, Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, {7, 8}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {7, 8}, Qt::LeftButton, Qt::NoButton);
    const std::string left = std::string("b") + std::to_string(mbLeft);
    const std::string pressed = " s" + std::to_string(ssLeft);
    EXPECT_EQ(log, (Log{"down " + left + pressed + " 7,8", "up " + left + " s0 7,8",
                        "up " + left + " s0 0,0", "dblclick",
                        "down " + left + " s" + std::to_string(ssLeft | ssDouble) + " 7,8",
                        "up " + left + " s0 7,8"}));
}

TEST_F(HostMouse, ViewChangesRepaintTheWidget) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.BufferValid(); }));
    view.Bitmap().SetSize(4, 4);
    view.Bitmap().Clear(0xFF00FF00u);
    EXPECT_FALSE(view.BufferValid());
    // The view asked the host for a repaint; the event loop paints the buffer again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.BufferValid(); }));
    EXPECT_EQ(view.Buffer().GetPixel(3, 3), 0xFF00FF00u);
    const QImage shot = host->grab().toImage();
    EXPECT_EQ(shot.pixel(3, 3) & 0xFFFFFFu, 0x00FF00u);
}

TEST_F(HostMouse, ResizesReachTheView) {
    host->resize(150, 60);
    EXPECT_EQ(view.Width(), 150);
    EXPECT_EQ(view.Height(), 60);
    EXPECT_EQ(view.Buffer().Width(), 190);
}

} // namespace
} // namespace schauplatz
