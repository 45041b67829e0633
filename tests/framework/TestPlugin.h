#pragma once

// A small plug-in for the framework tests: float parameters bound to properties (the audio side),
// outputs copying their main inputs, and a record, allocation-free, of sub-block lengths and of the
// graph positions at which MIDI notes arrived.

#include "framework/DefaultEventReceiver.h"
#include "framework/GenericPlugin.h"
#include "framework/GenericPropPluginParameter.h"
#include "framework/PropPluginParameter.h"
#include "wave/Filter.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace testplugin {

using BoundFloat = GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter>;

// Copies its input and notes how many samples each call asked for.
class PassThrough final : public wave::Filter {
public:
    PassThrough(wave::Graph& graph, wave::Producer* source) : wave::Filter(graph, source) {}
    void processBlock(const wave::Block* input, wave::Block& output, int numSamples, int) override
    {
        for (int i = 0; i < numSamples; ++i)
            output[i] = input ? (*input)[i] : 0.0f;
        if (count < lengths.size())
            lengths[count++] = numSamples;
    }
    std::array<int, 256> lengths{};
    std::size_t count = 0;
};

class TestChannel final : public GenericPlugin::Channel {
public:
    explicit TestChannel(GenericPlugin& owner) : Channel(owner), node(owner.getGraph(), &getInput())
    {
        setOutput(&node);
    }
    void parameterChanged(int) override { ++applied; }
    PassThrough node;
    int applied = 0;
};

// Notes where (in samples since the graph started) each note-on arrived.
struct NoteRecorder final : MidiListener {
    explicit NoteRecorder(wave::Graph& g) : graph(g) {}
    void noteOn(int key, float) override
    {
        if (count < positions.size()) {
            keys[count] = key;
            positions[count++] = graph.getPosition();
        }
    }
    wave::Graph& graph;
    std::array<std::uint32_t, 64> positions{};
    std::array<int, 64> keys{};
    std::size_t count = 0;
};

class TestPlugin : public GenericPlugin, public PropertyOwner {
public:
    explicit TestPlugin(int parameterCount = 8, bool sideChain = false) : sideChainInput(sideChain)
    {
        for (int i = 0; i < parameterCount; ++i) {
            auto p = std::make_unique<BoundFloat>(this, "P" + std::to_string(i));
            auto prop = std::make_unique<LimitedProperty<float>>(this, 1.0f, 0.0f, 0.0f);
            p->bindProperty(*prop);
            parameters.push_back(std::move(p));
            properties.push_back(std::move(prop));
        }
        receiveMidi = std::make_unique<PropPluginParameter<int>>(this, "Receive MIDI");
        receiveMidi->setRange(0, 1);
        receiveMidi->setOptions("Enabled,Disabled");
        initialize("Test");
        setMidiStateParameter(receiveMidi.get());
        channels[0] = new TestChannel(*this);
        channels[1] = new TestChannel(*this);
        notes = std::make_unique<NoteRecorder>(getGraph());
        channelReceiver()->addListener(notes.get());
        applyAllParameters();
    }
    ~TestPlugin() override { terminate(); }

    std::string presetMagic() const override { return "Test"; }
    bool hasSideChain() const override { return sideChainInput; }
    void propertyChanged(PropertyBase&) override { ++propertyChanges; }

    AbstractChannelEventReceiver* channelReceiver() const
    {
        return static_cast<DefaultEventReceiver*>(getEventReceiver())->getCurrentReceiver();
    }
    float applied(int i) const { return properties[static_cast<std::size_t>(i)]->get(); }
    BoundFloat& parameter(int i) { return *parameters[static_cast<std::size_t>(i)]; }
    TestChannel& channel(int i) { return *channels[static_cast<std::size_t>(i)]; }

    std::vector<std::unique_ptr<BoundFloat>> parameters;
    std::vector<std::unique_ptr<LimitedProperty<float>>> properties;
    std::unique_ptr<PropPluginParameter<int>> receiveMidi;
    std::array<TestChannel*, 2> channels{};
    std::unique_ptr<NoteRecorder> notes;
    int propertyChanges = 0;
    bool sideChainInput;
};

struct CountingAdapter final : GenericPlugin::Adapter {
    std::atomic<int> calls{0};
    std::atomic<int> allCalls{0};
    std::atomic<int> lastIndex{-2};
    std::atomic<int> presets{0};
    void parameterChanged(int index) override
    {
        ++calls;
        if (index == -1)
            ++allCalls;
        lastIndex = index;
    }
    void presetChanged() override { ++presets; }
};

struct CountingListener final : GenericPlugin::Listener {
    std::atomic<int> calls{0};
    std::atomic<int> lastIndex{-2};
    std::atomic<unsigned> lastMask{0};
    void changed(unsigned mask, int index) override
    {
        ++calls;
        lastIndex = index;
        lastMask = mask;
    }
};

} // namespace testplugin
