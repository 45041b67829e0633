#pragma once

#include "framework/SettingSerializer.h"

#include <map>
#include <string>
#include <vector>

namespace testplugin {

// Settings kept in memory as text. It implements only what a text store
// must, so what a test sees of numbers and switches is the base class's
// conversions.
struct MemorySerializer final : SettingSerializer {
    MemorySerializer(std::map<std::string, std::string>& kept, bool storing) : text(kept), writing(storing) {}
    bool isWriting() const override { return writing; }
    void serializeBinary(const std::string&, std::vector<std::uint8_t>&) override {}
    std::string serializeString(const std::string& name, const std::string& value, const std::string& def) override
    {
        if (writing)
            return text[name] = value;
        const auto found = text.find(name);
        return found == text.end() ? def : found->second;
    }
    std::map<std::string, std::string>& text;
    bool writing;
};

} // namespace testplugin
