#pragma once

// The form's host on Qt: dialogs, clipboard, event processing, message
// windows and immediate repaints for the main window.

#include "MainUnit/FormHost.h"
#include "platform/MainWindow.h"

class QProgressDialog;

namespace schauplatz {

class MainWindow::Host : public FormHost {
public:
    explicit Host(MainWindow& window) : m_window(window) {}

    std::string openFileDialog(const FileDialogRequest& request) override;
    std::string saveFileDialog(const FileDialogRequest& request) override;
    std::string selectFolderDialog(const std::string& title,
                                   const std::string& initialFolder) override;
    void setClipboardPicture(const ClipboardPicture& picture) override;
    void processMessages() override;
    void showMessage(const std::string& title, const std::string& text) override;
    void repaint(FormComponent component) override;
    void captionChanged(const std::string& caption) override;
    void menuStateChanged() override;
    void installIdleHandler() override;
    void acceptDroppedFiles(bool accept) override;
    std::optional<std::array<std::int32_t, 8>>
    cornerDialog(const std::array<std::int32_t, 8>& corners) override;
    void progressChanged(const std::string& text, double fraction, bool cancellable) override;
    bool progressCancelled() override;
    void progressEnded() override;
    SaveChangesAnswer askSaveChanges(const std::string& question) override;
    RestoreAnswer askRestore(const std::string& question) override;
    std::string startPatternFolder(const std::string& designed) override;
    std::optional<TAppearance> editAppearance(const AppearanceDialogRequest& request) override;
    TAppearance startAppearance() override;
    void appearanceChosen(const TAppearance& settings) override;
    void showHelp(const HelpPage& page) override;
    std::vector<LibraryNotice> usedLibraries() override;

private:
    void repaintWorkspace();

    MainWindow& m_window;
    QProgressDialog* m_progress = nullptr; // owned by the window, made on first use
    bool m_progressCancelled = false;      // "Abbrechen" chosen since the progress showed
};

} // namespace schauplatz
