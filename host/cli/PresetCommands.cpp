#include "host/cli/PresetCommands.h"

#include "persistence/PresetLibrary.h"

#include <filesystem>

namespace {

void list(const PresetFolder& folder, const std::string& shownAs, std::string& out)
{
    for (const auto& child : folder.getChildren())
        list(*child, shownAs.empty() ? child->getDisplayName() : shownAs + "/" + child->getDisplayName(), out);
    for (const auto& preset : folder.getPresets())
        out += preset->label + '\t' + shownAs + '\t' + preset->path + '\n';
}

} // namespace

std::string presetFileFor(const std::string& given)
{
    std::error_code error;
    if (given.find('/') != std::string::npos || std::filesystem::is_regular_file(given, error))
        return given;
    const PresetItem* item = PresetLibrary::shared().presets().findByName(given);
    return item ? item->path : std::string();
}

std::string presetListing(const PresetManager& presets)
{
    std::string out;
    list(presets, {}, out);
    for (int i = 0; i < presets.getAdditionalFolderCount(); ++i) {
        const PresetFolder& folder = presets.getAdditionalFolder(i);
        list(folder, folder.getDisplayName(), out);
    }
    return out;
}
