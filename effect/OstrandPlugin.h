#pragma once

#include "effect/FilterParameterSet.h"
#include "effect/RoutingMode.h"
#include "filters/MultiDesignFilterParallelUnit.h"
#include "framework/MidiMultiVirtualPluginParameter.h"
#include "framework/PropPluginParameter.h"
#include "modulation/EFParameterSet.h"
#include "modulation/EGParameterSet.h"
#include "modulation/HostTransport.h"
#include "modulation/MidiSourceParameterSet.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationMatrixPlugin.h"
#include "modulation/ModulationTargetParameter.h"
#include "modulation/NoteTriggers.h"
#include "modulation/XLFOParameterSetList.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Activatable;
class EnvelopeFollower;
class EnvelopeGenerator;
class FilterAnalyzer;
class LevelPanTarget;
class MidiModSource;
class MidSideConverter;
class Mixer;
class ModulationMatrix;
class OstrandChannel;
class OstrandChannelEventReceiver;
class Router;
class Trigger;
class XLFO;
class XLFOFreqController;

// The effect: up to four filters per channel in eight routings, in Stereo,
// Per Channel or Mid/Side mode, between input gain/pan and output gain/pan
// and a dry/wet mix, with a modulation matrix fed by six step LFOs, six
// envelope generators, four envelope followers and ten MIDI sources.
//
// It owns, besides its parameters: one OstrandChannel per audio channel
// (one or two), the four filter slots shared by the channels, the
// mid/side converters, the frequency/pan and gain/pan combiners, the level
// of the main and of the side-chain inputs (the largest magnitude over the
// channels) that feeds the envelope sources and the silence detector of
// the automatic muting, the matrix and its 26 sources. Everything is built
// in the constructor; afterwards parameter changes only move properties
// and relink inputs, on the audio thread.
class OstrandPlugin : public ModulationMatrixPlugin {
public:
    static constexpr const char* productName = "Ostrand";
    static constexpr int parameterCount = 666;
    static constexpr int numFilters = 4;
    static constexpr int numXLFOs = 6;
    static constexpr int numEGs = 6;
    static constexpr int numEFs = 4;
    static constexpr int numMidiSources = 10;
    // The version full presets are written with (version 1 held five EGs).
    static constexpr int presetVersion = 2;
    // The longest walk of the graph: every node holds a block of this many
    // samples and the filters size their scratch by it, so it sets most of
    // an instance's memory (at 1024 a stereo instance kept 4.5 MB, at 256
    // under 1.8 MB). Segments, followers and sources run on the stream's
    // grid, so the pieces a host block is walked in change no sample; beyond
    // 256 samples a walk's fixed cost is small against its samples.
    static constexpr int graphBlockSize = 256;
    // The preset a new instance starts from when the user has one.
    static constexpr const char* defaultSettingName = "Default Setting";
    // Component kinds, the grouping of section presets.
    enum ComponentKind { filterKind = 0, xlfoKind, egKind, efKind, midiKind, slotKind };
    // "Audition Signal" positions.
    enum Audition { auditionOutput = 0, auditionInput = 1, auditionSideChain = 2 };

    // Control thread. channels: 1 or 2 (anything else is clamped);
    // sampleRate in Hz.
    explicit OstrandPlugin(int channels = 2, float sampleRate = 44100.0f);
    ~OstrandPlugin() override;

    // --- GenericPlugin ---
    bool supportsMonoLayout() const override { return true; }
    int getPluginKind() const override { return 2; }
    std::string presetMagic() const override { return "MO2l"; }
    int getInputMode() const override { return 1; }
    int getEditorHeight() const override { return 522; }
    int getEditorWidth() const override { return 640; }
    bool hasSideChain() const override { return true; }
    // Audio thread, before each host block: the tempo (BPM) and the song
    // position (quarter notes) reach the six step LFOs.
    void setTransport(double tempo, double position) override;
    std::unique_ptr<AbstractMusicEventReceiver> createEventReceiver() override;
    // First instance: the base set-up, the characteristic tables, the
    // preset format version and the section preset kinds.
    void initializeShared(const std::string& name) override;
    // A full preset of any generation this product wrote (the current one,
    // then the earlier layouts, converted), read without applying it.
    bool readPreset(const std::string& path, std::vector<float>& values) override;
    // Audio thread: after the channels, the envelope triggers' level
    // selection, the filter link groups and the channels' alignment.
    void applyParameter(int index) override;

    // --- ModulationMatrixPlugin ---
    ModulationMatrix* getModulationMatrix() override { return matrix.get(); }
    // Any thread (the editor's source buttons): 0..1 from the first sample
    // of the source's last block, as published after it (at most every
    // levelInterval samples).
    float getSourceLevel(int source) override;

    // --- Notes (the channel event receiver, where MIDI is decoded) ---
    // A note-on restarts the XLFOs whose MIDI Trigger is on and starts the
    // envelopes triggered by MIDI; note 0 resets the held-note count.
    void noteOn(int note, float velocity);
    // The last held note released releases the MIDI-triggered envelopes.
    void noteOff(int note, float velocity);
    int getHeldNotes() const { return noteTriggers.getHeldNotes(); }

    // Control or editor thread: how many "Routing" positions the current
    // mode and number of filters offer.
    int getRoutingChoiceCount() const;

    // Editor thread: makes one more source of a kind (xlfoKind, egKind,
    // efKind, midiKind) active and gives it the section's "Default" preset
    // when there is one. False when the list is full or the kind has none.
    bool addSource(ComponentKind kind);
    bool isTwoChannel() const { return getChannelCount() == 2; }
    // The table characteristics' output stage delays the wet path; the dry
    // path is held back to meet it, so this is the whole effect's latency.
    int getLatency() const override;
    OstrandChannel& getOstrandChannel(int channel) const;

    // Any thread: the routing values the audio thread had applied at the
    // end of its last block (the routing of a two-channel instance follows
    // these, not the parameters).
    int getAppliedRouting() const { return published.routing.load(std::memory_order_relaxed); }
    RoutingMode getAppliedRoutingMode() const { return published.routingMode.load(std::memory_order_relaxed); }
    int getAppliedFilterCount() const { return published.filterCount.load(std::memory_order_relaxed); }
    bool isFilterEnabled(int n) const
    {
        return published.filterEnabled[static_cast<std::size_t>(n)].load(std::memory_order_relaxed);
    }

    MidiMultiVirtualPluginParameter& getLinkFreq() const { return *linkFreq; }
    MidiMultiVirtualPluginParameter& getLinkPeak() const { return *linkPeak; }

    // --- The plug-in-wide nodes (for the channels while building, and for tests) ---
    MultiDesignFilter::ParallelUnit& getFilterSlot(int n) const;
    LevelPanTarget& getFrequencyPan(int n) const;
    LevelPanTarget& getInputGainPan() const { return *inputGainPan; }
    LevelPanTarget& getOutputGainPan() const { return *outputGainPan; }
    FilterAnalyzer& getAnalyzer() const { return *analyzer; }
    Mixer& getInputLevel() const { return *inputLevel; }
    Mixer& getSideChainLevel() const { return *sideChainLevel; }
    MidSideConverter* getInputConverter() const { return inputConverter.get(); }
    MidSideConverter* getOutputConverter() const { return outputConverter.get(); }
    XLFO& getXLFO(int i) const { return *xlfoNodes[static_cast<std::size_t>(i)]; }
    XLFOFreqController& getXLFOController(int i) const { return *xlfoControllers[static_cast<std::size_t>(i)]; }
    EnvelopeGenerator& getEG(int i) const { return *egNodes[static_cast<std::size_t>(i)]; }
    Router& getEGLevelSelector(int i) const { return *egLevelSelectors[static_cast<std::size_t>(i)]; }
    EnvelopeFollower& getEF(int i) const { return *efNodes[static_cast<std::size_t>(i)]; }
    Router& getEFLevelSelector(int i) const { return *efLevelSelectors[static_cast<std::size_t>(i)]; }
    MidiModSource& getMidiSource(int i) const { return *midiNodes[static_cast<std::size_t>(i)]; }

    // --- Parameters, in host order ---
    ModulationTargetParameter inputGain;
    ModulationTargetParameter inputPan;
    ModulationTargetParameter outputGain;
    ModulationTargetParameter outputPan;
    ModulationTargetParameter mix;
    PropPluginParameter<int> routing;
    PropPluginParameter<RoutingMode> routingMode;
    FilterParameterSetList filters;
    XLFOParameterSetList xlfos;
    EGParameterSetList egs;
    EFParameterSetList efs;
    MidiSourceParameterSetList midiSources;
    PropPluginParameter<GenericPlugin::MidiState> receiveMidi;
    PropPluginParameter<bool> autoMute;
    PropPluginParameter<int> auditionSignal;
    // Then the slot list "Slots" (ModulationMatrixPlugin::getSlotList).

protected:
    // Audio thread, after every block: the applied routing, and the source
    // levels once levelInterval samples have passed since they were last
    // published, for the editor.
    void publishBlockState() override;
    // A few milliseconds: far below what an editor redraws at, while the
    // twenty levels at every host block of 64 were a visible share of its cost.
    static constexpr int levelInterval = 256;

private:
    friend class OstrandChannel; // reads the applied routing values as they change

    // What the editor and the host may read of the audio side.
    struct Published {
        std::array<std::atomic<float>, ModulationMatrix::numSources> sourceLevels{};
        std::atomic<int> routing{0};
        std::atomic<RoutingMode> routingMode{RoutingMode::Stereo};
        std::atomic<int> filterCount{1};
        std::array<std::atomic<bool>, numFilters> filterEnabled{};
        std::atomic<int> latency{0};
    };

    // The display level of a source from its last block (audio thread).
    float sourceLevelNow(int source) const;
    void configureParameters();
    void buildSources();
    void buildChannels(int channelCount);
    void bindParameters();
    void registerComponents();
    void updateLink(int filter);
    void alignChannels();

    NoteTriggers noteTriggers;
    OstrandChannelEventReceiver* channelReceiver = nullptr; // owned by the event receiver

    // What the audio thread applied, bound to the routing parameters. Only
    // the audio thread reads these; others read `published`.
    Property<int> routingState;
    Property<RoutingMode> routingModeState;
    Property<int> filterCountState;
    std::array<Property<bool>, numFilters> enabledState;
    std::array<Property<bool>, numFilters> linkedState;
    Published published;
    // The graph position from which the source levels are due again.
    std::uint32_t levelsDueAt = 0;
    bool levelsPublished = false;

    std::unique_ptr<MidiMultiVirtualPluginParameter> linkFreq;
    std::unique_ptr<MidiMultiVirtualPluginParameter> linkPeak;

    // Plug-in-wide nodes: producers before the nodes that read them.
    std::unique_ptr<ModulationMatrix> matrix;
    std::array<std::unique_ptr<MultiDesignFilter::ParallelUnit>, numFilters> filterSlots;
    std::unique_ptr<Mixer> inputLevel;
    std::unique_ptr<Mixer> sideChainLevel;
    std::unique_ptr<FilterAnalyzer> analyzer;
    std::unique_ptr<MidSideConverter> inputConverter;
    std::unique_ptr<MidSideConverter> outputConverter;
    std::array<std::unique_ptr<LevelPanTarget>, numFilters> frequencyPans;
    std::unique_ptr<LevelPanTarget> inputGainPan;
    std::unique_ptr<LevelPanTarget> outputGainPan;
    std::array<std::unique_ptr<Router>, numEGs> egLevelSelectors;
    std::array<std::unique_ptr<Trigger>, numEGs> triggers;
    std::array<std::unique_ptr<EnvelopeGenerator>, numEGs> egNodes;
    std::array<std::unique_ptr<Router>, numEFs> efLevelSelectors;
    std::array<std::unique_ptr<EnvelopeFollower>, numEFs> efNodes;
    std::array<std::unique_ptr<XLFO>, numXLFOs> xlfoNodes;
    std::array<std::unique_ptr<XLFOFreqController>, numXLFOs> xlfoControllers;
    // The host's last report, read by every step LFO's rate controller.
    HostTransport transport;
    std::array<std::unique_ptr<MidiModSource>, numMidiSources> midiNodes;
    std::vector<std::unique_ptr<Activatable>> activatables;
};
