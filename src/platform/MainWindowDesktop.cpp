// The main window's part in the desktop around it: the project named on the command line
// and the windows of the "&Hilfe" menu.

#include "platform/GuardedCall.h"
#include "platform/HelpWindow.h"
#include "platform/MainWindow.h"

namespace schauplatz {

void MainWindow::openProjectAtStart(const std::string& path) {
    runGuarded([this, &path] { m_form->OpenStartProject(path); });
}

void MainWindow::offerRecovery(const std::string& folder) {
    runGuarded([this, &folder] {
        m_form->EnableRecovery(folder);
        m_form->OfferRecovery();
    });
}

HelpWindow* MainWindow::helpWindow(const QString& title) const {
    const auto found = m_helpWindows.find(title);
    return found == m_helpWindows.end() ? nullptr : found->second;
}

} // namespace schauplatz
