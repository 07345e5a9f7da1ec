// The window in its desktop: German dialogs, the "&Hilfe" pages, the places kept between
// runs, the project named at start and a project dropped on the window.

#include "QtTestApp.h"
#include "platform/HelpWindow.h"
#include "platform/MainWindow.h"
#include "platform/Settings.h"
#include "testsupport/ScriptedDialogs.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::testApp;

const std::string kSampleProject = SCHAUPLATZ_TEST_DATA "/project/sample-project.vbk";

std::vector<QString> textsOf(const QList<QPushButton*>& buttons) {
    std::vector<QString> texts;
    for (const QPushButton* button : buttons)
        texts.push_back(button->text());
    return texts;
}

bool hasText(const std::vector<QString>& texts, const QString& wanted) {
    return std::find(texts.begin(), texts.end(), wanted) != texts.end();
}

TEST(GermanDialogs, QtsFileDialogSpeaksGerman) {
    testApp();
    TempFolder folder;
    for (const bool save : {false, true}) {
        QFileDialog dialog(nullptr, "Projekt laden", QString::fromStdString(folder.path()),
                           "Bildkomposition (*.vbk)");
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.show();
        const auto buttons = textsOf(dialog.findChildren<QPushButton*>());
        EXPECT_TRUE(hasText(buttons, save ? "S&peichern" : "&Öffnen")) << save;
        EXPECT_TRUE(hasText(buttons, "Abbrechen")) << save;
        EXPECT_FALSE(hasText(buttons, "Cancel")) << save;
        std::vector<QString> labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            labels.push_back(label->text());
        EXPECT_TRUE(hasText(labels, "Suchen in:")) << save;
        EXPECT_TRUE(hasText(labels, "Datei&name:")) << save;
        EXPECT_TRUE(hasText(labels, "Dateien des Typs:")) << save;
        dialog.close();
    }
    QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text(), "&Ja");
    EXPECT_EQ(box.button(QDialogButtonBox::No)->text(), "&Nein");
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
    EXPECT_EQ(QKeySequence("Ctrl+Alt+S").toString(QKeySequence::NativeText), "Strg+Alt+S");
}

// A window over an empty program folder whose dialogs answer by script and record titles.
class DesktopWindow : public ::testing::Test {
protected:
    void SetUp() override { testApp(); }
    void TearDown() override { m_window.reset(); }

    std::string settingsFile() const { return m_home.path() + "config/schauplatz/schauplatz.conf"; }
    MainWindow& open() {
        m_window.reset();
        m_window = std::make_unique<MainWindow>(m_programFolder.path(),
                                                std::make_unique<Settings>(settingsFile()));
        m_window->setDialogAnswer(m_dialogs.answerer());
        m_window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        return *m_window;
    }
    std::string pictureFolder(const std::string& name) {
        const std::string path = m_home.path() + name + "/";
        fs::create_directories(path);
        QImage picture(20, 40, QImage::Format_RGB32);
        picture.fill(QColor(200, 30, 30));
        EXPECT_TRUE(picture.save(QString::fromStdString(path + "Tür rot.png")));
        return path;
    }
    void drop(const std::vector<std::string>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls << QUrl::fromLocalFile(QString::fromStdString(path));
        data.setUrls(urls);
        const QPointF at(400, 300);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(m_window.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(m_window.get(), &dropped);
    }

    TempFolder m_programFolder;
    TempFolder m_home;
    std::unique_ptr<MainWindow> m_window;
    ScriptedDialogs m_dialogs;
};

TEST_F(DesktopWindow, ThePatternFolderChosenReturnsAtTheNextStart) {
    const std::string doors = pictureFolder("Meine Türen");
    m_dialogs.forTitle("Verzeichnis auswählen", doors);
    open().action("Muster1")->trigger();
    EXPECT_EQ(m_window->form().PatternFolder, doors);

    MainWindow& next = open();
    EXPECT_EQ(next.form().PatternFolder, doors);
    ASSERT_EQ(next.form().ElementListBox1.Count(), 1u);
    EXPECT_EQ(next.form().ElementFile, doors + "Tür rot.png");

    // Gone by the start after: the designed folder again.
    fs::remove_all(doors);
    EXPECT_EQ(open().form().PatternFolder, m_programFolder.path() + "Muster/Haustüren/");
}

TEST_F(DesktopWindow, WithoutSettingsTheDesignedPlacesHold) {
    MainWindow& window = open();
    EXPECT_EQ(window.form().PatternFolder, m_programFolder.path() + "Muster/Haustüren/");
    EXPECT_FALSE(fs::exists(settingsFile()));
    // Nonsense in the file changes nothing either.
    fs::create_directories(fs::path(settingsFile()).parent_path());
    std::ofstream(settingsFile()) << "musterverzeichnis=../../etc\n\xFF\xFE=\n";
    EXPECT_EQ(open().form().PatternFolder, m_programFolder.path() + "Muster/Haustüren/");
}

TEST_F(DesktopWindow, EachDialogKindRemembersWhereItWasConfirmed) {
    const std::string projects = m_home.path() + "Projekte/";
    const std::string pictures = pictureFolder("Bilder");
    fs::create_directories(projects);
    fs::copy_file(kSampleProject, projects + "Beispiel.vbk");
    m_dialogs.forTitle("Projekt laden", projects + "Beispiel.vbk");
    m_dialogs.forTitle("Bild Laden", pictures + "Tür rot.png");
    m_dialogs.forTitle("Bild speichern", pictures + "Ergebnis.bmp");
    MainWindow& window = open();
    window.action("Projektladen1")->trigger();
    EXPECT_EQ(window.form().ProjectFile, projects + "Beispiel.vbk");
    window.action("FassadeLaden1")->trigger();
    window.action("Bildspeichern1")->trigger();
    EXPECT_TRUE(fs::exists(pictures + "Ergebnis.bmp"));
    // The picture save dialog has a German title of its own.
    EXPECT_EQ(m_dialogs.titles(),
              (std::vector<std::string>{"Projekt laden", "Bild Laden", "Bild speichern"}));

    Settings kept(settingsFile());
    EXPECT_EQ(kept.folder(DialogKind::ProjectOpen), projects);
    EXPECT_EQ(kept.folder(DialogKind::PictureOpen), pictures);
    EXPECT_EQ(kept.folder(DialogKind::PictureSave), pictures);
    EXPECT_EQ(kept.value(DialogKind::ProjectSave), std::nullopt);
    // A cancelled dialog keeps what was there.
    m_dialogs.forget();
    window.action("Projektladen1")->trigger();
    EXPECT_EQ(Settings(settingsFile()).folder(DialogKind::ProjectOpen), projects);
}

TEST_F(DesktopWindow, HelpAndAboutOpenInWindowsOfTheirOwn) {
    MainWindow& window = open();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F1);
    HelpWindow* help = window.helpWindow("Bedienung");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    EXPECT_EQ(help->windowTitle(), "Bedienung");
    const QString text = help->findChild<QTextBrowser*>("HelpText")->toPlainText();
    EXPECT_TRUE(text.contains("Strg+U")) << text.toStdString();
    EXPECT_TRUE(text.contains("Element übernehmen")) << text.toStdString();
    EXPECT_TRUE(text.contains("Protokoll")) << text.toStdString();
    EXPECT_EQ(help->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->text(),
              "Schließen");
    // Asked again, the same window comes back.
    help->close();
    window.action("Bedienung1")->trigger();
    EXPECT_EQ(window.helpWindow("Bedienung"), help);
    EXPECT_TRUE(help->isVisible());

    window.action("berVeloraBildkomposition1")->trigger();
    HelpWindow* about = window.helpWindow("Über Velora Bildkomposition");
    ASSERT_NE(about, nullptr);
    const QString aboutText = about->findChild<QTextBrowser*>("HelpText")->toPlainText();
    EXPECT_TRUE(aboutText.contains("Version " SCHAUPLATZ_VERSION)) << aboutText.toStdString();
    EXPECT_TRUE(aboutText.contains(QString("Qt ") + qVersion())) << aboutText.toStdString();
    for (const char* library : {"libjpeg", "libpng", "zlib", "libzip", "FreeType", "Fontconfig"})
        EXPECT_TRUE(aboutText.contains(library)) << library;
}

TEST(HelpWindowPage, EscapesEveryText) {
    HelpPage page;
    page.title = "T";
    page.sections.push_back({"<b>Kopf</b>", {"a < b & c"}, {{"<i>", "x"}}});
    const QString html = HelpWindow::pageHtml(page);
    EXPECT_TRUE(html.contains("&lt;b&gt;Kopf&lt;/b&gt;"));
    EXPECT_TRUE(html.contains("a &lt; b &amp; c"));
    EXPECT_FALSE(html.contains("<i>"));
}

TEST_F(DesktopWindow, TheStartProjectIsLoaded) {
    MainWindow& window = open();
    window.openProjectAtStart(kSampleProject);
    EXPECT_EQ(window.form().ProjectFile, kSampleProject);
    EXPECT_EQ(window.windowTitle().toStdString(),
              "Velora Bildkomposition 2021 [" + kSampleProject + "]");
    EXPECT_GE(window.form().ProjectData.size(), 2u);
}

TEST_F(DesktopWindow, ADroppedProjectIsLoadedAndADroppedPictureBecomesTheElement) {
    MainWindow& window = open();
    drop({kSampleProject});
    EXPECT_EQ(window.form().ProjectFile, kSampleProject);
    const std::vector<std::string> records = window.form().ProjectData;
    EXPECT_GE(records.size(), 2u);

    const std::string picture = pictureFolder("Abgelegt") + "Tür rot.png";
    drop({picture});
    EXPECT_EQ(window.form().ElementFile, picture);
    EXPECT_EQ(window.form().ProjectFile, kSampleProject);
    EXPECT_EQ(window.form().ProjectData, records);
}

} // namespace
} // namespace schauplatz
