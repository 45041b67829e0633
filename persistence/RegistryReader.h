#pragma once

#include "framework/SettingSerializer.h"
#include "persistence/SettingsLocation.h"
#include "persistence/SettingsStore.h"

#include <optional>

// Reads settings from the store of one key. Every call opens the store by
// itself, so a reader can live as long as its owner likes and always sees the
// latest values. A value is used only when it has the expected type: an int
// (and so a bool) must be a dword, a string an sz, bytes a binary value; a
// missing store, a missing value or one of another type gives the default.
class RegistryReader : public SettingSerializer {
public:
    RegistryReader(RegistryRoot root, std::string keyPath);

    bool isWriting() const override { return false; }
    void serializeBinary(const std::string& name, std::vector<std::uint8_t>& data) override;
    std::int32_t serializeInt(const std::string& name, std::int32_t value, std::int32_t defaultValue) override;
    std::string serializeString(const std::string& name, const std::string& value,
                                const std::string& defaultValue) override;

private:
    std::optional<SettingsStore::Value> find(const std::string& name) const;

    RegistryRoot root;
    std::string keyPath;
};
