#pragma once

#include "filters/DesignFilter.h"
#include "filters/FilterSettingTable.h"
#include "framework/Property.h"

#include <string>

class BinaryDataReader;

// One characteristic: how a filter saturates and resonates. Three tables
// over cut-off and peak (drive into the clip stage, cubic saturation of the
// band-pass state, resonance amount), the clip curve's shape factor and a
// fixed input gain compensation. Loaded once per process from an "MFil"
// resource and shared read-only by every filter afterwards.
class DesignFilter::Style : public PropertyOwner {
public:
    static constexpr float defaultShapeFactor = 0.3f;
    static constexpr float defaultLowestCutoff = 2.2666f;   // log2 Hz, about 4.8 Hz
    static constexpr float defaultHighestCutoff = 16.2064f;  // log2 Hz, about 75.6 kHz
    static constexpr int defaultGridSize = 11;

    // An empty name gives the neutral characteristic (setDefaults); any
    // other name is loaded as a resource, which throws when it is missing.
    Style(const std::string& tableName, float gainCompensation);
    virtual ~Style() = default;
    Style(const Style&) = delete;
    Style& operator=(const Style&) = delete;

    Property<float> clipShapeFactor;  // rebuilds the clip table
    Property<float> lowestCutoff;
    Property<float> highestCutoff;
    Property<int> gridSize;  // resizes the three tables

    FilterSettingTable driveTable;
    FilterSettingTable saturationTable;
    FilterSettingTable resonanceTable;

    float gridScale() const { return scale; }
    float gainCompensation() const { return compensation; }
    const StateVariableFilter::ClipTable& clipTable() const { return clip; }

    // Reads the named resource. A wrong magic leaves everything as it was;
    // a short resource keeps what was read. True when every value was read.
    bool loadCharacteristic(const std::string& tableName);
    // The same from any reader positioned at an "MFil" table.
    bool readCharacteristic(BinaryDataReader& in);

    // The plain state-variable filter as a table: resonance rising with the
    // peak row up to 0.999, no saturation, drive 0.1.
    void setDefaults();

    // Bilinear lookup: (resonance amount, saturation, drive), drive at least
    // 0.1. Cut-off (log2 Hz) and peak are held inside the grid.
    StateVariableFilter::Settings getSettings(float peak, float cutoff) const;

    void propertyChanged(PropertyBase& property) override;

private:
    void updateScale();

    float scale = 0.0f;
    StateVariableFilter::ClipTable clip;
    const float compensation;
};
