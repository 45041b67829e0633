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

void MultiDesignFilter::ParallelUnit::sharePassesWith(std::span<ParallelUnit* const> units,
                                                      std::span<const wave::Filter* const> pathList)
{
    partners = {};
    paths = {};
    std::size_t count = 0;
    for (ParallelUnit* unit : units) {
        if (unit && unit != this && count < partners.size())
            partners[count++] = unit;
    }
    for (std::size_t i = 0; i < pathList.size() && i < paths.size(); ++i)
        paths[i] = pathList[i];
    ownersFound.forget();
}

bool MultiDesignFilter::ParallelUnit::collectLanes(StateVariableFilter::Lanes& lanes) const
{
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
    return any;
}

void MultiDesignFilter::ParallelUnit::markLanes(const StateVariableFilter::Lanes& lanes)
{
    for (int l = 0; l < maxOwners; ++l) {
        if (lanes.active[l])
            getOwner(l)->markFiltered();
    }
}

bool MultiDesignFilter::ParallelUnit::readsPathInput(const GenericFilter& owner, bool& atRest) const
{
    // Through switches and mixers at rest on one input; a few steps are all
    // a routing has (a mixer, then the bypass of the filter before).
    const wave::Producer* source = owner.getSource();
    for (int step = 0; source && step < 8; ++step) {
        for (const wave::Filter* path : paths) {
            if (path && path->getSource() == source)
                return true;
        }
        atRest = atRest && source->isAtRest();
        source = source->passesOn();
    }
    return false;
}

bool MultiDesignFilter::ParallelUnit::joinsNow(GenericFilter::Response r, GenericFilter::Slope s) const
{
    if (isPassDone())
        return false;
    if (!ownersFound.holds(getGraph(), 0)) {
        // Found through amounts and nodes that all rest, it stands until the
        // graph's rests end.
        bool atRest = true;
        ownersFilter = false;
        ownersReadPaths = true;
        for (int l = 0; l < maxOwners; ++l) {
            const GenericFilter* owner = getOwner(l);
            ownersFilter = ownersFilter || (owner && owner->mayFilter());
            atRest = atRest && (!owner || owner->amountHoldsStill());
        }
        for (int l = 0; l < maxOwners && ownersReadPaths && ownersFilter; ++l) {
            const GenericFilter* owner = getOwner(l);
            ownersReadPaths = !owner || readsPathInput(*owner, atRest);
        }
        if (atRest)
            ownersFound.keep(getGraph());
    }
    // A unit whose owners all sat at an amount of 0 when last produced (the
    // slots a routing leaves unused) has nothing to add: not worth a look at
    // its inputs. (Only a guess; what decides is the lanes its pass collects.)
    if (!ownersFilter) {
        markIdle();
        return false;
    }
    for (int l = 0; l < maxOwners; ++l) {
        const GenericFilter* owner = getOwner(l);
        if (owner && (owner->response.get() != r || owner->slope.get() != s))
            return false;
    }
    return ownersReadPaths;
}

void MultiDesignFilter::ParallelUnit::processAllOwners(int frameCount)
{
    if (!beginPass(frameCount))
        return;
    StateVariableFilter::Lanes lanes;
    if (collectLanes(lanes)) {
        std::size_t joining = 0;
        while (joining < partners.size() && !(partners[joining] && partners[joining]->canJoin(response, slope)))
            ++joining;
        if (joining < partners.size()) {
            runSharedPass(lanes, frameCount, joining);
        } else {
            prepareDesign();
            design.processLanes(lanes, frameCount);
            markLanes(lanes);
        }
    }
    endPass();
}

// The slots of a parallel routing (or the two sides of Mid/Side) each fill
// only some of the four lanes: their stages run in one pass where they fit.
// The partners before `joining` could not join and that one can: nothing
// has run since they were asked.
void MultiDesignFilter::ParallelUnit::runSharedPass(const StateVariableFilter::Lanes& ownLanes, int frameCount,
                                                    std::size_t joining)
{
    std::array<ParallelUnit*, maxOwners> members{this};
    // One more than members: where a partner that does not fit collects.
    std::array<StateVariableFilter::Lanes, maxOwners + 1> memberLanes;
    memberLanes[0] = ownLanes;
    std::size_t count = 1;
    int lanesInUse = ownLanes.activeCount();
    for (std::size_t k = joining; k < partners.size(); ++k) {
        ParallelUnit* partner = partners[k];
        if (!partner || (k > joining && !partner->canJoin(response, slope)))
            continue;
        // Its owners read what no filter of this pass writes: preparing them
        // now cannot come back here.
        if (!partner->beginPass(frameCount))
            continue;
        partner->response.set(response);
        partner->slope.set(slope);
        // Collected straight into the next member's place (the lanes are
        // the bulk of a member), which is cleared again when it does not fit.
        StateVariableFilter::Lanes& partnerLanes = memberLanes[count];
        const int partnerCount = partner->collectLanes(partnerLanes) ? partnerLanes.activeCount() : 0;
        if (partnerCount > 0 && lanesInUse + partnerCount <= laneCount &&
            count < members.size()) {
            members[count++] = partner;
            lanesInUse += partnerCount;
            continue;
        }
        // Prepared but left out: it runs on its own now.
        if (partnerCount > 0) {
            partner->prepareDesign();
            partner->design.processLanes(partnerLanes, frameCount);
            partner->markLanes(partnerLanes);
            partnerLanes = {};
        }
        partner->endPass();
    }

    std::array<StateVariableFilter::Shared, maxOwners> shared{};
    for (std::size_t u = 0; u < count; ++u) {
        members[u]->prepareDesign();
        shared[u] = {&members[u]->design, &memberLanes[u]};
    }
    if (count == 1 || !StateVariableFilter::processShared(std::span(shared).first(count), frameCount)) {
        for (std::size_t u = 0; u < count; ++u)
            members[u]->design.processLanes(memberLanes[u], frameCount);
    }
    for (std::size_t u = 0; u < count; ++u) {
        members[u]->markLanes(memberLanes[u]);
        if (u > 0)
            members[u]->endPass();
    }
}

void MultiDesignFilter::ParallelUnit::process(const float* input, float* output, const float* cutoffs,
                                              const float* peaks, const float* peakMultiplier, int frameCount,
                                              bool constant)
{
    prepareDesign();
    design.process(input, output, cutoffs, peaks, peakMultiplier, frameCount, constant);
}
