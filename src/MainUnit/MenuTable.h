#pragma once

// The window's menus as plain tables: captions with "&" mnemonics, shortcuts,
// toggle and checked states, and the form member each item runs. The Qt layer
// builds its menus from these tables; tests read them directly.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace schauplatz {

class TForm_Schauplatz;
using MenuHandler = void (TForm_Schauplatz::*)();

// A shortcut: modifiers with a character key (an upper-case letter, a digit or a sign such
// as '+') or with a named key ("F1", "PgUp", "PgDown", "Del", "Esc"), or none at all.
struct ShortCut {
    ShortCut() = default;
    ShortCut(bool withCtrl, bool withAlt, char character, bool withShift = false)
        : ctrl(withCtrl), alt(withAlt), key(character), shift(withShift) {}
    ShortCut(bool withCtrl, bool withAlt, std::string namedKey, bool withShift = false)
        : ctrl(withCtrl), alt(withAlt), shift(withShift), named(std::move(namedKey)) {}

    bool ctrl = false;
    bool alt = false;
    char key = 0; // the character key, 0 when the key is named or there is no shortcut
    bool shift = false;
    std::string named; // a key without a character, "" otherwise

    bool empty() const { return key == 0 && named.empty(); }
    // "Ctrl+Alt+S", "Ctrl+Shift+Z", "F1" (the portable key-sequence text), "" for none.
    std::string text() const;
    bool operator==(const ShortCut&) const = default;
};

struct MenuItem {
    std::string name;    // form name, e.g. "NeuesProjekt1"; "" for separators
    std::string caption; // German caption with "&" mnemonics, exactly as designed
    ShortCut shortCut;
    // Further keys that reach the item (Ctrl+= beside Ctrl++); the menu shows shortCut.
    std::vector<ShortCut> moreShortCuts;
    bool toggle = false; // flips Checked before the handler runs
    bool checked = false;
    bool separator = false;
    MenuHandler handler = nullptr;
    // A disabled item is shown greyed; its clicks and keys do nothing.
    bool enabled = true;
};

struct Menu {
    std::string name;
    std::string caption;
    bool visible = true;
    std::vector<MenuItem> items;
};

// Where an item sits: index of the menu in its bar, index of the item in it.
struct MenuPosition {
    int menu = -1;
    int item = -1;
    bool valid() const { return menu >= 0 && item >= 0; }
    bool operator==(const MenuPosition&) const = default;
};

// The item a key press goes to: the first item carrying the shortcut (as its own or as one
// of its further keys) in menu order (menus left to right, items top to bottom). Invalid
// when none does.
MenuPosition FindShortCutTarget(const std::vector<Menu>& menus, const ShortCut& key);

// Whether the item at pos is the one its shortcut reaches. An item whose key
// an earlier item already carries shows the key but is reached by mouse only.
bool ReachedByShortCut(const std::vector<Menu>& menus, MenuPosition pos);

// The position of the item with this form name, if any.
std::optional<MenuPosition> FindMenuItem(const std::vector<Menu>& menus, const std::string& name);

} // namespace schauplatz
