// The built program's command line as a user types it: --version and --help without a
// display, an unknown option, a project file loaded at start (also by a second instance
// beside a first), and arguments that are no project file named on standard error.

#include "QtTestApp.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

const fs::path kBuiltProgram = fs::path(SCHAUPLATZ_PROGRAM_DIR) / "Schauplatz";
const std::string kSampleProject = SCHAUPLATZ_TEST_DATA "/project/sample-project.vbk";

std::string logText(const fs::path& folder) {
    std::string all;
    std::error_code error;
    if (!fs::is_directory(folder, error)) return all;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        all += text.str();
    }
    return all;
}

class ProgramCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        testing::testApp();
        if (!fs::exists(kBuiltProgram)) GTEST_SKIP() << "the program is not built";
        m_program = fs::path(m_folder.path()) / "Schauplatz";
        fs::copy_file(kBuiltProgram, m_program);
    }
    // The environment of a user without a display: nothing of the test's own.
    QProcessEnvironment bareEnvironment(bool offscreen) const {
        QProcessEnvironment env;
        env.insert("PATH", "/usr/bin:/bin");
        env.insert("HOME", QString::fromStdString(m_folder.path()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_folder.path() + "config"));
        if (offscreen) env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    void start(QProcess& process, const QStringList& arguments) {
        process.setProcessEnvironment(bareEnvironment(true));
        process.start(QString::fromStdString(m_program.string()), arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    // Waits until the log holds part, then ends the program as the session would.
    void waitForLogAndStop(QProcess& process, const std::string& part) {
        ASSERT_TRUE(testing::waitUntil(
            [&] { return logText(logFolder()).find(part) != std::string::npos; }, 30000))
            << logText(logFolder());
        testing::spinEventLoop(200);
        ASSERT_EQ(process.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 0);
    }
    fs::path logFolder() const { return fs::path(m_folder.path()) / "log"; }

    TempFolder m_folder;
    fs::path m_program;
};

TEST_F(ProgramCommandLine, VersionAndHelpNeedNoDisplayAndWriteNoLog) {
    for (const char* option : {"--version", "--help", "-h"}) {
        QProcess process;
        process.setProcessEnvironment(bareEnvironment(false));
        process.start(QString::fromStdString(m_program.string()), {option});
        ASSERT_TRUE(process.waitForFinished(10000)) << option;
        EXPECT_EQ(process.exitCode(), 0) << option;
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        if (std::string(option) == "--version")
            EXPECT_EQ(out, "Velora Bildkomposition 2021 (Schauplatz) " SCHAUPLATZ_VERSION "\n");
        else
            EXPECT_TRUE(out.startsWith("Aufruf: schauplatz [PROJEKT.vbk]\n")) << option;
    }
    EXPECT_FALSE(fs::exists(logFolder()));
}

TEST_F(ProgramCommandLine, AnUnknownOptionEndsWithStatusTwo) {
    QProcess process;
    process.setProcessEnvironment(bareEnvironment(false));
    process.start(QString::fromStdString(m_program.string()), {"--oeffnen", "a.vbk"});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2);
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(errors.startsWith("schauplatz: unbekannte Option „--oeffnen“\n"))
        << errors.toStdString();
    EXPECT_FALSE(fs::exists(logFolder()));
}

TEST_F(ProgramCommandLine, AProjectFileIsLoadedAtStartAlsoBesideARunningInstance) {
    QProcess first;
    start(first, {QString::fromStdString(kSampleProject)});
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            return logText(logFolder()).find("Lade Projekt:" + kSampleProject) != std::string::npos;
        },
        30000))
        << logText(logFolder());
    // A second start with the same project is simply a second instance.
    QProcess second;
    start(second, {QString::fromStdString(kSampleProject)});
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            const std::string log = logText(logFolder());
            const std::string line = "Lade Projekt:" + kSampleProject;
            const std::size_t at = log.find(line);
            return at != std::string::npos && log.find(line, at + 1) != std::string::npos;
        },
        30000))
        << logText(logFolder());
    waitForLogAndStop(second, "Lade Projekt:");
    waitForLogAndStop(first, "Lade Projekt:");
    const std::string log = logText(logFolder());
    EXPECT_EQ(log.rfind("Stop"), log.size() - 6) << log;
}

TEST_F(ProgramCommandLine, ArgumentsThatAreNoProjectAreNamedAndTheProgramStarts) {
    const std::string picture = m_folder.path() + "Haus.jpg";
    std::ofstream(picture) << "x";
    struct Case {
        QStringList arguments;
        QString message;
    };
    const Case cases[] = {
        {{QString::fromStdString(m_folder.path())}, "ist ein Ordner, keine Projektdatei (.vbk)"},
        {{QString::fromStdString(picture)}, "ist keine Projektdatei (.vbk)"},
        {{"a.vbk", "b.vbk"}, "es kann nur eine Projektdatei geöffnet werden"},
    };
    for (const Case& c : cases) {
        fs::remove_all(logFolder());
        QProcess process;
        start(process, c.arguments);
        waitForLogAndStop(process, "Startup:");
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(errors.contains("schauplatz: ")) << errors.toStdString();
        EXPECT_TRUE(errors.contains(c.message)) << errors.toStdString();
        EXPECT_TRUE(errors.contains("das Programm beginnt mit einem neuen Projekt."));
        EXPECT_EQ(logText(logFolder()).find("Lade Projekt:"), std::string::npos);
    }
}

} // namespace
} // namespace schauplatz
