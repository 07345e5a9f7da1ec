#include "platform/QtFormHost.h"

#include "elements/codecs/PictureEncoders.h"
#include "platform/AppearanceDialog.h"
#include "platform/CornerDialog.h"
#include "platform/DialogFilter.h"
#include "platform/HelpWindow.h"
#include "platform/IdlePump.h"
#include "platform/LibraryNotices.h"
#include "platform/LongMessageBox.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

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

// A modal window never stands over a stale workspace.
void MainWindow::Host::repaintWorkspace() {
    if (QWidget* widget = m_window.component(FormComponent::WorkingPlaceImage)) widget->repaint();
}

// Each dialog kind starts where it was last confirmed (also in an earlier run), unless the
// window names a place itself; a confirmed choice is remembered for the next time.
std::string MainWindow::Host::openFileDialog(const FileDialogRequest& asked) {
    repaintWorkspace();
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
    repaintWorkspace();
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
        // A name typed without extension gets the chosen type's, not the first type's.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog](const QString& f) {
                             const qsizetype star = f.indexOf("*.");
                             if (star < 0) return;
                             qsizetype end = star + 2;
                             while (end < f.size() && f[end].isLetterOrNumber())
                                 ++end;
                             dialog.setDefaultSuffix(f.mid(star + 2, end - star - 2));
                         });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        if (request.chosenFilter) *request.chosenFilter = dialog.selectedNameFilter().toStdString();
        chosen = dialog.selectedFiles().front().toStdString();
    }
    if (kind && !chosen.empty()) m_window.m_settings->rememberFolder(*kind, FolderOf(chosen));
    return chosen;
}

std::string MainWindow::Host::selectFolderDialog(const std::string& title,
                                                 const std::string& initialFolder) {
    repaintWorkspace();
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
    // Besides the image, PNG data: mail, office programs and browsers paste that. The core's
    // encoder writes the colour channels exactly; the fastest level suits a transient copy.
    const std::vector<std::uint8_t> png = encodePngRgb(
        reinterpret_cast<const TColor32*>(picture.pixels.data()), picture.width, picture.height, 1);
    auto data = std::make_unique<QMimeData>();
    data->setImageData(view.copy());
    data->setData("image/png", QByteArray(reinterpret_cast<const char*>(png.data()),
                                          static_cast<qsizetype>(png.size())));
    QApplication::clipboard()->setMimeData(data.release()); // the clipboard owns it
}

void MainWindow::Host::processMessages() {
    QCoreApplication::processEvents();
}

void MainWindow::Host::showMessage(const std::string& title, const std::string& text) {
    repaintWorkspace();
    LongMessageBox::warn(&m_window, qs(title), qs(text));
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

// A save or load that takes a while: a bar in a window-modal dialog. A load can be
// cancelled there; a save runs to its end (its previous file stays whole either way).
void MainWindow::Host::progressChanged(const std::string& text, double fraction, bool cancellable) {
    constexpr int kSteps = 1000;
    if (!m_progress) {
        m_progress = new QProgressDialog(&m_window);
        m_progress->setObjectName("ProjectProgress");
        m_progress->setWindowTitle(m_window.windowTitle());
        m_progress->setRange(0, kSteps);
        m_progress->setMinimumDuration(0);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setWindowModality(Qt::WindowModal);
        QObject::connect(m_progress, &QProgressDialog::canceled,
                         [this] { m_progressCancelled = true; });
    }
    if (!m_progress->isVisible()) {
        if (cancellable)
            m_progress->setCancelButtonText(QStringLiteral("Abbrechen"));
        else
            m_progress->setCancelButton(nullptr);
    }
    m_progress->setLabelText(qs(text));
    m_progress->setValue(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kSteps)));
    if (!m_progress->isVisible()) m_progress->show();
}

bool MainWindow::Host::progressCancelled() {
    return m_progressCancelled;
}

SaveChangesAnswer MainWindow::Host::askSaveChanges(const std::string& question) {
    repaintWorkspace();
    if (m_window.m_dialogAnswer) {
        const std::string answer = m_window.m_dialogAnswer(question);
        if (answer == "Speichern") return SaveChangesAnswer::Save;
        if (answer == "Abbrechen") return SaveChangesAnswer::Cancel;
        return SaveChangesAnswer::Discard;
    }
    QMessageBox box(QMessageBox::Question, m_window.windowTitle(), qs(question),
                    QMessageBox::NoButton, &m_window);
    QPushButton* save = box.addButton(QStringLiteral("Speichern"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("Verwerfen"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return SaveChangesAnswer::Save;
    if (box.clickedButton() == discard) return SaveChangesAnswer::Discard;
    return SaveChangesAnswer::Cancel;
}

RestoreAnswer MainWindow::Host::askRestore(const std::string& question) {
    if (m_window.m_dialogAnswer)
        return m_window.m_dialogAnswer(question) == "Wiederherstellen" ? RestoreAnswer::Restore
                                                                       : RestoreAnswer::Discard;
    QMessageBox box(QMessageBox::Question, m_window.windowTitle(), qs(question),
                    QMessageBox::NoButton, &m_window);
    QPushButton* restore =
        box.addButton(QStringLiteral("Wiederherstellen"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("Verwerfen"), QMessageBox::DestructiveRole);
    box.setDefaultButton(restore);
    box.setEscapeButton(discard);
    box.exec();
    // A question ended by the end of the session (no button) keeps the copy for later.
    if (box.clickedButton() == restore) return RestoreAnswer::Restore;
    if (box.clickedButton() == discard) return RestoreAnswer::Discard;
    return RestoreAnswer::Later;
}

void MainWindow::Host::progressEnded() {
    m_progressCancelled = false;
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

std::optional<TAppearance>
MainWindow::Host::editAppearance(const AppearanceDialogRequest& request) {
    AppearanceDialog dialog(&m_window, request);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.settings();
}

TAppearance MainWindow::Host::startAppearance() {
    return m_window.m_settings->appearance();
}

void MainWindow::Host::appearanceChosen(const TAppearance& settings) {
    m_window.m_settings->rememberAppearance(settings);
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
