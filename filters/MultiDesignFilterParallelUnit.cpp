#include "filters/MultiDesignFilterParallelUnit.h"

#include "filters/FilterCharacteristics.h"
#include "wave/Graph.h"

MultiDesignFilter::ParallelUnit::ParallelUnit(wave::Graph& graph,
                                              const FilterCharacteristics& characteristics)
    : GenericFilter::ParallelFilterUnit(graph), list(characteristics),
      design(characteristics, graph.getBlockSize(), graph.getSampleRate())
{
}

void MultiDesignFilter::ParallelUnit::setCharacteristic(int index)
{
    if (index >= 0 && index < list.size())
        design.setCharacteristic(list[index]);
}

void MultiDesignFilter::ParallelUnit::prepareDesign()
{
    design.setSampleRate(getGraph().getSampleRate());
    // A reset starts a new stream: the segment grid restarts with it, as in
    // a new instance.
    design.setStreamPosition(getGraph().getPosition() - getGraph().getResetPosition());
    design.response = static_cast<int>(response.get());
    design.slope = static_cast<int>(slope.get());
}

void MultiDesignFilter::ParallelUnit::processAllOwners(int frameCount)
{
    if (!beginPass(frameCount))
        return;
    StateVariableFilter::Lanes lanes;
    bool any = false;
    for (int l = 0; l < maxOwners; ++l) {
        GenericFilter* owner = getOwner(l);
        if (!owner || !owner->wantsFiltering())
            continue;
        lanes.input[l] = owner->laneInput();
        lanes.output[l] = owner->laneOutput();
        lanes.cutoff[l] = owner->laneCutoff();
        lanes.peak[l] = owner->lanePeak();
        lanes.peakMultiplier[l] = owner->lanePeakMultiplier();
        lanes.cutoffConstant[l] = owner->laneCutoffConstant();
        lanes.peakConstant[l] = owner->lanePeakConstant();
        lanes.active[l] = true;
        any = true;
    }
    if (any) {
        prepareDesign();
        design.processLanes(lanes, frameCount);
        for (int l = 0; l < maxOwners; ++l) {
            if (lanes.active[l])
                getOwner(l)->markFiltered();
        }
    }
    endPass();
}

void MultiDesignFilter::ParallelUnit::process(const float* input, float* output, const float* cutoffs,
                                              const float* peaks, const float* peakMultiplier, int frameCount,
                                              bool constant)
{
    prepareDesign();
    design.process(input, output, cutoffs, peaks, peakMultiplier, frameCount, constant);
}
