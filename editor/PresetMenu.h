#pragma once

#include "gui/Menu.h"

#include <string>
#include <vector>

class PresetFolder;

// A menu of presets built from a scanned folder tree: one submenu per child
// folder (titled with its display name), then one item per preset, labelled
// with its name or, with numbers shown, with its "(bank/program) name"
// label; "(No Presets)" for an empty folder. The preset at `current` is
// checked, and so is every submenu on the way to it. Every preset item gets
// its own id, from `firstId` up; pathOf turns a chosen id back into a file.
class PresetMenu {
public:
    explicit PresetMenu(int firstId) : first(firstId) {}

    gui::Menu build(const PresetFolder& folder, const std::string& current, bool numbered);

    // The file of a chosen id, or an empty text when the id is not one of
    // this menu's presets.
    std::string pathOf(int id) const;
    bool owns(int id) const { return id >= first && id < first + static_cast<int>(paths.size()); }
    // The first id after this menu's.
    int endId() const { return first + static_cast<int>(paths.size()); }

private:
    bool add(gui::Menu& menu, const PresetFolder& folder, const std::string& current, bool numbered);

    int first;
    std::vector<std::string> paths;
};
