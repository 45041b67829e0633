#pragma once

#include "filters/BiQuadFilter.h"
#include "filters/GenericFilter.h"
#include "framework/Property.h"

#include <vector>

class FilterCharacteristics;

// The filter of one slot of one channel, as the effect uses it. Its
// Characteristic picks the unit: the ten table characteristics share the
// slot's four-lane DesignFilter with the same slot of every other channel
// (see MultiDesignFilter::ParallelUnit), "Clean" uses this filter's own
// BiQuadFilter. Switching never resets a state: the shared filter keeps its
// lane and the clean unit its sections, so going away and coming back finds
// both as they were.
class MultiDesignFilter : public GenericFilter, public PropertyOwner {
public:
    class ParallelUnit;

    // One choice of the Characteristic parameter.
    struct Characteristic {
        FilterUnit* plainUnit;            // used when there is no parallel unit
        ParallelFilterUnit* parallelUnit; // or null
        int index;                        // position in the characteristic list
    };

    // Control thread, while building. Appends one entry per characteristic of
    // the slot's list (all served by the slot's shared unit), then "Clean"
    // (this filter's BiQuadFilter), and starts with characteristic 0.
    // Throws std::length_error when the slot already serves four filters.
    MultiDesignFilter(wave::Graph& graph, ParallelUnit& slotUnit, wave::Producer* source = nullptr);
    ~MultiDesignFilter() override;

    // Index into the entries (the Characteristic parameter's value); clamped.
    // Audio thread (parameter changes) or control thread.
    Property<int> characteristic;

    int getCharacteristicCount() const { return static_cast<int>(entries.size()); }
    const Characteristic& getEntry(int index) const { return entries[static_cast<std::size_t>(index)]; }
    // The index of "Clean": the entry after the table characteristics.
    int getCleanIndex() const { return cleanIndex; }
    BiQuadFilter& getCleanUnit() { return clean; }
    ParallelUnit& getSlotUnit() const { return slot; }
    // Samples by which the current characteristic delays the signal: the
    // table characteristics' oversampled output stage; Clean is immediate.
    int getLatency() const;

    // Appends a further choice. Control thread, while building.
    void addCharacteristic(const Characteristic& entry) { entries.push_back(entry); }

    // Clears the states of every unit this filter can use.
    void reset() override;

    void propertyChanged(PropertyBase& property) override;

private:
    void apply(int index);

    ParallelUnit& slot;
    BiQuadFilter clean;
    std::vector<Characteristic> entries;
    int cleanIndex;
};
