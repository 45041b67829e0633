#include "framework/GenericPlugin.h"
#include "framework/GenericPropPluginParameter.h"
#include "wave/Filter.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class Copy final : public wave::Filter {
public:
    Copy(wave::Graph& g, wave::Producer* source) : wave::Filter(g, source) {}
    void processBlock(const wave::Block* in, wave::Block& out, int n, int) override
    {
        for (int i = 0; i < n; ++i)
            out[i] = in ? (*in)[i] : 0.0f;
    }
};

class CopyChannel final : public GenericPlugin::Channel {
public:
    explicit CopyChannel(GenericPlugin& owner) : Channel(owner), node(owner.getGraph(), &getInput())
    {
        setOutput(&node);
    }
    Copy node;
};

// A stereo pass-through with 100 parameters: the framework's own cost per
// host block (queue drain, input binding, sub-blocks, output copy).
class PassThroughPlugin final : public GenericPlugin {
public:
    PassThroughPlugin()
    {
        for (int i = 0; i < 100; ++i)
            parameters.push_back(std::make_unique<FloatPluginParameter>(this, "P" + std::to_string(i)));
        initialize("Bench");
        new CopyChannel(*this);
        new CopyChannel(*this);
        applyAllParameters();
    }
    ~PassThroughPlugin() override { terminate(); }
    std::string presetMagic() const override { return "Bnch"; }
    std::vector<std::unique_ptr<FloatPluginParameter>> parameters;
};

void BM_ProcessPassThrough(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    PassThroughPlugin plugin;
    std::vector<float> left(static_cast<std::size_t>(n), 0.5f), right(static_cast<std::size_t>(n), -0.5f);
    std::vector<float> outLeft(static_cast<std::size_t>(n)), outRight(static_cast<std::size_t>(n));
    const float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    for (auto _ : state) {
        plugin.process(in, 2, out, 2, n);
        benchmark::DoNotOptimize(outLeft.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ProcessPassThrough)->Arg(64)->Arg(512)->Arg(4096);

// The same with ten parameter changes and two MIDI events per block.
void BM_ProcessWithTraffic(benchmark::State& state)
{
    const int n = 512;
    PassThroughPlugin plugin;
    std::vector<float> buffer(static_cast<std::size_t>(n), 0.25f), outBuffer(static_cast<std::size_t>(n));
    const float* in[2] = {buffer.data(), buffer.data()};
    float* out[2] = {outBuffer.data(), outBuffer.data()};
    int round = 0;
    for (auto _ : state) {
        ++round;
        for (int i = 0; i < 10; ++i)
            plugin.parameters[static_cast<std::size_t>(i)]->setValue(static_cast<float>(round & 1), 1);
        plugin.queueMidiEvent(100, 0x90, 60, 100);
        plugin.queueMidiEvent(300, 0x80, 60, 0);
        plugin.process(in, 2, out, 2, n);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ProcessWithTraffic);

} // namespace
