#include "QtTestApp.h"
#include "platform/DialogFilter.h"
#include "platform/SignalBridge.h"

#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace schauplatz {
namespace {

TEST(SignalBridge, ATerminationSignalReachesTheLoop) {
    testing::testApp();
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::vector<int> seen;
        {
            SignalBridge bridge([&](int received) { seen.push_back(received); });
            ASSERT_EQ(::raise(signal), 0);
            // Nothing runs inside the handler itself; the loop delivers it.
            EXPECT_TRUE(seen.empty());
            ASSERT_TRUE(testing::waitUntil([&] { return seen.size() == 1; }));
            EXPECT_EQ(seen.front(), signal);
        }
        SignalBridge::uninstallHandlers();
    }
}

TEST(SignalBridge, ASecondSignalEndsTheProcess) {
    // In a child: it must not take the test binary with it.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SignalBridge::installHandlers();
        ::raise(SIGTERM); // first: only noted in the pipe
        ::raise(SIGTERM); // second: ends the process
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exited normally with " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST(DialogFilter, ClassicFiltersBecomeQtFilters) {
    EXPECT_EQ(qtFileDialogFilter("Projekte|*.vbk"), "Projekte (*.vbk)");
    EXPECT_EQ(qtFileDialogFilter("Bilder|*.bmp;*.jpg;*.png|Alle Dateien|*.*"),
              "Bilder (*.bmp *.jpg *.png);;Alle Dateien (*.*)");
    // A description listing its own patterns keeps one usable list.
    EXPECT_EQ(qtFileDialogFilter("Bitmap (*.bmp;*.dib)|*.bmp;*.dib"), "Bitmap (*.bmp *.dib)");
    EXPECT_EQ(qtFileDialogFilter(""), "");
    EXPECT_EQ(qtFileDialogFilter("Nur Beschreibung"), "");
}

} // namespace
} // namespace schauplatz
