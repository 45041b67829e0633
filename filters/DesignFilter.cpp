#include "filters/DesignFilter.h"

#include "filters/DesignFilterStyle.h"
#include "filters/FilterCharacteristics.h"

DesignFilter::DesignFilter(const FilterCharacteristics& characteristics, int maxBlockLength, float sampleRate)
    : DesignFilter(characteristics[0], maxBlockLength, sampleRate)
{
}

DesignFilter::DesignFilter(const Style& characteristic, int maxBlockLength, float sampleRate)
    : StateVariableFilter(maxBlockLength, sampleRate), drive(this, 10.0f, 0.1f, 1.0f),
      saturation(this, 0.1f, 0.0f, 0.0f), resonanceAmount(this, 5.0f, 0.0f, 0.0f), useCharacteristic(this, true),
      style(&characteristic)
{
    setClipTable(style->clipTable());
}

void DesignFilter::setCharacteristic(const Style& characteristic)
{
    style = &characteristic;
    setClipTable(style->clipTable());
}

StateVariableFilter::Settings DesignFilter::computeSettings(float cutoff, float peak)
{
    cutoffSeen.store(cutoff, std::memory_order_relaxed);
    peakSeen.store(peak, std::memory_order_relaxed);
    if (useCharacteristic)
        return style->getSettings(peak, cutoff);
    return {resonanceAmount, saturation, drive};
}

float DesignFilter::gainCompensation() const
{
    return style->gainCompensation();
}

void DesignFilter::propertyChanged(PropertyBase&)
{
    reset();
}
