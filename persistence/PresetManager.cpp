#include "persistence/PresetManager.h"

#include <algorithm>

namespace {

constexpr int programsPerBank = 128;

} // namespace

// A folder shown under a name of the caller's choosing.
class PresetManager::AdditionalFolder : public PresetFolder {
public:
    AdditionalFolder(std::string n, std::string p) : name(std::move(n)), folderPath(std::move(p)) {}
    void rescan(const std::string& ext, const Clock& clock)
    {
        scan(folderPath, ext, scanBudgetMs, clock);
        setDisplayName(name);
    }

private:
    std::string name;
    std::string folderPath;
};

PresetManager::PresetManager(std::string ext, Clock c) : extension(std::move(ext)), clock(std::move(c)) {}

PresetManager::~PresetManager() = default;

void PresetManager::setPath(const std::string& path)
{
    mainPath = path;
    rescan();
}

void PresetManager::rescan()
{
    scan(mainPath, extension, scanBudgetMs, clock);
    for (auto& folder : additional)
        folder->rescan(extension, clock);
    number();
}

void PresetManager::addFolder(const std::string& name, const std::string& path)
{
    additional.push_back(std::make_unique<AdditionalFolder>(name, path));
    additional.back()->rescan(extension, clock);
    number();
}

const PresetFolder& PresetManager::getAdditionalFolder(int i) const
{
    return *additional[static_cast<std::size_t>(i)];
}

void PresetManager::number()
{
    flat.clear();
    flatten(flat);
    for (const auto& folder : additional)
        folder->flatten(flat);
    for (std::size_t i = 0; i < flat.size(); ++i) {
        PresetItem& item = *flat[i];
        item.bank = static_cast<int>(i / programsPerBank);
        item.program = static_cast<int>(i % programsPerBank);
        item.label = "(" + std::to_string(item.bank) + "/" + std::to_string(item.program) + ") " + item.name;
    }
    // A listener may remove itself while being told.
    const std::vector<PresetListener*> told = listeners;
    for (PresetListener* listener : told)
        listener->presetsChanged();
}

const PresetItem* PresetManager::findByName(std::string_view name) const
{
    for (const PresetItem* item : flat)
        if (item->name == name)
            return item;
    return nullptr;
}

const PresetItem* PresetManager::findByPath(std::string_view path, int step) const
{
    const auto found = std::find_if(flat.begin(), flat.end(), [&](const PresetItem* p) { return p->path == path; });
    if (found == flat.end())
        return nullptr;
    const auto n = static_cast<std::ptrdiff_t>(flat.size());
    const std::ptrdiff_t i = found - flat.begin();
    const std::ptrdiff_t delta = step == previous ? -1 : step == next ? 1 : 0;
    return flat[static_cast<std::size_t>((i + delta + n) % n)];
}

const PresetItem* PresetManager::findProgram(int bank, int program) const
{
    if (bank < 0 || program < 0 || program >= programsPerBank)
        return nullptr;
    const auto index = static_cast<std::size_t>(bank) * programsPerBank + static_cast<std::size_t>(program);
    return index < flat.size() ? flat[index] : nullptr;
}

void PresetManager::addListener(PresetListener* listener)
{
    if (listener && std::find(listeners.begin(), listeners.end(), listener) == listeners.end())
        listeners.push_back(listener);
}

void PresetManager::removeListener(PresetListener* listener)
{
    std::erase(listeners, listener);
}
