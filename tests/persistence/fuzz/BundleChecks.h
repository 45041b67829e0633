#pragma once

// What must hold for any bytes read as a document bundle, shared by the
// bundle fuzzer and the replay of its corpus: every file it yields has a
// path that stays inside the folder it is extracted to.

#include "persistence/DocumentBundle.h"

#include <cstdint>
#include <span>
#include <string>

namespace bundlechecks {

inline bool insideItsFolder(const std::string& path)
{
    if (path.empty() || path.front() == '/' || path.back() == '/')
        return false;
    std::size_t start = 0;
    while (true) {
        const auto slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
        if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos ||
            part.find('\0') != std::string::npos)
            return false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

// The number of files read; -1 when one of them would leave its folder.
inline int offer(std::span<const std::uint8_t> bytes)
{
    int files = 0;
    bool inside = true;
    const DocumentBundle bundle(bytes);
    for (const char* folder : {"FactoryPresets", "ApplicationData"})
        bundle.forEachFile(folder, [&](const std::string& path, const std::string&) {
            inside = inside && insideItsFolder(path);
            ++files;
        });
    return inside ? files : -1;
}

} // namespace bundlechecks
