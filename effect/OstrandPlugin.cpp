#include "effect/OstrandPlugin.h"

#include "effect/EffectDisplayCurves.h"
#include "effect/EffectHelpTexts.h"
#include "effect/FilterAssignment.h"
#include "effect/OstrandChannel.h"
#include "effect/OstrandEventReceiver.h"
#include "filters/FilterAnalyzer.h"
#include "filters/FilterCharacteristics.h"
#include "filters/MidSideConverter.h"
#include "filters/Mixer.h"
#include "filters/MultiDesignFilterParallelUnit.h"
#include "filters/Router.h"
#include "framework/Activatable.h"
#include "modulation/EnvelopeFollower.h"
#include "modulation/EnvelopeGenerator.h"
#include "modulation/LevelPanTarget.h"
#include "modulation/MidiModSource.h"
#include "modulation/ModulationLayout.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/Trigger.h"
#include "modulation/XLFO.h"
#include "modulation/XLFOFreqController.h"
#include "effect/LegacyPresetLoaders.h"
#include "effect/SectionPresetKind.h"
#include "persistence/PresetFile.h"
#include "persistence/PresetLibrary.h"
#include "persistence/PresetStorage.h"
#include "persistence/SectionPresets.h"

#include <algorithm>
#include <utility>
#include <mutex>

namespace {

// Targets of the gain, pan and mix stage.
constexpr int inputGainTarget = 66;
constexpr int inputPanTarget = 67;
constexpr int outputGainTarget = 68;
constexpr int outputPanTarget = 69;
constexpr int mixTarget = 70;

// The user settings, the presets and the MIDI controller map live in
// files; the first plug-in built in a process installs the storage that
// reads and writes them, unless the host put one of its own in place.
void installStorage()
{
    static PresetStorage storage;
    static std::once_flag once;
    std::call_once(once, [] {
        if (!PluginStorage::installed())
            PluginStorage::install(&storage);
    });
}

void configureGain(ModulationTargetParameter& p, const char* help)
{
    p.setRange(-36.0f, 36.0f);
    ValueDisplay& d = p.getDisplay();
    // The matrix and the volume stages work with the linear gain; the
    // text shows dB.
    d.setInner(EffectDisplayCurves::decibelsToGain, EffectDisplayCurves::gainToDecibels);
    d.setOuter(EffectDisplayCurves::gainToDecibels, EffectDisplayCurves::decibelsToGain);
    d.setUnit("dB");
    p.setDefault(0.0f);
    p.setHelpText(help);
    p.resetToDefault();
}

void configurePan(ModulationTargetParameter& p, const char* help)
{
    p.setRange(-1.0f, 1.0f);
    p.setDefault(0.0f);
    p.setHelpText(help);
    p.resetToDefault();
}

template <typename T>
void configureOptions(PropPluginParameter<T>& p, int last, const char* options, T initial, const char* help)
{
    p.setRange(0, last);
    if (options)
        p.setOptions(options);
    p.setDefaultValue(initial);
    if (help)
        p.setHelpText(help);
    p.resetToDefault();
}

} // namespace

OstrandPlugin::OstrandPlugin(int channelCount, float sampleRate)
    : ModulationMatrixPlugin(graphBlockSize), inputGain(this, "Input Gain", *this, inputGainTarget), inputPan(this, "Input Pan", *this, inputPanTarget),
      outputGain(this, "Output Gain", *this, outputGainTarget),
      outputPan(this, "Output Pan", *this, outputPanTarget), mix(this, "Mix", *this, mixTarget),
      routing(this, "Routing"), routingMode(this, "Routing Mode"), filters(*this), xlfos(*this), egs(*this),
      efs(*this), midiSources(*this), receiveMidi(this, "Receive MIDI"), autoMute(this, "Auto Mute Self-Osc"),
      auditionSignal(this, "Audition Signal"), routingState(nullptr, 0),
      routingModeState(nullptr, RoutingMode::Stereo), filterCountState(nullptr, 1)
{
    configureParameters();
    createSlotList();
    // MIDI-only: a learned controller moves the frequencies (or peaks) of
    // every linked filter together.
    linkFreq = std::make_unique<MidiMultiVirtualPluginParameter>(*this, "Filter Link Freq", numFilters);
    linkPeak = std::make_unique<MidiMultiVirtualPluginParameter>(*this, "Filter Link Peak", numFilters);

    setNumChannels(std::clamp(channelCount, 1, 2));
    installStorage();
    initialize(productName);
    wave::Graph& g = getGraph();
    g.setSampleRate(sampleRate);

    matrix = std::make_unique<ModulationMatrix>(g);
    ModulationLayout::registerStandard(*matrix);
    for (int n = 0; n < numFilters; ++n)
        filterSlots[static_cast<std::size_t>(n)] =
            std::make_unique<MultiDesignFilter::ParallelUnit>(g, FilterCharacteristics::shared());
    inputLevel = std::make_unique<Mixer>(g, getNumChannels(), Mixer::maximum);
    sideChainLevel = std::make_unique<Mixer>(g, getNumChannels(), Mixer::maximum);
    // The silence detector follows the input even while auto-mute is off,
    // so switching it on finds it settled.
    analyzer = std::make_unique<FilterAnalyzer>(g);
    g.insert(*analyzer);
    for (int n = 0; n < numFilters; ++n)
        frequencyPans[static_cast<std::size_t>(n)] =
            std::make_unique<LevelPanTarget>(*matrix, 4 * n, 4 * n + 1, LevelPanTarget::SumDifference);
    inputGainPan = std::make_unique<LevelPanTarget>(*matrix, inputGainTarget, inputPanTarget, LevelPanTarget::GainPan);
    outputGainPan =
        std::make_unique<LevelPanTarget>(*matrix, outputGainTarget, outputPanTarget, LevelPanTarget::GainPan);

    buildChannels(getNumChannels());
    // The slots' filters run in one pass where they fit and none feeds
    // another: the parallel routings, and the two sides of the split modes.
    std::array<MultiDesignFilter::ParallelUnit*, numFilters> units{};
    std::array<const wave::Filter*, 2> paths{};
    for (int n = 0; n < numFilters; ++n)
        units[static_cast<std::size_t>(n)] = filterSlots[static_cast<std::size_t>(n)].get();
    for (int c = 0; c < getNumChannels(); ++c)
        paths[static_cast<std::size_t>(c)] = &getOstrandChannel(c).getRouting();
    for (auto& slot : filterSlots)
        slot->sharePassesWith(units, std::span(paths).first(static_cast<std::size_t>(getNumChannels())));
    buildSources();
    getParamController();
    bindParameters();
    registerComponents();
    setMidiStateParameter(&receiveMidi);
    applyAllParameters();
    publishBlockState();
    // The user's own starting point replaces the built-in defaults.
    if (const PresetItem* start = PresetLibrary::shared().presets().findByName(defaultSettingName))
        loadPreset(start->path);
}

OstrandPlugin::~OstrandPlugin()
{
    terminate();
    // The channels (which the base class destroys after these members) and
    // the plug-in-wide nodes read each other; unlink both ways first.
    for (int c = 0; c < getChannelCount(); ++c)
        getOstrandChannel(c).detachFromPlugin();
    for (MidSideConverter* converter : {inputConverter.get(), outputConverter.get()})
        if (converter) {
            converter->setInput(0, nullptr);
            converter->setInput(1, nullptr);
        }
    for (int c = 0; c < inputLevel->getInputCount(); ++c) {
        inputLevel->setInput(c, nullptr);
        sideChainLevel->setInput(c, nullptr);
    }
    // Each XLFO reads its own frequency controller, which is built after it.
    for (auto& x : xlfoNodes)
        x->getFrequencyInput().connect(nullptr);
    if (channelReceiver)
        for (auto& m : midiNodes)
            channelReceiver->removeListener(m.get());
}

void OstrandPlugin::configureParameters()
{
    configureGain(inputGain, EffectHelpTexts::inputGainPan);
    configurePan(inputPan, EffectHelpTexts::inputGainPan);
    configureGain(outputGain, EffectHelpTexts::outputGainPan);
    configurePan(outputPan, EffectHelpTexts::outputGainPan);

    // The matrix works with -1 (dry) .. 1 (wet); the text is the percentage.
    mix.setRange(0.0f, 100.0f);
    mix.setDisplayRange(-1.0f, 1.0f);
    mix.getDisplay().setOuter(EffectDisplayCurves::mixPercent);
    mix.getDisplay().setUnit("%");
    mix.setDefault(100.0f);
    mix.setHelpText(EffectHelpTexts::mix);
    mix.resetToDefault();

    configureOptions(routing, 7, nullptr, 0, EffectHelpTexts::routing);
    configureOptions(routingMode, 2, routingModeOptions, RoutingMode::Stereo, EffectHelpTexts::routing);
    configureOptions(receiveMidi, 1, "Enabled,Disabled", GenericPlugin::Enabled, nullptr);
    configureOptions(autoMute, 1, "Off,On", true, EffectHelpTexts::autoMute);
    configureOptions(auditionSignal, 2, "Output,Input,Side Chain", static_cast<int>(auditionOutput),
                     EffectHelpTexts::audition);
}

void OstrandPlugin::buildChannels(int channelCount)
{
    for (int c = 0; c < channelCount; ++c)
        new OstrandChannel(*this, c); // owned by the plug-in from here on
    wave::Graph& g = getGraph();
    for (int c = 0; c < channelCount; ++c) {
        inputLevel->setInput(c, &getOstrandChannel(c).getMainInput());
        sideChainLevel->setInput(c, &getOstrandChannel(c).getSideChain());
    }
    // The silence detector reads the channels itself rather than the input
    // level's block: one pass over the samples instead of two.
    analyzer->setSource(&getOstrandChannel(0).getMainInput());
    if (channelCount != 2)
        return;
    OstrandChannel& left = getOstrandChannel(0);
    OstrandChannel& right = getOstrandChannel(1);
    analyzer->setSecondChannel(&right.getMainInput());
    inputConverter = std::make_unique<MidSideConverter>(g, MidSideConverter::encode, &left.getMainInput(),
                                                        &right.getMainInput());
    outputConverter = std::make_unique<MidSideConverter>(g, MidSideConverter::decode,
                                                         &left.getOutputVolume(), &right.getOutputVolume());
    for (int c = 0; c < 2; ++c) {
        OstrandChannel& channel = getOstrandChannel(c);
        channel.getInputSide()->setInput(1, &inputConverter->getOutput(c));
        channel.getOutputSide()->setInput(1, &outputConverter->getOutput(c));
    }
}

void OstrandPlugin::buildSources()
{
    wave::Graph& g = getGraph();
    auto target = [this](int t) { return &matrix->getTargetController(t); };
    // Each envelope source hears the main or the side-chain level.
    auto levelSelector = [&] {
        auto router = std::make_unique<Router>(g, 2, 0);
        router->setInput(0, inputLevel.get());
        router->setInput(1, sideChainLevel.get());
        return router;
    };
    std::vector<Activatable*> live;

    for (int i = 0; i < numXLFOs; ++i) {
        const auto k = static_cast<std::size_t>(i);
        xlfoNodes[k] = std::make_unique<XLFO>(g);
        XLFO& x = *xlfoNodes[k];
        xlfoControllers[k] = std::make_unique<XLFOFreqController>(g, x, target(16 + 3 * i), target(17 + 3 * i));
        xlfoControllers[k]->readTransport(transport);
        x.getFrequencyInput().connect(xlfoControllers[k].get());
        x.getGlideInput().connect(target(18 + 3 * i));
        xlfos[i].bind(x, *xlfoControllers[k]);
        matrix->setSourceOutput(XLFOParameterSetList::firstSource + i, &x);
        noteTriggers.addXLFO(x);
        live.push_back(activatables.emplace_back(std::make_unique<Activatable>(x)).get());
    }
    xlfos.registerActivatables(live);

    live.clear();
    for (int i = 0; i < numEGs; ++i) {
        const auto k = static_cast<std::size_t>(i);
        egLevelSelectors[k] = levelSelector();
        // Mostly on the same level with the same settings: one search a block.
        Trigger* sharesWith = i > 0 ? triggers[0].get() : nullptr;
        triggers[k] = std::make_unique<Trigger>(g, egLevelSelectors[k].get(), sharesWith);
        egNodes[k] = std::make_unique<EnvelopeGenerator>(g, triggers[k].get());
        EnvelopeGenerator& eg = *egNodes[k];
        const int first = EGParameterSetList::firstTarget + EGParameterSetList::targetsPerSet * i;
        eg.getAttackInput().connect(target(first));
        eg.getDecayInput().connect(target(first + 1));
        eg.getSustainInput().connect(target(first + 2));
        eg.getReleaseInput().connect(target(first + 3));
        egs[i].bind(eg, *triggers[k]);
        matrix->setSourceOutput(EGParameterSetList::firstSource + i, &eg);
        noteTriggers.addEnvelopeGenerator(eg);
        live.push_back(activatables.emplace_back(std::make_unique<Activatable>(eg)).get());
    }
    egs.registerActivatables(live);

    live.clear();
    for (int i = 0; i < numEFs; ++i) {
        const auto k = static_cast<std::size_t>(i);
        efLevelSelectors[k] = levelSelector();
        efNodes[k] = std::make_unique<EnvelopeFollower>(g, efLevelSelectors[k].get());
        EnvelopeFollower& ef = *efNodes[k];
        const int first = EFParameterSetList::firstTarget + EFParameterSetList::targetsPerSet * i;
        ef.getAttackInput().connect(target(first));
        ef.getReleaseInput().connect(target(first + 1));
        efs[i].input.bindProperty(efLevelSelectors[k]->selection);
        matrix->setSourceOutput(EFParameterSetList::firstSource + i, &ef);
        live.push_back(activatables.emplace_back(std::make_unique<Activatable>(ef)).get());
    }
    efs.registerActivatables(live);

    live.clear();
    for (int i = 0; i < numMidiSources; ++i) {
        const auto k = static_cast<std::size_t>(i);
        midiNodes[k] = std::make_unique<MidiModSource>(g);
        MidiModSource& m = *midiNodes[k];
        midiSources[i].bind(m);
        matrix->setSourceOutput(MidiSourceParameterSetList::firstSource + i, &m);
        if (channelReceiver)
            channelReceiver->addListener(&m);
        live.push_back(activatables.emplace_back(std::make_unique<Activatable>(m)).get());
    }
    midiSources.registerActivatables(live);
}

void OstrandPlugin::bindParameters()
{
    routing.bindProperty(routingState);
    routingMode.bindProperty(routingModeState);
    filters.getNumActiveParameter().bindProperty(filterCountState);
    for (int n = 0; n < numFilters; ++n) {
        filters[n].enabled.bindProperty(enabledState[static_cast<std::size_t>(n)]);
        filters[n].linked.bindProperty(linkedState[static_cast<std::size_t>(n)]);
    }
    for (int c = 0; c < getChannelCount(); ++c) {
        OstrandChannel& channel = getOstrandChannel(c);
        auditionSignal.bindProperty(channel.getAudition().selection);
        for (int n = 0; n < numFilters; ++n) {
            filters[n].bind(channel.getFilter(n));
            autoMute.bindProperty(channel.getFilter(n).autoMute);
        }
    }
    if (!isTwoChannel()) {
        // One channel path: the routing follows the parameters directly
        // (a stereo instance works it out per channel, OstrandChannel).
        FilterRouting& r = getOstrandChannel(0).getRouting();
        routing.bindProperty(r.routingIndex);
        filters.getNumActiveParameter().bindProperty(r.activeFilterCount);
        for (int n = 0; n < numFilters; ++n)
            filters[n].enabled.bindProperty(r.getElement(n).enabled);
    }
}

void OstrandPlugin::registerComponents()
{
    addComponentKind(filterKind, 1);
    addToComponent(filterKind, 0, filters);
    addToComponent(filterKind, 0, routing);
    addToComponent(filterKind, 0, routingMode);
    addComponentKind(xlfoKind, numXLFOs);
    for (int i = 0; i < numXLFOs; ++i)
        xlfos[i].addToComponent(*this, xlfoKind, i);
    addComponentKind(egKind, numEGs);
    for (int i = 0; i < numEGs; ++i)
        addToComponent(egKind, i, egs[i]);
    addComponentKind(efKind, numEFs);
    for (int i = 0; i < numEFs; ++i)
        addToComponent(efKind, i, efs[i]);
    addComponentKind(midiKind, numMidiSources);
    for (int i = 0; i < numMidiSources; ++i)
        addToComponent(midiKind, i, midiSources[i]);
    addComponentKind(slotKind, 1);
    addToComponent(slotKind, 0, *getSlotList());
}

void OstrandPlugin::initializeShared(const std::string& name)
{
    ModulationMatrixPlugin::initializeShared(name);
    // The ten characteristic tables, loaded once for every instance.
    FilterCharacteristics::shared();
    setPresetFormatVersion(presetVersion);
    // Section k is component kind k.
    for (const SectionPresetKind& kind : sectionPresetKinds)
        PresetLibrary::shared().registerSection(kind.extension, kind.folder);
}

bool OstrandPlugin::readPreset(const std::string& path, std::vector<float>& values)
{
    return readAnyGeneration(*this, presetFileSource(path), values);
}

bool OstrandPlugin::addSource(ComponentKind kind)
{
    AbstractParameterSetList* list = nullptr;
    switch (kind) {
    case xlfoKind: list = &xlfos; break;
    case egKind: list = &egs; break;
    case efKind: list = &efs; break;
    case midiKind: list = &midiSources; break;
    default: break;
    }
    if (!list || list->getNumActive() >= list->getMaxActive())
        return false;
    Batch batch(*this);
    const int added = list->getNumActive();
    list->getNumActiveParameter().setValue(static_cast<float>(added + 1), 0);
    ComponentPresetHandler(*this, kind, added).loadDefault();
    return true;
}

std::unique_ptr<AbstractMusicEventReceiver> OstrandPlugin::createEventReceiver()
{
    auto receiver = std::make_unique<OstrandEventReceiver>(*this);
    channelReceiver = &receiver->getOstrandReceiver();
    return receiver;
}

void OstrandPlugin::setTransport(double tempo, double position)
{
    if (transport.take(tempo, position, getGraph().getPosition())) {
        for (auto& c : xlfoControllers)
            c->followTempo();
    }
}

void OstrandPlugin::noteOn(int note, float velocity)
{
    noteTriggers.noteOn(note, velocity);
}

void OstrandPlugin::noteOff(int note, float velocity)
{
    noteTriggers.noteOff(note, velocity);
}

void OstrandPlugin::applyParameter(int index)
{
    ModulationMatrixPlugin::applyParameter(index);
    for (int i = 0; i < numEGs; ++i) {
        if (index != -1 && index != egs[i].triggering.getIndex())
            continue;
        // The envelope resets its gate and its trigger itself; the level
        // its trigger watches is chosen here.
        const bool side = egNodes[static_cast<std::size_t>(i)]->triggering.get() == Triggering::SideChain;
        egLevelSelectors[static_cast<std::size_t>(i)]->selection = side ? 1 : 0;
    }
    for (int n = 0; n < numFilters; ++n)
        if (index == -1 || index == filters[n].linked.getIndex())
            updateLink(n);
    if (getOstrandChannel(0).concernsLatency(index))
        alignChannels();
}

// Both channels' wet paths and dry paths are brought to the longest latency
// of the two, so that mid and side (or left and right) meet in step.
void OstrandPlugin::alignChannels()
{
    int longest = 0;
    for (int c = 0; c < getChannelCount(); ++c)
        longest = std::max(longest, getOstrandChannel(c).getNaturalLatency());
    for (int c = 0; c < getChannelCount(); ++c)
        getOstrandChannel(c).alignTo(longest);
    published.latency.store(longest, std::memory_order_relaxed);
}

int OstrandPlugin::getLatency() const
{
    return published.latency.load(std::memory_order_relaxed);
}

void OstrandPlugin::updateLink(int n)
{
    FilterParameterSet& f = filters[n];
    if (linkedState[static_cast<std::size_t>(n)]) {
        linkFreq->addLinked(&f.freq);
        linkPeak->addLinked(&f.peak);
    } else {
        linkFreq->removeLinked(&f.freq);
        linkPeak->removeLinked(&f.peak);
    }
}

int OstrandPlugin::getRoutingChoiceCount() const
{
    return FilterAssignment::routingChoices(routingMode.getTypedValue(), filters.getNumActive(), isTwoChannel());
}

OstrandChannel& OstrandPlugin::getOstrandChannel(int channel) const
{
    return static_cast<OstrandChannel&>(getChannel(channel));
}

MultiDesignFilter::ParallelUnit& OstrandPlugin::getFilterSlot(int n) const
{
    return *filterSlots[static_cast<std::size_t>(n)];
}

LevelPanTarget& OstrandPlugin::getFrequencyPan(int n) const
{
    return *frequencyPans[static_cast<std::size_t>(n)];
}

float OstrandPlugin::getSourceLevel(int source)
{
    if (!ModulationMatrix::isSource(source))
        return 0.0f;
    return published.sourceLevels[static_cast<std::size_t>(source)].load(std::memory_order_relaxed);
}

void OstrandPlugin::publishBlockState()
{
    const std::uint32_t position = getGraph().getPosition();
    if (static_cast<std::int32_t>(position - levelsDueAt) >= 0) {
        levelsDueAt = position + levelInterval;
        // Sources not in use show no button and their last blocks stay as
        // they were: after the first time, their levels are left as last
        // published rather than read again from nodes far out of the cache.
        const std::pair<const AbstractParameterSetList*, int> kinds[] = {
            {&xlfos, numXLFOs}, {&egs, numEGs}, {&efs, numEFs}, {&midiSources, numMidiSources}};
        int first = 0;
        for (const auto& [kind, count] : kinds) {
            const int end = first + (levelsPublished ? std::min(kind->getNumActive(), count) : count);
            for (int s = first; s < end; ++s)
                published.sourceLevels[static_cast<std::size_t>(s)].store(sourceLevelNow(s),
                                                                          std::memory_order_relaxed);
            first += count;
        }
        levelsPublished = true;
    }
    published.routing.store(routingState.get(), std::memory_order_relaxed);
    published.routingMode.store(routingModeState.get(), std::memory_order_relaxed);
    published.filterCount.store(filterCountState.get(), std::memory_order_relaxed);
    for (int n = 0; n < numFilters; ++n)
        published.filterEnabled[static_cast<std::size_t>(n)].store(enabledState[static_cast<std::size_t>(n)].get(),
                                                                   std::memory_order_relaxed);
}

float OstrandPlugin::sourceLevelNow(int source) const
{
    auto first = [](const wave::Producer& p) { return p.getLastBlock()[0]; };
    if (source < 6)
        return xlfoNodes[static_cast<std::size_t>(source)]->getDisplayLevel();
    if (source < 12)
        return first(*egNodes[static_cast<std::size_t>(source - 6)]);
    if (source < 16)
        return first(*efNodes[static_cast<std::size_t>(source - 12)]);
    const MidiModSource& m = *midiNodes[static_cast<std::size_t>(source - 16)];
    const float v = first(m);
    switch (m.input.get()) {
    case MidiModSource::MidiInput::PitchBend:
    case MidiModSource::MidiInput::Velocity:
        return (v + 1.0f) * 0.5f;
    case MidiModSource::MidiInput::KBTrack:
        return (v + 0.39166668f) * 1.0084033f;
    default:
        return v;
    }
}
