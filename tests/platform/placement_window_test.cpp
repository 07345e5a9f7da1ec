// The placement on the real window under the offscreen platform: a corner dragged with mouse
// events, a large JPEG facade, and the clipboard read back as another program would.

#include "QtTestApp.h"
#include "elements/PictureFiles.h"
#include "platform/MainWindow.h"
#include "testsupport/ScriptedDialogs.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace schauplatz {
namespace {

using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::testApp;

TColor32 doorPixel(int x, int y) {
    return 0xFF000000u | (static_cast<TColor32>(40 + x) << 16) |
           (static_cast<TColor32>(60 + y) << 8) | 0x33u;
}

class PlacementWindow : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        m_window = std::make_unique<MainWindow>(m_folder.path());
        m_window->setDialogAnswer(m_dialogs.answerer());
    }
    void TearDown() override { m_window.reset(); }

    std::string writeBmp(const std::string& name, int w, int h, TColor32 (*pixel)(int, int)) {
        TBitmap32 picture;
        picture.SetSize(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.SetPixel(x, y, pixel(x, y));
        const std::string path = m_folder.path() + name;
        WriteBitmapFile(picture, path);
        return path;
    }
    void trigger(const char* item) {
        QAction* action = m_window->action(item);
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }
    QWidget* workspaceWidget() { return m_window->component(FormComponent::WorkingPlaceImage); }
    void send(QEvent::Type type, QPoint at, Qt::MouseButtons buttons, Qt::MouseButton button) {
        QWidget* widget = workspaceWidget();
        QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }

    TempFolder m_folder;
    std::unique_ptr<MainWindow> m_window;
    ScriptedDialogs m_dialogs;
};

TEST_F(PlacementWindow, DraggingACornerMovesTheRenderedElement) {
    m_dialogs.inTurn({writeBmp("facade.bmp", 600, 400, [](int, int) { return 0xFF202020u; }),
                      writeBmp("door.bmp", 61, 81, doorPixel)});
    trigger("FassadeLaden1");
    m_window->form().BildvomElementladen1Click(); // the element picture's context menu
    m_window->resize(1100, 800);
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    TForm_Schauplatz& form = m_window->form();
    // The mode off and on again puts the new element at its default place.
    trigger("NeuesElementpositionieren1");
    trigger("NeuesElementpositionieren1");
    // The one-fifth rule: RX = 10, RY = 5, so S = 1: the quad is 60 x 80 at the top left.
    ASSERT_EQ(form.Vertices[2], (QuadPoint{60, 80}));

    const QPoint corner(60, 80);
    const QPoint target(160, 230);
    send(QEvent::MouseButtonPress, corner, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(form.ActiveVertex, 2);
    for (int step = 1; step <= 5; ++step)
        send(QEvent::MouseMove, corner + (target - corner) * step / 5, Qt::LeftButton,
             Qt::NoButton);
    send(QEvent::MouseButtonRelease, target, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form.ActiveVertex, -1);
    EXPECT_EQ(form.Vertices[2], (QuadPoint{160, 230}));
    EXPECT_EQ(form.Vertices[0], (QuadPoint{0, 0}));

    // The element now reaches down to the dragged corner: the pixel just inside it shows
    // the door's bottom right area, where nothing was drawn before.
    const TBitmap32& ws = form.WorkingPlaceImage.Bitmap();
    EXPECT_NE(ws.GetPixel(150, 215), 0u);
    EXPECT_EQ(ws.GetPixel(100, 300), 0u);
    const QImage screen = workspaceWidget()->grab().toImage();
    const QRgb shown = screen.pixel(150, 215);
    const TColor32 drawn = ws.GetPixel(150, 215);
    EXPECT_EQ(qRed(shown), static_cast<int>((drawn >> 16) & 0xFF));
    EXPECT_EQ(qGreen(shown), static_cast<int>((drawn >> 8) & 0xFF));
    EXPECT_EQ(qBlue(shown), static_cast<int>(drawn & 0xFF));
    // Beside the element the facade shows.
    EXPECT_EQ(screen.pixel(400, 300) & 0xFFFFFFu, 0x202020u);
    // Beyond the picture the view's colour.
    EXPECT_EQ(screen.pixel(610, 300) & 0xFFFFFFu, 0xABABABu);
}

TEST_F(PlacementWindow, LargeJpegFacadeIsFittedAndStartsTheRecordList) {
    QImage photo(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < 3000; ++y) {
        auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < 4000; ++x)
            row[x] = qRgb(x / 16, y / 12, 128);
    }
    const std::string path = m_folder.path() + "photo.jpg";
    ASSERT_TRUE(photo.save(QString::fromStdString(path), "JPG", 90));
    m_window->resize(1100, 800);
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    m_dialogs.inTurn({path});
    trigger("FassadeLaden1");
    TForm_Schauplatz& form = m_window->form();
    EXPECT_EQ(form.ImageHintergrund.Bitmap().Width(), 1441);
    EXPECT_EQ(form.ImageHintergrund.Bitmap().Height(), 1081);
    EXPECT_EQ(form.WorkingPlaceImage.Bitmap().Width(), 1441);
    EXPECT_EQ(form.WorkingPlaceImage.Bitmap().Height(), 1081);
    EXPECT_EQ(form.ProjectData, std::vector<std::string>{path});
    EXPECT_EQ(form.Zoom, 1.0f);
    // Too large for the window: shown whole, without scroll bars.
    auto* scroll = m_window->findChild<QAbstractScrollArea*>("ScrollBox1");
    ASSERT_NE(scroll, nullptr);
    EXPECT_TRUE(form.WorkspaceScreen.FitMode());
    EXPECT_LT(form.WorkspaceScreen.Scale().Value(), 1.0);
    EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0);
    // At 1:1 the scroll box scrolls over the whole workspace.
    trigger("Originalgre1");
    EXPECT_EQ(scroll->horizontalScrollBar()->maximum() + form.WorkspaceScreen.Width(), 1441);
    EXPECT_EQ(scroll->verticalScrollBar()->maximum() + form.WorkspaceScreen.Height(), 1081);
}

TEST_F(PlacementWindow, ClipboardHoldsTheBackgroundsColourChannels) {
    m_dialogs.inTurn({writeBmp("facade.bmp", 64, 48, [](int x, int y) {
        // Some pixels transparent: the clipboard carries colour only.
        const TColor32 alpha = (x + y) % 5 == 0 ? 0x00000000u : 0xFF000000u;
        return alpha | (static_cast<TColor32>(x * 4) << 16) | (static_cast<TColor32>(y * 5) << 8) |
               static_cast<TColor32>((x * y) & 0xFF);
    })});
    trigger("FassadeLaden1");
    trigger("InZwischenablagekopieren1");
    const QImage pasted = QApplication::clipboard()->image();
    const TBitmap32& background = m_window->form().ImageHintergrund.Bitmap();
    ASSERT_EQ(pasted.width(), 64);
    ASSERT_EQ(pasted.height(), 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb p = pasted.pixel(x, y);
            const TColor32 c = background.GetPixel(x, y);
            ASSERT_EQ(qAlpha(p), 255) << x << ", " << y;
            ASSERT_EQ(static_cast<TColor32>(p & 0xFFFFFFu), c & 0xFFFFFFu) << x << ", " << y;
        }
}

} // namespace
} // namespace schauplatz
