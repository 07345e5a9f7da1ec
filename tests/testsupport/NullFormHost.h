#pragma once

// A FormHost without a desktop: every dialog is cancelled, every notice and repaint request
// goes nowhere, and the questions get FormHost's neutral answers. Test hosts derive from it
// and override only the calls they script or record.

#include "MainUnit/FormHost.h"

#include <string>

namespace schauplatz::testing {

class NullFormHost : public FormHost {
public:
    std::string openFileDialog(const FileDialogRequest&) override { return {}; }
    std::string saveFileDialog(const FileDialogRequest&) override { return {}; }
    std::string selectFolderDialog(const std::string&, const std::string&) override { return {}; }
    void setClipboardPicture(const ClipboardPicture&) override {}
    void processMessages() override {}
    void showMessage(const std::string&, const std::string&) override {}
    void repaint(FormComponent) override {}
    void captionChanged(const std::string&) override {}
    void menuStateChanged() override {}
    void installIdleHandler() override {}
    void acceptDroppedFiles(bool) override {}
};

} // namespace schauplatz::testing
