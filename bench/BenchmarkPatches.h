#pragma once

// The patches of bench/patches.txt, for the benchmarks that time them and
// the test that keeps their sound: each an id and its "NAME=VALUE" settings
// in the renderer's --set form.

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace benchpatches {

struct Patch {
    std::string id;
    std::vector<std::string> settings;
};

inline std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// Reads "id: a; b; c" lines; '#' starts a comment line. Throws when the
// file cannot be read or a line has no id.
inline std::vector<Patch> read(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::vector<Patch> patches;
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            throw std::runtime_error(path + ": no id in \"" + line + "\"");
        Patch p{trimmed(line.substr(0, colon)), {}};
        std::string rest = line.substr(colon + 1);
        for (std::size_t from = 0; from <= rest.size();) {
            const auto end = std::min(rest.find(';', from), rest.size());
            const std::string setting = trimmed(rest.substr(from, end - from));
            if (!setting.empty())
                p.settings.push_back(setting);
            from = end + 1;
        }
        patches.push_back(std::move(p));
    }
    return patches;
}

inline const Patch& find(const std::vector<Patch>& patches, const std::string& id)
{
    for (const Patch& p : patches)
        if (p.id == id)
            return p;
    throw std::runtime_error("no patch \"" + id + "\"");
}

} // namespace benchpatches
