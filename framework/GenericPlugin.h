#pragma once

#include "framework/AbstractPluginParameter.h"
#include "framework/DefaultEventReceiver.h" // the receiver createEventReceiver makes by default
#include "framework/GenericParameterOwner.h"
#include "framework/LockFreeQueue.h"
#include "framework/MidiDecoder.h"
#include "framework/ParameterChangeQueue.h"
#include "framework/PresetState.h"
#include "wave/Graph.h"
#include "wave/Input.h"
#include "wave/Producer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CriticalSection;
class MidiControllerMap;
class MidiVirtualPluginParameter;
class ModulationReferences;
class PluginParameterSet;
class AbstractParameterSetList;
class SettingSerializer;
struct ProgramRecord;
struct ProgramTable;
struct StateRecord;

// The host-independent plug-in: it owns the flat parameter list, the audio
// graph with one Channel per audio channel, the MIDI decoder and event
// receiver, the undo history and the A/B states, and it is where parameter
// changes from the host, the editor, MIDI and presets meet.
//
// A parameter holds the one true value: any thread may set it (its value is
// an atomic), and what is queued for the audio thread is only "parameter i
// changed". The audio thread applies the parameter's current value to the
// DSP at the start of the next block, or at once when the change came from
// MIDI during the block, so the audio always ends on the value the
// parameter holds, whoever wrote it last. MIDI events travel to the audio
// thread through a lock-free queue with their sample offsets.
//
// A concrete plug-in, in its constructor: creates its parameters and lists
// (which fixes the host indices), calls initialize(name), builds its graph
// nodes and channels, then calls applyAllParameters(). A plug-in that
// overrides terminateShared or serializeSettings calls terminate() in its
// destructor: called from this destructor, the last instance would reach
// only the base versions, releasing too little and writing too few settings.
//
// Threads: process and everything it reaches run on the host's audio thread
// and never allocate, lock or wait. Parameters are set on any thread: the
// control and editor threads, and the audio thread (MIDI, or a host adapter
// that applies its control ports in its audio callback inside a
// RealtimeThreadScope); setting one allocates nothing once the plug-in is
// built. The adapter and the listener are told of a change on the thread
// that made it, unless that is the audio thread: those changes wait for
// deliverPendingNotifications on another thread. The rest is called on the
// control or editor thread.
class GenericPlugin : public GenericParameterOwner {
public:
    class Channel;
    class Adapter;
    class Listener;
    class StateList;
    class UndoHistory;
    class CompareStates;

    // The "Receive MIDI" setting: options "Enabled,Disabled".
    enum MidiState { Enabled = 0, Disabled = 1 };

    // One MIDI event waiting for the audio thread: the message bytes
    // (status | data1 << 8 | data2 << 16), the sample offset within the
    // current host block, and the number of message bytes.
    struct TimedEvent {
        std::uint32_t message;
        std::uint32_t offset;
        std::uint32_t length;
    };

    static constexpr int maxOutputs = 16;
    static constexpr int firstVirtualIndex = 0x100000;
    // Listener masks: every bit but bit 10 for value changes; bit 0 also
    // clear when the current preset's name or place changed.
    static constexpr unsigned valuesChangedMask = 0xFFFFFBFFu;
    static constexpr unsigned presetChangedMask = 0xFFFFFBFEu;
    // Bits of the flag a parameter passes along with a change.
    // The host made the change: it is not reported back to the adapter.
    static constexpr int changeFromHost = 1;
    // The host adapter made the change on the audio thread, and the host
    // tells its own editor view about it: no listener is called.
    static constexpr int changeWithoutListener = 2;
    // MIDI events that can wait for the audio thread at once.
    static constexpr int eventCapacity = 4096;
    // Non-note MIDI events are due at the start of the segment of this many
    // samples they fall in.
    static constexpr int eventSegment = 32;
    // More deferred changes than this are reported as one change of all
    // parameters (index -1).
    static constexpr int maxDeferredReports = 16;

    // graphBlockSize: the longest walk of the plug-in's graph; host blocks
    // are processed in pieces of at most this length.
    explicit GenericPlugin(int graphBlockSize = wave::Graph::maxBlockSize);
    virtual ~GenericPlugin();
    GenericPlugin(const GenericPlugin&) = delete;
    GenericPlugin& operator=(const GenericPlugin&) = delete;

    // --- Virtual operations, in the order hosts and editors rely on ---

    // Any thread, called by a parameter whose value changed: queues it for
    // the audio thread, marks the preset modified and tells the adapter
    // (unless flag has changeFromHost) and the listener (unless it has
    // changeWithoutListener), or only records it while an update batch is
    // open. On the audio thread the adapter and the listener are told later
    // (see deliverPendingNotifications). The value is not used: the audio
    // thread reads the parameter's own.
    void parameterChanged(int index, float value, int flag) override;
    // Appends to the flat list; returns the parameter's index.
    int addParameter(AbstractPluginParameter* parameter) override;
    // Whether the plug-in also runs with one channel in and out.
    virtual bool supportsMonoLayout() const { return false; }
    // The kind code hosts file plug-ins under (2 for an effect, 0 unknown).
    virtual int getPluginKind() const { return 0; }
    // The four characters that start this plug-in's preset files.
    virtual std::string presetMagic() const = 0;
    // 1 when the plug-in takes audio input (an effect); 0 for an instrument.
    virtual int getInputMode() const { return 1; }
    // Samples by which the output comes after the input it was made from, as
    // the settings applied so far give it. Any thread.
    virtual int getLatency() const { return 0; }
    // Size of the editor in pixels; 0 without an editor.
    virtual int getEditorHeight() const { return 0; }
    virtual int getEditorWidth() const { return 0; }
    // The shared MIDI controller map from and to its file (through the
    // installed PluginStorage). Loading unties controllers whose id names
    // no parameter of this plug-in, so register virtual parameters before
    // initialize, which loads the map for the first instance.
    virtual void loadMidiControllerMap();
    virtual void saveMidiControllerMap();
    // Clears the state of the graph's nodes. Costs little enough for the
    // audio thread, where an adapter calls it between two blocks when the
    // host switches the plug-in to bypass; never during process.
    virtual void reset();
    // Forgets every controller association, then loads the file again.
    virtual void revertMidiControllerMap();
    // Writes all parameters to a preset file; on success the file becomes
    // the current preset.
    virtual bool savePreset(const std::string& path);
    // Passes the user settings through the serializer, in both directions.
    virtual void serializeSettings(SettingSerializer& serializer);
    // Host tempo (beats per minute) and musical position; nothing here.
    virtual void setTransport(double tempo, double position);
    // Audio thread: points the channels' inputs at the host buffers.
    virtual void setInputs(const float* const* buffers, int count, int numSamples);
    virtual std::unique_ptr<AbstractMusicEventReceiver> createEventReceiver();
    // Builds the objects all instances share (first instance only).
    virtual void initializeShared(const std::string& productName);
    // Loads a full preset file into all parameters; true on success. The
    // file is read completely first: a refused one changes nothing.
    virtual bool loadPreset(const std::string& path);
    // Reads a full preset file into one value per parameter (host order)
    // without applying it; false when the file is refused. Plug-ins that
    // read earlier layouts too override it.
    virtual bool readPreset(const std::string& path, std::vector<float>& values);
    virtual std::string presetExtension() const { return ".mvp"; }
    // Whether the plug-in takes a side-chain input.
    virtual bool hasSideChain() const { return false; }
    // Audio thread: a queued change of index reached the DSP; tells every
    // channel. Plug-ins extend it for changes that rewire the graph.
    virtual void applyParameter(int index);
    // Audio thread: out[i] is channel i's output for the current frame.
    virtual void getOutputs(const float** out, int count, int numSamples);
    // Releases the shared objects (last instance only).
    virtual void terminateShared();
    // The modulation slots that parameter set lists renumber; none here.
    virtual ModulationReferences* getModulationReferences() { return nullptr; }

    // --- Life cycle ---

    // Called by the derived constructor once its parameters exist: counts
    // the instance (the first one sets up the shared objects and reads the
    // user settings) and creates the event receiver, undo history and
    // compare states.
    void initialize(const std::string& name);
    // Applies every parameter's current value to the DSP, once, at the end
    // of construction, and resets the graph so that those values hold from
    // the first sample. Leaves the preset unmodified.
    void applyAllParameters();
    // Ends this instance's share of the process-wide objects; the last
    // instance writes the user settings and calls terminateShared. Called
    // by the destructor if the derived class did not.
    void terminate();
    static int getInstanceCount();

    // --- Audio thread ---

    // One host block: applies the queued changes, reads the inputs, runs the
    // graph in sub-blocks of at most the graph's block size that also end
    // where MIDI events are due, delivering each there: a note at its own
    // offset, any other message (which moves parameters and modulation
    // values, whose coefficients change per 32-sample segment anyway) at
    // the start of the segment it falls in, so a dense controller stream
    // does not cut the block into single samples. Changes that the events
    // made are applied before the next sub-block runs. At most 16 outputs
    // are written; outputs without a channel get silence.
    void process(const float* const* inputs, int inputCount, float* const* outputs, int outputCount,
                 int numSamples);
    // Audio thread: every parameter changed since the last call brings its
    // current value to the DSP. At most one pass over the parameters.
    void applyQueuedChanges();

    // Control thread, while no block is being processed: before the host
    // activates the plug-in, or after it restored a session or a preset
    // and before it plays again. Applies the queued changes now and resets
    // the graph, which ends every glide (parameter ramps, router switches,
    // routing gains, delay times) at its target and clears the filters'
    // states, so the first block sounds as the settings say from its first
    // sample instead of gliding there from the values before.
    void applyQueuedChangesAtOnce();

    // --- Parameters ---

    int getParameterCount() const { return static_cast<int>(parameters.size()); }
    AbstractPluginParameter* getParameter(int index) const;
    // Index of the parameter with this name, or -1.
    int findParameter(const std::string& name) const;
    // Registers a MIDI-only parameter; the first gets 0x100000.
    int addVirtualParameter(MidiVirtualPluginParameter* parameter);
    MidiVirtualPluginParameter* getVirtualParameter(int index) const;
    int getVirtualParameterCount() const { return static_cast<int>(virtualParameters.size()); }
    // Whether id names a parameter of the flat list or a virtual parameter.
    bool isParameterId(int id) const { return getParameter(id) || getVirtualParameter(id); }
    // A learned MIDI controller moved: index from 0x100000 up addresses a
    // virtual parameter, below that the flat list; normalized is 0..1.
    // Indices that address nothing are ignored.
    void setParameterByMidi(int index, float normalized);

    // Update batches group many changes into one notification (index -1)
    // to the adapter and the listener when the outermost batch closes. A
    // change made on another thread while the batch closes is reported
    // either with the batch or on its own, never lost.
    void beginBatch();
    void endBatch();
    class Batch {
    public:
        explicit Batch(GenericPlugin& p) : plugin(p) { plugin.beginBatch(); }
        ~Batch() { plugin.endBatch(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        GenericPlugin& plugin;
    };
    int getBatchDepth() const { return batchDepth.load(std::memory_order_acquire); }

    // The start and end of a user gesture on a parameter (a knob drag), for
    // the host's automation recording.
    void beginEdit(int index);
    void endEdit(int index);

    // --- Host and editor ---

    // Set by the host adapter before processing starts; null detaches.
    void setAdapter(Adapter* a) { adapter.store(a, std::memory_order_release); }
    Adapter* getAdapter() const { return adapter.load(std::memory_order_acquire); }
    // Attaches or detaches the editor. Returns once no thread still calls
    // the previous listener. Never call it from inside a listener call.
    void setListener(Listener* listener);
    Listener* getListener() const { return listener.load(std::memory_order_acquire); }

    // Any thread but the audio thread, regularly (the editor's timer, the
    // adapter's idle or worker call): tells the adapter and the listener of
    // the changes made on the audio thread since the last call, and brings
    // the preset state's `modified` property up to its flag. Returns at
    // once when another thread is delivering.
    void deliverPendingNotifications();

    // Any thread: queues a MIDI message for the audio thread at a sample
    // offset of the next host block. Never allocates or locks. When
    // eventCapacity events wait already, a call on the audio thread (inside
    // a RealtimeThreadScope, as adapters call it from their audio callback)
    // decodes the message at once; elsewhere it returns false.
    bool queueMidiEvent(int offset, int status, int data1, int data2);

    // Whether the host delivers separate side-chain buffers; without them
    // the main inputs stand in.
    void setSideChainPresent(bool present) { sideChainPresent.store(present, std::memory_order_relaxed); }
    bool isSideChainPresent() const { return sideChainPresent.load(std::memory_order_relaxed); }
    int getNumChannels() const { return numChannels; }
    void setNumChannels(int n) { numChannels = n < 1 ? 1 : n; }

    // The "Receive MIDI" parameter (may be null); while it reads Disabled,
    // incoming MIDI is not decoded at all.
    void setMidiStateParameter(AbstractPluginParameter* parameter) { midiStateParameter = parameter; }
    int getMidiState() const { return midiState.load(std::memory_order_relaxed); }

    // A MIDI program change (any thread; on the audio thread at the event's
    // sample): every parameter takes the value of the preset at bank * 128 +
    // program, read ahead of time into the program table, through the same
    // path as any other change. The preset becomes the current one,
    // unmodified; on the audio thread its name, place and the notifications
    // follow in the next non-real-time call (deliverPendingNotifications,
    // serviceControlThread). Nothing happens for a program that names no
    // preset. Never allocates, locks or waits.
    void programChange(int bank, int program);
    // Off the audio thread: takes the program table of the preset list as
    // it is now, when it changed since the last call. Called once the
    // plug-in is built (applyAllParameters) and by serviceControlThread.
    void refreshPrograms();
    // Any thread: whether serviceControlThread has work: a program the
    // audio thread switched to is to be announced, or the preset list
    // changed since the table was read.
    bool needsControlThread() const;
    // Off the audio thread (an adapter's worker or idle call, the renderer
    // between blocks): refreshes the program table and announces a program
    // switched to on the audio thread.
    void serviceControlThread();

    // --- Components (the grouping of section presets) ---

    void addComponentKind(int kind, int instanceCount);
    void addToComponent(int kind, int instance, AbstractPluginParameter& parameter);
    void addToComponent(int kind, int instance, PluginParameterSet& set);
    void addToComponent(int kind, int instance, AbstractParameterSetList& list);
    int getComponentKindCount() const { return static_cast<int>(componentKinds.size()); }
    int getComponentInstanceCount(int kind) const;
    const std::vector<AbstractPluginParameter*>& getComponentParameters(int kind, int instance) const;

    // --- Channels and graph ---

    // Takes ownership; Channel's constructor calls it.
    void addChannel(Channel* channel);
    int getChannelCount() const { return static_cast<int>(channels.size()); }
    Channel& getChannel(int i) const { return *channels[static_cast<std::size_t>(i)]; }
    wave::Graph& getGraph() { return graph; }

    // --- State ---

    PresetState& getPresetState() { return presetState; }
    // Off the audio thread: every parameter takes values[i] (as far as
    // there are values), in one update batch.
    void applyValues(const std::vector<float>& values);
    // Tells the listener that the preset's name or place changed.
    void notifyPresetChanged();
    void saveState(StateRecord& record) const;
    void loadState(const StateRecord& record);
    UndoHistory* getUndoHistory() const { return undoHistory.get(); }
    CompareStates* getCompareStates() const { return compareStates.get(); }

    AbstractMusicEventReceiver* getEventReceiver() const { return eventReceiver.get(); }
    MidiDecoder& getMidiDecoder() { return midiDecoder; }
    // The controller map all instances share; null before the first
    // instance is initialised and after the last one ended.
    static MidiControllerMap* getSharedControllerMap();
    // For a second module built from the same sources that shows the editor
    // of this module's plug-ins (the LV2 UI): it works on their map.
    // Only for a module that creates no plug-ins of its own.
    static void adoptSharedControllerMap(MidiControllerMap* map);


protected:
    // Calls the listener, guarded so setListener can wait for the call to end.
    void notifyListener(unsigned mask, int index);
    // The file just loaded or saved is the current preset now: its name and
    // place, unmodified; the adapter and the listener hear of it. For
    // plug-ins that load presets their own way.
    void becomeCurrentPreset(const std::string& path);

    // Audio thread, around every application of queued changes: a plug-in
    // that derives something from many parameters at once (the modulation
    // matrix's slot structure) collects the changes and derives once, when
    // the last of them has been applied.
    virtual void beginApplyingChanges() {}
    virtual void endApplyingChanges() {}
    // Audio thread, at the end of every host block: the place to store, in
    // atomics, what the editor and the host read of the audio side (levels,
    // applied states), once per block.
    virtual void publishBlockState() {}

private:
    void applyChange(int index);
    // Sizes the change queues for the parameters there are.
    void prepareQueues();
    void deliverEvent(const TimedEvent& event);
    // The sample offset in the current block at which an event is due.
    static int dueOffset(const TimedEvent& event, int numSamples);
    void runGraph(float* const* outputs, int outputCount, int from, int to);
    // Tells the adapter (unless the host made the change) and the listener
    // (unless the change asks not to).
    void report(int index, int flag);
    // Raises the preset state's flag; off the audio thread also publishes it.
    void markModified();

    std::atomic<Adapter*> adapter{nullptr};
    std::vector<std::unique_ptr<Channel>> channels;
    std::unique_ptr<CompareStates> compareStates;
    std::vector<std::vector<std::vector<AbstractPluginParameter*>>> componentKinds;
    wave::Graph graph;
    AbstractPluginParameter* midiStateParameter = nullptr;
    std::atomic<bool> sideChainPresent{true};
    std::atomic<Listener*> listener{nullptr};
    std::atomic<int> listenerGuard{0};
    MidiDecoder midiDecoder;
    std::atomic<int> midiState{Enabled};
    LockFreeQueue<TimedEvent> eventQueue;
    std::vector<MidiVirtualPluginParameter*> virtualParameters;
    std::unique_ptr<AbstractMusicEventReceiver> eventReceiver;
    int numChannels = 2;
    const float* outputPointers[maxOutputs] = {};
    ParameterChangeQueue changeQueue;
    // Changes made on the audio thread that the adapter and the listener
    // have not been told of yet; the flags stand for "all parameters".
    ParameterChangeQueue unreportedToAdapter;
    ParameterChangeQueue unreportedToListener;
    std::atomic<bool> allUnreportedToAdapter{false};
    std::atomic<bool> allUnreportedToListener{false};
    std::atomic_flag delivering;
    std::vector<AbstractPluginParameter*> parameters;
    std::atomic<int> batchDepth{0};
    std::atomic<bool> batchDirty{false};
    PresetState presetState;
    std::unique_ptr<UndoHistory> undoHistory;
    // The program table: `programs` owns it (changed off the audio thread
    // under presetSection), `livePrograms` is what the audio thread reads,
    // raising `readingPrograms` first, so a table is never freed under it.
    // A program switched to that is not announced yet: `switchedProgram`.
    std::unique_ptr<CriticalSection> presetSection;
    std::shared_ptr<const ProgramTable> programs;
    std::atomic<const ProgramTable*> livePrograms{nullptr};
    std::atomic<bool> readingPrograms{false};
    std::atomic<std::uint64_t> programGeneration{0};
    std::atomic<const ProgramRecord*> switchedProgram{nullptr};
    // Off the audio thread: the current preset becomes the program switched
    // to last, if one waits; the adapter and the listener hear of it.
    void announceProgram();
    // Under presetSection: takes the program waiting to be announced
    // into the preset state; false when none waits.
    bool takeSwitchedProgram();
    // The preset state's flag, the adapter and the listener learn that the
    // current preset changed.
    void announcePresetChange();
    bool initialized = false;
    bool terminated = false;
};

// Host side of a plug-in: the host adapter.
class GenericPlugin::Adapter {
public:
    // A parameter changed (index -1: all of them); read values with getValue.
    // Called on the thread that made the change, or for a change made on the
    // audio thread (MIDI) on the thread that calls
    // deliverPendingNotifications; never on the audio thread.
    virtual void parameterChanged(int index) = 0;
    // A preset was loaded or saved.
    virtual void presetChanged() = 0;
    // A user gesture on a parameter starts or ends.
    virtual void beginGesture(int) {}
    virtual void endGesture(int) {}

protected:
    ~Adapter() = default;
};

// Editor side of a plug-in. Called on the thread that made the change, or
// for a change made on the audio thread on the thread that calls
// deliverPendingNotifications; never on the audio thread.
class GenericPlugin::Listener {
public:
    virtual void changed(unsigned mask, int index) = 0;

protected:
    ~Listener() = default;
};

// One audio channel: its main and side-chain inputs, which read host
// buffers, and the producer whose blocks are its output.
class GenericPlugin::Channel {
public:
    // Registers with the plug-in, which owns the channel from then on.
    // Build channels after initialize.
    explicit Channel(GenericPlugin& plugin);
    virtual ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Audio thread: a queued change of a parameter reached the DSP.
    virtual void parameterChanged(int) {}

    wave::Input& getInput() const { return *input; }
    wave::Input& getSideChainInput() const { return *sideChainInput; }
    wave::Producer* getOutput() const { return output; }
    // While building: the producer the channel's output is pulled from.
    void setOutput(wave::Producer* producer) { output = producer; }
    GenericPlugin& getPlugin() const { return plugin; }

private:
    GenericPlugin& plugin;
    std::unique_ptr<wave::Input> input;
    std::unique_ptr<wave::Input> sideChainInput;
    wave::Producer* output = nullptr;
};
