#pragma once

#include "host/lv2/Lv2PluginGroup.h"

#include <lv2/core/lv2.h>

#include <cstdint>
#include <memory>
#include <vector>

// The C side of a module: one LV2_Descriptor per effect type of a group,
// whose callbacks create an adapter per instance and pass every call on to
// it. The group must outlive them.
class Lv2PluginDescriptors {
public:
    explicit Lv2PluginDescriptors(const Lv2PluginGroup& group);
    ~Lv2PluginDescriptors();
    Lv2PluginDescriptors(const Lv2PluginDescriptors&) = delete;
    Lv2PluginDescriptors& operator=(const Lv2PluginDescriptors&) = delete;

    // The descriptor of the type at index, or null past the last.
    const LV2_Descriptor* get(std::uint32_t index) const;

    // A descriptor with the type it stands for (the callbacks' view).
    struct Entry;

private:
    std::vector<std::unique_ptr<Entry>> entries;
};
