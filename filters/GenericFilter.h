#pragma once

#include "filters/ControlInput.h"
#include "framework/Property.h"
#include "wave/Component.h"
#include "wave/Filter.h"
#include "wave/MuteController.h"
#include "wave/RestHold.h"

#include <array>
#include <cstdint>

// One filter of a channel as a graph node. It owns the filter's response and
// slope, reads its cut-off, peak, peak-multiplier and amount streams, and
// hands the filtering to a processing unit:
//   - a FilterUnit of its own (one signal), or
//   - a ParallelFilterUnit shared with the same filter of other channels,
//     which filters up to four owners in one four-lane pass.
// After the unit the node crossfades from its input to the filtered signal
// by the amount stream. An amount of constantly 0 bypasses the filter: the
// output is the input block itself and no unit runs, so its states stand
// still. While a mute controller reports muted the output is silence and the
// filter's lane is left out.
class GenericFilter : public wave::Filter {
public:
    enum Response : int { lowPass = 0, highPass = 1, bandPass = 2 };
    // Steepness in 12 dB/octave steps: 12, 24, 48.
    enum Slope : int { slope12 = 1, slope24 = 2, slope48 = 3 };

    class FilterUnit;
    class ParallelFilterUnit;

    static constexpr float defaultCutoff = 20.0f; // log2 Hz: far above any audio band
    static constexpr float defaultAmount = 1.0f;
    static constexpr float defaultPeak = 0.0f;

    // Control thread, while building. Puts itself into the reset list.
    explicit GenericFilter(wave::Graph& graph, wave::Producer* source = nullptr);
    // Leaves its parallel unit.
    ~GenericFilter() override;

    // Streams: log2 of the cut-off in Hz; 0 (input only) .. 1 (filtered only); 0 .. 1.
    ControlInput cutoff;
    ControlInput amount;
    ControlInput peak;
    // While autoMute is set and a producer is linked here, the peak of every
    // coefficient segment is multiplied by this stream (the silence detector).
    ControlInput peakMultiplier;

    // Read at the start of every block.
    Property<Response> response;
    Property<Slope> slope;
    Property<bool> autoMute;

    // Not owned; null for none. Control thread, while building.
    void setMuteController(const wave::MuteController* controller) { muteController = controller; }
    const wave::MuteController* getMuteController() const { return muteController; }
    bool isMuted() const { return muteController && muteController->isMuted(); }

    // The unit used while no parallel unit is set. Not owned. Audio thread
    // (a characteristic change) or control thread.
    void setUnit(FilterUnit* unit);
    FilterUnit* getUnit() const { return currentUnit; }
    // Registers this filter as an owner (taking back the lane it had before
    // when it is free); null unregisters. Returns false when the unit has no
    // free lane; the filter then has no parallel unit.
    bool setParallelUnit(ParallelFilterUnit* unit);
    ParallelFilterUnit* getParallelUnit() const { return parallelUnit; }

    // Audio thread. When the output is not needed the filter does nothing
    // beyond the pull of its input: like a muted lane, its unit's states
    // hold (a parallel unit may still filter it for a partner that needs it).
    void processBlock(const wave::Block* input, wave::Block& output, int numSamples, int flags) override;
    // Outside processing: clears the units' states.
    void reset() override;

    // --- What a unit reads from its owners (audio thread) -------------------
    // Pulls this frame's input and streams once per frame, whoever asks first
    // (the filter itself, or a parallel unit running all its owners).
    void prepare(int numSamples);
    // Whether the unit should filter this owner in this frame.
    bool wantsFiltering() const { return enabled && !muted; }
    // Whether the amount, as last produced, gives the filter any share: a
    // guess for planning before this frame's streams are pulled.
    bool mayFilter() const
    {
        const wave::Producer* a = amount.getSource();
        return !a || !isConstantZero({a->getLastBlock().data(), a->isConstant()});
    }
    // The amount keeps the value it was last produced with until the
    // graph's rests end (none linked, or its producer holds still).
    bool amountHoldsStill() const
    {
        const wave::Producer* a = amount.getSource();
        return !a || a->holdsStill();
    }
    const float* laneInput() const { return inputSamples; }
    float* laneOutput() { return getBlock().data(); }
    const float* laneCutoff() const { return cutoffSignal.samples; }
    const float* lanePeak() const { return peakSignal.samples; }
    const float* lanePeakMultiplier() const { return multiplierSamples; }
    bool laneConstant() const { return streamsConstant; }
    bool laneCutoffConstant() const { return cutoffSignal.constant; }
    // The peak, times the multiplier when there is one, holds one value.
    bool lanePeakConstant() const { return peakSignal.constant && multiplierConstant; }
    // The unit has written this frame's filtered samples into laneOutput().
    void markFiltered() { filteredFrame = getGraph().getFrame(); }

private:
    friend class ParallelFilterUnit;
    void gather(const wave::Block* input, int numSamples);
    void finish(int numSamples);

    FilterUnit* currentUnit = nullptr;
    ParallelFilterUnit* parallelUnit = nullptr;
    const wave::MuteController* muteController = nullptr;
    int lane = -1; // lane in the parallel unit, kept while away from it

    // This frame's streams.
    std::uint32_t gatheredFrame;
    std::uint32_t filteredFrame;
    const wave::Block* inputBlock = nullptr;
    const float* inputSamples = nullptr;
    ControlInput::Signal cutoffSignal{};
    ControlInput::Signal peakSignal{};
    ControlInput::Signal amountSignal{};
    const float* multiplierSamples = nullptr;
    bool multiplierConstant = true;
    bool streamsConstant = false;
    bool enabled = true;
    bool muted = false;
};

// A processing unit: filters one signal block by block, given the owner's
// streams. Response and slope are copied in by the owner before each block.
class GenericFilter::FilterUnit : public wave::Component {
public:
    explicit FilterUnit(wave::Graph& graph) : wave::Component(graph) {}

    Property<Response> response{nullptr, lowPass};
    Property<Slope> slope{nullptr, slope12};

    // Filters frameCount samples. Cut-off in log2 Hz and peak 0 .. 1 per
    // sample; peakMultiplier null for none; constant: cut-off and peak hold
    // one value throughout. Input and output may be the same. Audio thread.
    virtual void process(const float* input, float* output, const float* cutoffs, const float* peaks,
                         const float* peakMultiplier, int frameCount, bool constant) = 0;
    virtual bool supportsResponse(Response value) const = 0;
    virtual bool supportsSlope(Slope value) const = 0;
    // Clears every state. Outside processing, or on the audio thread.
    virtual void reset() = 0;
};

// A unit that serves up to four owner filters at once, one lane each.
class GenericFilter::ParallelFilterUnit : public FilterUnit {
public:
    static constexpr int maxOwners = 4;

    explicit ParallelFilterUnit(wave::Graph& graph);
    // Detaches the owners that are still registered.
    ~ParallelFilterUnit() override;

    // Filters this frame's block of every registered owner that wants it in
    // one pass and marks those owners as filtered; owners pulled later in the
    // frame only finish. Audio thread.
    virtual void processAllOwners(int frameCount) = 0;

    GenericFilter* getOwner(int laneIndex) const { return owners[static_cast<std::size_t>(laneIndex)]; }
    int getOwnerCount() const;

protected:
    // Starts this frame's pass: pulls the input and streams of every owner
    // not yet prepared. False when the pass already ran in this frame, or
    // while it is running (an owner feeding another owner of the same unit
    // would otherwise recurse forever; that owner is then passed through).
    bool beginPass(int frameCount);
    void endPass() { running = false; }
    // The pass of this frame has run or is running.
    bool isPassDone() const { return running || passFrame == getGraph().getFrame(); }
    // Whether every owner's amount, as last gathered, was found to give the
    // filter no share at this rest count (see markIdle). What was found
    // changes only when an owner gathers its amount again, which forgets it,
    // or when an amount is relinked, which ends the graph's rests.
    bool knownIdle() const { return idle.holds(getGraph(), 0); }
    void markIdle() const { idle.keep(getGraph()); }
    // How long what a derived unit found about its owners' inputs holds;
    // forgotten whenever the owners change.
    mutable wave::RestHold ownersFound;

private:
    friend class GenericFilter;
    int registerOwner(GenericFilter& owner, int preferredLane);
    void unregisterOwner(GenericFilter& owner);

    std::array<GenericFilter*, maxOwners> owners{};
    bool running = false;
    std::uint32_t passFrame = 0; // the frame of the last pass
    mutable wave::RestHold idle;
};
