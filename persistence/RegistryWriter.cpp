#include "persistence/RegistryWriter.h"

#include "persistence/SettingsLocation.h"
#include "persistence/SettingsStore.h"

RegistryWriter::RegistryWriter(std::string path) : keyPath(std::move(path)) {}

void RegistryWriter::serializeBinary(const std::string& name, std::vector<std::uint8_t>& data)
{
    SettingsStore::store(settingsStoreFile(RegistryRoot::currentUser, keyPath), name, data);
}

std::int32_t RegistryWriter::serializeInt(const std::string& name, std::int32_t value, std::int32_t)
{
    SettingsStore::store(settingsStoreFile(RegistryRoot::currentUser, keyPath), name, value);
    return value;
}

std::string RegistryWriter::serializeString(const std::string& name, const std::string& value, const std::string&)
{
    SettingsStore::store(settingsStoreFile(RegistryRoot::currentUser, keyPath), name, value);
    return value;
}
