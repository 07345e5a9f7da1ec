// Re-editing on the real window under the offscreen platform: a double click takes a placed
// door up, one of its corners is dragged with mouse events, Ctrl+U puts it back, and the
// background equals a replay of the changed record lines.

#include "QtTestApp.h"
#include "composition/ProjectReplay.h"
#include "elements/PictureFiles.h"
#include "platform/MainWindow.h"
#include "project/RecordFile.h"
#include "testsupport/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace schauplatz {
namespace {

using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::testApp;

class EditingOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        m_window = std::make_unique<MainWindow>(m_folder.path());
        m_window->setDialogAnswer(m_dialogs.answerer());
    }
    void TearDown() override { m_window.reset(); }

    std::string writeBmp(const std::string& name, int w, int h, std::uint32_t tint) {
        TBitmap32 picture;
        picture.SetSize(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.SetPixel(x, y, 0xFF000000u | tint | static_cast<TColor32>(x * 5 + y));
        const std::string path = m_folder.path() + name;
        WriteBitmapFile(picture, path);
        return path;
    }
    QWidget* workspace() { return m_window->component(FormComponent::WorkingPlaceImage); }
    void send(QEvent::Type type, QPoint at, Qt::MouseButtons buttons, Qt::MouseButton button) {
        QMouseEvent event(type, QPointF(at), workspace()->mapToGlobal(QPointF(at)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(workspace(), &event);
    }
    void place(const std::array<QuadPoint, 4>& quad) {
        TForm_Schauplatz& form = m_window->form();
        form.Vertices = quad;
        form.RenderElement();
        QTest::keyClick(m_window.get(), Qt::Key_U, Qt::ControlModifier);
    }

    TempFolder m_folder;
    std::unique_ptr<MainWindow> m_window;
    ScriptedDialogs m_dialogs;
};

TEST_F(EditingOnScreen, ADoubleClickedDoorIsDraggedAndPutBack) {
    m_dialogs.inTurn(
        {writeBmp("Haus.bmp", 500, 350, 0x00304000u), writeBmp("Tür.bmp", 31, 51, 0x00A00000u)});
    m_window->action("FassadeLaden1")->trigger();
    m_window->form().BildvomElementladen1Click();
    m_window->resize(1100, 800);
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    TForm_Schauplatz& form = m_window->form();
    place({QuadPoint{200, 100}, QuadPoint{260, 105}, QuadPoint{258, 220}, QuadPoint{202, 215}});
    place({QuadPoint{320, 100}, QuadPoint{380, 100}, QuadPoint{380, 220}, QuadPoint{320, 220}});
    ASSERT_EQ(form.ProjectData.size(), 3u);

    // Double click inside the first door: it becomes the element being placed.
    const QPoint inside(230, 160);
    send(QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, inside, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonDblClick, inside, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, inside, Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(form.Editing());
    EXPECT_EQ(form.Vertices[2], (QuadPoint{258, 220}));
    EXPECT_TRUE(m_window->action("Elemententfernen1")->isEnabled());

    // Drag its bottom right corner further down and to the right.
    const QPoint corner(258, 220), target(275, 240);
    send(QEvent::MouseButtonPress, corner, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(form.ActiveVertex, 2);
    for (int step = 1; step <= 4; ++step)
        send(QEvent::MouseMove, corner + (target - corner) * step / 4, Qt::LeftButton,
             Qt::NoButton);
    send(QEvent::MouseButtonRelease, target, Qt::NoButton, Qt::LeftButton);
    QTest::keyClick(m_window.get(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_FALSE(form.Editing());
    EXPECT_FALSE(m_window->action("Elemententfernen1")->isEnabled());

    ASSERT_EQ(form.ProjectData.size(), 3u);
    const TElementRecord changed = SplitElementRecord(form.ProjectData[1]);
    EXPECT_EQ(changed.X2, 275);
    EXPECT_EQ(changed.Y2, 240);
    EXPECT_EQ(SplitElementRecord(form.ProjectData[2]).X0, 320) << "the order is kept";
    const TComposition replayed = ReplayRecordLines(form.ProjectData, {});
    const TBitmap32& shown = form.ImageHintergrund.Bitmap();
    ASSERT_EQ(shown.Width(), replayed.Background().Width());
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x)
            ASSERT_EQ(shown.GetPixel(x, y), replayed.Background().GetPixel(x, y)) << x << ", " << y;
    // Ctrl+Z takes the re-edit back.
    QTest::keyClick(m_window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(SplitElementRecord(form.ProjectData[1]).X2, 258);
}

} // namespace
} // namespace schauplatz
