#include "persistence/posix/ModuleFile.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>

std::string currentModuleFile()
{
    // Any function of this module will do; this one is at hand.
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&currentModuleFile), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0 ||
        !map)
        return {};
    std::error_code error;
    // The program's own entry has no name (dladdr would offer argv[0], which
    // may be relative to a folder the program has since left).
    const std::filesystem::path file =
        map->l_name && map->l_name[0] ? std::filesystem::path(map->l_name) : std::filesystem::path("/proc/self/exe");
    const std::filesystem::path resolved = std::filesystem::canonical(file, error);
    return error ? std::string() : resolved.string();
}
