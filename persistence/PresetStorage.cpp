#include "persistence/PresetStorage.h"

#include "framework/GenericPlugin.h"
#include "framework/ProgramTable.h"
#include "persistence/PresetFile.h"
#include "persistence/PresetLibrary.h"

#include <filesystem>

void PresetStorage::readUserSettings(GenericPlugin& plugin)
{
    PresetLibrary& library = PresetLibrary::shared();
    if (!MainPresetFolder::installed())
        MainPresetFolder::install(&library);
    library.presets().addListener(this);
    UserSettingsStorage::readUserSettings(plugin);
    library.prepareSectionFolders();
    library.installFactoryContent();
    library.addPreviousGenerationFolder();
}

bool PresetStorage::readPreset(GenericPlugin& plugin, const std::string& path, std::vector<float>& values)
{
    CollectionPresetLoader loader(PresetParameters::all(plugin));
    if (!readPresetFile(path, loader, plugin, presetFormatVersion()))
        return false;
    values = loader.getValues();
    return true;
}

bool PresetStorage::savePreset(GenericPlugin& plugin, const std::string& path)
{
    if (!savePresetFile(path, PresetParameters::all(plugin), presetFormatVersion()))
        return false;
    PresetLibrary::shared().presets().rescan();
    return true;
}

void PresetStorage::presetsChanged()
{
    std::lock_guard<std::mutex> lock(mutex);
    programList.clear();
    for (const PresetItem* item : PresetLibrary::shared().presets().getFlatList())
        programList.emplace_back(item->name, item->path);
    PluginStorage::programListChanged();
    listGeneration = PluginStorage::programListGeneration();
}

std::shared_ptr<const ProgramTable> PresetStorage::programTable(GenericPlugin& plugin)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (programList.empty())
        return nullptr;
    Layout& layout = layouts[{plugin.presetMagic(), plugin.getParameterCount()}];
    if (layout.table && layout.table->generation == listGeneration)
        return layout.table;
    // The records of the previous table by file, for those unchanged since.
    std::map<std::string, const ProgramRecord*> previous;
    if (layout.table)
        for (const ProgramRecord& r : layout.table->records)
            previous[r.location] = &r;
    auto built = std::make_shared<ProgramTable>();
    built->generation = listGeneration;
    built->records.reserve(programList.size());
    decltype(layout.stamps) stamps;
    for (const auto& [name, path] : programList) {
        ProgramRecord record{name, path, {}};
        std::error_code error;
        const auto time = std::filesystem::last_write_time(path, error).time_since_epoch().count();
        const std::uintmax_t size = error ? 0 : std::filesystem::file_size(path, error);
        const auto stamp = std::make_pair(static_cast<std::int64_t>(time), size);
        const auto seen = layout.stamps.find(path);
        const auto before = previous.find(path);
        if (!error && seen != layout.stamps.end() && seen->second == stamp && before != previous.end())
            record.values = before->second->values;
        else if (!plugin.readPreset(path, record.values))
            record.values.clear();
        if (!error)
            stamps[path] = stamp;
        built->records.push_back(std::move(record));
    }
    layout.table = std::move(built);
    layout.stamps = std::move(stamps);
    return layout.table;
}
