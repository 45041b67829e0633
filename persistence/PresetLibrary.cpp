#include "persistence/PresetLibrary.h"

#include "framework/ApplicationInfo.h"
#include "framework/GenericPlugin.h"
#include "persistence/DocumentBundle.h"
#include "persistence/Folders.h"
#include "persistence/ProductFolders.h"
#include "persistence/Resource.h"
#include "persistence/UserSettings.h"

#include <atomic>

namespace {

const std::string noName;

} // namespace

namespace {

std::atomic<PresetLibrary*> adopted{nullptr};

} // namespace

PresetLibrary& PresetLibrary::shared()
{
    if (PresetLibrary* other = adopted.load(std::memory_order_acquire))
        return *other;
    static PresetLibrary library;
    return library;
}

void PresetLibrary::adopt(PresetLibrary* other) { adopted.store(other, std::memory_order_release); }

PresetLibrary::PresetLibrary() : fullPresets(std::make_unique<PresetManager>(".mvp")) {}

std::string PresetLibrary::getDefaultPath() const
{
    const std::string documents = documentsFolder();
    if (documents.empty())
        return {};
    return documents + ApplicationInfo::makerName + "/" + productFolderName() + "/";
}

void PresetLibrary::setPath(const std::string& path)
{
    mainPath = withTrailingSeparator(path);
    fullPresets->setPath(mainPath);
}

int PresetLibrary::registerSection(const std::string& extension, const std::string& name)
{
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (sections[i].name == name)
            return static_cast<int>(i);
    sections.push_back({name, std::make_unique<PresetManager>(extension)});
    return static_cast<int>(sections.size()) - 1;
}

void PresetLibrary::prepareSectionFolders()
{
    const std::string data = productDataFolder();
    if (data.empty())
        return;
    for (Section& s : sections) {
        const std::string folder = data + "Component Presets/" + s.name + "/";
        ensureFolder(folder);
        s.manager->setPath(folder);
    }
}

PresetManager* PresetLibrary::section(int index) const
{
    if (index < 0 || index >= getSectionCount())
        return nullptr;
    return sections[static_cast<std::size_t>(index)].manager.get();
}

const std::string& PresetLibrary::getSectionName(int index) const
{
    if (index < 0 || index >= getSectionCount())
        return noName;
    return sections[static_cast<std::size_t>(index)].name;
}

std::string PresetLibrary::sectionFileFilter(const std::string& extension)
{
    return "Merovance Component Presets (*" + extension + ")|*" + extension + "|All Files (*.*)|*.*";
}

int PresetLibrary::installFactoryContent()
{
    const auto bytes = findResource(factoryBundleResource);
    if (!bytes)
        return 0;
    const DocumentBundle bundle(*bytes);
    if (!bundle.isValid())
        return 0;
    int written = 0;
    if (const std::string presetFolder = getPath(); !presetFolder.empty())
        written += bundle.extract("FactoryPresets", presetFolder);
    if (const std::string data = productDataFolder(); !data.empty())
        written += bundle.extract("ApplicationData", data);
    fullPresets->rescan();
    for (Section& s : sections)
        s.manager->rescan();
    return written;
}

void PresetLibrary::addPreviousGenerationFolder()
{
    if (previousGenerationAdded)
        return;
    previousGenerationAdded = true;
    const std::string folder = previousGenerationPresetFolder(ApplicationInfo::shared());
    if (!folder.empty())
        fullPresets->addFolder(previousGenerationFolderName, folder);
}

void PresetLibrary::restorePresetName(GenericPlugin& plugin, const std::string& name)
{
    PresetState& state = plugin.getPresetState();
    const PresetItem* item = fullPresets->findByName(name);
    state.setPlace(name, item ? item->path : std::string());
    plugin.notifyPresetChanged();
}
