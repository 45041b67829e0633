#pragma once

#include "framework/SettingSerializer.h"

// Writes settings into the user's store of one key (see SettingsLocation.h),
// one value per call: ints and bools as dwords, strings and doubles as sz
// text, bytes as binary values. Each call rewrites the store atomically and
// keeps every other value in it. A store that cannot be written (its folder
// cannot be created, say) is silently left alone; the calls still return the
// value they were given.
class RegistryWriter : public SettingSerializer {
public:
    explicit RegistryWriter(std::string keyPath);

    bool isWriting() const override { return true; }
    void serializeBinary(const std::string& name, std::vector<std::uint8_t>& data) override;
    std::int32_t serializeInt(const std::string& name, std::int32_t value, std::int32_t defaultValue) override;
    std::string serializeString(const std::string& name, const std::string& value,
                                const std::string& defaultValue) override;

private:
    std::string keyPath;
};
