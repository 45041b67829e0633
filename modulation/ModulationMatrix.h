#pragma once

#include "modulation/BoundedList.h"
#include "modulation/FloatParameterForwarder.h"
#include "wave/Component.h"
#include "wave/ParameterRamp.h"
#include "wave/RestHold.h"
#include "wave/Source.h"

#include <array>
#include <atomic>
#include <memory>
#include <utility>
#include <vector>

class InternalController;

// Connects modulation sources (step LFOs, envelopes, followers, MIDI) to
// modulation targets (continuous parameters, and the levels of other slots).
// A connection is a slot: source, target, level, invert and bypass. For each
// target the matrix delivers, per block and per sample, the target's smoothed
// base value plus the sum of source × level over the valid slots on it,
// clamped to the target's range. Consumers pull getTargetController(t)
// instead of reading the parameter.
//
// The matrix is generic: it knows sources, targets and slots by number. The
// plug-in registers which targets exist and of which kind, which producer is
// each source's output and which targets belong to each source.
//
// Threads. The matrix takes no lock. Every change of a slot or a base value
// arrives through the plug-in's parameters, whose new values reach the
// matrix on the audio thread at the start of a block, so the audio thread is
// the only one that writes slot records and ramps while processing runs. The
// building operations and the InternalController's setters may also be
// called on the control thread, but only while the audio thread does not
// process this matrix (while building, in tests, or offline). Nothing that
// runs on the audio thread allocates.
//
// Cost. A change of a slot's source, target, bypass or invert re-derives the
// validity, completeness, clamping and depth of all slots. The plug-in
// holds the derivation while it applies a block's worth of parameter
// changes, so a preset load, a slot sort or a storm of edits derives once.
class ModulationMatrix : public wave::Component {
public:
    static constexpr int numSources = 26;
    static constexpr int numSourceTypes = 4;
    static constexpr int numTargets = 95;
    static constexpr int numSlots = 24;
    // Target firstLevelTarget + i carries the level of slot i.
    static constexpr int firstLevelTarget = 71;
    // "No source" and "no target" inside the matrix.
    static constexpr int none = -1;

    enum SourceType { XLFOType = 0, EGType = 1, EFType = 2, MidiType = 3 };

    class Controller;
    class GlobalModulationProducer;
    class GlobalTargetController;
    class SecondaryTarget;

    // Slot indices (the out lists of the controllers).
    using SlotList = BoundedList<int, numSlots>;
    // Target indices (the loop check's closure).
    using TargetList = BoundedList<int, numTargets>;

    // How far a slot at full level moves a target of this kind, per source
    // type, and the range the target's value is clamped to.
    struct TargetKind {
        float defaultDepth = 1.0f;
        // The span that "30 % of the range" of an automatic ramp refers to;
        // 0 means maximum minus minimum.
        float rampRange = 0.0f;
        int type = 0;
        float maximum = 1.0f;
        float minimum = 0.0f;
        // (source type, depth) pairs; a type without a pair uses defaultDepth.
        std::vector<std::pair<int, float>> depths;

        float depthFor(int sourceType) const;
    };

    struct Slot {
        int index = 0;
        bool inverted = false;
        bool bypassed = false;
        // The source's output exists and every valid slot on this slot's
        // level is complete. Read by the editor too, hence atomic.
        std::atomic<bool> complete{false};
        // Source, target and level target set, not bypassed, and no loop.
        std::atomic<bool> valid{false};
        int levelTarget = none;
        ModulationMatrix* matrix = nullptr;
        int source = none;
        int target = none;
    };

    struct SourceEntry {
        // Slots that use the source, in the order they were attached.
        BoundedList<Slot*, numSlots> slots;
        int type = 0;
        // The source's own parameters as targets: a source never modulates
        // these, directly or through other slots' levels.
        std::vector<int> ownTargets;
    };

    struct TargetEntry {
        explicit TargetEntry(wave::Graph& graph);

        // Slots aimed at this target, in the order they were attached.
        BoundedList<Slot*, numSlots> slots;
        const TargetKind* kind = nullptr;
        // False while a valid slot on this target is not complete: the
        // sum may then lack a part and is passed unclamped.
        bool clampEnabled = true;
        float maximum = 1.0f;
        float minimum = 0.0f;
        // Multiplies the base value before it enters the ramp; for a slot
        // level it is the slot's depth.
        float scale = 1.0f;
        SecondaryTarget* listener = nullptr;
        ParameterRamp ramp;
        FloatParameterForwarder forwarder;
        // The last base value set, in target units, before scale.
        float base = 0.0f;
    };

    // Control thread: 95 targets at rest on 0, 24 empty slots, 26 sources
    // without outputs and with the source types of the fixed table.
    explicit ModulationMatrix(wave::Graph& graph);
    ~ModulationMatrix() override;

    // The type of source s in the fixed numbering: 0..5 XLFO, 6..11 EG,
    // 12..15 EF, 16..25 MIDI; -1 outside.
    static int defaultSourceType(int source);

    // --- Building (control thread, before processing) ---

    // Adds a kind; returns its number for registerTarget.
    int addKind(const TargetKind& kind);
    int getKindCount() const { return static_cast<int>(kinds.size()); }
    const TargetKind& getKind(int kind) const;
    // Gives the target its kind: clamp bounds and ramp limits from the
    // kind's range, ramp reference range from the kind.
    void registerTarget(int target, int kind);
    // The producer whose block is the source's signal (not owned); null
    // makes the source's slots incomplete.
    void setSourceOutput(int source, wave::Producer* output);
    void setSourceType(int source, int type);
    void addOwnTarget(int source, int target);
    void setSlotLevelTarget(int slot, int target);
    // Told whenever the target's base value changes (level/pan combiners).
    void setTargetListener(int target, SecondaryTarget* listener);
    // The handle every consumer of the target pulls; made on first request.
    GlobalTargetController& getTargetController(int target);

    // --- Changes (see the class comment for the threads) ---

    // A new base value in target units: the ramp glides to value × scale
    // with the automatic time, and the target's listener is told.
    void setBaseValue(int target, float value);
    // Slot fields; a value equal to the current one changes nothing. An
    // index outside the ranges counts as none.
    void setSlotSource(int slot, int source);
    void setSlotTarget(int slot, int target);
    void setSlotBypassed(int slot, bool bypassed);
    void setSlotInverted(int slot, bool inverted);
    // The base value of the slot's level target.
    void setSlotLevel(int slot, float level);

    // While held (the holds nest), slot changes are only noted; the last
    // release derives once what they changed. Whoever holds must release
    // before the next block is pulled.
    void holdDerivation() { ++holds; }
    void releaseDerivation();

    // --- Reading ---

    const Slot& getSlot(int slot) const;
    const SourceEntry& getSourceEntry(int source) const;
    const TargetEntry& getTargetEntry(int target) const;
    // For the ramp of a target (tests, benchmarks, the editor's meters).
    TargetEntry& getTargetEntry(int target);
    GlobalModulationProducer& getModulationProducer(int target) const;
    wave::Producer* getSourceOutput(int source) const;
    // Any thread (the editor's warning sign): whether the slot is free of
    // loops and fully set, and whether its signal path exists as well.
    bool isSlotValid(int slot) const;
    bool isSlotComplete(int slot) const;
    // Any thread: target units a full level moves the slot's target by
    // (negative when inverted); 0 for a slot without a level target.
    float getSlotDepth(int slot) const;
    // Any thread (the editor's knobs and filter display): the target's
    // modulated value at the end of the last block that computed it, in
    // target units; before any block, its base value.
    float getTargetValue(int target) const;
    InternalController& getInternalController() const { return *internal; }

    // Whether an index names a target, a slot or a source (none does not).
    static constexpr bool isTarget(int t) { return t >= 0 && t < numTargets; }
    static constexpr bool isSlot(int s) { return s >= 0 && s < numSlots; }
    static constexpr bool isSource(int s) { return s >= 0 && s < numSources; }

private:
    friend class GlobalModulationProducer;

    // Brings validity, completeness, clamp flags and depths in line with
    // the slot records after a change of sources, targets or bypass; or
    // notes that it is due while the derivation is held.
    void structureChanged();
    void depthsChanged();
    void reevaluate();
    void updateValidity();
    void updateCompleteness();
    void updateClampFlags();
    void updateDepths();
    bool computeComplete(int slot, int depth, std::array<signed char, numSlots>& memo) const;
    void applyDepth(int slot, int depth, std::array<bool, numSlots>& done);
    // The slot whose level target is t, or none.
    int slotOwningLevel(int t) const;

    std::vector<std::unique_ptr<Slot>> slots;
    std::vector<SourceEntry> sources;
    std::vector<std::unique_ptr<TargetKind>> kinds;
    std::vector<std::unique_ptr<TargetEntry>> targets;
    std::vector<std::unique_ptr<GlobalModulationProducer>> producers;
    std::vector<std::unique_ptr<GlobalTargetController>> controllers;
    std::vector<wave::Producer*> sourceOutputs;
    std::unique_ptr<InternalController> internal;
    // Each target's last value as getTargetValue reports it.
    std::array<std::atomic<float>, numTargets> targetValues{};
    // Each slot's depth as getSlotDepth reports it, for readers on any thread.
    std::array<std::atomic<float>, numSlots> slotDepths{};
    int holds = 0;
    bool structureDue = false;
    bool depthsDue = false;
};

// Told when the base value of a target it listens to changed.
class ModulationMatrix::SecondaryTarget {
public:
    // On the thread that set the base value (the audio thread while running).
    virtual void update() = 0;

protected:
    ~SecondaryTarget() = default;
};

// The summed signal of one target: base ramp plus source × level of every
// valid, complete slot, clamped to the target's range.
class ModulationMatrix::GlobalModulationProducer : public wave::Source {
public:
    GlobalModulationProducer(ModulationMatrix& matrix, int target);
    // Audio thread. The block is shared by every consumer of the target and
    // by the targets whose slots read it as their level, so it is always
    // computed in full, whatever the flags say.
    int process(wave::Block& block, int numSamples, int flags) override;
    int getTarget() const { return target; }
    // Whether a block has been computed (on the thread that processes).
    bool hasRun() const { return ran; }

private:
    // A modulated target whose base and slot levels rest (the usual case)
    // sums the same parts block after block: the plan keeps them, so that
    // until the graph's rests end only the sources are read. Up to four
    // parts; more are summed the long way.
    static constexpr int plannedParts = 4;
    struct Bounds {
        bool enabled;
        float minimum;
        float maximum;
    };
    // Everything else: works out what the sum reads (and plans it when it
    // can). Out of line, so that the planned sum, run for most modulated
    // targets most of the time, stays a small call.
    int gatherAndSum(wave::Block& block, int numSamples);
    int sum(wave::Block& block, int numSamples, const float* base, const float* const* signals,
            const float* levels, const float* const* levelSamples, int count, Bounds bounds);

    ModulationMatrix& matrix;
    int target;
    bool ran = false;
    std::array<wave::Producer*, plannedParts> plannedSources{};
    std::array<float, plannedParts> plannedLevels{};
    int planSize = 0;
    wave::RestHold planned;
    const wave::Block* plannedBase = nullptr;
    Bounds plannedBounds{};
};

// What consumers pull for a target: the GlobalModulationProducer's block and
// constant flag, unchanged.
class ModulationMatrix::GlobalTargetController : public wave::Source {
public:
    explicit GlobalTargetController(GlobalModulationProducer& producer);
    int process(wave::Block& block, int numSamples, int flags) override;
    int getTarget() const { return producer.getTarget(); }

private:
    GlobalModulationProducer& producer;
};
