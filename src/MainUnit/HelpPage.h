#pragma once

// The texts of the "&Hilfe" menu: the operating help ("Bedienung", F1) and the about page.
// Both are plain data built here from the window's own tables, so a shortcut that changes in
// the menu table changes in the help too; the platform only lays them out.

#include "MainUnit/MenuTable.h"

#include <string>
#include <utility>
#include <vector>

namespace schauplatz {

// One part of a page: a heading, paragraphs, then a two-column table (key and action, or
// library and licence).
struct HelpSection {
    std::string heading;
    std::vector<std::string> paragraphs;
    std::vector<std::pair<std::string, std::string>> rows;
};

struct HelpPage {
    std::string title;
    std::vector<HelpSection> sections;

    // The page as text: headings underlined, table rows as "key: action".
    std::string plainText() const;
};

// A library the program runs on, named on the about page.
struct LibraryNotice {
    std::string name;    // "libpng"
    std::string version; // "1.6.39", "" when unknown
    std::string licence; // "libpng-Lizenz"
};

// A shortcut as the German keyboard names it: "Strg+Alt+S", "Umschalt+Entf", "F1".
std::string GermanKeyText(const ShortCut& key);

// A menu caption as running text: without its "&" mnemonic ("&&" stays one "&") and
// without surrounding blanks.
std::string PlainCaption(const std::string& caption);

// The operating help: the workflow with the current keys, every shortcut of the menu table
// that reaches its item, and where the log is written (logFile "" when there is none).
HelpPage MakeHelpPage(const std::vector<Menu>& menus, const std::string& logFile);

// The about page: program name, version, the program's licence and the libraries used.
HelpPage MakeAboutPage(const std::string& version, const std::vector<LibraryNotice>& libraries);

} // namespace schauplatz
