#include "platform/SchauplatzApplication.h"

#include "platform/GuardedCall.h"
#include "platform/Translations.h"

namespace schauplatz {

SchauplatzApplication::SchauplatzApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Schauplatz");
    // No display name: Qt would append it to every window title, and the window manager
    // would show "… [Neues Projekt.vbk] — Velora Bildkomposition 2021" instead of the caption.
    setDesktopFileName("de.velora.Schauplatz");
    setApplicationVersion(SCHAUPLATZ_VERSION);
    installGermanTranslations(*this);
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
