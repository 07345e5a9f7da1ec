#include "platform/QtFormHost.h"

#include "platform/CornerDialog.h"
#include "platform/DialogFilter.h"
#include "platform/IdlePump.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QProgressDialog>

#include <algorithm>
#include <cmath>

namespace schauplatz {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QString startPath(const FileDialogRequest& request) {
    if (request.fileName.empty()) return qs(request.initialFolder);
    if (request.initialFolder.empty()) return qs(request.fileName);
    return QDir(qs(request.initialFolder)).filePath(qs(request.fileName));
}

} // namespace

std::string MainWindow::Host::openFileDialog(const FileDialogRequest& request) {
    if (m_window.m_dialogAnswer) return m_window.m_dialogAnswer(request.title);
    return QFileDialog::getOpenFileName(&m_window, qs(request.title), startPath(request),
                                        qtFileDialogFilter(qs(request.filter)))
        .toStdString();
}

std::string MainWindow::Host::saveFileDialog(const FileDialogRequest& request) {
    if (m_window.m_dialogAnswer) return m_window.m_dialogAnswer(request.title);
    QFileDialog dialog(&m_window, qs(request.title), startPath(request),
                       qtFileDialogFilter(qs(request.filter)));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(qs(request.defaultExt));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

std::string MainWindow::Host::selectFolderDialog(const std::string& title,
                                                 const std::string& initialFolder) {
    if (m_window.m_dialogAnswer) return m_window.m_dialogAnswer(title);
    // A read-only model gives the chooser no way to create a folder.
    QString folder = QFileDialog::getExistingDirectory(
        &m_window, qs(title), qs(initialFolder), QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
    if (folder.isEmpty()) return {};
    if (!folder.endsWith('/')) folder += '/';
    return folder.toStdString();
}

void MainWindow::Host::setClipboardPicture(const ClipboardPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() <
            static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height))
        return;
    // The pixels are 0xAARRGGBB words, the memory layout of Format_ARGB32.
    const QImage view(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width,
                      picture.height, picture.width * 4, QImage::Format_ARGB32);
    QApplication::clipboard()->setImage(view.copy());
}

void MainWindow::Host::processMessages() {
    QCoreApplication::processEvents();
}

void MainWindow::Host::showMessage(const std::string& title, const std::string& text) {
    QMessageBox::warning(&m_window, qs(title), qs(text));
}

void MainWindow::Host::invalidate(FormComponent component) {
    if (QWidget* widget = m_window.component(component)) widget->update();
}

void MainWindow::Host::repaint(FormComponent component) {
    if (QWidget* widget = m_window.component(component)) widget->repaint();
}

void MainWindow::Host::captionChanged(const std::string& caption) {
    m_window.setWindowTitle(qs(caption));
}

void MainWindow::Host::menuStateChanged() {
    m_window.syncMenuState();
}

void MainWindow::Host::installIdleHandler() {
    m_window.m_idle->start();
}

void MainWindow::Host::acceptDroppedFiles(bool accept) {
    m_window.setAcceptDrops(accept);
}

std::optional<std::array<std::int32_t, 8>>
MainWindow::Host::cornerDialog(const std::array<std::int32_t, 8>& corners) {
    return CornerDialog::ask(corners, &m_window);
}

// A save or load that takes a while: a bar in a window-modal dialog without cancel button
// (the archive operation cannot be interrupted).
void MainWindow::Host::progressChanged(const std::string& text, double fraction) {
    constexpr int kSteps = 1000;
    if (!m_progress) {
        m_progress = new QProgressDialog(&m_window);
        m_progress->setObjectName("ProjectProgress");
        m_progress->setWindowTitle(m_window.windowTitle());
        m_progress->setCancelButton(nullptr);
        m_progress->setRange(0, kSteps);
        m_progress->setMinimumDuration(0);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setWindowModality(Qt::WindowModal);
    }
    m_progress->setLabelText(qs(text));
    m_progress->setValue(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kSteps)));
    if (!m_progress->isVisible()) m_progress->show();
}

void MainWindow::Host::progressEnded() {
    if (!m_progress) return;
    m_progress->hide();
    m_progress->reset();
}

} // namespace schauplatz
