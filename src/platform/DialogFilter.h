#pragma once

// The window describes file-dialog filters the classic way,
// "Description|*.a;*.b|Other|*.c"; Qt wants "Description (*.a *.b);;Other (*.c)".

#include <QString>

namespace schauplatz {

QString qtFileDialogFilter(const QString& classicFilter);

} // namespace schauplatz
