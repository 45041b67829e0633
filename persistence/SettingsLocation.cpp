#include "persistence/SettingsLocation.h"

#include "persistence/Folders.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char ca = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char cb = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (ca != cb)
            return false;
    }
    return i == a.size() && !b[i];
}

std::vector<std::string> machineConfigFolders()
{
    std::vector<std::string> folders;
    const char* list = std::getenv("XDG_CONFIG_DIRS");
    std::string text = list ? list : "";
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t colon = text.find(':', start);
        std::string entry = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!entry.empty() && entry.front() == '/')
            folders.push_back(withTrailingSeparator(entry));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    if (folders.empty())
        folders.push_back("/etc/xdg/");
    return folders;
}

} // namespace

std::string settingsKeyPath(const std::string& productName, std::int32_t majorVersion)
{
    return "Software\\Merovance\\" + productName + "\\" + std::to_string(majorVersion) + ".0";
}

std::string settingsStoreName(const std::string& keyPath)
{
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= keyPath.size()) {
        std::size_t separator = keyPath.find('\\', start);
        std::string component =
            keyPath.substr(start, separator == std::string::npos ? std::string::npos : separator - start);
        if (component == "." || component == ".." || component.find('/') != std::string::npos)
            return {};
        if (!component.empty())
            components.push_back(component);
        if (separator == std::string::npos)
            break;
        start = separator + 1;
    }
    if (!components.empty() && equalsIgnoringCase(components.front(), "software"))
        components.erase(components.begin());
    if (components.empty())
        return {};
    std::string name;
    for (const std::string& component : components)
        name += (name.empty() ? "" : "/") + component;
    return name + ".settings";
}

std::string settingsStoreFile(RegistryRoot root, const std::string& keyPath)
{
    std::string name = settingsStoreName(keyPath);
    if (name.empty())
        return {};
    if (root == RegistryRoot::currentUser) {
        std::string folder = userConfigFolder();
        return folder.empty() ? std::string() : folder + name;
    }
    for (const std::string& folder : machineConfigFolders()) {
        std::error_code error;
        if (std::filesystem::is_regular_file(folder + name, error))
            return folder + name;
    }
    return {};
}
