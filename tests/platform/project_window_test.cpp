// The project commands on the real window: closing it during a save waits for the save, a
// long save shows a progress bar, and a failed "Projekt speichern als.." reaches the error
// dialog.

#include "QtTestApp.h"
#include "platform/ErrorDialog.h"
#include "platform/MainWindow.h"
#include "support/FileSystem.h"
#include "testsupport/ForwardingFileSystem.h"
#include "testsupport/ScriptedDialogs.h"

#include <QAction>
#include <QProgressDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace schauplatz {
namespace {

using testing::ScriptedDialogs;
using testing::TempFolder;
using testing::testApp;

class ProjectWindow : public ::testing::Test {
protected:
    void SetUp() override {
        testApp();
        project = m_work.path() + "Projekt mit Ü.vbk";
        window = std::make_unique<MainWindow>(m_programFolder.path());
        window->setDialogAnswer(
            ScriptedDialogs().forTitle("Projekt speichern", project).answerer());
        window->show();
    }
    void TearDown() override {
        window.reset();
        ErrorDialog::setPresenter({});
    }

    TempFolder m_programFolder;
    TempFolder m_work;
    std::string project;
    std::unique_ptr<MainWindow> window;
};

TEST_F(ProjectWindow, ClosingDuringASaveWaitsForItAndALongSaveShowsItsProgress) {
    std::atomic<bool> released{false};
    window->form().ZipArchive1.SetWorkerHook([&released] {
        while (!released.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    bool closeTried = false, stayedOpen = false, progressSeen = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!window->form().ProjectBusy()) return;
        if (!closeTried) {
            closeTried = true;
            window->close();
            stayedOpen = window->isVisible();
        }
        const auto* progress = window->findChild<QProgressDialog*>("ProjectProgress");
        if (progress && progress->isVisible()) progressSeen = true;
        // Held until the bar is up; a bar that never comes fails below instead of hanging.
        if (progressSeen || clock.elapsed() > 30000) released.store(true);
    });
    QString report;
    ErrorDialog::setPresenter([&report](ErrorDialog& dialog) { report = dialog.reportText(); });
    poll.start();
    window->action("Projektspeichern1")->trigger();
    EXPECT_TRUE(report.isEmpty()) << report.toStdString();
    EXPECT_EQ(window->form().ProjectFile, project);
    poll.stop();

    EXPECT_TRUE(closeTried) << "the window handled timers while the archive was written";
    EXPECT_TRUE(stayedOpen) << "the close waited for the save";
    EXPECT_TRUE(progressSeen);
    EXPECT_TRUE(std::filesystem::exists(project));
    const auto* progress = window->findChild<QProgressDialog*>("ProjectProgress");
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(testing::waitUntil([&] { return !window->isVisible(); }))
        << "the window closes once the save has ended";
}

// As at a termination signal: the close cancels the load, which leaves the open project as
// it was, and the window then closes.
TEST_F(ProjectWindow, ClosingDuringALoadCancelsItAndThenCloses) {
    window->action("Projektspeichern1")->trigger();
    ASSERT_TRUE(std::filesystem::exists(project));
    window->action("NeuesProjekt1")->trigger();
    ASSERT_EQ(window->form().ProjectFile, "Neues Projekt.vbk");
    window->setDialogAnswer(ScriptedDialogs().forTitle("Projekt laden", project).answerer());
    std::atomic<bool> closeTried{false};
    window->form().ZipArchive1.SetWorkerHook([&closeTried] {
        while (!closeTried.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!window->form().ProjectBusy() || closeTried.load()) return;
        window->close();
        closeTried.store(true);
    });
    poll.start();
    window->action("Projektladen1")->trigger();
    poll.stop();
    window->form().ZipArchive1.SetWorkerHook({});
    EXPECT_TRUE(closeTried.load());
    EXPECT_EQ(window->form().ProjectFile, "Neues Projekt.vbk") << "the load was cancelled";
    EXPECT_TRUE(testing::waitUntil([&] { return !window->isVisible(); }))
        << "the window closes once the load has ended";
}

TEST_F(ProjectWindow, AFailedSaveUnderANewNameReachesTheErrorDialog) {
    // Writing the record file fails.
    class RecordFileFails : public testing::ForwardingFileSystem {
    public:
        std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) override {
            if (path.find("data.dat") != std::string::npos)
                throw FileSystemError("open", path, EACCES);
            return m_inner.openForWrite(path, append);
        }
    } faults;
    QString report;
    ErrorDialog::setPresenter([&report](ErrorDialog& dialog) { report = dialog.reportText(); });
    {
        ScopedFileSystemOverride override(faults);
        window->action("Projektspeichernals1")->trigger();
    }
    EXPECT_TRUE(report.contains("data.dat")) << report.toStdString();
    EXPECT_FALSE(std::filesystem::exists(project));
    EXPECT_FALSE(window->form().ProjectBusy());
}

} // namespace
} // namespace schauplatz
