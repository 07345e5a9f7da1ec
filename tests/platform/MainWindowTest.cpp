#include "platform/MainWindow.h"
#include "QtTestApp.h"
#include "platform/ErrorDialog.h"
#include "platform/GuardedCall.h"
#include "platform/IdlePump.h"
#include "testsupport/ScriptedDialogs.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::testApp;

// A window over an empty program folder (no Muster/), with dialogs answered
// "cancelled" and every menu click recorded.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        m_window = std::make_unique<MainWindow>(m_programFolder.path());
        m_window->setDialogAnswer(ScriptedDialogs().answerer());
        m_window->form().OnMenuItemClick = [this](const std::string& name) {
            m_clicked.push_back(name);
        };
    }
    void TearDown() override {
        m_window.reset();
        ErrorDialog::setPresenter({});
        ErrorDialog::setSavePathAsker({});
    }

    void showAndActivate() {
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }

    TempFolder m_programFolder;
    std::unique_ptr<MainWindow> m_window;
    std::vector<std::string> m_clicked;
};

TEST_F(MainWindowTest, CaptionIsEmptyUntilShown) {
    EXPECT_EQ(m_window->windowTitle(), "");
    showAndActivate();
    EXPECT_EQ(m_window->windowTitle(), "Velora Bildkomposition 2021 [Neues Projekt.vbk]");
    EXPECT_EQ(m_window->form().Caption(), m_window->windowTitle().toStdString());
}

TEST_F(MainWindowTest, LayoutOfPanelsAndPictures) {
    m_window->resize(1113, 848);
    showAndActivate();
    QWidget* list = m_window->component(FormComponent::ElementListBox1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->width(), 193);
    EXPECT_EQ(list->x(), 3);
    auto* panel = m_window->findChild<QWidget*>("Panel1");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->width(), 178);
    EXPECT_EQ(panel->x(), 3 + 193 + 3);

    // The side panel's labels from top to bottom.
    std::vector<QLabel*> labels;
    for (QLabel* label : panel->findChildren<QLabel*>())
        labels.push_back(label);
    std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->y() < b->y(); });
    std::vector<QString> texts;
    for (QLabel* label : labels) {
        texts.push_back(label->text());
        EXPECT_EQ(label->height(), 13);
    }
    EXPECT_EQ(texts, (std::vector<QString>{"Ausgewähltes Element", "Fassade (original)", "Aktuell",
                                           "Undo", "Vorschau"}));
    int previousBottom = 0;
    for (FormComponent lower : {FormComponent::ImageFassade, FormComponent::ImageHintergrund,
                                FormComponent::ImageUndo, FormComponent::ImageCombined}) {
        QWidget* picture = m_window->component(lower);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->height(), 118);
        EXPECT_GT(picture->y(), previousBottom);
        previousBottom = picture->y() + picture->height();
    }
    // The element picture takes what is left, less its 5-pixel margins.
    QWidget* door = m_window->component(FormComponent::ImageSelectedDoor);
    EXPECT_EQ(door->width(), panel->contentsRect().width() - 2 * 5);
    EXPECT_GT(door->height(), 100);

    // The scroll box fills the rest and holds the workspace.
    auto* scroll = m_window->findChild<QAbstractScrollArea*>("ScrollBox1");
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->viewport(), m_window->component(FormComponent::WorkingPlaceImage));
    EXPECT_EQ(scroll->x(), panel->x() + panel->width());
    EXPECT_EQ(scroll->x() + scroll->width(), m_window->centralWidget()->width());

    // The two bottom panels exist and stay hidden.
    for (const char* name : {"Panel2", "Panel3"}) {
        auto* bottom = m_window->findChild<QWidget*>(name);
        ASSERT_NE(bottom, nullptr) << name;
        EXPECT_FALSE(bottom->isVisible()) << name;
    }
    EXPECT_EQ(m_window->font().pixelSize(), 11);
    EXPECT_TRUE(m_window->acceptDrops());
}

// The window builds its menus from the form's table: every menu and item of the table is in
// the menu bar, in the same order, with the caption, keys, tick, state and visibility the
// table gives (what the table itself holds, MenuTableTest checks against the user's view).
TEST_F(MainWindowTest, TheMenuBarShowsTheFormsMenuTable) {
    showAndActivate();
    const std::vector<Menu>& table = m_window->form().MainMenu1();
    const QList<QAction*> bar = m_window->menuBar()->actions();
    ASSERT_EQ(bar.size(), static_cast<qsizetype>(table.size()));
    for (std::size_t m = 0; m < table.size(); ++m) {
        const Menu& menu = table[m];
        SCOPED_TRACE(menu.name);
        QMenu* shown = m_window->menu(QString::fromStdString(menu.name));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(bar[static_cast<qsizetype>(m)], shown->menuAction());
        EXPECT_EQ(shown->menuAction()->text().toStdString(), menu.caption);
        EXPECT_EQ(shown->menuAction()->isVisible(), menu.visible);
        const QList<QAction*> lines = shown->actions();
        ASSERT_EQ(lines.size(), static_cast<qsizetype>(menu.items.size()));
        for (std::size_t i = 0; i < menu.items.size(); ++i) {
            const MenuItem& item = menu.items[i];
            const QAction* line = lines[static_cast<qsizetype>(i)];
            SCOPED_TRACE(item.caption);
            EXPECT_EQ(line->isSeparator(), item.separator);
            if (item.separator) continue;
            EXPECT_EQ(m_window->action(QString::fromStdString(item.name)), line);
            EXPECT_EQ(line->text().toStdString(), item.caption);
            QList<QKeySequence> keys;
            if (!item.shortCut.empty())
                keys.push_back(QKeySequence(QString::fromStdString(item.shortCut.text())));
            for (const ShortCut& more : item.moreShortCuts)
                keys.push_back(QKeySequence(QString::fromStdString(more.text())));
            EXPECT_EQ(line->shortcuts(), keys);
            EXPECT_EQ(line->isCheckable(), item.toggle);
            EXPECT_EQ(line->isChecked(), item.checked);
            EXPECT_EQ(line->isEnabled(), item.enabled);
        }
    }
}

TEST_F(MainWindowTest, MenuBarCaptionsAndHiddenZoom) {
    showAndActivate();
    std::vector<QString> titles;
    for (QAction* top : m_window->menuBar()->actions())
        titles.push_back(top->text());
    EXPECT_EQ(titles, (std::vector<QString>{"&Datei", "&Fassade", "&Element", "&Ansicht", "&Zoom",
                                            "&Hilfe"}));
    QMenu* zoom = m_window->menu("Zoom1");
    ASSERT_NE(zoom, nullptr);
    EXPECT_FALSE(zoom->menuAction()->isVisible());
    ASSERT_EQ(zoom->actions().size(), 3);
    EXPECT_EQ(zoom->actions()[1]->text(), "grösser");
    ASSERT_EQ(m_window->menu("Hilfe1")->actions().size(), 2);
    EXPECT_EQ(m_window->action("Bedienung1")->shortcut(), QKeySequence("F1"));
    EXPECT_EQ(m_window->action("berVeloraBildkomposition1")->text(), "Über Velora Bildkomposition");
    for (const char* visible : {"Datei1", "Fassade1", "Element1", "Ansicht1", "Hilfe1"})
        EXPECT_TRUE(m_window->menu(visible)->menuAction()->isVisible()) << visible;

    // Every item shows and takes a key of its own; the first holders of the keys that were
    // doubled keep them.
    EXPECT_EQ(m_window->action("NeuesProjekt1")->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(m_window->action("NeuesElementpositionieren1")->shortcut(),
              QKeySequence("Ctrl+Shift+N"));
    EXPECT_EQ(m_window->action("NeuesElementpositionieren1")->text(),
              "Neues Element positionieren");
    EXPECT_EQ(m_window->action("Bildspeichern1")->shortcut(), QKeySequence("Ctrl+Alt+S"));
    EXPECT_EQ(m_window->action("rspeigeln1")->shortcut(), QKeySequence("Ctrl+Alt+M"));
    EXPECT_EQ(m_window->action("Projektspeichernals1")->shortcut(), QKeySequence("Ctrl+Shift+S"));
    EXPECT_EQ(m_window->action("Vergrern1")->shortcuts(),
              (QList<QKeySequence>{QKeySequence("Ctrl++"), QKeySequence("Ctrl+=")}));
    EXPECT_EQ(m_window->action("Eckeneingeben1")->shortcut(), QKeySequence("Ctrl+K"));
    EXPECT_TRUE(m_window->action("Lupe1")->isChecked());
    // The status bar at the bottom.
    ASSERT_NE(m_window->statusBar(), nullptr);
    EXPECT_TRUE(m_window->statusBar()->isVisible());
    EXPECT_EQ(m_window->action("rspeigeln1")->text(), "Tür spiegeln");
    EXPECT_TRUE(m_window->action("Vertexanaus1")->isChecked());
    EXPECT_TRUE(m_window->action("NeuesElementpositionieren1")->isChecked());
    EXPECT_EQ(m_window->action("Projektspeichern1")->text(), "Projekt &speichern");
}

struct KeyCase {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* item;
};

TEST_F(MainWindowTest, EveryShortcutReachesItsItem) {
    showAndActivate();
    const KeyCase cases[] = {
        {Qt::Key_N, Qt::ControlModifier, "NeuesProjekt1"},
        {Qt::Key_O, Qt::ControlModifier, "Projektladen1"},
        {Qt::Key_S, Qt::ControlModifier, "Projektspeichern1"},
        {Qt::Key_C, Qt::ControlModifier, "InZwischenablagekopieren1"},
        {Qt::Key_S, Qt::ControlModifier | Qt::AltModifier, "Bildspeichern1"},
        {Qt::Key_F, Qt::ControlModifier | Qt::AltModifier, "FassadeLaden1"},
        {Qt::Key_O, Qt::ControlModifier | Qt::AltModifier, "Muster1"},
        {Qt::Key_U, Qt::ControlModifier, "Elementbernehmen1"},
        {Qt::Key_Z, Qt::ControlModifier, "Schrittzurck1"},
        // The mode twice, so it ends on (each switch-on turns the frame on too).
        {Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, "NeuesElementpositionieren1"},
        {Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, "NeuesElementpositionieren1"},
        {Qt::Key_R, Qt::ControlModifier, "Vertexanaus1"},
        // The keys that were doubled and the new ones.
        {Qt::Key_M, Qt::ControlModifier | Qt::AltModifier, "rspeigeln1"},
        {Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier, "Projektspeichernals1"},
        {Qt::Key_0, Qt::ControlModifier, "GanzesBild1"},
        {Qt::Key_1, Qt::ControlModifier, "Originalgre1"},
        {Qt::Key_Plus, Qt::ControlModifier, "Vergrern1"},
        {Qt::Key_Equal, Qt::ControlModifier, "Vergrern1"},
        {Qt::Key_Minus, Qt::ControlModifier, "Verkleinern1"},
        {Qt::Key_F1, Qt::NoModifier, "Bedienung1"},
    };
    for (const KeyCase& c : cases) {
        m_clicked.clear();
        QTest::keyClick(m_window.get(), c.key, c.modifiers);
        EXPECT_EQ(m_clicked, std::vector<std::string>{c.item})
            << QKeySequence(c.key | c.modifiers).toString().toStdString();
    }
    // Ctrl+N never touched the new-element mode; Ctrl+R flipped the frame.
    EXPECT_TRUE(m_window->form().Item("NeuesElementpositionieren1").checked);
    EXPECT_FALSE(m_window->form().ShowFrame);
    EXPECT_FALSE(m_window->action("Vertexanaus1")->isChecked());

    m_clicked.clear();
    QTest::keyClick(m_window.get(), Qt::Key_Q, Qt::ControlModifier);
    QTest::keyClick(m_window.get(), Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(m_clicked.empty());
}

TEST_F(MainWindowTest, MouseClicksOnToggleKeepActionAndFormInStep) {
    showAndActivate();
    QAction* mode = m_window->action("NeuesElementpositionieren1");
    mode->trigger();
    EXPECT_EQ(m_clicked, std::vector<std::string>{"NeuesElementpositionieren1"});
    EXPECT_FALSE(m_window->form().Item("NeuesElementpositionieren1").checked);
    EXPECT_FALSE(mode->isChecked());
    mode->trigger();
    EXPECT_TRUE(m_window->form().Item("NeuesElementpositionieren1").checked);
    EXPECT_TRUE(mode->isChecked());
    // Items are reached by mouse too.
    m_window->action("rspeigeln1")->trigger();
    EXPECT_EQ(m_clicked.back(), "rspeigeln1");
    // The context menus run their items too.
    auto* popup = m_window->findChild<QMenu*>("PopupMenuFassade");
    ASSERT_NE(popup, nullptr);
    popup->actions().front()->trigger();
    EXPECT_EQ(m_clicked.back(), "FassadeLaden2");
}

TEST_F(MainWindowTest, AnErrorInAMenuHandlerReachesTheDialogAndTheProgramGoesOn) {
    showAndActivate();
    TempFolder reports;
    const QString savePath = QString::fromStdString(reports.path() + "bericht.txt");
    int shown = 0;
    QString report;
    QString copied;
    bool saved = false;
    ErrorDialog::setSavePathAsker([&](QWidget*) { return savePath; });
    ErrorDialog::setPresenter([&](ErrorDialog& dialog) {
        ++shown;
        report = dialog.reportText();
        QApplication::clipboard()->clear();
        dialog.copyButton()->click();
        copied = QApplication::clipboard()->text();
        dialog.saveButton()->click();
        QFile file(savePath);
        saved = file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()) == report;
    });
    m_window->form().OnMenuItemClick = [this](const std::string& name) {
        m_clicked.push_back(name);
        if (name == "Vertexanaus1") throw std::runtime_error("Testfehler im Menü");
    };

    const int before = reportedErrorCount();
    QTest::keyClick(m_window.get(), Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(shown, 1);
    EXPECT_EQ(reportedErrorCount(), before + 1);
    EXPECT_TRUE(report.contains("Meldung: Testfehler im Menü")) << report.toStdString();
    EXPECT_TRUE(report.contains("Fehlerart: std::runtime_error")) << report.toStdString();
    EXPECT_TRUE(report.contains("Programmversion: " SCHAUPLATZ_VERSION));
    EXPECT_TRUE(report.contains("Prozess: " + QString::number(QCoreApplication::applicationPid())));
    EXPECT_TRUE(report.contains("System: "));
    EXPECT_TRUE(report.contains("Prozessor: "));
    const qsizetype stackAt = report.indexOf("Aufrufliste:\n");
    ASSERT_GE(stackAt, 0);
    EXPECT_TRUE(report.mid(stackAt).contains("#0")) << report.toStdString();
    EXPECT_EQ(copied, report);
    EXPECT_TRUE(saved);

    // The loop goes on: further keys reach their items, the idle handler runs.
    m_clicked.clear();
    QTest::keyClick(m_window.get(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(m_clicked, std::vector<std::string>{"Elementbernehmen1"});
    const long passes = m_window->idlePump().passes();
    ASSERT_TRUE(testing::waitUntil([&] { return m_window->idlePump().passes() > passes; }, 5000));
    EXPECT_EQ(shown, 1);
}

TEST_F(MainWindowTest, AFailingReportSaveSaysSoInTheDialog) {
    CrashReport crash;
    crash.message = "x";
    ErrorDialog dialog(crash);
    EXPECT_FALSE(dialog.saveReport("/nonexistent-folder/bericht.txt"));
    EXPECT_TRUE(dialog.findChild<QPlainTextEdit*>("ErrorReport")
                    ->toPlainText()
                    .contains("konnte nicht gespeichert werden"));
}

// An object whose event handler throws, outside every guarded call.
class ThrowingObject : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw std::logic_error("Fehler im Ereignis");
        return QObject::event(event);
    }
};

TEST_F(MainWindowTest, TheApplicationCatchesWhatNoGuardWrapped) {
    QString report;
    ErrorDialog::setPresenter([&](ErrorDialog& dialog) { report = dialog.reportText(); });
    ThrowingObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    ASSERT_TRUE(testing::waitUntil([&] { return !report.isEmpty(); }, 5000));
    EXPECT_TRUE(report.contains("Fehler im Ereignis"));
    EXPECT_TRUE(report.contains("std::logic_error"));
}

TEST_F(MainWindowTest, IdleRunsPacedAndNotInsideCommands) {
    showAndActivate();
    IdlePump& pump = m_window->idlePump();
    ASSERT_TRUE(pump.active());
    const float counter = m_window->form().StippleCounter;
    ASSERT_TRUE(testing::waitUntil([&] { return pump.passes() >= 3; }, 5000));
    EXPECT_LT(m_window->form().StippleCounter, counter);

    // Never more than one pass per frame on average: a busy loop would run thousands. (The
    // passes come in groups, one group per wake.)
    QElapsedTimer clock;
    const long start = pump.passes();
    clock.start();
    testing::spinEventLoop(200);
    const long ran = pump.passes() - start;
    EXPECT_LE(ran, clock.elapsed() / pump.frameInterval() + 2 * pump.passesPerWake());

    // Events processed inside a command do not run the idle handler.
    long inside = -1;
    runGuarded([&] {
        const long at = pump.passes();
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 100)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        inside = pump.passes() - at;
    });
    EXPECT_EQ(inside, 0);
}

TEST_F(MainWindowTest, ErrorsInMouseAndIdleHandlersReachTheDialogToo) {
    showAndActivate();
    std::vector<QString> reports;
    ErrorDialog::setPresenter([&](ErrorDialog& dialog) { reports.push_back(dialog.reportText()); });

    // A double click on the facade picture runs the form's handler.
    m_window->form().ImageFassade.OnDblClick = [](TCustomPaintBox32*) {
        throw std::runtime_error("Fehler beim Doppelklick");
    };
    QWidget* facade = m_window->component(FormComponent::ImageFassade);
    QTest::mouseDClick(facade, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].contains("Fehler beim Doppelklick"));

    // An idle handler that fails keeps being paced and reported; the loop goes on.
    int calls = 0;
    IdlePump failing([&] {
        ++calls;
        throw std::out_of_range("Fehler im Leerlauf");
    });
    failing.start();
    ASSERT_TRUE(testing::waitUntil([&] { return calls >= 2; }));
    failing.stop();
    ASSERT_GE(reports.size(), 3u);
    EXPECT_TRUE(reports[1].contains("Fehler im Leerlauf"));
    EXPECT_TRUE(reports[1].contains("std::out_of_range"));
}

TEST_F(MainWindowTest, StartsWithoutMusterFolder) {
    // The fixture's program folder is empty: start-up completed all the same.
    showAndActivate();
    EXPECT_EQ(m_window->form().PatternFolder, m_programFolder.path() + "Muster/Haustüren/");
    EXPECT_TRUE(m_window->form().ProjectData.empty());
    EXPECT_EQ(m_window->form().BuiltinPictureData().width, 1000);
    EXPECT_EQ(m_window->form().BuiltinPictureData().height, 667);
}

} // namespace
} // namespace schauplatz
