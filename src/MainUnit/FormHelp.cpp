// The "&Hilfe" menu: the operating help, built from the window's own menu table, and the
// about page. The host shows each in a window of its own.

#include "MainUnit/MainUnit.h"

#include "support/Version.h"
#include "support/u_logfile.h"

namespace schauplatz {

void TForm_Schauplatz::Bedienung1Click() {
    m_host.showHelp(MakeHelpPage(m_mainMenu, LogFileName()));
}

void TForm_Schauplatz::berVeloraBildkomposition1Click() {
    m_host.showHelp(MakeAboutPage(compiledVersion(), m_host.usedLibraries()));
}

} // namespace schauplatz
