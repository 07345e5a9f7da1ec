// Runs the built program as a user would: from a program folder, under the
// offscreen platform, ended by SIGTERM; and the same from an installed prefix.

#include "QtTestApp.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

const fs::path kBuiltProgram = fs::path(SCHAUPLATZ_PROGRAM_DIR) / "Schauplatz";

std::vector<std::string> logLines(const fs::path& logFolder) {
    std::vector<std::string> lines;
    std::error_code error;
    if (!fs::is_directory(logFolder, error)) return lines;
    for (const auto& entry : fs::directory_iterator(logFolder)) {
        if (entry.path().extension() != ".log") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        std::size_t start = 0;
        while (start < all.size()) {
            const std::size_t end = all.find("\r\n", start);
            if (end == std::string::npos) {
                lines.push_back(all.substr(start) + "<no CR LF>");
                break;
            }
            lines.push_back(all.substr(start, end - start));
            start = end + 2;
        }
    }
    return lines;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Starts the program, waits for its start-up line, sends SIGTERM and checks
// that it ends normally with "Startup:" first and "Stop" last in its log.
void runAndTerminate(const QString& command, const fs::path& programFile,
                     const fs::path& logFolder) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command, {});
    ASSERT_TRUE(process.waitForStarted(10000)) << command.toStdString();

    auto startedLogged = [&] {
        const auto lines = logLines(logFolder);
        return !lines.empty() && contains(lines.front(), "Startup:");
    };
    ASSERT_TRUE(testing::waitUntil([&] { return startedLogged(); }, 20000));
    // Let the window come up and the loop run before asking it to close.
    testing::spinEventLoop(300);
    ASSERT_EQ(process.state(), QProcess::Running) << "ended before it was asked to";
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGTERM), 0);
    ASSERT_TRUE(process.waitForFinished(20000)) << "did not end after SIGTERM";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);

    const auto lines = logLines(logFolder);
    ASSERT_EQ(lines.size(), 2u) << "log: " << ::testing::PrintToString(lines);
    const std::string startup =
        "Startup:" + fs::canonical(programFile).string() + "  Version:" SCHAUPLATZ_VERSION;
    EXPECT_TRUE(lines.front().ends_with(startup)) << lines.front();
    EXPECT_TRUE(lines.back().ends_with(": Stop")) << lines.back();
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override {
        testing::testApp();
        if (!fs::exists(kBuiltProgram)) GTEST_SKIP() << "the program is not built";
    }
};

TEST_F(ProgramRun, StartsAndStopsInOrderFromAProgramFolder) {
    TempFolder folder;
    const fs::path program = fs::path(folder.path()) / "Schauplatz";
    fs::copy_file(kBuiltProgram, program);
    const fs::path muster = fs::path(SCHAUPLATZ_PROGRAM_DIR) / "Muster";
    if (fs::exists(muster))
        fs::copy(muster, fs::path(folder.path()) / "Muster", fs::copy_options::recursive);
    runAndTerminate(QString::fromStdString(program.string()), program,
                    fs::path(folder.path()) / "log");
}

TEST_F(ProgramRun, StartsWithoutMusterFolder) {
    TempFolder folder;
    const fs::path program = fs::path(folder.path()) / "Schauplatz";
    fs::copy_file(kBuiltProgram, program);
    runAndTerminate(QString::fromStdString(program.string()), program,
                    fs::path(folder.path()) / "log");
}

class InstalledProgram : public ProgramRun {
protected:
    void SetUp() override {
        ProgramRun::SetUp();
        if (IsSkipped()) return;
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(SCHAUPLATZ_CMAKE_COMMAND, {"--install", SCHAUPLATZ_BUILD_DIR, "--prefix",
                                                 QString::fromStdString(m_prefix.path())});
        ASSERT_TRUE(install.waitForFinished(120000));
        ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
    }
    fs::path prefix() const { return m_prefix.path(); }

    TempFolder m_prefix;
};

TEST_F(InstalledProgram, GivesAProgramFolderThatStarts) {
    const fs::path folder = prefix() / "lib/schauplatz";
    EXPECT_TRUE(fs::exists(folder / "Schauplatz"));
    if (fs::exists(fs::path(SCHAUPLATZ_PROGRAM_DIR) / "Muster")) {
        EXPECT_TRUE(fs::is_directory(folder / "Muster"));
    }
    const fs::path launcher = prefix() / "bin/schauplatz";
    ASSERT_TRUE(fs::exists(launcher));
    EXPECT_NE(fs::status(launcher).permissions() & fs::perms::owner_exec, fs::perms::none);
    for (const char* file : {"share/applications/de.velora.Schauplatz.desktop",
                             "share/metainfo/de.velora.Schauplatz.metainfo.xml",
                             "share/icons/hicolor/scalable/apps/de.velora.Schauplatz.svg",
                             "share/mime/packages/de.velora.Schauplatz.xml"})
        EXPECT_TRUE(fs::exists(prefix() / file)) << file;
    runAndTerminate(QString::fromStdString(launcher.string()), folder / "Schauplatz",
                    folder / "log");
}

TEST_F(InstalledProgram, DesktopEntryValidates) {
    const QString tool = QStandardPaths::findExecutable("desktop-file-validate");
    if (tool.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(tool,
                {QString::fromStdString(
                    (prefix() / "share/applications/de.velora.Schauplatz.desktop").string())});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
}

TEST_F(InstalledProgram, MetainfoValidates) {
    const QString tool = QStandardPaths::findExecutable("appstreamcli");
    if (tool.isEmpty()) GTEST_SKIP() << "appstreamcli is not installed";
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(tool,
                {"validate", "--no-net", "--pedantic",
                 QString::fromStdString(
                     (prefix() / "share/metainfo/de.velora.Schauplatz.metainfo.xml").string())});
    ASSERT_TRUE(check.waitForFinished(60000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAll().toStdString();
}

} // namespace
} // namespace schauplatz
