#include "persistence/Folders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// An XDG base folder variable counts only when it holds an absolute path;
// anything else is to be ignored.
std::string absoluteFromEnvironment(const char* variable)
{
    const char* value = std::getenv(variable);
    if (!value || value[0] != '/')
        return {};
    return withTrailingSeparator(value);
}

std::string xdgFolder(const char* variable, const char* belowHome)
{
    std::string folder = absoluteFromEnvironment(variable);
    if (!folder.empty())
        return folder;
    std::string home = homeFolder();
    return home.empty() ? std::string() : home + belowHome;
}

// The value of `key` in user-dirs.dirs, a shell fragment of lines like
//     XDG_DOCUMENTS_DIR="$HOME/Documents"
// where the value is either "$HOME/..." or an absolute path.
std::string userDirectory(const std::string& key)
{
    std::string config = userConfigFolder();
    if (config.empty())
        return {};
    std::ifstream in(config + "user-dirs.dirs");
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line.compare(first, key.size(), key) != 0)
            continue;
        std::size_t equals = first + key.size();
        if (equals >= line.size() || line[equals] != '=')
            continue;
        std::string value = line.substr(equals + 1);
        std::size_t end = value.find_last_not_of(" \t\r");
        value = end == std::string::npos ? std::string() : value.substr(0, end + 1);
        if (value.size() < 2 || value.front() != '"' || value.back() != '"')
            continue;
        value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
            std::string home = homeFolder();
            if (home.empty())
                continue;
            std::string rest = value.size() > 6 ? value.substr(6) : std::string();
            found = home + rest; // the last definition counts, as in the shell
        } else if (!value.empty() && value.front() == '/') {
            found = value;
        }
    }
    return withTrailingSeparator(found);
}

} // namespace

bool ensureFolder(const std::string& path)
{
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.empty())
        return false;
    std::error_code error;
    if (std::filesystem::is_directory(folder, error))
        return true;
    std::string::size_type slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !ensureFolder(folder.substr(0, slash)))
        return false;
    std::filesystem::create_directory(folder, error);
    return std::filesystem::is_directory(folder, error);
}

std::string withTrailingSeparator(const std::string& path)
{
    if (path.empty() || path.back() == '/')
        return path;
    return path + '/';
}

std::string homeFolder()
{
    return absoluteFromEnvironment("HOME");
}

std::string documentsFolder()
{
    std::string documents = userDirectory("XDG_DOCUMENTS_DIR");
    if (!documents.empty())
        return documents;
    std::string home = homeFolder();
    return home.empty() ? std::string() : home + "Documents/";
}

std::string applicationDataFolder()
{
    return xdgFolder("XDG_DATA_HOME", ".local/share/");
}

std::string userConfigFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config/");
}
