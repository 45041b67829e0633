#include "editor/PresetMenu.h"

#include "persistence/PresetFolder.h"

gui::Menu PresetMenu::build(const PresetFolder& folder, const std::string& current, bool numbered)
{
    gui::Menu menu;
    add(menu, folder, current, numbered);
    return menu;
}

// Returns whether the current preset is in this folder or below it.
bool PresetMenu::add(gui::Menu& menu, const PresetFolder& folder, const std::string& current, bool numbered)
{
    if (folder.isEmpty()) {
        menu.add("(No Presets)", 0, false, false);
        return false;
    }
    bool holdsCurrent = false;
    for (const auto& child : folder.getChildren()) {
        gui::Menu sub;
        const bool below = add(sub, *child, current, numbered);
        menu.addSubmenu(child->getDisplayName(), std::move(sub));
        menu.items.back().checked = below;
        holdsCurrent = holdsCurrent || below;
    }
    for (const auto& preset : folder.getPresets()) {
        const bool isCurrent = !current.empty() && preset->path == current;
        const int id = first + static_cast<int>(paths.size());
        paths.push_back(preset->path);
        menu.add(numbered && !preset->label.empty() ? preset->label : preset->name, id, isCurrent);
        holdsCurrent = holdsCurrent || isCurrent;
    }
    return holdsCurrent;
}

std::string PresetMenu::pathOf(int id) const
{
    if (!owns(id))
        return {};
    return paths[static_cast<std::size_t>(id - first)];
}
