#include "persistence/Resource.h"

#include "resources/EmbeddedResources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace {

// Registered resources; looked up on the threads that create plug-in
// instances and editors, never on the audio thread.
struct Registered {
    std::mutex mutex;
    std::map<std::string, std::vector<std::uint8_t>, std::less<>> resources;
};

Registered& registered()
{
    static Registered instance;
    return instance;
}

// Tables added by static initialisers, before main and before any thread
// looks anything up; afterwards only read.
std::vector<std::span<const EmbeddedResource>>& addedTables()
{
    static std::vector<std::span<const EmbeddedResource>> tables;
    return tables;
}

std::optional<std::span<const std::uint8_t>> findInTable(std::span<const EmbeddedResource> table,
                                                         const std::string& key)
{
    auto found = std::lower_bound(table.begin(), table.end(), key, [](const EmbeddedResource& entry, const std::string& k) {
        return std::strcmp(entry.name, k.c_str()) < 0;
    });
    if (found == table.end() || key != found->name)
        return std::nullopt;
    return std::span<const std::uint8_t>(found->data, found->size);
}

} // namespace

std::string resourceKey(std::string_view name)
{
    std::string key(name.substr(0, name.find('.')));
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

std::optional<std::span<const std::uint8_t>> findResource(std::string_view name)
{
    std::string key = resourceKey(name);
    {
        Registered& r = registered();
        std::lock_guard lock(r.mutex);
        auto found = r.resources.find(key);
        if (found != r.resources.end())
            return std::span<const std::uint8_t>(found->second);
    }
    if (auto bytes = findInTable(embeddedResources(), key))
        return bytes;
    for (std::span<const EmbeddedResource> table : addedTables())
        if (auto bytes = findInTable(table, key))
            return bytes;
    return std::nullopt;
}

void addResourceTable(std::span<const EmbeddedResource> table)
{
    addedTables().push_back(table);
}

std::span<const std::uint8_t> loadResource(std::string_view name)
{
    auto bytes = findResource(name);
    if (!bytes)
        throw EResource();
    return *bytes;
}

void registerResource(std::string_view name, std::vector<std::uint8_t> bytes)
{
    Registered& r = registered();
    std::lock_guard lock(r.mutex);
    r.resources[resourceKey(name)] = std::move(bytes);
}

void unregisterResource(std::string_view name)
{
    Registered& r = registered();
    std::lock_guard lock(r.mutex);
    r.resources.erase(resourceKey(name));
}
