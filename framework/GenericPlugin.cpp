#include "framework/GenericPlugin.h"

#include "framework/AbstractParameterSetList.h"
#include "framework/ApplicationInfo.h"
#include "framework/CompareStates.h"
#include "framework/CriticalSection.h"
#include "framework/GlobalSettings.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiVirtualPluginParameter.h"
#include "framework/PluginParameterSet.h"
#include "framework/PluginStorage.h"
#include "framework/ProgramTable.h"
#include "framework/RealtimeThread.h"
#include "framework/ScopedDenormalFlush.h"
#include "framework/SettingSerializer.h"
#include "framework/StateRecord.h"
#include "framework/UndoHistory.h"
#include "wave/Input.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace {

// Process-wide objects shared by all instances, guarded by one section.
CriticalSection& sharedSection()
{
    static std::unique_ptr<CriticalSection> section = CriticalSection::create();
    return *section;
}
int instanceCount = 0;
std::atomic<MidiControllerMap*> sharedControllerMap{nullptr};

const std::vector<AbstractPluginParameter*> noParameters;

std::string fileStem(const std::string& path)
{
    auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

GenericPlugin::GenericPlugin(int graphBlockSize)
    : graph(44100.0f, graphBlockSize), eventQueue(eventCapacity), presetSection(CriticalSection::create())
{
}

GenericPlugin::~GenericPlugin()
{
    terminate();
    // Channels hold graph inputs; they go before the graph does.
    channels.clear();
}

// --- Parameter traffic ---

void GenericPlugin::parameterChanged(int index, float, int flag)
{
    changeQueue.push(index);
    markModified();
    if (RealtimeThreadScope::isCurrent()) {
        if (!(flag & changeFromHost))
            unreportedToAdapter.push(index);
        if (!(flag & changeWithoutListener))
            unreportedToListener.push(index);
        return;
    }
    if (batchDepth.load(std::memory_order_seq_cst) != 0) {
        batchDirty.store(true, std::memory_order_seq_cst);
        // The batch may have closed between the two lines, after its closer
        // looked for changes: then whoever takes the flag reports.
        if (batchDepth.load(std::memory_order_seq_cst) == 0 && batchDirty.exchange(false, std::memory_order_seq_cst))
            report(-1, 0);
        return;
    }
    report(index, flag);
}

void GenericPlugin::report(int index, int flag)
{
    if (!(flag & changeFromHost))
        if (Adapter* a = getAdapter())
            a->parameterChanged(index);
    if (!(flag & changeWithoutListener))
        notifyListener(valuesChangedMask, index);
}

void GenericPlugin::markModified()
{
    if (presetState.markModified() && !RealtimeThreadScope::isCurrent())
        presetState.publish();
}

void GenericPlugin::deliverPendingNotifications()
{
    if (RealtimeThreadScope::isCurrent())
        return;
    if (delivering.test_and_set(std::memory_order_acquire)) {
        announceProgram();
        return;
    }
    presetState.publish();
    auto deliver = [this](ParameterChangeQueue& unreported, std::atomic<bool>& all, auto&& tell) {
        int count = 0;
        bool everything = all.exchange(false, std::memory_order_acq_rel);
        unreported.drain([&](int index) {
            if (!everything && ++count <= maxDeferredReports)
                tell(index);
            else
                everything = true;
        });
        if (everything)
            tell(-1);
    };
    deliver(unreportedToAdapter, allUnreportedToAdapter, [this](int index) {
        if (Adapter* a = getAdapter())
            a->parameterChanged(index);
    });
    deliver(unreportedToListener, allUnreportedToListener,
            [this](int index) { notifyListener(valuesChangedMask, index); });
    delivering.clear(std::memory_order_release);
    // As after a load from a file: the values first, then the preset.
    announceProgram();
}

int GenericPlugin::addParameter(AbstractPluginParameter* parameter)
{
    parameters.push_back(parameter);
    return static_cast<int>(parameters.size()) - 1;
}

AbstractPluginParameter* GenericPlugin::getParameter(int index) const
{
    if (index < 0 || index >= getParameterCount())
        return nullptr;
    return parameters[static_cast<std::size_t>(index)];
}

int GenericPlugin::findParameter(const std::string& name) const
{
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (parameters[i]->getName() == name)
            return static_cast<int>(i);
    return -1;
}

void GenericPlugin::beginBatch()
{
    batchDepth.fetch_add(1, std::memory_order_seq_cst);
}

void GenericPlugin::endBatch()
{
    // An unbalanced end is ignored rather than leaving the counter negative.
    int depth = batchDepth.load(std::memory_order_seq_cst);
    do {
        if (depth <= 0)
            return;
    } while (!batchDepth.compare_exchange_weak(depth, depth - 1, std::memory_order_seq_cst));
    if (depth != 1 || !batchDirty.exchange(false, std::memory_order_seq_cst))
        return;
    if (RealtimeThreadScope::isCurrent()) {
        allUnreportedToAdapter.store(true, std::memory_order_release);
        allUnreportedToListener.store(true, std::memory_order_release);
        return;
    }
    report(-1, 0);
}

void GenericPlugin::notifyListener(unsigned mask, int index)
{
    listenerGuard.fetch_add(1, std::memory_order_seq_cst);
    if (Listener* l = listener.load(std::memory_order_seq_cst))
        l->changed(mask, index);
    listenerGuard.fetch_sub(1, std::memory_order_seq_cst);
}

void GenericPlugin::setListener(Listener* newListener)
{
    listener.store(newListener, std::memory_order_seq_cst);
    // A thread that raised the guard before the store may still be inside
    // the old listener; one that raises it later reads the new pointer.
    while (listenerGuard.load(std::memory_order_seq_cst) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

void GenericPlugin::beginEdit(int index)
{
    if (Adapter* a = getAdapter())
        a->beginGesture(index);
}

void GenericPlugin::endEdit(int index)
{
    if (Adapter* a = getAdapter())
        a->endGesture(index);
}

int GenericPlugin::addVirtualParameter(MidiVirtualPluginParameter* parameter)
{
    virtualParameters.push_back(parameter);
    return firstVirtualIndex - 1 + static_cast<int>(virtualParameters.size());
}

MidiVirtualPluginParameter* GenericPlugin::getVirtualParameter(int index) const
{
    auto i = static_cast<std::size_t>(index - firstVirtualIndex);
    return index >= firstVirtualIndex && i < virtualParameters.size() ? virtualParameters[i] : nullptr;
}

void GenericPlugin::setParameterByMidi(int index, float normalized)
{
    if (index >= firstVirtualIndex) {
        MidiVirtualPluginParameter* v = getVirtualParameter(index);
        if (!v)
            return;
        v->setNormalized(normalized);
    } else {
        AbstractPluginParameter* p = getParameter(index);
        if (!p)
            return;
        p->setValue(p->denormalize(normalized), 0);
    }
    markModified();
}

// --- Audio thread ---

void GenericPlugin::applyChange(int index)
{
    AbstractPluginParameter* p = getParameter(index);
    if (!p)
        return;
    const float value = p->getValue();
    p->updateProperties(value);
    if (p == midiStateParameter)
        midiState.store(static_cast<int>(value), std::memory_order_relaxed);
    applyParameter(index);
}

void GenericPlugin::applyParameter(int index)
{
    for (auto& channel : channels)
        channel->parameterChanged(index);
}

void GenericPlugin::applyQueuedChanges()
{
    beginApplyingChanges();
    changeQueue.drain([this](int index) { applyChange(index); });
    endApplyingChanges();
}

void GenericPlugin::applyQueuedChangesAtOnce()
{
    applyQueuedChanges();
    reset();
}

void GenericPlugin::applyAllParameters()
{
    prepareQueues();
    beginApplyingChanges();
    for (int i = 0; i < getParameterCount(); ++i)
        applyChange(i);
    endApplyingChanges();
    // The one place where the values that the graph's nodes were built with
    // give way at once: the reset ends every glide that applying the
    // parameters started (ramps, switches, routing gains) at its target, so
    // no node has to know whether processing has begun. Later changes glide;
    // a host that wants them in force from its first block says so with
    // applyQueuedChangesAtOnce.
    reset();
    // Bringing the parameters to their defaults is not an edit.
    presetState.setModified(false);
    refreshPrograms();
}

void GenericPlugin::prepareQueues()
{
    changeQueue.prepare(getParameterCount());
    unreportedToAdapter.prepare(getParameterCount());
    unreportedToListener.prepare(getParameterCount());
}

void GenericPlugin::setInputs(const float* const* buffers, int count, int numSamples)
{
    const int n = getChannelCount();
    const bool sideChain = hasSideChain();
    const bool separateSideChains = sideChain && isSideChainPresent() && buffers;
    for (int i = 0; i < n; ++i) {
        // A host with fewer buffers than channels feeds the last one to the rest.
        const float* main = buffers && count > 0 ? buffers[std::min(i, count - 1)] : nullptr;
        Channel& c = *channels[static_cast<std::size_t>(i)];
        c.getInput().setBuffer(main, numSamples);
        if (sideChain) {
            const int side = numChannels + i;
            const bool separate = separateSideChains && side < count;
            c.getSideChainInput().setBuffer(separate ? buffers[side] : main, numSamples);
        }
    }
}

void GenericPlugin::getOutputs(const float** out, int count, int numSamples)
{
    for (int i = 0; i < count; ++i) {
        wave::Producer* p =
            i < getChannelCount() ? channels[static_cast<std::size_t>(i)]->getOutput() : nullptr;
        out[i] = p ? p->pull(numSamples).data() : nullptr;
    }
}

void GenericPlugin::process(const float* const* inputs, int inputCount, float* const* outputs,
                            int outputCount, int numSamples)
{
    RealtimeThreadScope audioThread;
    ScopedDenormalFlush noDenormals;

    applyQueuedChanges();
    outputCount = std::clamp(outputCount, 0, maxOutputs);
    if (!outputs)
        outputCount = 0;
    numSamples = std::max(numSamples, 0);
    if (getInputMode() == 1)
        setInputs(inputs, inputCount, numSamples);

    int position = 0;
    TimedEvent event;
    bool holding = false; // event was taken from the queue but is not due yet
    // Events queued while this block runs may keep coming; taking no more
    // than the pool holds bounds the block's work. The rest wait for the next.
    int eventBudget = eventQueue.getCapacity();
    for (;;) {
        int next = numSamples;
        bool delivered = false;
        for (;;) {
            if (!holding) {
                if (eventBudget == 0 || !eventQueue.pop(event))
                    break;
                --eventBudget;
                holding = true;
            }
            const int due = dueOffset(event, numSamples);
            if (due > position) {
                next = due;
                break;
            }
            deliverEvent(event);
            holding = false;
            delivered = true;
        }
        // What the events changed sounds from here on.
        if (delivered)
            applyQueuedChanges();
        if (position >= numSamples)
            break;
        runGraph(outputs, outputCount, position, next);
        position = next;
    }
    publishBlockState();
}

int GenericPlugin::dueOffset(const TimedEvent& event, int numSamples)
{
    const int offset = static_cast<int>(std::min(event.offset, static_cast<std::uint32_t>(numSamples)));
    const int kind = static_cast<int>(event.message & 0xF0);
    // A program change switches the whole sound: it too is heard from its
    // own sample (and it is rare, so it costs no dense stream of walks).
    if (kind == 0x80 || kind == 0x90 || kind == 0xC0)
        return offset;
    return offset - offset % eventSegment;
}

void GenericPlugin::runGraph(float* const* outputs, int outputCount, int from, int to)
{
    const int blockSize = graph.getBlockSize();
    for (int position = from; position < to;) {
        const int length = std::min(blockSize, to - position);
        graph.nextFrame();
        getOutputs(outputPointers, outputCount, length);
        graph.advance(length);
        for (int i = 0; i < outputCount; ++i) {
            float* target = outputs[i];
            if (!target)
                continue;
            if (outputPointers[i])
                std::memcpy(target + position, outputPointers[i], sizeof(float) * static_cast<std::size_t>(length));
            else
                std::fill_n(target + position, length, 0.0f);
        }
        position += length;
    }
}

void GenericPlugin::deliverEvent(const TimedEvent& event)
{
    if (midiState.load(std::memory_order_relaxed) == Disabled)
        return;
    midiDecoder.receive(static_cast<int>(event.message & 0xFF), static_cast<int>((event.message >> 8) & 0xFF),
                        static_cast<int>((event.message >> 16) & 0xFF));
}

bool GenericPlugin::queueMidiEvent(int offset, int status, int data1, int data2)
{
    TimedEvent event{static_cast<std::uint32_t>(status & 0xFF) |
                         static_cast<std::uint32_t>(data1 & 0xFF) << 8 |
                         static_cast<std::uint32_t>(data2 & 0xFF) << 16,
                     static_cast<std::uint32_t>(std::max(offset, 0)), 3};
    if (eventQueue.push(event))
        return true;
    if (!RealtimeThreadScope::isCurrent())
        return false;
    deliverEvent(event);
    return true;
}

void GenericPlugin::reset()
{
    graph.reset();
}

void GenericPlugin::setTransport(double, double) {}

// --- Life cycle and shared objects ---

void GenericPlugin::initialize(const std::string& name)
{
    if (initialized)
        return;
    {
        CriticalSection::Lock lock(sharedSection());
        if (instanceCount++ == 0) {
            ApplicationInfo::shared().setShortName(name);
            initializeShared(name);
            if (PluginStorage* storage = PluginStorage::installed())
                storage->readUserSettings(*this);
        }
    }
    initialized = true;
    eventReceiver = createEventReceiver();
    midiDecoder.setRouting(eventReceiver.get());
    undoHistory = std::make_unique<UndoHistory>(*this);
    compareStates = std::make_unique<CompareStates>(*this);
    prepareQueues();
}

void GenericPlugin::initializeShared(const std::string&)
{
    sharedControllerMap.store(new MidiControllerMap, std::memory_order_release);
    loadMidiControllerMap();
}

void GenericPlugin::terminate()
{
    if (!initialized || terminated)
        return;
    terminated = true;
    CriticalSection::Lock lock(sharedSection());
    if (--instanceCount == 0) {
        if (PluginStorage* storage = PluginStorage::installed())
            storage->writeUserSettings(*this);
        terminateShared();
    }
}

void GenericPlugin::terminateShared()
{
    delete sharedControllerMap.exchange(nullptr, std::memory_order_acq_rel);
}

int GenericPlugin::getInstanceCount()
{
    CriticalSection::Lock lock(sharedSection());
    return instanceCount;
}

MidiControllerMap* GenericPlugin::getSharedControllerMap()
{
    return sharedControllerMap.load(std::memory_order_acquire);
}

void GenericPlugin::adoptSharedControllerMap(MidiControllerMap* map)
{
    sharedControllerMap.store(map, std::memory_order_release);
}

std::unique_ptr<AbstractMusicEventReceiver> GenericPlugin::createEventReceiver()
{
    return std::make_unique<DefaultEventReceiver>(*this);
}

void GenericPlugin::loadMidiControllerMap()
{
    MidiControllerMap* map = getSharedControllerMap();
    PluginStorage* storage = PluginStorage::installed();
    if (!map || !storage)
        return;
    storage->loadMidiControllerMap(*map);
    // A file from a build with more parameters, or a damaged one, may name
    // parameters that do not exist here; the editor must never meet them.
    map->clearUnless([this](std::int32_t id) { return isParameterId(id); });
}

void GenericPlugin::saveMidiControllerMap()
{
    MidiControllerMap* map = getSharedControllerMap();
    PluginStorage* storage = PluginStorage::installed();
    if (map && storage)
        storage->saveMidiControllerMap(*map);
}

void GenericPlugin::revertMidiControllerMap()
{
    if (MidiControllerMap* map = getSharedControllerMap())
        map->clearAll();
    loadMidiControllerMap();
}

void GenericPlugin::serializeSettings(SettingSerializer& serializer)
{
    serializeGlobalSettings(GlobalSettings::shared(), serializer);
    if (MainPresetFolder* folder = MainPresetFolder::installed()) {
        std::string path =
            serializer.serializeString("PresetFolder", folder->getPath(), folder->getDefaultPath());
        if (!serializer.isWriting())
            folder->setPath(path);
    }
}

// --- Presets and program changes ---

bool GenericPlugin::loadPreset(const std::string& path)
{
    std::vector<float> values;
    if (!readPreset(path, values))
        return false;
    applyValues(values);
    becomeCurrentPreset(path);
    return true;
}

bool GenericPlugin::readPreset(const std::string& path, std::vector<float>& values)
{
    PluginStorage* storage = PluginStorage::installed();
    return storage && storage->readPreset(*this, path, values);
}

void GenericPlugin::applyValues(const std::vector<float>& values)
{
    Batch batch(*this);
    const std::size_t n = std::min(values.size(), parameters.size());
    for (std::size_t i = 0; i < n; ++i)
        parameters[i]->setValue(values[i], 0);
}

bool GenericPlugin::savePreset(const std::string& path)
{
    PluginStorage* storage = PluginStorage::installed();
    if (!storage || !storage->savePreset(*this, path))
        return false;
    becomeCurrentPreset(path);
    return true;
}

void GenericPlugin::becomeCurrentPreset(const std::string& path)
{
    presetState.setPlace(fileStem(path), path);
    presetState.setModified(false);
    if (Adapter* a = getAdapter())
        a->presetChanged();
    notifyPresetChanged();
}

void GenericPlugin::notifyPresetChanged()
{
    notifyListener(presetChangedMask, 0);
}

void GenericPlugin::programChange(int bank, int program)
{
    // Raised before the table is read: a table being replaced is not freed
    // until this is lowered again.
    readingPrograms.store(true, std::memory_order_seq_cst);
    const ProgramTable* table = livePrograms.load(std::memory_order_seq_cst);
    const ProgramRecord* record = table ? table->find(bank, program) : nullptr;
    if (record) {
        // On the audio thread the changes are reported later anyway, all
        // at once; elsewhere the batch makes them one report.
        const bool realtime = RealtimeThreadScope::isCurrent();
        if (!realtime)
            beginBatch();
        const std::size_t n = std::min(record->values.size(), parameters.size());
        for (std::size_t i = 0; i < n; ++i)
            parameters[i]->setValue(record->values[i], 0);
        if (!realtime)
            endBatch();
        // The preset just switched to is unmodified; a change after this
        // line raises the flag again.
        presetState.clearFlag();
        switchedProgram.store(record, std::memory_order_release);
    }
    readingPrograms.store(false, std::memory_order_seq_cst);
    if (record && !RealtimeThreadScope::isCurrent())
        announceProgram();
}

bool GenericPlugin::takeSwitchedProgram()
{
    const ProgramRecord* record = switchedProgram.exchange(nullptr, std::memory_order_acq_rel);
    if (!record)
        return false;
    presetState.setPlace(record->name, record->location);
    return true;
}

void GenericPlugin::announceProgram()
{
    {
        CriticalSection::Lock lock(*presetSection);
        if (!takeSwitchedProgram())
            return;
    }
    announcePresetChange();
}

void GenericPlugin::announcePresetChange()
{
    presetState.publish();
    if (Adapter* a = getAdapter())
        a->presetChanged();
    notifyPresetChanged();
}

void GenericPlugin::refreshPrograms()
{
    if (RealtimeThreadScope::isCurrent())
        return;
    // Read first: a list that changes while the table is built is seen as
    // changed again at the next call.
    const std::uint64_t generation = PluginStorage::programListGeneration();
    PluginStorage* storage = PluginStorage::installed();
    std::shared_ptr<const ProgramTable> table = storage ? storage->programTable(*this) : nullptr;
    std::shared_ptr<const ProgramTable> old;
    bool announce = false;
    {
        CriticalSection::Lock lock(*presetSection);
        programGeneration.store(generation, std::memory_order_release);
        if (table == programs)
            return;
        livePrograms.store(table.get(), std::memory_order_seq_cst);
        // The audio thread may still be switching to a program of the old
        // table: that takes a fraction of a block.
        while (readingPrograms.load(std::memory_order_seq_cst))
            std::this_thread::yield();
        // A program of the old table still to be announced takes its name
        // now, while its record exists.
        announce = takeSwitchedProgram();
        old = std::exchange(programs, std::move(table));
    }
    if (announce)
        announcePresetChange();
}

bool GenericPlugin::needsControlThread() const
{
    return switchedProgram.load(std::memory_order_acquire) ||
           programGeneration.load(std::memory_order_acquire) != PluginStorage::programListGeneration();
}

void GenericPlugin::serviceControlThread()
{
    refreshPrograms();
    announceProgram();
}

// --- Components ---

void GenericPlugin::addComponentKind(int kind, int instanceCount)
{
    if (kind < 0)
        return;
    if (componentKinds.size() <= static_cast<std::size_t>(kind))
        componentKinds.resize(static_cast<std::size_t>(kind) + 1);
    componentKinds[static_cast<std::size_t>(kind)].resize(
        static_cast<std::size_t>(std::max(instanceCount, 0)));
}

void GenericPlugin::addToComponent(int kind, int instance, AbstractPluginParameter& parameter)
{
    if (kind < 0 || instance < 0 || static_cast<std::size_t>(kind) >= componentKinds.size())
        return;
    auto& instances = componentKinds[static_cast<std::size_t>(kind)];
    if (static_cast<std::size_t>(instance) >= instances.size())
        return;
    instances[static_cast<std::size_t>(instance)].push_back(&parameter);
}

void GenericPlugin::addToComponent(int kind, int instance, PluginParameterSet& set)
{
    for (AbstractPluginParameter* p : set.getParameters())
        addToComponent(kind, instance, *p);
}

void GenericPlugin::addToComponent(int kind, int instance, AbstractParameterSetList& list)
{
    addToComponent(kind, instance, list.getNumActiveParameter());
    for (int i = 0; i < list.count(); ++i)
        addToComponent(kind, instance, *list.get(i));
}

int GenericPlugin::getComponentInstanceCount(int kind) const
{
    if (kind < 0 || static_cast<std::size_t>(kind) >= componentKinds.size())
        return 0;
    return static_cast<int>(componentKinds[static_cast<std::size_t>(kind)].size());
}

const std::vector<AbstractPluginParameter*>& GenericPlugin::getComponentParameters(int kind,
                                                                                   int instance) const
{
    if (instance < 0 || instance >= getComponentInstanceCount(kind))
        return noParameters;
    return componentKinds[static_cast<std::size_t>(kind)][static_cast<std::size_t>(instance)];
}

// --- Channels ---

void GenericPlugin::addChannel(Channel* channel)
{
    if (channel)
        channels.emplace_back(channel);
}

GenericPlugin::Channel::Channel(GenericPlugin& owner)
    : plugin(owner), input(std::make_unique<wave::Input>(owner.getGraph())),
      sideChainInput(std::make_unique<wave::Input>(owner.getGraph()))
{
    owner.addChannel(this);
}

GenericPlugin::Channel::~Channel() = default;

// --- Snapshots ---

void GenericPlugin::saveState(StateRecord& record) const
{
    presetState.copyPlace(record.presetName, record.presetLocation);
    record.modified.set(presetState.isModified());
    record.compareIndex = compareStates ? compareStates->getCurrent() : 0;
    record.values.resize(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i)
        record.values[i] = parameters[i]->getValue();
}

void GenericPlugin::loadState(const StateRecord& record)
{
    {
        Batch batch(*this);
        const std::size_t n = std::min(record.values.size(), parameters.size());
        for (std::size_t i = 0; i < n; ++i)
            parameters[i]->setValue(record.values[i], 0);
    }
    const bool placeChanged = presetState.setPlace(record.presetName, record.presetLocation);
    presetState.setModified(record.modified.get());
    if (placeChanged)
        notifyPresetChanged();
}
