#include "platform/ErrorDialog.h"

#include "platform/LongMessageBox.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <climits>

namespace schauplatz {

namespace {

ErrorDialog::Presenter& presenter() {
    static ErrorDialog::Presenter instance;
    return instance;
}

ErrorDialog::SavePathAsker& savePathAsker() {
    static ErrorDialog::SavePathAsker instance;
    return instance;
}

} // namespace

ErrorDialog::ErrorDialog(const CrashReport& report, QWidget* parent)
    : QDialog(parent), m_text(QString::fromStdString(report.text())) {
    setObjectName("ErrorDialog");
    setWindowTitle("Fehler");
    setModal(true);

    // A message of thousands of lines, or one line of megabytes, shows in part here; the
    // report below (and what is copied or saved) holds it all.
    auto* heading = new QLabel(
        "Im Programm ist ein Fehler aufgetreten. Die Aktion wurde abgebrochen; Sie können "
        "weiterarbeiten.\n" +
            LongMessageBox::shortened(QString::fromStdString(report.message),
                                      LongMessageBox::kSummaryLines,
                                      LongMessageBox::kMaxSummaryLineChars),
        this);
    heading->setWordWrap(true);
    heading->setObjectName("ErrorMessage");

    m_view = new QPlainTextEdit(
        LongMessageBox::shortened(m_text, INT_MAX, LongMessageBox::kMaxDetailLineChars), this);
    m_view->setReadOnly(true);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setObjectName("ErrorReport");

    m_copy = new QPushButton("In die &Zwischenablage kopieren", this);
    m_save = new QPushButton("Als Textdatei &speichern...", this);
    m_continue = new QPushButton("&Weiter", this);
    m_continue->setDefault(true);
    connect(m_copy, &QPushButton::clicked, this, &ErrorDialog::copyReport);
    connect(m_save, &QPushButton::clicked, this, &ErrorDialog::askAndSave);
    connect(m_continue, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_copy);
    buttons->addWidget(m_save);
    buttons->addStretch(1);
    buttons->addWidget(m_continue);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);

    // Never wider or taller than the screen, so "Weiter" stays reachable.
    const QSize limit = LongMessageBox::screenLimit(parent);
    heading->setMaximumWidth(limit.width() - 40);
    m_view->setMinimumSize(std::min(560, limit.width() / 2), std::min(300, limit.height() / 3));
    setMaximumSize(limit);
    resize(sizeHint().boundedTo(limit));
}

void ErrorDialog::copyReport() {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(m_text);
}

bool ErrorDialog::saveReport(const QString& path) {
    QSaveFile file(path);
    const QByteArray bytes = m_text.toUtf8();
    const bool ok =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!ok) m_view->appendPlainText("\nDer Bericht konnte nicht gespeichert werden: " + path);
    return ok;
}

void ErrorDialog::askAndSave() {
    const QString path =
        savePathAsker() ? savePathAsker()(this)
                        : QFileDialog::getSaveFileName(this, "Fehlerbericht speichern",
                                                       "fehlerbericht.txt", "Textdateien (*.txt)");
    if (!path.isEmpty()) saveReport(path);
}

void ErrorDialog::present(const CrashReport& report, QWidget* parent) {
    ErrorDialog dialog(report, parent);
    if (presenter()) {
        presenter()(dialog);
        return;
    }
    dialog.exec();
}

void ErrorDialog::setPresenter(Presenter value) {
    presenter() = std::move(value);
}

void ErrorDialog::setSavePathAsker(SavePathAsker asker) {
    savePathAsker() = std::move(asker);
}

} // namespace schauplatz
