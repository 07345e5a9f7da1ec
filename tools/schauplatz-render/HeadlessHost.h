#pragma once

// The window's host without a desktop: no dialogs (every question counts as cancelled), no
// clipboard, no screen and no event loop; what the window would show in a message window
// goes to standard error.

#include "MainUnit/FormHost.h"

#include <ostream>
#include <string>

namespace schauplatz {

class HeadlessHost : public FormHost {
public:
    explicit HeadlessHost(std::ostream& messages) : m_messages(messages) {}

    std::string openFileDialog(const FileDialogRequest&) override { return {}; }
    std::string saveFileDialog(const FileDialogRequest&) override { return {}; }
    std::string selectFolderDialog(const std::string&, const std::string&) override { return {}; }
    void setClipboardPicture(const ClipboardPicture&) override {}
    void processMessages() override {}
    void showMessage(const std::string& title, const std::string& text) override;
    void invalidate(FormComponent) override {}
    void repaint(FormComponent) override {}
    void captionChanged(const std::string&) override {}
    void menuStateChanged() override {}
    void installIdleHandler() override {}
    void acceptDroppedFiles(bool) override {}

    // How many messages were shown.
    int MessageCount() const { return m_count; }

private:
    std::ostream& m_messages;
    int m_count = 0;
};

} // namespace schauplatz
