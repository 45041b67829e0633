#pragma once

// A plug-in with the full standard matrix for the modulation tests: every one
// of the 71 parameter targets is a ModulationTargetParameter (plain value =
// target value) in set lists shaped like the effect's (four filters, six
// step LFOs, six envelopes, four followers as source lists, ten MIDI sources,
// the five gain/pan/mix parameters), the slot list, and a TestSignal as the
// output of every source.

#include "framework/SourceParameterSetList.h"
#include "framework/TargetParameterSetList.h"
#include "modulation/InternalController.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationLayout.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationMatrixPlugin.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/ModulationTargetParameter.h"
#include "wave/Graph.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A modulation source for tests whose sample at graph position p is a fixed
// pseudo-random function of (seed, p) in [low, high], so a test can compute
// what any block must hold without running the graph.
class TestSignal : public wave::Source {
public:
    TestSignal(wave::Graph& graph, std::uint32_t signalSeed, float lowest = -1.0f, float highest = 1.0f)
        : wave::Source(graph), seed(signalSeed), low(lowest), high(highest)
    {
    }

    float valueAt(std::uint32_t position) const
    {
        std::uint64_t x = (static_cast<std::uint64_t>(seed) << 32) ^ position;
        x += 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        x ^= x >> 31;
        const float unit = static_cast<float>(x >> 40) / 16777216.0f;
        return low + (high - low) * unit;
    }

    int process(wave::Block& block, int numSamples, int) override
    {
        ++calls;
        const std::uint32_t start = getGraph().getPosition();
        for (int k = 0; k < numSamples; ++k)
            block[k] = valueAt(start + static_cast<std::uint32_t>(k));
        return numSamples;
    }

    int calls = 0;

private:
    std::uint32_t seed;
    float low;
    float high;
};

namespace matrixtest {

inline const ModulationTargetGroup& group(int i)
{
    return ModulationLayout::standardTargets()[static_cast<std::size_t>(i)];
}

// MIDI sources have no targets.
inline const ModulationTargetGroup midiGroup{0, 10, 0, {0, 0, 0, 0, 0}, 16, false, "MIDI Source ", ""};

// The targets of owner `index` of standard layout group G (-1: a MIDI
// source, no targets), named like the effect's.
template <int G> class TargetSet final : public PluginParameterSet {
public:
    TargetSet(GenericPlugin& plugin, int index)
        : PluginParameterSet(plugin), layout(G < 0 ? midiGroup : group(G))
    {
        const auto names = ModulationLayout::targetNames(std::span(&layout, 1), ModulationMatrix::numTargets);
        for (int j = 0; j < layout.perOwner; ++j) {
            const int target = layout.firstTarget + index * layout.perOwner + j;
            parameters.push_back(std::make_unique<ModulationTargetParameter>(
                this, names[static_cast<std::size_t>(target) + 1], plugin, target));
        }
    }
    void configureParameters() override
    {
        const auto kinds = ModulationLayout::standardKinds();
        for (std::size_t j = 0; j < parameters.size(); ++j) {
            const auto& kind = kinds[static_cast<std::size_t>(layout.kinds[j])];
            parameters[j]->setRange(kind.minimum, kind.maximum);
            parameters[j]->setDefault(0.5f * (kind.minimum + kind.maximum));
            parameters[j]->resetToDefault();
        }
    }
    ModulationTargetParameter& operator[](int j) { return *parameters[static_cast<std::size_t>(j)]; }
    int count() const { return static_cast<int>(parameters.size()); }

private:
    const ModulationTargetGroup& layout;
    std::vector<std::unique_ptr<ModulationTargetParameter>> parameters;
};

class MatrixTestPlugin final : public ModulationMatrixPlugin {
public:
    static constexpr int blockSize = 64;

    MatrixTestPlugin()
        : filters(*this, "Filters", 4, 0, 4), xlfos(*this, "XLFOs", 6, 0, 16, 3),
          egs(*this, "EGs", 6, 6, 34, 4), efs(*this, "EFs", 4, 12, 58, 2),
          midis(*this, "MIDI Sources", 10, 16), stage(*this, 0)
    {
        for (AbstractParameterSetList* list : lists()) {
            list->setActiveRange(list == &filters ? 1 : 0, list->count(), list->count());
            list->configureSets();
        }
        stage.configureParameters();
        createSlotList();
        initialize("Matrix Test");
        matrix = std::make_unique<ModulationMatrix>(getGraph());
        ModulationLayout::registerStandard(*matrix);
        for (int s = 0; s < ModulationMatrix::numSources; ++s) {
            signals.push_back(std::make_unique<TestSignal>(getGraph(), static_cast<std::uint32_t>(100 + s)));
            matrix->setSourceOutput(s, signals.back().get());
        }
        for (int t = 0; t < ModulationMatrix::numTargets; ++t)
            controllers.push_back(&matrix->getTargetController(t));
        getParamController();
        applyAllParameters();
    }
    ~MatrixTestPlugin() override { terminate(); }

    ModulationMatrix* getModulationMatrix() override { return matrix.get(); }
    std::string presetMagic() const override { return "MTst"; }

    std::vector<AbstractParameterSetList*> lists() { return {&filters, &xlfos, &egs, &efs, &midis}; }
    ModulationSlotParameterSetList& slots() { return *getSlotList(); }
    ModulationMatrix::Controller& params() { return *getParamController(); }
    ModulationMatrix::Controller& internal() { return matrix->getInternalController(); }
    // The parameter behind target t (0..70).
    ModulationTargetParameter& targetParameter(int t)
    {
        if (t < 16)
            return filters[t / 4][t % 4];
        if (t < 34)
            return xlfos[(t - 16) / 3][(t - 16) % 3];
        if (t < 58)
            return egs[(t - 34) / 4][(t - 34) % 4];
        if (t < 66)
            return efs[(t - 58) / 2][(t - 58) % 2];
        return stage[t - 66];
    }

    // One block as the audio thread runs it: queued changes, then every
    // target pulled once. Returns the graph position the block started at.
    std::uint32_t runBlock(int n = blockSize)
    {
        applyQueuedChanges();
        wave::Graph& g = getGraph();
        g.nextFrame();
        const std::uint32_t start = g.getPosition();
        for (auto* c : controllers)
            c->pull(n);
        g.advance(n);
        return start;
    }
    const wave::Block& lastBlock(int target) const
    {
        return controllers[static_cast<std::size_t>(target)]->getLastBlock();
    }
    // Lets every ramp finish (the longest automatic one takes 150 ms).
    void settle()
    {
        applyQueuedChanges();
        getGraph().nextFrame();
        getGraph().advance(static_cast<int>(getGraph().getSampleRate() * 0.2f));
    }

    TargetParameterSetList<TargetSet<0>> filters;
    SourceParameterSetList<TargetSet<1>> xlfos;
    SourceParameterSetList<TargetSet<2>> egs;
    SourceParameterSetList<TargetSet<3>> efs;
    SourceParameterSetList<TargetSet<-1>> midis;
    TargetSet<4> stage;
    std::unique_ptr<ModulationMatrix> matrix;
    std::vector<std::unique_ptr<TestSignal>> signals;
    std::vector<ModulationMatrix::GlobalTargetController*> controllers;
};

// The parameters and the matrix's records hold the same slots.
inline void expectRecordsMatchParameters(MatrixTestPlugin& plugin)
{
    auto& p = plugin.params();
    auto& r = plugin.internal();
    for (int i = 0; i < ModulationMatrix::numSlots; ++i) {
        ASSERT_EQ(r.getSource(i), p.getSource(i)) << i;
        ASSERT_EQ(r.getTarget(i), p.getTarget(i)) << i;
        ASSERT_EQ(r.isBypassed(i), p.isBypassed(i)) << i;
        ASSERT_EQ(r.isInverted(i), p.isInverted(i)) << i;
        ASSERT_EQ(r.getLevel(i), p.getLevel(i)) << i;
    }
}

} // namespace matrixtest
