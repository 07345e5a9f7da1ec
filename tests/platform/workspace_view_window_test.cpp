// The workspace view on the real window under the offscreen platform, at the size of a
// 1366 x 768 screen: an element placed with the keyboard alone, the corner dialog, the wheel,
// the status bar, and an idle program that does not wake.

#include "QtTestApp.h"
#include "elements/PictureFiles.h"
#include "platform/CornerDialog.h"
#include "platform/IdlePump.h"
#include "platform/MainWindow.h"
#include "platform/WorkspaceStatusBar.h"
#include "raster/Drawing.h"
#include "raster/ElementRendering.h"
#include "raster/Transformation.h"
#include "testsupport/ScriptedDialogs.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace schauplatz {
namespace {

using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::testApp;

constexpr int kScreenW = 1366;
constexpr int kScreenH = 768;

TColor32 doorPixel(int x, int y) {
    return 0xFF000000u | (static_cast<TColor32>(30 + 3 * x) << 16) |
           (static_cast<TColor32>(20 + 2 * y) << 8) | 0x55u;
}

// A program folder with a default facade (JPEG) and one door in the pattern folder, so the
// window starts with both, as the shipped program does.
class WorkspaceWindow : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        const std::string muster = m_folder.path() + "Muster/";
        std::filesystem::create_directories(muster + "Fassade");
        std::filesystem::create_directories(muster + "Haustüren");
        QImage facade(1600, 1067, QImage::Format_RGB32);
        for (int y = 0; y < facade.height(); ++y)
            for (int x = 0; x < facade.width(); ++x)
                facade.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, (x + y) & 255));
        ASSERT_TRUE(facade.save(QString::fromStdString(muster + "Fassade/Fassade.jpg"), "JPG", 92));
        TBitmap32 door;
        door.SetSize(61, 121);
        for (int y = 0; y < 121; ++y)
            for (int x = 0; x < 61; ++x)
                door.SetPixel(x, y, doorPixel(x, y));
        WriteBitmapFile(door, muster + "Haustüren/door.bmp");

        m_window = std::make_unique<MainWindow>(m_folder.path());
        m_window->setDialogAnswer(ScriptedDialogs().answerer()); // every dialog cancelled
        m_window->resize(kScreenW, kScreenH);
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }
    void TearDown() override { m_window.reset(); }

    TForm_Schauplatz& form() { return m_window->form(); }
    QAbstractScrollArea* scrollBox() {
        return m_window->findChild<QAbstractScrollArea*>("ScrollBox1");
    }
    // Keys go where the keyboard focus is, as the user's would.
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier, int times = 1) {
        for (int i = 0; i < times; ++i) {
            QWidget* target = QApplication::focusWidget();
            ASSERT_NE(target, nullptr);
            QTest::keyClick(target, k, modifiers);
        }
    }

    TempFolder m_folder;
    std::unique_ptr<MainWindow> m_window;
};

// The background as it must come out: the facade with the door drawn through the quad onto a
// clear workspace and its non-zero pixels copied over, with the raster core alone.
TBitmap32 referenceBackground(const TBitmap32& facade, const TBitmap32& door,
                              const std::array<QuadPoint, 4>& q) {
    TBitmap32 workspace;
    workspace.SetSize(facade.Width(), facade.Height());
    workspace.Clear(0);
    TBitmap32 source;
    source.Assign(&door);
    source.SetDrawMode(dmBlend);
    source.SetResamplerClassName("TNearestResampler");
    TProjectiveTransformation T;
    SetupElementTransformation(T,
                               TElementQuad{TPoint{q[0].X, q[0].Y}, TPoint{q[1].X, q[1].Y},
                                            TPoint{q[2].X, q[2].Y}, TPoint{q[3].X, q[3].Y}},
                               door);
    DrawTransformed(&workspace, &source, &T);
    TBitmap32 result;
    result.Assign(&facade);
    for (int y = 0; y < facade.Height(); ++y)
        for (int x = 0; x < facade.Width(); ++x)
            if (workspace.GetPixel(x, y) != 0) result.SetPixel(x, y, workspace.GetPixel(x, y));
    return result;
}

TEST_F(WorkspaceWindow, AnElementIsPlacedWithTheKeyboardAlone) {
    // Started with the picture shown whole and the keyboard at the workspace.
    ASSERT_EQ(form().ImageHintergrund.Bitmap().Width(), 1600);
    EXPECT_TRUE(form().WorkspaceScreen.FitMode());
    EXPECT_LT(form().WorkspaceScreen.Scale().Value(), 1.0);
    EXPECT_EQ(QApplication::focusWidget(), scrollBox());
    const std::array<QuadPoint, 4> start = form().Vertices;
    ASSERT_EQ(start[0], (QuadPoint{0, 0}));

    key(Qt::Key_Tab); // corner 0
    key(Qt::Key_Right, Qt::ShiftModifier, 3);
    key(Qt::Key_Down, Qt::ShiftModifier, 2);
    key(Qt::Key_Tab); // corner 1
    key(Qt::Key_Left, Qt::NoModifier, 5);
    key(Qt::Key_Tab); // corner 2
    key(Qt::Key_Up, Qt::ShiftModifier);
    key(Qt::Key_Right);
    key(Qt::Key_Tab); // corner 3
    key(Qt::Key_Down, Qt::NoModifier, 2);
    key(Qt::Key_Tab); // the whole quad
    key(Qt::Key_Right, Qt::ShiftModifier, 40);
    key(Qt::Key_Down, Qt::ShiftModifier, 30);
    key(Qt::Key_Left, Qt::NoModifier, 3);
    key(Qt::Key_Backtab); // back to corner 3
    key(Qt::Key_Up);
    EXPECT_EQ(form().QuadSelection(), 3);
    // The focus stayed, the view did not scroll.
    EXPECT_EQ(QApplication::focusWidget(), scrollBox());
    EXPECT_EQ(form().WorkspaceScreen.ScrollPosition(), (TPoint{0, 0}));

    const int dx = 400 - 3, dy = 300;
    const std::array<QuadPoint, 4> want{
        QuadPoint{start[0].X + 30 + dx, start[0].Y + 20 + dy},
        QuadPoint{start[1].X - 5 + dx, start[1].Y + dy},
        QuadPoint{start[2].X + 1 + dx, start[2].Y - 10 + dy},
        QuadPoint{start[3].X + dx, start[3].Y + 2 - 1 + dy},
    };
    EXPECT_EQ(form().Vertices, want);
    const TBitmap32 expected =
        referenceBackground(form().ImageFassade.Bitmap(), form().ImageSelectedDoor.Bitmap(), want);

    key(Qt::Key_U, Qt::ControlModifier); // "Element übernehmen"
    ASSERT_EQ(form().ProjectData.size(), 2u);
    EXPECT_EQ(form().QuadSelection(), -1);
    const TBitmap32& background = form().ImageHintergrund.Bitmap();
    ASSERT_EQ(background.Width(), expected.Width());
    long differing = 0;
    for (int y = 0; y < background.Height(); ++y)
        for (int x = 0; x < background.Width(); ++x)
            differing += background.GetPixel(x, y) != expected.GetPixel(x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);
    // The door really is in the picture, where the quad put it.
    EXPECT_EQ(background.GetPixel(want[0].X + 5, want[0].Y + 40) & 0xFFu, 0x55u);

    // The status bar names the scale and the corners.
    auto* status = m_window->findChild<WorkspaceStatusBar*>("StatusBar1");
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->scaleText().startsWith("Ansicht "));
    EXPECT_TRUE(status->cornersText().startsWith("Ecken   0: "));
}

// A double click on a placed element takes up the element under the picture pixel at the
// pointer, whatever the scale; Escape then cancels the edit, and with nothing to cancel it
// gives up the selection of a corner.
TEST_F(WorkspaceWindow, ADoubleClickAtAScaleTakesUpTheElementUnderItAndEscapeCancels) {
    TWorkspaceScreen& screen = form().WorkspaceScreen;
    ASSERT_LT(screen.Scale().Value(), 0.8);
    const auto place = [&](const std::array<QuadPoint, 4>& quad) {
        form().Vertices = quad;
        form().RenderElement();
        key(Qt::Key_U, Qt::ControlModifier);
    };
    const std::array<QuadPoint, 4> wanted{QuadPoint{800, 300}, QuadPoint{1000, 300},
                                          QuadPoint{1000, 700}, QuadPoint{800, 700}};
    place(wanted);
    // Where the screen position would lie if it were taken as a picture position.
    const TPoint at = screen.ToScreen(TPoint{900, 500});
    place({QuadPoint{at.X - 60, at.Y - 60}, QuadPoint{at.X + 60, at.Y - 60},
           QuadPoint{at.X + 60, at.Y + 60}, QuadPoint{at.X - 60, at.Y + 60}});
    ASSERT_EQ(form().Composition().Elements().size(), 2u);

    QWidget* viewport = scrollBox()->viewport();
    const auto send = [&](QEvent::Type type, Qt::MouseButtons buttons, Qt::MouseButton button) {
        const QPointF p(at.X, at.Y);
        QMouseEvent event(type, p, viewport->mapToGlobal(p), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(form().Editing());
    EXPECT_EQ(form().Vertices, wanted);
    EXPECT_EQ(form().QuadSelection(), 4) << "the click selected the whole element";

    key(Qt::Key_Tab);
    key(Qt::Key_Right, Qt::ShiftModifier);
    ASSERT_EQ(form().Vertices[0], (QuadPoint{810, 300}));
    key(Qt::Key_Escape); // "Bearbeitung abbrechen": the element goes back unchanged
    EXPECT_FALSE(form().Editing());
    EXPECT_EQ(form().Composition().Elements().size(), 2u);
    EXPECT_EQ(form().Composition().Elements()[0].Quad, wanted);
    EXPECT_EQ(form().QuadSelection(), -1);

    // Nothing to cancel: Escape gives up the selected corner and changes nothing else.
    key(Qt::Key_Tab);
    ASSERT_EQ(form().QuadSelection(), 0);
    const std::array<QuadPoint, 4> offered = form().Vertices;
    key(Qt::Key_Escape);
    EXPECT_EQ(form().QuadSelection(), -1);
    EXPECT_EQ(form().Vertices, offered);
    EXPECT_EQ(form().Composition().Elements().size(), 2u);
    EXPECT_EQ(QApplication::focusWidget(), scrollBox());
}

TEST_F(WorkspaceWindow, TheCornerDialogTakesEightValuesInOrder) {
    const std::array<QuadPoint, 4> before = form().Vertices;
    static constexpr int kTyped[8] = {100, 110, 300, 120, 290, 400, 90, 380};
    bool checked = false;
    const auto fill = [&](bool accept) {
        auto* dialog = qobject_cast<CornerDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        ASSERT_TRUE(testing::waitUntil([&] {
            return QApplication::focusWidget() && QApplication::focusWidget()->window() == dialog;
        }));
        // A failed expectation must not leave the dialog waiting for a user.
        struct CloseOnFailure {
            CornerDialog* dialog;
            ~CloseOnFailure() {
                if (dialog->isVisible()) dialog->reject();
            }
        } guard{dialog};
        // The focus starts in x0 with its value selected; Tab runs x0, y0, x1, ..., y3.
        for (int i = 0; i < 8; ++i) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            ASSERT_TRUE(focus == dialog->field(i) || focus->parent() == dialog->field(i))
                << i << " " << focus->metaObject()->className() << " "
                << focus->objectName().toStdString();
            QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(focus, QString::number(kTyped[i]));
            if (i < 7) QTest::keyClick(focus, Qt::Key_Tab);
        }
        checked = true;
        QTest::keyClick(QApplication::focusWidget(), accept ? Qt::Key_Return : Qt::Key_Escape);
    };
    QTimer::singleShot(0, [&] { fill(false); });
    QTest::keyClick(scrollBox(), Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(checked);
    EXPECT_EQ(form().Vertices, before); // Escape: nothing changed

    checked = false;
    QApplication::setActiveWindow(m_window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    QTimer::singleShot(0, [&] { fill(true); });
    QTest::keyClick(scrollBox(), Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(checked);
    EXPECT_EQ(form().Vertices, (std::array<QuadPoint, 4>{QuadPoint{100, 110}, QuadPoint{300, 120},
                                                         QuadPoint{290, 400}, QuadPoint{90, 380}}));
    // Rendered at once: the element lies under its new quad.
    EXPECT_NE(form().WorkingPlaceImage.Bitmap().GetPixel(200, 250), 0u);
    EXPECT_EQ(form().WorkingPlaceImage.Bitmap().GetPixel(50, 250), 0u);
}

TEST_F(WorkspaceWindow, WheelScrollsAndCtrlWheelZoomsAtThePointer) {
    TWorkspaceScreen& screen = form().WorkspaceScreen;
    QWidget* viewport = m_window->component(FormComponent::WorkingPlaceImage);
    const auto wheel = [&](QPoint at, int delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(at), viewport->mapToGlobal(QPointF(at)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    };
    const QPoint at(60, 40); // near the top left: the scroll limits leave room at every step
    const TPoint under = screen.ToPicture(at.x(), at.y());
    wheel(at, 120, Qt::ControlModifier);
    EXPECT_FALSE(screen.FitMode());
    EXPECT_EQ(screen.Scale(), TViewScale::Percent(67)); // from the fitted 61.75 %
    const TPoint after = screen.ToPicture(at.x(), at.y());
    EXPECT_LE(std::abs(after.X - under.X), 1);
    // (Where the picture still fits the height, it stays at the top instead.)
    if (screen.ContentSize().Y > screen.Height()) {
        EXPECT_LE(std::abs(after.Y - under.Y), 1);
    }
    wheel(at, 240, Qt::ControlModifier);
    EXPECT_EQ(screen.Scale(), TViewScale::Percent(150));
    // The plain wheel scrolls the view down, the arrow keys do not scroll it.
    const int y = scrollBox()->verticalScrollBar()->value();
    wheel(at, -120, Qt::NoModifier);
    EXPECT_GT(scrollBox()->verticalScrollBar()->value(), y);
    EXPECT_EQ(screen.ScrollPosition().Y, scrollBox()->verticalScrollBar()->value());
    const TPoint scroll = screen.ScrollPosition();
    QTest::keyClick(scrollBox(), Qt::Key_Down);
    QTest::keyClick(scrollBox(), Qt::Key_Right);
    EXPECT_EQ(screen.ScrollPosition(), scroll);
}

TEST_F(WorkspaceWindow, WithTheFrameHiddenTheIdleProgramDoesNotWake) {
    IdlePump& pump = m_window->idlePump();
    ASSERT_TRUE(testing::waitUntil([&] { return pump.passes() >= 4; }));
    EXPECT_FALSE(pump.resting());
    QTest::keyClick(scrollBox(), Qt::Key_R, Qt::ControlModifier); // frame off
    testing::spinEventLoop(50);
    EXPECT_TRUE(pump.resting());
    const long passes = pump.passes();
    testing::spinEventLoop(200);
    EXPECT_EQ(pump.passes(), passes);
    // The frame back: the dashes march again.
    QTest::keyClick(scrollBox(), Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(testing::waitUntil([&] { return pump.passes() > passes; }));
    EXPECT_FALSE(pump.resting());
}

} // namespace
} // namespace schauplatz
