// The "&Hilfe" menu's pages: built from the menu table (every key that reaches its item, the
// workflow naming the items with their current keys), the log's place, the about page.

#include "MainUnit/HelpPage.h"
#include "MainUnit/MainUnit.h"
#include "ScriptedHost.h"
#include "support/Version.h"
#include "support/u_logfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace schauplatz {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class HelpHost : public testing::ScriptedHost {
public:
    std::vector<HelpPage> pages;
    std::vector<LibraryNotice> libraries;
    void showHelp(const HelpPage& page) override { pages.push_back(page); }
    std::vector<LibraryNotice> usedLibraries() override { return libraries; }
};

const HelpSection& sectionNamed(const HelpPage& page, const std::string& heading) {
    for (const HelpSection& section : page.sections)
        if (section.heading == heading) return section;
    throw std::out_of_range("no section " + heading);
}

TEST(HelpPage, KeysAreNamedAsOnAGermanKeyboard) {
    EXPECT_EQ(GermanKeyText({true, true, 'S'}), "Strg+Alt+S");
    EXPECT_EQ(GermanKeyText({true, false, 'Z', true}), "Strg+Umschalt+Z");
    EXPECT_EQ(GermanKeyText({false, false, std::string("F1")}), "F1");
    EXPECT_EQ(GermanKeyText({true, false, std::string("PgUp")}), "Strg+Bild aufwärts");
    EXPECT_EQ(GermanKeyText({true, false, std::string("PgDown")}), "Strg+Bild abwärts");
    EXPECT_EQ(GermanKeyText({false, false, std::string("Del")}), "Entf");
    EXPECT_EQ(GermanKeyText({false, false, std::string("Esc")}), "Esc");
    EXPECT_EQ(GermanKeyText({true, false, '+'}), "Strg++");
    EXPECT_EQ(GermanKeyText({}), "");
}

TEST(HelpPage, CaptionsLoseTheirMnemonicAndBlanks) {
    EXPECT_EQ(PlainCaption("&Neues Projekt "), "Neues Projekt");
    EXPECT_EQ(PlainCaption("Projekt &speichern"), "Projekt speichern");
    EXPECT_EQ(PlainCaption("Bilder && Rahmen"), "Bilder & Rahmen");
    EXPECT_EQ(PlainCaption("&&&A"), "&A");
    EXPECT_EQ(PlainCaption("Ende&"), "Ende");
    EXPECT_EQ(PlainCaption("  "), "");
}

TEST(HelpPage, ListsEveryKeyThatReachesItsItemAndNoOther) {
    testing::ScriptedHost host;
    TForm_Schauplatz form(host, "/nonexistent/program/");
    const HelpPage page = MakeHelpPage(form.MainMenu1(), "/home/u/.local/state/log/202612.log");
    EXPECT_EQ(page.title, "Bedienung");
    const HelpSection& keys = sectionNamed(page, "Tastenkürzel");

    std::vector<std::pair<std::string, std::string>> expected;
    const auto& menus = form.MainMenu1();
    for (int m = 0; m < static_cast<int>(menus.size()); ++m)
        for (int i = 0; i < static_cast<int>(menus[static_cast<std::size_t>(m)].items.size());
             ++i) {
            const Menu& menu = menus[static_cast<std::size_t>(m)];
            const MenuItem& item = menu.items[static_cast<std::size_t>(i)];
            if (menu.visible && ReachedByShortCut(menus, {m, i}))
                expected.emplace_back(GermanKeyText(item.shortCut), PlainCaption(menu.caption) +
                                                                        " › " +
                                                                        PlainCaption(item.caption));
        }
    ASSERT_GE(expected.size(), 11u); // the ten designed keys and F1
    // Then the workspace's own keys and the element list's Return.
    ASSERT_EQ(keys.rows.size(), expected.size() + 9);
    // Each row starts with the item's own key (further keys follow after " oder ").
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(keys.rows[i].first.rfind(expected[i].first, 0), 0u) << keys.rows[i].first;
        EXPECT_EQ(keys.rows[i].second, expected[i].second);
    }
    EXPECT_EQ(keys.rows[expected.size()].first, "Tab oder Umschalt+Tab");
    EXPECT_EQ(keys.rows[expected.size() + 3].first, "Esc");
    EXPECT_EQ(keys.rows[expected.size() + 4].first, "Strg+Klick");
    EXPECT_EQ(keys.rows.back().first, "Eingabetaste");

    // The keys that were doubled are each one item's now.
    const std::string text = page.plainText();
    EXPECT_TRUE(contains(text, "Strg+N: Datei › Neues Projekt\n"));
    EXPECT_TRUE(contains(text, "Strg+Umschalt+N: Element › Neues Element positionieren\n"));
    EXPECT_TRUE(contains(text, "Strg+Alt+S: Datei › Aktuelles Bild speichern\n"));
    EXPECT_TRUE(contains(text, "Strg+Alt+M: Ansicht › Tür spiegeln\n"));
    EXPECT_TRUE(contains(text, "Strg++ oder Strg+=: Ansicht › Vergrößern\n"));
    EXPECT_TRUE(contains(text, "F1: Hilfe › Bedienung\n"));
}

TEST(HelpPage, AFurtherKeyOfAnItemIsListedBesideItsOwn) {
    MenuItem zoomIn{"in",  "&Größer", {true, false, '+'}, {{true, false, '='}}, false, false,
                    false, {}};
    MenuItem taken{"x",   "Anderes", {true, false, 'Q'}, {{true, false, '+'}}, false, false,
                   false, {}};
    const std::vector<Menu> menus{
        Menu{"Ansicht1", "&Ansicht", true, {zoomIn, taken}},
        Menu{"Versteckt",
             "&V",
             false,
             {MenuItem{"h", "Hidden", {true, false, 'H'}, {}, false, false, false, {}}}}};
    const HelpPage page = MakeHelpPage(menus, "");
    const HelpSection& keys = sectionNamed(page, "Tastenkürzel");
    // The two items, no hidden one, then the workspace's keys and Return.
    ASSERT_EQ(keys.rows.size(), 2u + 9u);
    EXPECT_EQ(keys.rows[2].first, "Tab oder Umschalt+Tab");
    EXPECT_EQ(keys.rows[0].first, "Strg++ oder Strg+=");
    EXPECT_EQ(keys.rows[0].second, "Ansicht › Größer");
    // Ctrl++ reaches the first item, so the second lists only its own key.
    EXPECT_EQ(keys.rows[1].first, "Strg+Q");
}

TEST(HelpPage, WorkflowNamesTheItemsWithTheirCurrentKeys) {
    testing::ScriptedHost host;
    TForm_Schauplatz form(host, "/nonexistent/program/");
    const HelpPage page = MakeHelpPage(form.MainMenu1(), "");
    const HelpSection& steps = sectionNamed(page, "So entsteht eine Bildkomposition");
    ASSERT_EQ(steps.paragraphs.size(), 9u);
    std::string all;
    for (const std::string& step : steps.paragraphs)
        all += step + "\n";
    // Every placeholder named an item of the table.
    EXPECT_FALSE(contains(all, "{")) << all;
    EXPECT_FALSE(contains(all, "„“")) << all;
    EXPECT_TRUE(contains(all, "1. Eine Fassade laden: „Fassade Laden“ (Strg+Alt+F)")) << all;
    EXPECT_TRUE(contains(all, "„Element übernehmen“ (Strg+U) fügt es in das Bild ein")) << all;
    EXPECT_TRUE(contains(all, "„Schritt zurück“ (Strg+Z)")) << all;
    EXPECT_TRUE(contains(all, "„Tür spiegeln“ (Strg+Alt+M) spiegelt es")) << all;
    EXPECT_TRUE(contains(all, "„Ganzes Bild“ (Strg+0) zeigt die ganze Fassade")) << all;
    EXPECT_TRUE(contains(all, "„Ecken eingeben…“ (Strg+K) nimmt die Ecken als Zahlen")) << all;
    EXPECT_TRUE(contains(all, "mit „Einrasten“ springt eine gezogene Ecke")) << all;
    EXPECT_TRUE(contains(all, "„Darstellung…“ (Strg+D) glättet")) << all;
    // A second holder of a key is named without it.
    form.Item("NeuesProjekt1").shortCut = ShortCut{true, false, 'K'};
    const HelpPage doubled = MakeHelpPage(form.MainMenu1(), "");
    EXPECT_TRUE(contains(sectionNamed(doubled, "So entsteht eine Bildkomposition").paragraphs[3],
                         "„Ecken eingeben…“ nimmt"));

    // A key that moves in the table moves in the help.
    form.Item("Elementbernehmen1").shortCut = ShortCut{false, false, std::string("F9")};
    const HelpPage movedPage = MakeHelpPage(form.MainMenu1(), "");
    const HelpSection& moved = sectionNamed(movedPage, "So entsteht eine Bildkomposition");
    EXPECT_TRUE(contains(moved.paragraphs[5], "„Element übernehmen“ (F9)"));
}

TEST(HelpPage, SaysWhereTheLogIs) {
    const std::vector<Menu> none;
    const std::string log = "/home/anna/.local/state/schauplatz/log/202612.log";
    EXPECT_TRUE(contains(MakeHelpPage(none, log).plainText(), "nach " + log + "."));
    EXPECT_TRUE(contains(MakeHelpPage(none, "").plainText(), "Es wird kein Protokoll geschrieben"));
}

TEST(HelpPage, MenuItemsShowBothPagesThroughTheHost) {
    HelpHost host;
    host.libraries = {{"libpng", "1.6.39", "libpng-Lizenz"}, {"zlib", "", "zlib-Lizenz"}};
    TForm_Schauplatz form(host, "/nonexistent/program/");
    form.ClickMenuItem("Bedienung1");
    ASSERT_EQ(host.pages.size(), 1u);
    EXPECT_EQ(host.pages[0].title, "Bedienung");
    EXPECT_TRUE(contains(host.pages[0].plainText(),
                         LogFileName().empty() ? "kein Protokoll" : LogFileName()));
    // F1 reaches it from the keyboard.
    EXPECT_TRUE(form.ShortCutPressed(ShortCut{false, false, std::string("F1")}));
    EXPECT_EQ(host.pages.size(), 2u);

    form.ClickMenuItem("berVeloraBildkomposition1");
    ASSERT_EQ(host.pages.size(), 3u);
    const HelpPage& about = host.pages.back();
    EXPECT_EQ(about.title, "Über Velora Bildkomposition");
    const std::string text = about.plainText();
    EXPECT_TRUE(contains(text, "Version " + compiledVersion())) << text;
    EXPECT_TRUE(contains(text, "Lizenz des Programms: proprietär")) << text;
    EXPECT_TRUE(contains(text, "libpng 1.6.39: libpng-Lizenz\n")) << text;
    EXPECT_TRUE(contains(text, "zlib: zlib-Lizenz\n")) << text;
}

TEST(HelpPage, HostsWithoutHelpWindowsShowTheTextAsAMessage) {
    testing::ScriptedHost host;
    TForm_Schauplatz form(host, "/nonexistent/program/");
    form.Bedienung1Click();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].rfind("Bedienung: So entsteht eine Bildkomposition\n", 0), 0u);
    form.berVeloraBildkomposition1Click();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_FALSE(contains(host.messages[1], "Verwendete Bibliotheken"));
}

} // namespace
} // namespace schauplatz
