#include "persistence/RegistryReader.h"

RegistryReader::RegistryReader(RegistryRoot storeRoot, std::string path) : root(storeRoot), keyPath(std::move(path)) {}

std::optional<SettingsStore::Value> RegistryReader::find(const std::string& name) const
{
    SettingsStore::Values values = SettingsStore::load(settingsStoreFile(root, keyPath));
    auto found = values.find(name);
    if (found == values.end())
        return std::nullopt;
    return std::move(found->second);
}

void RegistryReader::serializeBinary(const std::string& name, std::vector<std::uint8_t>& data)
{
    auto value = find(name);
    if (value && std::holds_alternative<SettingsStore::Binary>(*value))
        data = std::move(std::get<SettingsStore::Binary>(*value));
}

std::int32_t RegistryReader::serializeInt(const std::string& name, std::int32_t, std::int32_t defaultValue)
{
    auto value = find(name);
    if (value && std::holds_alternative<SettingsStore::Dword>(*value))
        return std::get<SettingsStore::Dword>(*value);
    return defaultValue;
}

std::string RegistryReader::serializeString(const std::string& name, const std::string&,
                                            const std::string& defaultValue)
{
    auto value = find(name);
    if (value && std::holds_alternative<SettingsStore::Text>(*value))
        return std::move(std::get<SettingsStore::Text>(*value));
    return defaultValue;
}
