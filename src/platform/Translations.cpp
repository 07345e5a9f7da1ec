#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace schauplatz {

bool installGermanTranslations(QCoreApplication& app) {
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    auto catalogue = std::make_unique<QTranslator>();
    if (!catalogue->load(german, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    // From here on the application owns it and it lives as long as the application does.
    catalogue->setParent(&app);
    return QCoreApplication::installTranslator(catalogue.release());
}

} // namespace schauplatz
