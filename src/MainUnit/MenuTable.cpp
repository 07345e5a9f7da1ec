#include "MainUnit/MenuTable.h"

namespace schauplatz {

std::string ShortCut::text() const {
    if (empty()) return {};
    std::string result;
    if (ctrl) result += "Ctrl+";
    if (alt) result += "Alt+";
    if (shift) result += "Shift+";
    if (key != 0)
        result += key;
    else
        result += named;
    return result;
}

namespace {
bool carries(const MenuItem& item, const ShortCut& key) {
    if (item.separator) return false;
    if (item.shortCut == key) return true;
    for (const ShortCut& more : item.moreShortCuts)
        if (more == key) return true;
    return false;
}
} // namespace

MenuPosition FindShortCutTarget(const std::vector<Menu>& menus, const ShortCut& key) {
    if (key.empty()) return {};
    for (int m = 0; m < static_cast<int>(menus.size()); ++m) {
        const auto& items = menus[static_cast<std::size_t>(m)].items;
        for (int i = 0; i < static_cast<int>(items.size()); ++i) {
            const MenuItem& item = items[static_cast<std::size_t>(i)];
            if (carries(item, key)) return {m, i};
        }
    }
    return {};
}

bool ReachedByShortCut(const std::vector<Menu>& menus, MenuPosition pos) {
    if (!pos.valid() || pos.menu >= static_cast<int>(menus.size())) return false;
    const auto& items = menus[static_cast<std::size_t>(pos.menu)].items;
    if (pos.item >= static_cast<int>(items.size())) return false;
    const ShortCut& key = items[static_cast<std::size_t>(pos.item)].shortCut;
    return !key.empty() && FindShortCutTarget(menus, key) == pos;
}

std::optional<MenuPosition> FindMenuItem(const std::vector<Menu>& menus, const std::string& name) {
    if (name.empty()) return std::nullopt;
    for (int m = 0; m < static_cast<int>(menus.size()); ++m) {
        const auto& items = menus[static_cast<std::size_t>(m)].items;
        for (int i = 0; i < static_cast<int>(items.size()); ++i)
            if (items[static_cast<std::size_t>(i)].name == name) return MenuPosition{m, i};
    }
    return std::nullopt;
}

} // namespace schauplatz
