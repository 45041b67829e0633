#pragma once

#include "framework/Property.h"

#include <string>
#include <vector>

// One snapshot of the plug-in's settings for undo and A/B compare: every
// parameter value in flat-list order, the preset name, place and modified
// flag, and which compare slot was current.
struct StateRecord {
    std::string name;
    std::string presetName;
    std::string presetLocation;
    Property<bool> modified{nullptr, false};
    int compareIndex = 0;
    std::vector<float> values;
};
