// The caption the window manager shows: the built program on a real X server (the display of
// DISPLAY, e.g. under xvfb-run, or an Xvfb of the test's own), its top-level window's
// _NET_WM_NAME and WM_NAME read with xprop. Skipped without an X server and the X tools.

#include "QtTestApp.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

const QString kCaption = "Velora Bildkomposition 2021 [Neues Projekt.vbk]";

QString run(const QString& program, const QStringList& arguments, const QString& display) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// An X server for the test: the one in DISPLAY, or a private Xvfb.
class XServer {
public:
    XServer() {
        const QString given = qEnvironmentVariable("DISPLAY");
        if (!given.isEmpty()) {
            m_display = given;
            return;
        }
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) return;
        // -displayfd 1: Xvfb picks a free display and writes its number to standard output.
        m_server.start(xvfb,
                       {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        if (!m_server.waitForStarted(5000)) return;
        QByteArray number;
        while (!number.contains('\n') && m_server.waitForReadyRead(10000))
            number += m_server.readAllStandardOutput();
        if (number.trimmed().isEmpty()) return;
        m_display = ":" + QString::fromLatin1(number.trimmed());
    }
    ~XServer() {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            m_server.waitForFinished(5000);
        }
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    const QString& display() const { return m_display; }

private:
    QProcess m_server;
    QString m_display;
};

TEST(X11Caption, TheWindowManagerSeesExactlyTheCaption) {
    testing::testApp();
    const fs::path built = fs::path(SCHAUPLATZ_PROGRAM_DIR) / "Schauplatz";
    if (!fs::exists(built)) GTEST_SKIP() << "the program is not built";
    const QString xprop = QStandardPaths::findExecutable("xprop");
    const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
    if (xprop.isEmpty() || xwininfo.isEmpty()) GTEST_SKIP() << "xprop or xwininfo missing";
    XServer server;
    if (server.display().isEmpty()) GTEST_SKIP() << "no X server (DISPLAY unset, no Xvfb)";

    TempFolder folder;
    const fs::path program = fs::path(folder.path()) / "Schauplatz";
    fs::copy_file(built, program);
    QProcess window;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", server.display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(folder.path() + "config"));
    env.insert("XDG_STATE_HOME", QString::fromStdString(folder.path() + "state"));
    window.setProcessEnvironment(env);
    window.setProcessChannelMode(QProcess::ForwardedChannels);
    window.start(QString::fromStdString(program.string()), {});
    ASSERT_TRUE(window.waitForStarted(10000));

    // The top-level windows with their names; ours is the one named "Velora ...".
    const QRegularExpression ours(R"re(^\s*(0x[0-9a-f]+) "(Velora Bildkomposition[^"]*)")re");
    QString id;
    QString listed;
    ASSERT_TRUE(testing::waitUntil(
        [&] {
            const QString tree = run(xwininfo, {"-root", "-tree"}, server.display());
            for (const QString& line : tree.split('\n')) {
                const auto match = ours.match(line);
                if (match.hasMatch() && window.state() == QProcess::Running) {
                    id = match.captured(1);
                    listed = match.captured(2);
                }
            }
            return !id.isEmpty() && listed.contains('[');
        },
        30000))
        << "no window of the program appeared on " << server.display().toStdString();

    const QString properties = run(xprop, {"-id", id, "_NET_WM_NAME", "WM_NAME"}, server.display());
    EXPECT_TRUE(properties.contains("_NET_WM_NAME(UTF8_STRING) = \"" + kCaption + "\"\n"))
        << properties.toStdString();
    const QRegularExpression wmName(R"re(\bWM_NAME\([A-Z_0-9]+\) = "([^"]*)")re");
    const auto name = wmName.match(properties);
    ASSERT_TRUE(name.hasMatch()) << properties.toStdString();
    EXPECT_EQ(name.captured(1), kCaption);

    ::kill(static_cast<pid_t>(window.processId()), SIGTERM);
    EXPECT_TRUE(window.waitForFinished(20000));
    EXPECT_EQ(window.exitCode(), 0);
}

} // namespace
} // namespace schauplatz
