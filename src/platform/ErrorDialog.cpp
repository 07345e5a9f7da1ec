#include "platform/ErrorDialog.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

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

    auto* heading = new QLabel(
        "Im Programm ist ein Fehler aufgetreten. Die Aktion wurde abgebrochen; Sie können "
        "weiterarbeiten.\n" +
            QString::fromStdString(report.message),
        this);
    heading->setWordWrap(true);
    heading->setObjectName("ErrorMessage");

    m_view = new QPlainTextEdit(m_text, this);
    m_view->setReadOnly(true);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setObjectName("ErrorReport");
    m_view->setMinimumSize(560, 300);

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
