#pragma once

// SIGTERM, SIGINT and SIGHUP close the main window as the user would, so the
// window is destroyed and the log still ends with "Stop". A second such
// signal ends the process at once.
//
// The handler only writes the signal number into a pipe (async-signal-safe);
// a socket notifier reads it inside the event loop. The handlers can be
// installed before the application object exists: a signal that arrives
// early waits in the pipe until the loop runs.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace schauplatz {

class SignalBridge : public QObject {
    Q_OBJECT
public:
    // Installs the handlers once per process (idempotent); no Qt needed.
    static void installHandlers();
    // Restores the default actions (tests).
    static void uninstallHandlers();

    // Listens to the pipe; onSignal runs on the event loop per signal.
    explicit SignalBridge(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~SignalBridge() override;

private:
    void readPipe();

    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace schauplatz
