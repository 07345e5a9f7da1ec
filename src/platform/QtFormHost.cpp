#include "platform/QtFormHost.h"

#include "platform/DialogFilter.h"
#include "platform/HelpWindow.h"
#include "platform/IdlePump.h"
#include "platform/LibraryNotices.h"
#include "platform/Settings.h"

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

// Each dialog kind starts where it was last confirmed (also in an earlier run), unless the
// window names a place itself; a confirmed choice is remembered for the next time.
std::string MainWindow::Host::openFileDialog(const FileDialogRequest& asked) {
    const auto kind = DialogKindOf(asked, false);
    const FileDialogRequest request =
        kind ? WithRememberedFolder(asked, *kind, *m_window.m_settings) : asked;
    const std::string chosen =
        m_window.m_dialogAnswer
            ? m_window.m_dialogAnswer(request.title)
            : QFileDialog::getOpenFileName(&m_window, qs(request.title), startPath(request),
                                           qtFileDialogFilter(qs(request.filter)))
                  .toStdString();
    if (kind && !chosen.empty()) m_window.m_settings->rememberFolder(*kind, FolderOf(chosen));
    return chosen;
}

std::string MainWindow::Host::saveFileDialog(const FileDialogRequest& asked) {
    const auto kind = DialogKindOf(asked, true);
    FileDialogRequest request =
        kind ? WithRememberedFolder(asked, *kind, *m_window.m_settings) : asked;
    if (kind == DialogKind::PictureSave && request.title.empty()) request.title = kPictureSaveTitle;
    std::string chosen;
    if (m_window.m_dialogAnswer) {
        chosen = m_window.m_dialogAnswer(request.title);
    } else {
        QFileDialog dialog(&m_window, qs(request.title), startPath(request),
                           qtFileDialogFilter(qs(request.filter)));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(qs(request.defaultExt));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        chosen = dialog.selectedFiles().front().toStdString();
    }
    if (kind && !chosen.empty()) m_window.m_settings->rememberFolder(*kind, FolderOf(chosen));
    return chosen;
}

std::string MainWindow::Host::selectFolderDialog(const std::string& title,
                                                 const std::string& initialFolder) {
    std::string chosen;
    if (m_window.m_dialogAnswer) {
        chosen = m_window.m_dialogAnswer(title);
    } else {
        // A read-only model gives the chooser no way to create a folder.
        const QString folder =
            QFileDialog::getExistingDirectory(&m_window, qs(title), qs(initialFolder),
                                              QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
        chosen = folder.toStdString();
    }
    if (chosen.empty()) return {};
    if (chosen.back() != '/') chosen += '/';
    // The folder chooser picks the pattern folder, which the next start shows again.
    m_window.m_settings->rememberFolder(DialogKind::PatternFolder, chosen);
    return chosen;
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

// The view is never smaller than the workspace bitmap, so the scroll box's ranges follow
// the bitmap and view pixels stay workspace pixels.
void MainWindow::Host::workspaceSizeChanged(int width, int height) {
    if (QWidget* widget = m_window.component(FormComponent::WorkingPlaceImage))
        widget->setMinimumSize(width, height);
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

std::string MainWindow::Host::startPatternFolder(const std::string& designed) {
    std::string remembered = m_window.m_settings->folder(DialogKind::PatternFolder);
    if (remembered.empty()) return designed;
    remembered.pop_back(); // the list is filled from a folder named without its "/"
    return remembered;
}

// One window per page, made on first use and shown again (raised) on the next.
void MainWindow::Host::showHelp(const HelpPage& page) {
    const QString title = qs(page.title);
    HelpWindow*& window = m_window.m_helpWindows[title];
    if (!window) window = new HelpWindow(&m_window);
    window->showPage(page);
}

std::vector<LibraryNotice> MainWindow::Host::usedLibraries() {
    return UsedLibraryNotices();
}

} // namespace schauplatz
