#include "MainUnit/MainUnit.h"
#include "ScriptedHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace schauplatz {
namespace {

struct ExpectedItem {
    const char* name;
    const char* caption;
    const char* shortCut; // "" for none
    bool toggle;
};

struct ExpectedMenu {
    const char* caption;
    bool visible;
    std::vector<ExpectedItem> items; // separators have caption "-"
};

// The menu bar as the window is designed, item by item.
const std::vector<ExpectedMenu> kDesigned = {
    {"&Datei",
     true,
     {{"NeuesProjekt1", "&Neues Projekt ", "Ctrl+N", false},
      {"Projektladen1", "Projekt laden", "Ctrl+O", false},
      {"Projektspeichern1", "Projekt &speichern", "Ctrl+S", false},
      {"Projektspeichernals1", "Projekt speichern als..", "Ctrl+Shift+S", false},
      {"", "-", "", false},
      {"InZwischenablagekopieren1", "Bild in Zwischenablage kopieren", "Ctrl+C", false},
      {"Bildspeichern1", "Aktuelles Bild speichern", "Ctrl+Alt+S", false}}},
    {"&Fassade",
     true,
     {{"FassadeLaden1", "Fassade Laden", "Ctrl+Alt+F", false},
      {"Fassadenachlinksdrehen1", "Fassade nach links drehen", "Ctrl+Alt+L", false},
      {"Fassadenachrechtsdrehen1", "Fassade nach rechts drehen", "Ctrl+Alt+R", false}}},
    {"&Element",
     true,
     {{"Muster1", "Türen Musterverzeichnis laden", "Ctrl+Alt+O", false},
      {"", "-", "", false},
      {"NeuesElementpositionieren1", "Neues Element positionieren", "Ctrl+Shift+N", true},
      {"Darstellung1", "Darstellung…", "Ctrl+D", false},
      {"", "-", "", false},
      {"Elementbernehmen1", "Element übernehmen", "Ctrl+U", false},
      {"Schrittzurck1", "Schritt zurück", "Ctrl+Z", false},
      {"Schrittvor1", "Schritt vor", "Ctrl+Y", false},
      {"", "-", "", false},
      {"Bearbeitungabbrechen1", "Bearbeitung abbrechen", "Esc", false},
      {"Elemententfernen1", "Element entfernen", "Del", false},
      {"Nachvorne1", "Nach vorne", "Ctrl+PgUp", false},
      {"Nachhinten1", "Nach hinten", "Ctrl+PgDown", false},

      {"", "-", "", false},
      {"Eckeneingeben1", "Ecken eingeben…", "Ctrl+K", false}}},
    {"&Ansicht",
     true,
     {{"Vertexanaus1", "Rahmen an/aus", "Ctrl+R", true},
      {"", "-", "", false},
      {"rspeigeln1", "Tür spiegeln", "Ctrl+Alt+M", false},
      {"", "-", "", false},
      {"GanzesBild1", "Ganzes Bild", "Ctrl+0", false},
      {"Originalgre1", "Originalgröße", "Ctrl+1", false},
      {"Vergrern1", "Vergrößern", "Ctrl++", false},
      {"Verkleinern1", "Verkleinern", "Ctrl+-", false},
      {"", "-", "", false},
      {"Lupe1", "Lupe", "", true},
      {"Einrasten1", "Einrasten", "", true}}},
    {"&Zoom",
     false,
     {{"kleiner", "kleiner", "", false},
      {"groesser", "grösser", "", false},
      {"Resetzoom", "1:1", "", false}}},
    {"&Hilfe",
     true,
     {{"Bedienung1", "Bedienung", "F1", false},
      {"berVeloraBildkomposition1", "Über Velora Bildkomposition", "", false}}},
};

TEST(MenuTable, MatchesTheDesignedMenuBar) {
    testing::ScriptedHost host;
    TForm_Schauplatz form(host, "/nonexistent/program/");
    const auto& menus = form.MainMenu1();
    ASSERT_EQ(menus.size(), kDesigned.size());
    for (std::size_t m = 0; m < menus.size(); ++m) {
        SCOPED_TRACE(kDesigned[m].caption);
        EXPECT_EQ(menus[m].caption, kDesigned[m].caption);
        EXPECT_EQ(menus[m].visible, kDesigned[m].visible);
        ASSERT_EQ(menus[m].items.size(), kDesigned[m].items.size());
        for (std::size_t i = 0; i < menus[m].items.size(); ++i) {
            const MenuItem& item = menus[m].items[i];
            const ExpectedItem& want = kDesigned[m].items[i];
            SCOPED_TRACE(want.caption);
            EXPECT_EQ(item.caption, want.caption);
            EXPECT_EQ(item.separator, std::string(want.caption) == "-");
            if (!item.separator) {
                EXPECT_EQ(item.name, want.name);
                EXPECT_NE(item.handler, nullptr);
            }
            EXPECT_EQ(item.shortCut.text(), want.shortCut);
            EXPECT_EQ(item.toggle, want.toggle);
            // The toggles start checked; nothing else is checked.
            EXPECT_EQ(item.checked, want.toggle);
        }
    }
}

TEST(MenuTable, ContextMenusCarryOneItemEach) {
    testing::ScriptedHost host;
    TForm_Schauplatz form(host, "/nonexistent/program/");
    ASSERT_EQ(form.PopupMenuElement().items.size(), 1u);
    EXPECT_EQ(form.PopupMenuElement().items[0].caption, "Bild vom Element laden");
    EXPECT_EQ(form.PopupMenuElement().items[0].handler,
              &TForm_Schauplatz::BildvomElementladen1Click);
    ASSERT_EQ(form.PopupMenuFassade().items.size(), 1u);
    EXPECT_EQ(form.PopupMenuFassade().items[0].caption, "Fassade Laden");
    EXPECT_EQ(form.PopupMenuFassade().items[0].handler, &TForm_Schauplatz::FassadeLaden1Click);
}

TEST(MenuTable, EveryKeyHasOneItem) {
    testing::ScriptedHost host;
    TForm_Schauplatz form(host, "/nonexistent/program/");
    const auto& menus = form.MainMenu1();
    auto nameAt = [&](MenuPosition pos) {
        return menus[static_cast<std::size_t>(pos.menu)]
            .items[static_cast<std::size_t>(pos.item)]
            .name;
    };
    // The first holders of the keys that were doubled keep them.
    EXPECT_EQ(nameAt(FindShortCutTarget(menus, {true, false, 'N'})), "NeuesProjekt1");
    EXPECT_EQ(nameAt(FindShortCutTarget(menus, {true, true, 'S'})), "Bildspeichern1");
    EXPECT_EQ(nameAt(FindShortCutTarget(menus, {true, false, 'N', true})),
              "NeuesElementpositionieren1");
    EXPECT_EQ(nameAt(FindShortCutTarget(menus, {true, true, 'M'})), "rspeigeln1");
    EXPECT_EQ(nameAt(FindShortCutTarget(menus, {true, false, 'S', true})), "Projektspeichernals1");
    EXPECT_EQ(nameAt(FindShortCutTarget(menus, {true, false, 'S'})), "Projektspeichern1");
    EXPECT_EQ(nameAt(FindShortCutTarget(menus, {true, false, '='})), "Vergrern1");
    EXPECT_EQ(nameAt(FindShortCutTarget(menus, {true, false, '+'})), "Vergrern1");
    EXPECT_FALSE(FindShortCutTarget(menus, {true, false, 'Q'}).valid());
    EXPECT_FALSE(FindShortCutTarget(menus, {false, true, 'S'}).valid());
    EXPECT_FALSE(FindShortCutTarget(menus, {}).valid());

    // Every item with a key is reached by it, and no two items carry the same key.
    std::vector<ShortCut> keys;
    for (int m = 0; m < static_cast<int>(menus.size()); ++m) {
        for (int i = 0; i < static_cast<int>(menus[static_cast<std::size_t>(m)].items.size());
             ++i) {
            const MenuItem& item =
                menus[static_cast<std::size_t>(m)].items[static_cast<std::size_t>(i)];
            EXPECT_EQ(ReachedByShortCut(menus, {m, i}), !item.shortCut.empty()) << item.name;
            if (!item.shortCut.empty()) keys.push_back(item.shortCut);
            keys.insert(keys.end(), item.moreShortCuts.begin(), item.moreShortCuts.end());
        }
    }
    for (std::size_t a = 0; a < keys.size(); ++a)
        for (std::size_t b = a + 1; b < keys.size(); ++b)
            EXPECT_FALSE(keys[a] == keys[b]) << keys[a].text();
    EXPECT_FALSE(ReachedByShortCut(menus, {99, 0}));
    EXPECT_FALSE(ReachedByShortCut(menus, {0, 99}));
}

TEST(MenuTable, ShortCutTextAndLookup) {
    EXPECT_EQ((ShortCut{true, true, 'F'}).text(), "Ctrl+Alt+F");
    EXPECT_EQ((ShortCut{true, false, 'Z'}).text(), "Ctrl+Z");
    EXPECT_EQ(ShortCut{}.text(), "");
    EXPECT_EQ((ShortCut{true, false, 'Z', true}).text(), "Ctrl+Shift+Z");
    EXPECT_EQ((ShortCut{true, false, '+'}).text(), "Ctrl++");
    EXPECT_EQ((ShortCut{false, false, std::string("F1")}).text(), "F1");
    EXPECT_FALSE((ShortCut{false, false, std::string("Del")}).empty());
    // A further key reaches its item like the item's own; the first holder in menu order wins.
    MenuItem zoomIn{"in", "In", {true, false, '+'}, {{true, false, '='}}, false, false, false, {}};
    MenuItem other{"other", "Other", {true, false, '='}, {}, false, false, false, {}};
    const std::vector<Menu> keyed{Menu{"V", "&V", true, {zoomIn, other}}};
    EXPECT_EQ(FindShortCutTarget(keyed, {true, false, '='}), (MenuPosition{0, 0}));
    EXPECT_EQ(FindShortCutTarget(keyed, {true, false, '+'}), (MenuPosition{0, 0}));
    EXPECT_FALSE(FindShortCutTarget(keyed, {true, false, '=', true}).valid());
    EXPECT_FALSE(ReachedByShortCut(keyed, {0, 1}));
    std::vector<Menu> menus{
        Menu{"A", "&A", true, {MenuItem{"x", "X", {}, {}, false, false, false, {}}}}};
    ASSERT_TRUE(FindMenuItem(menus, "x").has_value());
    EXPECT_EQ(*FindMenuItem(menus, "x"), (MenuPosition{0, 0}));
    EXPECT_FALSE(FindMenuItem(menus, "y").has_value());
    EXPECT_FALSE(FindMenuItem(menus, "").has_value());
}

} // namespace
} // namespace schauplatz
