#include "platform/DialogFilter.h"

#include <QStringList>

namespace schauplatz {

QString qtFileDialogFilter(const QString& classicFilter) {
    const QStringList parts = classicFilter.split('|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ');
        // Qt reads the patterns from the last parentheses, so a description
        // that lists them itself ("Bilder (*.bmp;*.jpg)") loses that list.
        if (description.endsWith(')')) {
            const qsizetype open = description.lastIndexOf('(');
            if (open >= 0) description = description.left(open).trimmed();
        }
        entries << description + " (" + patterns + ")";
    }
    return entries.join(";;");
}

} // namespace schauplatz
