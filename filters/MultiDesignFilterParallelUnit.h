#pragma once

#include "filters/DesignFilter.h"
#include "filters/MultiDesignFilter.h"

// The shared unit of one filter slot: one DesignFilter (the saturating
// state-variable filter with a characteristic) that filters the same slot of
// every channel in one four-lane pass, lane i for the owner registered i-th.
// Four per plug-in instance, built with it and outliving its filters.
//
// A lane whose owner is switched off (amount constantly 0), muted or absent
// is left out: it reads silence, its output is not written and its states
// stay as they were.
class MultiDesignFilter::ParallelUnit : public GenericFilter::ParallelFilterUnit {
public:
    // Control thread. The list must outlive the unit (the process-wide list
    // does); the DesignFilter starts with its first characteristic.
    ParallelUnit(wave::Graph& graph, const FilterCharacteristics& characteristics);

    const FilterCharacteristics& getCharacteristics() const { return list; }
    DesignFilter& getDesignFilter() { return design; }
    const DesignFilter& getDesignFilter() const { return design; }
    // Selects the characteristic at this index of the list (states kept).
    void setCharacteristic(int index);

    void processAllOwners(int frameCount) override;
    // One signal on lane 0, for a filter using this unit on its own.
    void process(const float* input, float* output, const float* cutoffs, const float* peaks,
                 const float* peakMultiplier, int frameCount, bool constant) override;
    bool supportsResponse(GenericFilter::Response value) const override
    {
        return design.supportsResponse(value);
    }
    bool supportsSlope(GenericFilter::Slope value) const override { return design.supportsSlope(value); }
    void reset() override { design.reset(); }

private:
    void prepareDesign();

    const FilterCharacteristics& list;
    DesignFilter design;
};
