// Schauplatz: start-up and shutdown.
//
// Order: the log's start (its "Startup:" line is the first thing written),
// fatal-signal reports, the application, the main window created, shown
// maximized and run; after the loop the window is destroyed first, and the
// log's end writes "Stop" as the last line.

#include "platform/MainWindow.h"
#include "platform/SchauplatzApplication.h"
#include "platform/SignalBridge.h"
#include "support/CrashReport.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <memory>

int main(int argc, char* argv[]) {
    using namespace schauplatz;
    // The handlers only write into a pipe, so a termination request that
    // arrives before the window exists waits until the loop runs.
    SignalBridge::installHandlers();
    LogUnitStart();
    InstallFatalSignalReport();

    int result = 0;
    {
        SchauplatzApplication app(argc, argv);
        auto window = std::make_unique<MainWindow>(ProgramFolder());
        SignalBridge termination([&window](int) {
            if (window) window->closeAtSessionEnd();
        });
        window->showMaximized();
        result = SchauplatzApplication::exec();
        window.reset();
    }
    LogUnitEnd();
    return result;
}
