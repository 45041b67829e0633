#include "persistence/PresetFolder.h"

#include "framework/FileEnumerator.h"
#include "persistence/Folders.h"

#include <algorithm>
#include <chrono>

namespace {

signed char lowered(char c)
{
    if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
    return static_cast<signed char>(c);
}

std::string lastComponent(const std::string& folderPath)
{
    std::string trimmed = folderPath;
    while (!trimmed.empty() && trimmed.back() == '/')
        trimmed.pop_back();
    const auto slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// Names equal but for case keep one order whatever the file system lists
// first: by their bytes.
bool orderedNames(const std::string& a, const std::string& b)
{
    if (presetNameLess(a, b))
        return true;
    return !presetNameLess(b, a) && a < b;
}

} // namespace

bool presetNameLess(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const signed char x = lowered(a[i]);
        const signed char y = lowered(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

std::int64_t PresetFolder::steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

PresetFolder::~PresetFolder() = default;

void PresetFolder::scan(const std::string& folder, const std::string& ext, std::int64_t budgetMs,
                        const Clock& clock)
{
    const std::int64_t start = clock();
    children.clear();
    presets.clear();
    folderPath = withTrailingSeparator(folder);
    folderExtension = ext;
    const std::string& path = folderPath;
    const std::string& extension = folderExtension;
    displayName = lastComponent(path);
    pinned = displayName.starts_with("_");
    if (pinned)
        displayName.erase(0, 1);
    if (path.empty())
        return;

    if (budgetMs > 0) {
        for (auto e = createFileEnumerator(path, {}, true); e->next();) {
            const std::int64_t left = budgetMs - (clock() - start);
            if (left <= 0)
                break;
            auto child = std::make_unique<PresetFolder>();
            child->scan(path + e->currentName(), extension, left, clock);
            children.push_back(std::move(child));
        }
        std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
            if (a->pinned != b->pinned)
                return a->pinned;
            return orderedNames(a->displayName, b->displayName);
        });
    }

    for (auto e = createFileEnumerator(path, extension, false); e->next();) {
        auto item = std::make_unique<PresetItem>();
        const std::string& file = e->currentName();
        item->path = path + file;
        item->name = file.substr(0, file.size() - extension.size());
        presets.push_back(std::move(item));
    }
    std::sort(presets.begin(), presets.end(),
              [](const auto& a, const auto& b) { return orderedNames(a->name, b->name); });
}

void PresetFolder::flatten(std::vector<PresetItem*>& flat) const
{
    for (const auto& child : children)
        child->flatten(flat);
    for (const auto& preset : presets)
        flat.push_back(preset.get());
}
