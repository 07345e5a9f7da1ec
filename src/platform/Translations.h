#pragma once

// Qt's own texts (dialog buttons, file dialog labels, key names) in German, as the rest of
// the window: Qt's German catalogue (Debian: qt6-translations-l10n) and the German locale
// for numbers and dates in dialogs.

class QCoreApplication;

namespace schauplatz {

// Installs the catalogue on the application; false when it is not there (the texts then
// stay Qt's English ones, and nothing else changes).
bool installGermanTranslations(QCoreApplication& app);

} // namespace schauplatz
