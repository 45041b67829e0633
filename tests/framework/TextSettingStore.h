#pragma once

#include "framework/SettingSerializer.h"

#include <map>
#include <string>
#include <vector>

// A serializer that keeps everything as text in memory and implements only
// what a text store must, so the base class's conversions are what is under
// test. It logs the names it is asked for, in order.
class TextSettingStore : public SettingSerializer {
public:
    explicit TextSettingStore(bool storing) : writing(storing) {}

    bool isWriting() const override { return writing; }

    void serializeBinary(const std::string& name, std::vector<std::uint8_t>& data) override
    {
        log.push_back(name);
        if (writing)
            binary[name] = data;
        else if (binary.count(name))
            data = binary[name];
    }

    std::string serializeString(const std::string& name, const std::string& value,
                                const std::string& defaultValue) override
    {
        log.push_back(name);
        if (writing) {
            text[name] = value;
            return value;
        }
        auto found = text.find(name);
        return found == text.end() ? defaultValue : found->second;
    }

    bool writing;
    std::map<std::string, std::string> text;
    std::map<std::string, std::vector<std::uint8_t>> binary;
    std::vector<std::string> log;
};
