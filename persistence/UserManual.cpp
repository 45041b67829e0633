#include "persistence/UserManual.h"

#include "persistence/posix/ModuleFile.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> lv2Folders(const std::string& lv2Path, const std::string& home)
{
    std::vector<fs::path> folders;
    if (!lv2Path.empty()) {
        std::size_t start = 0;
        while (start <= lv2Path.size()) {
            const std::size_t end = std::min(lv2Path.find(':', start), lv2Path.size());
            if (end > start)
                folders.emplace_back(lv2Path.substr(start, end - start));
            start = end + 1;
        }
        return folders;
    }
    if (!home.empty())
        folders.push_back(fs::path(home) / ".lv2");
    folders.emplace_back("/usr/local/lib/lv2");
    folders.emplace_back("/usr/lib/lv2");
    return folders;
}

} // namespace

std::string findUserManual(const std::string& moduleFile, const std::string& lv2Path, const std::string& home)
{
    std::vector<fs::path> candidates;
    if (!moduleFile.empty()) {
        const fs::path folder = fs::path(moduleFile).parent_path();
        candidates.push_back(folder / userManualPage);
        candidates.push_back(folder.parent_path() / "lv2" / pluginBundleName / userManualPage);
    }
    for (const fs::path& folder : lv2Folders(lv2Path, home))
        candidates.push_back(folder / pluginBundleName / userManualPage);
    for (const fs::path& candidate : candidates) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) {
            const fs::path resolved = fs::weakly_canonical(candidate, error);
            return (error ? candidate : resolved).string();
        }
    }
    return {};
}

std::string userManualPath()
{
    const char* lv2Path = std::getenv("LV2_PATH");
    const char* home = std::getenv("HOME");
    return findUserManual(currentModuleFile(), lv2Path ? lv2Path : "", home ? home : "");
}
