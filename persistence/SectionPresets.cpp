#include "persistence/SectionPresets.h"

#include "persistence/PresetFile.h"
#include "persistence/PresetLibrary.h"

ComponentPresetHandler::ComponentPresetHandler(GenericPlugin& owner, int componentKind, int componentInstance)
    : plugin(owner), kind(componentKind), instance(componentInstance)
{
}

bool ComponentPresetHandler::load(const std::string& path)
{
    const PresetParameters section = PresetParameters::component(plugin, kind, instance);
    if (section.parameters.empty())
        return false;
    CollectionPresetLoader loader(section);
    return loadPresetFile(path, loader, plugin, sectionPresetVersion);
}

bool ComponentPresetHandler::save(const std::string& path)
{
    if (!savePresetFile(path, PresetParameters::component(plugin, kind, instance), sectionPresetVersion))
        return false;
    if (PresetManager* m = manager())
        m->rescan();
    return true;
}

bool ComponentPresetHandler::loadDefault()
{
    PresetManager* m = manager();
    if (!m)
        return false;
    m->rescan();
    const PresetItem* item = m->findByName("Default");
    return item && load(item->path);
}

PresetManager* ComponentPresetHandler::manager() const
{
    return PresetLibrary::shared().section(kind);
}
