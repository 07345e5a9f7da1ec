#include "MainUnit/MainUnit.h"
#include "ScriptedHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace schauplatz {
namespace {

// The menu bar as a user meets it, written down without looking at the table: each menu's
// title, then its lines: the caption (the letter after "&" is the underlined one, shown here
// in brackets), the key the menu shows, "[x]" for a ticked item ("[ ]" unticked) and "(grey)"
// for one that cannot be chosen yet. A menu that never shows is marked "(hidden)".
constexpr const char* kWhatTheUserSees = R"(
[D]atei
  [N]eues Projekt  | Ctrl+N
  Projekt laden | Ctrl+O
  Projekt [s]peichern | Ctrl+S
  Projekt speichern als.. | Ctrl+Shift+S
  ----
  Bild in Zwischenablage kopieren | Ctrl+C
  Aktuelles Bild speichern | Ctrl+Alt+S
[F]assade
  Fassade Laden | Ctrl+Alt+F
  Fassade nach links drehen | Ctrl+Alt+L
  Fassade nach rechts drehen | Ctrl+Alt+R
[E]lement
  Türen Musterverzeichnis laden | Ctrl+Alt+O
  ----
  Neues Element positionieren | Ctrl+Shift+N [x]
  Darstellung… | Ctrl+D
  ----
  Element übernehmen | Ctrl+U
  Schritt zurück | Ctrl+Z (grey)
  Schritt vor | Ctrl+Y (grey)
  ----
  Bearbeitung abbrechen | Esc (grey)
  Element entfernen | Del (grey)
  Nach vorne | Ctrl+PgUp (grey)
  Nach hinten | Ctrl+PgDown (grey)
  ----
  Ecken eingeben… | Ctrl+K
[A]nsicht
  Rahmen an/aus | Ctrl+R [x]
  ----
  Tür spiegeln | Ctrl+Alt+M
  ----
  Ganzes Bild | Ctrl+0
  Originalgröße | Ctrl+1
  Vergrößern | Ctrl++
  Verkleinern | Ctrl+-
  ----
  Lupe | [x]
  Einrasten | [x]
[Z]oom (hidden)
  kleiner |
  grösser |
  1:1 |
[H]ilfe
  Bedienung | F1
  Über Velora Bildkomposition |
)";

// "&Datei" as the user reads it: "[D]atei".
std::string shown(const std::string& Caption) {
    std::string text;
    for (std::size_t i = 0; i < Caption.size(); ++i) {
        if (Caption[i] == '&' && i + 1 < Caption.size()) {
            text += '[';
            text += Caption[++i];
            text += ']';
        } else {
            text += Caption[i];
        }
    }
    return text;
}

std::string userView(const std::vector<Menu>& Menus) {
    std::string text = "\n";
    for (const Menu& menu : Menus) {
        text += shown(menu.caption) + (menu.visible ? "" : " (hidden)") + "\n";
        for (const MenuItem& item : menu.items) {
            if (item.separator) {
                text += "  ----\n";
                continue;
            }
            std::string line = "  " + shown(item.caption) + " |";
            if (!item.shortCut.empty()) line += " " + item.shortCut.text();
            if (item.toggle) line += item.checked ? " [x]" : " [ ]";
            if (!item.enabled) line += " (grey)";
            text += line + "\n";
        }
    }
    return text;
}

TEST(MenuTable, ShowsTheUserTheDesignedMenuBar) {
    testing::ScriptedHost host;
    TForm_Schauplatz form(host, "/nonexistent/program/");
    EXPECT_EQ(userView(form.MainMenu1()), kWhatTheUserSees);
}

// What the view above cannot see: every item runs a member, has a name of its own, and only
// toggles can be ticked; separators run nothing.
TEST(MenuTable, EveryItemRunsAMemberUnderANameOfItsOwn) {
    testing::ScriptedHost host;
    TForm_Schauplatz form(host, "/nonexistent/program/");
    std::vector<std::string> names;
    for (const Menu& menu : form.MainMenu1())
        for (const MenuItem& item : menu.items) {
            SCOPED_TRACE(menu.name + " / " + item.caption);
            if (item.separator) {
                EXPECT_EQ(item.handler, nullptr);
                EXPECT_EQ(item.caption, "-");
                EXPECT_TRUE(item.shortCut.empty());
                continue;
            }
            EXPECT_NE(item.handler, nullptr);
            EXPECT_FALSE(item.name.empty());
            EXPECT_EQ(std::count(names.begin(), names.end(), item.name), 0) << item.name;
            names.push_back(item.name);
            if (!item.toggle) {
                EXPECT_FALSE(item.checked);
            }
            EXPECT_TRUE(FindMenuItem(form.MainMenu1(), item.name).has_value());
        }
    // The items the rest of the program and the help page name.
    for (const char* name : {"NeuesProjekt1",
                             "Projektladen1",
                             "Projektspeichern1",
                             "Projektspeichernals1",
                             "InZwischenablagekopieren1",
                             "Bildspeichern1",
                             "FassadeLaden1",
                             "Muster1",
                             "NeuesElementpositionieren1",
                             "Darstellung1",
                             "Elementbernehmen1",
                             "Schrittzurck1",
                             "Schrittvor1",
                             "Bearbeitungabbrechen1",
                             "Elemententfernen1",
                             "Eckeneingeben1",
                             "Vertexanaus1",
                             "rspeigeln1",
                             "GanzesBild1",
                             "Originalgre1",
                             "Vergrern1",
                             "Verkleinern1",
                             "Lupe1",
                             "Einrasten1",
                             "Bedienung1",
                             "berVeloraBildkomposition1"})
        EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
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
