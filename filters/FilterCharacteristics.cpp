#include "filters/FilterCharacteristics.h"

const std::array<FilterCharacteristics::Factory, FilterCharacteristics::count>& FilterCharacteristics::factory()
{
    static const std::array<Factory, count> entries = {{
        {"Merovance One", "One.fil", 1.8f},
        {"Smooth", "Smooth.fil", 1.0f},
        {"Raw", "Raw.fil", 1.0f},
        {"Hard", "Monopoly.fil", 1.4f},
        {"Hollow", "Cheap.fil", 1.0f},
        {"Extreme", "Extreme.fil", 1.0f},
        {"Gentle", "Gentle.fil", 1.0f},
        {"Tube", "Tube.fil", 1.0f},
        {"Metal", "Metal.fil", 1.0f},
        {"Easy Going", "EasyGoing.fil", 1.0f},
    }};
    return entries;
}

const FilterCharacteristics& FilterCharacteristics::shared()
{
    static const FilterCharacteristics list(std::vector<Factory>(factory().begin(), factory().end()));
    return list;
}

FilterCharacteristics::FilterCharacteristics(const std::vector<Factory>& entries)
{
    styles.reserve(entries.size());
    for (const Factory& entry : entries)
        styles.push_back(std::make_unique<DesignFilter::Style>(entry.tableName, entry.gainCompensation));
}
