#include "persistence/PresetStorage.h"

#include "framework/GenericPlugin.h"
#include "persistence/PresetFile.h"
#include "persistence/PresetLibrary.h"

void PresetStorage::readUserSettings(GenericPlugin& plugin)
{
    PresetLibrary& library = PresetLibrary::shared();
    if (!MainPresetFolder::installed())
        MainPresetFolder::install(&library);
    UserSettingsStorage::readUserSettings(plugin);
    library.prepareSectionFolders();
    library.installFactoryContent();
    library.addPreviousGenerationFolder();
}

bool PresetStorage::loadPreset(GenericPlugin& plugin, const std::string& path)
{
    CollectionPresetLoader loader(PresetParameters::all(plugin));
    return loadPresetFile(path, loader, plugin, presetFormatVersion());
}

bool PresetStorage::savePreset(GenericPlugin& plugin, const std::string& path)
{
    if (!savePresetFile(path, PresetParameters::all(plugin), presetFormatVersion()))
        return false;
    PresetLibrary::shared().presets().rescan();
    return true;
}

bool PresetStorage::loadProgram(GenericPlugin& plugin, int bank, int program)
{
    const PresetItem* item = PresetLibrary::shared().presets().findProgram(bank, program);
    return item && plugin.loadPreset(item->path);
}
