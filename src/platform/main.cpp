// Schauplatz: start-up and shutdown.
//
// Order: the command line's options (--help and --version end here, before anything is
// written), the log's start (its "Startup:" line is the first thing written), fatal-signal
// reports, the application, the main window created, shown maximized, work a crash left
// behind offered for restoring, the project named on the command line loaded, and run; after the
// loop the window is destroyed first, and the log's end writes "Stop" as the last line.

#include "platform/CommandLine.h"
#include "platform/MainWindow.h"
#include "platform/SchauplatzApplication.h"
#include "platform/Settings.h"
#include "platform/SignalBridge.h"
#include "project/TRecoveryStore.h"
#include "support/CrashReport.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> argumentsOf(int argc, char* argv[]) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace schauplatz;
    const CommandLineOptions options = ScanOptions(argumentsOf(argc, argv));
    switch (options.action) {
    case CommandLineOptions::Action::ShowHelp:
        std::cout << UsageText();
        return 0;
    case CommandLineOptions::Action::ShowVersion:
        std::cout << VersionText();
        return 0;
    case CommandLineOptions::Action::Fail:
        std::cerr << options.error << '\n';
        return kCommandLineErrorStatus;
    case CommandLineOptions::Action::Start:
        break;
    }

    // The handlers only write into a pipe, so a termination request that
    // arrives before the window exists waits until the loop runs.
    SignalBridge::installHandlers();
    LogUnitStart();
    InstallFatalSignalReport();

    int result = 0;
    {
        SchauplatzApplication app(argc, argv);
        // Qt has taken its own options out of argv by now.
        const StartFiles start = ChooseStartFiles(argumentsOf(argc, argv));
        for (const std::string& note : start.notes)
            std::cerr << note << '\n';
        auto window = std::make_unique<MainWindow>(
            ProgramFolder(), std::make_unique<Settings>(Settings::userSettingsFile()));
        SignalBridge termination([&window](int) {
            if (window) window->closeAtSessionEnd();
        });
        window->showMaximized();
        window->offerRecovery(DefaultRecoveryFolder());
        if (!start.project.empty()) window->openProjectAtStart(start.project);
        // A termination signal during the start (the recovery question, the start project) may
        // have closed the window before the loop runs; the loop would then never end.
        if (window->isVisible()) result = SchauplatzApplication::exec();
        window.reset();
    }
    LogUnitEnd();
    return result;
}
