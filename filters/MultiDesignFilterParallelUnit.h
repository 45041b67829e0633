#pragma once

#include "filters/DesignFilter.h"
#include "filters/MultiDesignFilter.h"

#include <array>
#include <span>

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

    // Units of other slots whose passes may run together with this one's
    // when they fit into four lanes, and the signal paths whose input an
    // owner must read for its unit to join (an owner fed by another filter
    // cannot wait for a pass that includes that filter). Control thread,
    // while building; at most four of each.
    void sharePassesWith(std::span<ParallelUnit* const> units, std::span<const wave::Filter* const> paths);

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
    // This frame's lanes of the owners that want filtering; false for none.
    bool collectLanes(StateVariableFilter::Lanes& lanes) const;
    void markLanes(const StateVariableFilter::Lanes& lanes);
    // Whether this unit may join a pass of a unit with that response and
    // slope this frame without waiting for itself: its pass has not run, and
    // every owner reads a path's input (through settled switches).
    // A unit whose owners sit idle is not asked again while that holds: the
    // three slots a single filter leaves unused would be, every block.
    bool canJoin(GenericFilter::Response r, GenericFilter::Slope s) const
    {
        return !knownIdle() && joinsNow(r, s);
    }
    bool joinsNow(GenericFilter::Response r, GenericFilter::Slope s) const;
    // Whether the owner reads a path's input; `atRest` is cleared when the
    // answer rests on a node not at rest (a switch still gliding).
    bool readsPathInput(const GenericFilter& owner, bool& atRest) const;
    void runSharedPass(const StateVariableFilter::Lanes& ownLanes, int frameCount, std::size_t joining);

    std::array<ParallelUnit*, maxOwners> partners{};
    std::array<const wave::Filter*, maxOwners> paths{};
    // Whether any owner's amount gives it a share, and whether every owner
    // reads a path's input, while ownersFound holds: found through amounts
    // and nodes at rest only, they stand until the graph's rests end (a new
    // amount, a relink, a switch or mixer forgetting its route) or the
    // owners or paths change. Asked of up to three units per block, this
    // walked each owner's switches every time.
    mutable bool ownersFilter = false;
    mutable bool ownersReadPaths = false;

    const FilterCharacteristics& list;
    DesignFilter design;
};
