#include "filters/MultiDesignFilter.h"

#include "filters/FilterCharacteristics.h"
#include "filters/MultiDesignFilterParallelUnit.h"
#include "filters/OversampledClip.h"

#include <algorithm>
#include <stdexcept>

MultiDesignFilter::MultiDesignFilter(wave::Graph& graph, ParallelUnit& slotUnit, wave::Producer* source)
    : GenericFilter(graph, source), characteristic(this, 0), slot(slotUnit), clean(graph)
{
    const int tables = slotUnit.getCharacteristics().size();
    entries.reserve(static_cast<std::size_t>(tables) + 1);
    for (int i = 0; i < tables; ++i)
        entries.push_back({nullptr, &slotUnit, i});
    cleanIndex = tables;
    entries.push_back({&clean, nullptr, cleanIndex});
    if (!setParallelUnit(&slotUnit))
        throw std::length_error("A filter slot serves at most four filters");
    apply(0);
}

MultiDesignFilter::~MultiDesignFilter() = default;

int MultiDesignFilter::getLatency() const
{
    return characteristic.get() == cleanIndex ? 0 : OversampledClip::latency;
}

void MultiDesignFilter::reset()
{
    // Every unit this filter may switch to (the slot's shared unit and the
    // clean one are among them), so that none keeps a state from before the
    // reset.
    for (const Characteristic& entry : entries) {
        if (entry.plainUnit)
            entry.plainUnit->reset();
        if (entry.parallelUnit)
            entry.parallelUnit->reset();
    }
}

void MultiDesignFilter::propertyChanged(PropertyBase& property)
{
    if (&property != &characteristic)
        return;
    const int clamped = std::clamp(characteristic.get(), 0, getCharacteristicCount() - 1);
    if (clamped != characteristic.get()) {
        characteristic = clamped; // notifies again with the clamped value
        return;
    }
    apply(clamped);
}

void MultiDesignFilter::apply(int index)
{
    const Characteristic& entry = entries[static_cast<std::size_t>(index)];
    if (entry.parallelUnit) {
        // A full unit leaves the filter on its plain unit (or bypassed);
        // the slot's own unit always has room for the filter built on it.
        setParallelUnit(entry.parallelUnit);
    } else {
        setParallelUnit(nullptr);
        setUnit(entry.plainUnit);
    }
    if (entry.parallelUnit == &slot)
        slot.setCharacteristic(entry.index);
}
