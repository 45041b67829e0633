#pragma once

#include "gui/Geometry.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gui {

class RootControl;

// The items of a popup menu. Ids are the caller's; 0 means "nothing chosen".
struct Menu {
    struct Item {
        std::string text;
        int id = 0;
        bool checked = false;
        bool enabled = true;
        bool separator = false;
        std::shared_ptr<Menu> submenu;
    };
    std::vector<Item> items;

    Menu& add(const std::string& text, int id, bool checked = false, bool enabled = true)
    {
        items.push_back({text, id, checked, enabled, false, nullptr});
        return *this;
    }
    Menu& addSeparator()
    {
        items.push_back({{}, 0, false, false, true, nullptr});
        return *this;
    }
    Menu& addSubmenu(const std::string& text, Menu submenu, bool enabled = true)
    {
        items.push_back({text, 0, false, enabled, false, std::make_shared<Menu>(std::move(submenu))});
        return *this;
    }
};

// Opens `menu` drawn by the toolkit inside the window, with its top-left
// corner at `at` (root coordinates; moved to stay inside the window), above
// everything else. The menu takes all input until it closes: a click on an
// item chooses it, a click elsewhere or Escape dismisses it. `chosen` then
// receives the item's id, or 0. Nothing waits: the call returns at once.
void popupMenu(RootControl& root, const Menu& menu, Point at, std::function<void(int)> chosen);

} // namespace gui
