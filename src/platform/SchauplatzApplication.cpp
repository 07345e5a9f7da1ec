#include "platform/SchauplatzApplication.h"

#include "platform/GuardedCall.h"

namespace schauplatz {

SchauplatzApplication::SchauplatzApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Schauplatz");
    setApplicationDisplayName("Velora Bildkomposition 2021");
    setDesktopFileName("de.velora.Schauplatz");
    setApplicationVersion(SCHAUPLATZ_VERSION);
}

bool SchauplatzApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

} // namespace schauplatz
