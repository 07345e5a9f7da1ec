// The window's part of the element list: filling it from the pattern folder,
// choosing another pattern folder and the double click that makes an entry's
// picture the current element.

#include "MainUnit/MainUnit.h"

#include "elements/ElementListFolder.h"
#include "support/U_SYSTOOLS.h"

namespace schauplatz {

namespace {
// The list is emptied, then the window gets this many rounds of its pending
// events so the empty list is shown before the folder is read.
constexpr int kEventRoundsAfterClear = 31;
constexpr const char* kFolderChooserTitle = "Verzeichnis auswählen";
} // namespace

void TForm_Schauplatz::FillElementList(const std::string& folder) {
    ElementListBox1.Clear(); // stops the thumbnail worker first
    for (int round = 0; round < kEventRoundsAfterClear; ++round)
        m_host.processMessages();
    // A folder that already ends in a delimiter keeps just that one.
    PatternFolder = IncludeTrailingPathDelimiter(folder);
    for (const std::string& pattern : ElementListFilePatterns())
        ElementListBox1.AddImagesFromFolder(PatternFolder + pattern);
    m_host.processMessages();
    // The first picture becomes the element, without a word when it cannot be used.
    if (ElementListBox1.Count() > 0 && !ProjectBusy()) {
        try {
            EnterElement(PatternFolder + ElementListBox1.Item(0).FileName, true);
        } catch (const std::exception&) {
        }
    }
}

void TForm_Schauplatz::Muster1Click() {
    if (ProjectBusy()) return;
    const std::string folder = m_host.selectFolderDialog(kFolderChooserTitle, PatternFolder);
    if (folder.empty()) return;
    FillElementList(folder);
}

// The path is the pattern folder and the entry's file name, not the entry's
// full path: both name the same file as long as the list was filled from the
// current pattern folder.
void TForm_Schauplatz::ElementListBox1ItemDblClick(int index) {
    if (ProjectBusy()) return;
    try {
        if (index < 0 || static_cast<std::size_t>(index) >= ElementListBox1.Count()) return;
        EnterElement(PatternFolder + ElementListBox1.Item(static_cast<std::size_t>(index)).FileName,
                     false);
    } catch (...) {
        // A double click never reports an error; the element stays as it was.
    }
}

} // namespace schauplatz
