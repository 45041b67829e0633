#pragma once

#include "filters/StateVariableFilter.h"
#include "framework/Property.h"

#include <atomic>

class FilterCharacteristics;

// The state-variable filter whose segment settings come from a
// characteristic (DesignFilter::Style): drive, saturation and resonance
// amount per cut-off and peak, the characteristic's clip curve and its
// input gain compensation.
//
// A characteristic is shared, read-only data; switching it swaps the tables,
// the clip curve and the gain compensation together and keeps the states.
class DesignFilter : public StateVariableFilter, public PropertyOwner {
public:
    class Style;

    // Starts with the first entry of the list.
    explicit DesignFilter(const FilterCharacteristics& characteristics,
                          int maxBlockLength = defaultMaxBlockLength, float sampleRate = 44100.0f);
    explicit DesignFilter(const Style& characteristic, int maxBlockLength = defaultMaxBlockLength,
                          float sampleRate = 44100.0f);

    // Audio thread (on a parameter change): takes effect at the next segment.
    void setCharacteristic(const Style& characteristic);
    const Style& characteristic() const { return *style; }

    Settings computeSettings(float cutoff, float peak) override;
    float gainCompensation() const override;

    // Settings that bypass the characteristic while useCharacteristic is
    // false. The effect never clears it; any change of these resets the
    // states, as a fresh filter would start.
    LimitedProperty<float> drive;
    LimitedProperty<float> saturation;
    LimitedProperty<float> resonanceAmount;
    Property<bool> useCharacteristic;

    // What the last segment asked for; any thread (the display reads these).
    float lastCutoff() const { return cutoffSeen.load(std::memory_order_relaxed); }
    float lastPeak() const { return peakSeen.load(std::memory_order_relaxed); }

    void propertyChanged(PropertyBase& property) override;

private:
    const Style* style;
    std::atomic<float> cutoffSeen{0.0f};
    std::atomic<float> peakSeen{0.0f};
};
