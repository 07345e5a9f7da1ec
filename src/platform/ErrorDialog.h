#pragma once

// The one dialog an escaped exception reaches: the German report (message,
// type, call stack, version, process, system, processor) with buttons to copy
// it, save it as a text file, and continue.

#include "support/CrashReport.h"

#include <QDialog>
#include <QString>

#include <functional>

class QPushButton;
class QPlainTextEdit;

namespace schauplatz {

class ErrorDialog : public QDialog {
    Q_OBJECT
public:
    explicit ErrorDialog(const CrashReport& report, QWidget* parent = nullptr);

    QString reportText() const { return m_text; }
    QPushButton* copyButton() const { return m_copy; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* continueButton() const { return m_continue; }

    // Puts the report on the clipboard as text.
    void copyReport();
    // Writes the report as UTF-8 text; false (and a note in the dialog) when
    // the file cannot be written.
    bool saveReport(const QString& path);

    // Shows the dialog modally for the report, or, when a presenter is set,
    // hands the dialog to it instead (tests inspect it without blocking).
    static void present(const CrashReport& report, QWidget* parent);
    using Presenter = std::function<void(ErrorDialog&)>;
    static void setPresenter(Presenter presenter);
    // Where "Speichern" asks for the file; defaults to a save dialog.
    using SavePathAsker = std::function<QString(QWidget* parent)>;
    static void setSavePathAsker(SavePathAsker asker);

private:
    void askAndSave();

    QString m_text;
    QPlainTextEdit* m_view = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_continue = nullptr;
};

} // namespace schauplatz
