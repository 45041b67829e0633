// The modulation matrix: an independent model of it against random walks of
// slot edits and parameter changes, and what those walks do not reach:
// sub-blocks of any length, the pass-through of an unmodulated target,
// broken source signals, ramp times, what the slot edits do, the level/pan
// and frequency/offset combiners behind the matrix, and the matrix's
// parameters in its plug-in.
#include "framework/SourceParameterSetList.h"
#include "framework/TargetParameterSetList.h"
#include "modulation/InternalController.h"
#include "modulation/LevelPanTarget.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationLayout.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationMatrixController.h"
#include "modulation/ModulationMatrixPlugin.h"
#include "modulation/ModulationSlotParameterSet.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/ModulationTargetParameter.h"
#include "wave/Graph.h"
#include "wave/Output.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <set>
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

// A plug-in with the full standard matrix for the modulation tests: every one
// of the 71 parameter targets is a ModulationTargetParameter (plain value =
// target value) in set lists shaped like the effect's (four filters, six
// step LFOs, six envelopes, four followers as source lists, ten MIDI sources,
// the five gain/pan/mix parameters), the slot list, and a TestSignal as the
// output of every source.
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
    for (int i = 0; i < ModulationMatrix::numSlots; ++i)
        ASSERT_EQ(std::tuple(r.getSource(i), r.getTarget(i), r.isBypassed(i), r.isInverted(i), r.getLevel(i)),
                  std::tuple(p.getSource(i), p.getTarget(i), p.isBypassed(i), p.isInverted(i), p.getLevel(i)))
            << i;
}

} // namespace matrixtest

using matrixtest::expectRecordsMatchParameters;
using matrixtest::MatrixTestPlugin;

namespace {

constexpr int XLFO1 = 0, XLFO2 = 1, XLFO3 = 2, EG1 = 6, EF1 = 12, EF2 = 13;

// A matrix with the standard layout and a test signal on every source,
// driven directly on its graph, and the two combiners over it.
struct Rig {
    static constexpr int N = 128;
    matrixtest::MatrixTestPlugin plugin;
    wave::Graph& graph = plugin.getGraph();
    ModulationMatrix& matrix = *plugin.matrix;
    LevelPanTarget gainPan{matrix, 66, 67, LevelPanTarget::GainPan};
    LevelPanTarget freqPan{matrix, 0, 1, LevelPanTarget::SumDifference};
    InternalController& c() { return matrix.getInternalController(); }
    void settle() { plugin.settle(); }
    float s(int source, std::uint32_t p) const
    {
        return plugin.signals[static_cast<std::size_t>(source)]->valueAt(p);
    }

    // One frame of a combiner: both channels and its A signal.
    struct Frame {
        std::vector<float> first, second;
        const wave::Block* blocks[2];
        bool constant[2];
        const wave::Block* a;
        std::uint32_t start;
    };
    Frame render(LevelPanTarget& t)
    {
        Frame f;
        graph.nextFrame();
        f.start = graph.getPosition();
        for (int c = 0; c < 2; ++c) {
            f.blocks[c] = &t.getOutput(c).pull(N);
            f.constant[c] = t.getOutput(c).isConstant();
        }
        f.first.assign(f.blocks[0]->data(), f.blocks[0]->data() + N);
        f.second.assign(f.blocks[1]->data(), f.blocks[1]->data() + N);
        f.a = &matrix.getTargetController(t.getTargetA()).pull(N);
        graph.advance(N);
        return f;
    }
};

struct CountingListener final : GenericPlugin::Listener {
    std::atomic<int> calls{0};
    std::atomic<int> lastIndex{-2};
    void changed(unsigned, int index) override
    {
        ++calls;
        lastIndex = index;
    }
};

} // namespace

TEST(ModulationMatrix, SubBlocksOfAnyLengthAndUnmodulatedTargets)
{
    // Nested: EG 1 on filter 1 freq at level 0.5 (depth 10), XLFO 1 on that
    // slot's level at 0.5 (depth 10): level = clamp(5 + 5 x, 0, 10). The
    // plug-in cuts blocks at MIDI events, so the four-wide kernels must leave
    // every requested sample of any length right.
    Rig rig;
    auto& c = rig.c();
    rig.matrix.setBaseValue(0, 8.0f);
    c.connect(0, EG1, 0, false, false, 0.5f);
    c.connect(1, XLFO1, 71, false, false, 0.5f);
    rig.settle();
    for (int n : {1, 13, 256, 1024}) {
        rig.graph.nextFrame();
        const std::uint32_t p0 = rig.graph.getPosition();
        const wave::Block& b = rig.matrix.getTargetController(0).pull(n);
        for (int k = 0; k < n; ++k) {
            const auto p = p0 + static_cast<std::uint32_t>(k);
            const float level = std::clamp(5.0f + rig.s(XLFO1, p) * 5.0f, 0.0f, 10.0f);
            ASSERT_NEAR(b[k], std::clamp(8.0f + rig.s(EG1, p) * level, 2.2666f, 16.2064f), 1e-5f)
                << n << " " << k;
        }
        rig.graph.advance(n);
    }

    // A target without a valid slot (bypassed, or in a loop) passes its
    // base ramp's own block on, constant.
    rig.matrix.setBaseValue(2, 0.5f);
    c.connect(2, XLFO1, 2, false, true, 1.0f);
    c.connect(3, XLFO1, 34, false, false, 1.0f); // XLFO 1 on EG 1 attack and
    c.connect(4, EG1, 16, false, false, 1.0f);   // EG 1 on XLFO 1 freq: a loop
    rig.settle();
    rig.graph.nextFrame();
    for (int t : {2, 16, 34}) {
        auto& controller = rig.matrix.getTargetController(t);
        controller.pull(64);
        EXPECT_TRUE(controller.isConstant()) << t;
        EXPECT_EQ(&controller.getLastBlock(), &rig.matrix.getTargetEntry(t).ramp.getBlock()) << t;
    }
    EXPECT_EQ(rig.matrix.getTargetController(2).getLastBlock()[0], 0.5f);

    // A slot moved onto a target at rest (same depth: no ramp moves) modulates it from the next block;
    // so does one taken in on target 2, and bypassed again it is gone from the next block.
    for (int frame = 0; frame < 6; ++frame) {
        rig.graph.advance(64);
        if (frame == 2)
            rig.matrix.setSlotTarget(0, 4);
        if (frame == 3 || frame == 5)
            rig.matrix.setSlotBypassed(2, frame == 5);
        rig.graph.nextFrame();
        const wave::Block& out = rig.matrix.getTargetController(4).pull(64);
        EXPECT_EQ(&out == &rig.matrix.getTargetEntry(4).ramp.getBlock(), frame < 2);
        const wave::Block& two = rig.matrix.getTargetController(2).pull(64);
        EXPECT_EQ(&two == &rig.matrix.getTargetEntry(2).ramp.getBlock(), frame < 3 || frame == 5) << frame;
    }
}

TEST(ModulationMatrix, BrokenSourceSignalsStayWithinTheTargetsRange)
{
    // A source that delivers NaN and infinities (a broken input, a producer
    // set from outside): whatever reaches a filter's cut-off or a slot's
    // level stays a number within the target's range.
    struct Broken final : wave::Source {
        using wave::Source::Source;
        int process(wave::Block& block, int numSamples, int) override
        {
            const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(), 0.5f};
            for (int k = 0; k < numSamples; ++k)
                block[k] = bad[k % 4];
            setConstant(false);
            return numSamples;
        }
    };
    Rig rig;
    Broken broken(rig.graph);
    rig.matrix.setSourceOutput(EF2, &broken);
    rig.matrix.setBaseValue(0, 8.0f);
    rig.c().connect(0, EF2, 0, false, false, 0.5f);   // filter 1 freq
    rig.c().connect(1, XLFO1, 2, false, false, 0.5f); // filter 1 peak,
    rig.c().connect(2, EF2, 72, false, false, 1.0f);  // its level moved by the broken source
    rig.settle();
    rig.graph.nextFrame();
    for (int t : {0, 2, 72}) {
        const auto& entry = rig.matrix.getTargetEntry(t);
        const wave::Block& b = rig.matrix.getTargetController(t).pull(256);
        for (int k = 0; k < 256; ++k)
            ASSERT_TRUE(b[k] >= entry.minimum && b[k] <= entry.maximum) << t << " gave " << b[k];
        EXPECT_EQ(t == 0 ? b[0] : entry.minimum, entry.minimum); // a NaN ends at the minimum, not by chance
    }
}

TEST(ModulationMatrix, BaseValueRampTimesFollowTheMove)
{
    Rig rig;
    const float rate = rig.graph.getSampleRate();
    auto& ramp = rig.matrix.getTargetEntry(2).ramp;
    rig.matrix.setBaseValue(2, 0.0f);
    rig.settle();
    rig.matrix.setBaseValue(2, 0.5f); // half the range: 20 ms (the law is the ramp's own test's)
    EXPECT_EQ(ramp.getLength(), static_cast<int>(rate * 0.020f));

    // A slot level's ramp refers to the slot's depth: moving the level of a
    // depth-10 slot by 0.5 is half its range too.
    rig.c().connect(0, EG1, 0, false, false, 0.0f);
    rig.settle();
    rig.c().setLevel(0, 0.5f);
    EXPECT_EQ(rig.matrix.getTargetEntry(71).ramp.getTarget(), 5.0f);
    EXPECT_EQ(rig.matrix.getTargetEntry(71).ramp.getLength(), static_cast<int>(rate * 0.020f));
}

TEST(ModulationMatrix, EditsSortSwapAndClear)
{
    Rig rig;
    auto& c = rig.c();
    // (source 3, target 5), (none, none), (1, 9), (1, 2); slot 5 modulates slot 0's level.
    c.connect(0, 3, 5, false, false, 0.1f);
    c.connect(2, 1, 9, false, true, 0.3f);
    c.connect(3, 1, 2, true, false, 0.4f);
    c.connect(5, EG1, 71, false, false, 0.6f);
    int selected = 0;
    c.sortSlots(4, &selected);
    const int expected[][2] = {{1, 2}, {1, 9}, {3, 5}, {-1, -1}};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::pair(c.getSource(i), c.getTarget(i)), std::pair(expected[i][0], expected[i][1])) << i;
    // Every field moved with its slot, the selection too, and the slot on
    // the old slot 0's level now aims at slot 2's.
    EXPECT_EQ(std::tuple(c.isInverted(0), c.getLevel(0), c.isBypassed(1), c.getLevel(2), selected),
              std::tuple(true, 0.4f, true, 0.1f, 2));
    EXPECT_EQ(c.getTarget(5), 73);
    EXPECT_TRUE(rig.matrix.isSlotValid(5));
    EXPECT_EQ(rig.matrix.getSlotDepth(5), rig.matrix.getSlotDepth(2)); // kind 0 default 1, scaled by slot 2

    // Clearing a slot clears the slots on its level, recursively.
    c.connect(6, EF1, 76, false, false, 1.0f); // on slot 5's level
    ModulationMatrix::SlotList cleared;
    c.clearSlot(2, &cleared);
    EXPECT_EQ(std::set<int>(cleared.begin(), cleared.end()), (std::set<int>{2, 5, 6}));
    for (int i : {2, 5, 6})
        EXPECT_EQ(std::tuple(c.getSource(i), c.getTarget(i), c.getLevel(i)), std::tuple(-1, -1, 0.0f)) << i;

    // Clearing a source's slots also clears the slots aimed at its own targets.
    c.connect(4, EG1, 0, false, false, 1.0f);
    c.connect(7, XLFO1, 35, false, false, 1.0f); // EG 1 decay
    c.connect(8, EF1, 3, false, false, 1.0f);
    c.clearSlotsOfSource(EG1);
    EXPECT_EQ(std::tuple(c.getSource(4), c.getSource(7), c.getSource(8)), std::tuple(-1, -1, EF1));
    c.clearSlotsOnTarget(3);
    EXPECT_EQ(c.getSource(8), -1);
    ModulationMatrix::SlotList found;
    c.findSlotsUsingSource(1, found);
    EXPECT_EQ(found.size(), 2u);
}

TEST(LevelPanTarget, CombinesGainWithPanAndFrequencyWithOffset)
{
    Rig rig;
    rig.matrix.setBaseValue(66, 2.0f);
    rig.matrix.setBaseValue(67, 0.5f);
    rig.matrix.setBaseValue(0, 8.0f);
    rig.matrix.setBaseValue(1, -1.5f);
    rig.settle();

    // Settled and unmodulated: constant blocks of the combination (a pan right halves the left).
    auto f = rig.render(rig.gainPan);
    EXPECT_TRUE(f.constant[0] && f.constant[1]);
    EXPECT_EQ(std::pair(f.first[Rig::N - 1], f.second[Rig::N - 1]), std::pair(1.0f, 2.0f));
    f = rig.render(rig.freqPan);
    EXPECT_EQ(std::pair(f.first[0], f.second[0]), std::pair(6.5f, 9.5f));

    // Centred: both channels are A's own block.
    rig.matrix.setBaseValue(1, 0.0f);
    rig.settle();
    f = rig.render(rig.freqPan);
    EXPECT_EQ(std::tuple(f.blocks[0], f.blocks[1], f.constant[0]), std::tuple(f.a, f.a, true));
    // A bypassed slot leaves B at 0 but not at rest: taking the slot in
    // moves the pan from the next block on.
    rig.c().connect(1, XLFO1, 1, false, true, 0.25f);
    rig.render(rig.freqPan);
    rig.c().setBypassed(1, false);
    EXPECT_NE(rig.render(rig.freqPan).blocks[0], f.a);
    rig.c().setBypassed(1, true);

    // A slot on the pan: the law per sample. Level 0.25 of depth 2 moves
    // the pan by 0.5 x around 0.5.
    rig.matrix.getInternalController().connect(0, XLFO1, 67, false, false, 0.25f);
    rig.settle();
    f = rig.render(rig.gainPan);
    EXPECT_FALSE(f.constant[0]);
    for (int k = 0; k < Rig::N; ++k) {
        const float b =
            std::clamp(0.5f + 0.5f * rig.s(XLFO1, f.start + static_cast<std::uint32_t>(k)), -1.0f, 1.0f);
        ASSERT_NEAR(f.first[static_cast<std::size_t>(k)], 2.0f * (1.0f - std::max(b, 0.0f)), 1e-5f);
        ASSERT_NEAR(f.second[static_cast<std::size_t>(k)], 2.0f * (1.0f + std::min(b, 0.0f)), 1e-5f);
    }
    rig.matrix.getInternalController().setTarget(0, 1); // now on the frequency pair's B
    rig.settle();
    f = rig.render(rig.freqPan);
    for (int k = 0; k < Rig::N; ++k) {
        // Pan kind 2: XLFO depth 6.3, level 0.25.
        const float b =
            std::clamp(1.575f * rig.s(XLFO1, f.start + static_cast<std::uint32_t>(k)), -3.5f, 3.5f);
        ASSERT_NEAR(f.first[static_cast<std::size_t>(k)], 8.0f + b, 1e-5f);
        ASSERT_NEAR(f.second[static_cast<std::size_t>(k)], 8.0f - b, 1e-5f);
    }
}

TEST(LevelPanTarget, MovesWithoutJumpsWhenSwitchingBetweenPaths)
{
    // The gain glides slowly while the pan returns to the centre quickly:
    // the channels must follow without a step when the output switches from
    // the smoothed combination to A's own signal.
    Rig rig;
    rig.matrix.setBaseValue(66, 1.0f);
    rig.matrix.setBaseValue(67, 0.5f);
    rig.settle();
    rig.matrix.setBaseValue(67, 0.0f);
    rig.matrix.setBaseValue(66, 1.2f);
    float previous[2] = {0.5f, 1.0f};
    float largest = 0.0f;
    bool endsOnA = false;
    for (int frame = 0; frame < 80; ++frame) {
        auto f = rig.render(rig.gainPan);
        for (int k = 0; k < Rig::N; ++k) {
            const float v[2] = {f.first[static_cast<std::size_t>(k)], f.second[static_cast<std::size_t>(k)]};
            for (int c = 0; c < 2; ++c) {
                largest = std::max(largest, std::fabs(v[c] - previous[c]));
                previous[c] = v[c];
            }
        }
        endsOnA = f.blocks[0] == f.a && f.blocks[1] == f.a;
    }
    // The steepest glide moves 0.5 in 20 ms (about 6e-4 per sample); a
    // switch between paths at the wrong moment jumps by tenths.
    EXPECT_LT(largest, 2e-3f);
    EXPECT_TRUE(endsOnA);
    EXPECT_EQ(std::pair(previous[0], previous[1]), std::pair(1.2f, 1.2f));
}

// (The host order, the source and target names and the empty slot's texts
// are the effect's and the editor's tests'.)
TEST(ModulationMatrixPlugin, SlotParametersTextsAndValues)
{
    MatrixTestPlugin plugin;
    ModulationSlotParameterSetList& list = plugin.slots();
    ModulationSlotParameterSet& slot = list[3];
    EXPECT_EQ(slot.source.valueToText(26), "MIDI Source 10");
    EXPECT_EQ(slot.target.getOptionNames().size(), 96u);
    EXPECT_EQ(slot.bypass.valueToText(1), "Bypassed");

    // The plug-in's own names are shared by every slot; a name with a comma
    // cannot become an option list, but the text still shows it.
    list.setSourceNames({"< Source >", "Wobble, slow"});
    EXPECT_EQ(list[0].source.valueToText(1) + list[9].source.valueToText(1), "Wobble, slowWobble, slow");
    EXPECT_TRUE(list[9].source.getOptionNames().empty());
    EXPECT_EQ(list[9].source.valueToText(2), "2");

    // Values reach the matrix with the next block: stored one higher.
    slot.source.setValue(7, 0);
    slot.target.setValue(1, 0);
    slot.level.setValue(0.25f, 0);
    slot.invert.setValue(1, 0);
    EXPECT_EQ(plugin.matrix->getSlot(3).source, -1);
    plugin.runBlock();
    const ModulationMatrix::Slot& record = plugin.matrix->getSlot(3);
    EXPECT_EQ(std::tuple(record.source, record.target, record.inverted, plugin.matrix->isSlotValid(3),
                         plugin.matrix->getTargetEntry(74).base, plugin.matrix->getSlotDepth(3)),
              std::tuple(6, 0, true, true, 0.25f, -10.0f));
    slot.bypass.setValue(1, 0);
    plugin.runBlock();
    EXPECT_TRUE(record.bypassed);
    EXPECT_FALSE(plugin.matrix->isSlotValid(3));
}

TEST(ModulationMatrixPlugin, NewConnectionsFillTheNextSlotUntilNoneIsFree)
{
    MatrixTestPlugin plugin;
    CountingListener listener;
    plugin.setListener(&listener);
    std::string message;

    EXPECT_EQ(plugin.addConnection(EG1, 0, &message), 0);
    // One batch: the listener heard of all changes at once.
    EXPECT_EQ(std::tuple(listener.calls.load(), listener.lastIndex.load(), plugin.slots().getNumActive(),
                         plugin.params().getSource(0), plugin.params().getTarget(0),
                         plugin.params().getLevel(0)),
              std::tuple(1, -1, 1, EG1, 0, ModulationMatrixPlugin::newConnectionLevel));
    plugin.runBlock();
    expectRecordsMatchParameters(plugin);
    EXPECT_TRUE(plugin.matrix->isSlotValid(0));

    for (int i = 1; i < 24; ++i)
        EXPECT_EQ(plugin.addConnection(XLFO1, i % 16, &message), i);
    EXPECT_TRUE(message.empty());
    EXPECT_EQ(plugin.addConnection(EF1, 3, &message), -1);
    EXPECT_EQ(message, "No free slots are available. Clear one or more slots and try again.");
    EXPECT_EQ(std::tuple(plugin.slots().getNumActive(), plugin.params().getSource(23),
                         plugin.getSourceLevel(XLFO1)),
              std::tuple(24, XLFO1, 0.0f));
    plugin.setListener(nullptr);
}

TEST(ModulationMatrixPlugin, RemovingSetsClearsAndRenumbersSlots)
{
    // Filters: three active; slots on filter 1, 2 and 3.
    MatrixTestPlugin plugin;
    auto& c = plugin.params();
    plugin.filters.setActiveRange(1, 4, 3);
    c.connect(0, XLFO1, 0, false, false, 0.5f);  // filter 1 freq
    c.connect(1, XLFO1, 4, false, false, 0.5f);  // filter 2 freq
    c.connect(2, EG1, 10, false, false, 0.5f);   // filter 3 peak
    c.connect(3, XLFO2, 72, false, false, 0.5f); // slot 1's level
    c.connect(4, EF1, 66, false, false, 0.5f);   // beyond the filters
    plugin.filters[1][0].setValue(3.0f, 0);
    plugin.filters[2][2].setValue(0.75f, 0);
    plugin.runBlock();
    plugin.filters.removeSet(1);
    EXPECT_EQ(plugin.filters.getNumActive(), 2);
    // Modulation of filter 2 is gone with it (with the slot on its level);
    // filter 3's moved to filter 2 with its value.
    EXPECT_EQ(std::tuple(c.getTarget(1), c.getTarget(3), c.getTarget(0), c.getTarget(2), c.getTarget(4)),
              std::tuple(-1, -1, 0, 6, 66));
    EXPECT_EQ(plugin.filters[1][2].getValue(), 0.75f);
    plugin.runBlock();
    expectRecordsMatchParameters(plugin);
    EXPECT_TRUE(plugin.matrix->isSlotValid(2));
    EXPECT_EQ(plugin.matrix->getTargetEntry(6).base, 0.75f);

    // Sources: removing XLFO 2 drops its slots and those on its own
    // targets, and XLFO 3 becomes XLFO 2 with its slots and its targets.
    MatrixTestPlugin sources;
    auto& s = sources.params();
    sources.xlfos.setActiveRange(0, 6, 3);
    s.connect(0, XLFO2, 0, false, false, 0.5f);
    s.connect(1, XLFO3, 4, false, false, 0.5f);
    s.connect(2, EG1, 19, false, false, 0.5f); // XLFO 2 freq
    s.connect(3, EG1, 24, false, false, 0.5f); // XLFO 3 glide
    s.connect(4, EF1, 0, false, false, 0.5f);
    s.connect(5, XLFO1, 1, false, false, 0.5f); // before the removed one
    sources.runBlock();
    sources.xlfos.removeSet(1);
    EXPECT_EQ(std::tuple(s.getSource(0), s.getSource(2), s.getSource(1), s.getTarget(1), s.getTarget(3)),
              std::tuple(-1, -1, XLFO2, 4, 21));
    // The next list's sources keep their numbers.
    EXPECT_EQ(std::tuple(s.getSource(3), s.getSource(4), s.getSource(5)), std::tuple(EG1, EF1, XLFO1));
    sources.runBlock();
    expectRecordsMatchParameters(sources);
    for (int i : {1, 3, 4})
        EXPECT_TRUE(sources.matrix->isSlotValid(i)) << i;

    // Slots: removing slot 1 drops what modulated its level; the later
    // slots move down and the slot on slot 2's level follows it to 1.
    MatrixTestPlugin slots;
    auto& l = slots.params();
    slots.slots().setActiveRange(0, 24, 5);
    l.connect(0, XLFO1, 0, false, false, 0.1f);
    l.connect(1, EG1, 1, false, false, 0.2f);
    l.connect(2, EF1, 2, false, false, 0.3f);
    l.connect(3, XLFO2, 73, false, false, 0.4f);
    l.connect(4, XLFO3, 72, false, false, 0.5f);
    slots.runBlock();
    slots.slots().removeSet(1);
    EXPECT_EQ(std::tuple(slots.slots().getNumActive(), l.getSource(1), l.getLevel(1), l.getSource(2),
                         l.getTarget(2), l.getSource(3), l.getSource(4)),
              std::tuple(4, EF1, 0.3f, XLFO2, 72, -1, -1));
    slots.runBlock();
    expectRecordsMatchParameters(slots);
    EXPECT_TRUE(slots.matrix->isSlotValid(2));
    EXPECT_EQ(slots.matrix->getSlotDepth(2), slots.matrix->getSlotDepth(1) * 1.0f);
}

namespace {

// --- An independent model of the matrix, written from the product's
// tables and rules rather than from ModulationMatrix or ModulationLayout ---

struct KindRow {
    float minimum, maximum, depth;
    float xlfo, eg, ef; // 0: no pair, the default depth applies
};
const float gainMax = static_cast<float>(std::exp(4.144653167389283));
const float gainMin = static_cast<float>(std::exp(-4.144653167389283));
const KindRow kindTable[15] = {
    {0, 1, 1, 0, 0, 2},
    {2.2666f, 16.2064f, 10, 6.3f, 0, 20},
    {-3.5f, 3.5f, 7, 6.3f, 10, 14},
    {0, 1, 1, 0.4f, 0.4f, 2},
    {0, 50, 50, 0, 0, 100},
    {0.02f, 500, 25, 0, 0, 50},
    {-0.5f, 2, 1, 0.5f, 0, 1.5f},
    {-1, 1, 2, 0, 0, 4},
    {gainMin, gainMax, gainMax - gainMin, 0, 0, 2 * (gainMax - gainMin)},
    {-1, 1, 2, 0, 0, 4},
    {0.001451247f, 3, 1.5f, 0, 0, 3},
    {0.001f, 1, 0.4995f, 0, 0, 0.999f},
    {0.001451247f, 5, 2.5f, 0, 0, 5},
    {0.001451247f, 5, 2.5f, 0, 0, 5},
    {0.05f, 5, 2.475f, 0, 0, 4.95f},
};

int kindOf(int t)
{
    static const int filter[] = {1, 2, 3, 4}, lfo[] = {5, 6, 7}, eg[] = {10, 12, 0, 13}, ef[] = {11, 14},
                     stage[] = {8, 9, 8, 9, 9};
    return t < 16   ? filter[t % 4]
           : t < 34 ? lfo[(t - 16) % 3]
           : t < 58 ? eg[(t - 34) % 4]
           : t < 66 ? ef[(t - 58) % 2]
           : t < 71 ? stage[t - 66]
                    : 0;
}

// The targets a source owns: three per XLFO from 16, four per EG from 34,
// two per EF from 58, none for MIDI sources.
std::vector<int> ownTargets(int s)
{
    const auto [first, n] = s < 0    ? std::pair{0, 0}
                            : s < 6  ? std::pair{16 + 3 * s, 3}
                            : s < 12 ? std::pair{34 + 4 * (s - 6), 4}
                            : s < 16 ? std::pair{58 + 2 * (s - 12), 2}
                                     : std::pair{0, 0};
    std::vector<int> own(static_cast<std::size_t>(n));
    std::iota(own.begin(), own.end(), first);
    return own;
}

float kindDepth(int kind, int source)
{
    const KindRow& k = kindTable[kind];
    const float pair = source < 6 ? k.xlfo : source < 12 ? k.eg : source < 16 ? k.ef : 0.0f;
    return pair != 0.0f ? pair : k.depth;
}

struct SlotView {
    int source, target;
    bool bypassed, inverted;
    float level;
};

struct Model {
    std::array<SlotView, 24> slots;
    std::array<bool, 26> output;
    std::array<float, 71> base;
    std::array<bool, 24> valid{}, complete{};
    std::array<std::optional<float>, 24> depth;

    Model(ModulationMatrix::Controller& c, MatrixTestPlugin& plugin)
    {
        for (int i = 0; i < 24; ++i)
            slots[i] = {c.getSource(i), c.getTarget(i), c.isBypassed(i), c.isInverted(i), c.getLevel(i)};
        for (int s = 0; s < 26; ++s)
            output[s] = plugin.matrix->getSourceOutput(s) != nullptr;
        for (int t = 0; t < 71; ++t)
            base[t] = plugin.targetParameter(t).getValue();
        for (int i = 0; i < 24; ++i)
            valid[i] = slots[i].source >= 0 && slots[i].target >= 0 && !slots[i].bypassed &&
                       !closure(i).count(slots[i].target);
        std::array<int, 24> memo;
        memo.fill(-1);
        for (int i = 0; i < 24; ++i)
            complete[i] = isComplete(i, memo);
        for (int i = 0; i < 24; ++i)
            depth[i] = depthOf(i, 0);
    }

    // Recursive, as the rule reads: the slot's level, its source's own
    // targets, and whatever every slot aimed at a reached target reaches.
    std::set<int> closure(int i) const
    {
        std::set<int> reached;
        visit(i, reached);
        return reached;
    }
    void visit(int i, std::set<int>& reached) const
    {
        add(71 + i, reached);
        for (int t : ownTargets(slots[i].source))
            add(t, reached);
    }
    void add(int t, std::set<int>& reached) const
    {
        if (!reached.insert(t).second)
            return;
        for (int j = 0; j < 24; ++j)
            if (slots[j].target == t)
                visit(j, reached);
    }
    bool isComplete(int i, std::array<int, 24>& memo) const
    {
        if (memo[i] >= 0)
            return memo[i];
        bool c = valid[i] && output[slots[i].source];
        for (int j = 0; j < 24 && c; ++j)
            if (slots[j].target == 71 + i && valid[j] && !isComplete(j, memo))
                c = false;
        memo[i] = c;
        return c;
    }
    // Unknown when the slot modulates the level of a slot that is not
    // valid: that level's scale is whatever it last was.
    std::optional<float> depthOf(int i, int guard) const
    {
        if (!valid[i] || guard > 24)
            return std::nullopt;
        const int t = slots[i].target;
        float scale = 1.0f;
        if (t >= 71) {
            const auto outer = depthOf(t - 71, guard + 1);
            if (!outer)
                return std::nullopt;
            scale = *outer;
        }
        const float d = scale * kindDepth(kindOf(t), slots[i].source);
        return slots[i].inverted ? -d : d;
    }

    // The settled value of target t at one sample, or nothing when it
    // depends on an unknown depth.
    std::optional<float> value(int t, const std::vector<float>& sources) const
    {
        float base_, lo, hi;
        if (t < 71) {
            base_ = base[t];
            lo = kindTable[kindOf(t)].minimum;
            hi = kindTable[kindOf(t)].maximum;
        } else {
            const int i = t - 71;
            if (!depth[i])
                return std::nullopt;
            base_ = slots[i].level * *depth[i];
            lo = std::min(0.0f, *depth[i]);
            hi = std::max(0.0f, *depth[i]);
        }
        float sum = base_;
        bool contributed = false, clamp = true;
        for (int j = 0; j < 24; ++j) {
            if (slots[j].target != t || !valid[j])
                continue;
            if (!complete[j]) {
                clamp = false;
                continue;
            }
            const auto level = value(71 + j, sources);
            if (!level)
                return std::nullopt;
            sum += sources[slots[j].source] * *level;
            contributed = true;
        }
        return contributed && clamp ? std::clamp(sum, lo, hi) : sum;
    }
};

// --- The random walk ---

struct Walk {
    MatrixTestPlugin& plugin;
    ModulationMatrix::Controller& c;
    bool throughParameters;
    std::mt19937 rng;
    int compared = 0;
    int modulated = 0; // of those, values with at least one slot adding to them

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    float unit() { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); }
    int anySource() { return pick(20) == 0 ? -1 : pick(26); }
    // Mostly parameters, sometimes a slot's level, now and then none.
    int anyTarget()
    {
        const int r = pick(20);
        return r == 0 ? -1 : r < 5 ? 71 + pick(24) : pick(71);
    }

    void step()
    {
        // Connections outweigh clearing, so the matrix stays well filled.
        int op = pick(20);
        if (!throughParameters && op >= 18)
            op = 0;
        const int slot = pick(24);
        switch (op) {
        case 7:
            c.clearSlot(slot);
            break;
        case 8:
            c.clearSlotsOfSource(pick(26));
            break;
        case 9:
            c.clearSlotsOnTarget(pick(95));
            break;
        case 10:
            c.swapSlots(slot, pick(24));
            break;
        case 11: {
            int selected = pick(24);
            c.sortSlots(pick(25), &selected);
            break;
        }
        case 12:
        case 13:
            c.setLevel(slot, unit());
            c.setInverted(pick(24), pick(2) == 0);
            c.setBypassed(pick(24), pick(6) == 0);
            break;
        case 14:
            c.setSource(slot, anySource());
            c.setTarget(pick(24), anyTarget());
            break;
        case 15:
        case 16: {
            auto& p = plugin.targetParameter(pick(71));
            p.setValue(p.getMin() + (p.getMax() - p.getMin()) * unit(), 0);
            break;
        }
        case 17: {
            const int s = pick(26);
            plugin.matrix->setSourceOutput(s, pick(4) == 0 ? nullptr : plugin.signals[s].get());
            break;
        }
        case 18:
            plugin.addConnection(anySource(), anyTarget());
            break;
        case 19: {
            std::vector<AbstractParameterSetList*> lists = plugin.lists();
            lists.push_back(&plugin.slots());
            AbstractParameterSetList& list =
                *lists[static_cast<std::size_t>(pick(static_cast<int>(lists.size())))];
            if (list.getNumActive() <= list.getMinActive() + 1 || pick(3) == 0)
                list.getNumActiveParameter().setValue(static_cast<float>(list.count()), 0);
            else
                list.removeSet(pick(list.getNumActive()));
            break;
        }
        default:
            c.connect(slot, anySource(), anyTarget(), pick(3) == 0, pick(8) == 0, unit());
            break;
        }
    }

    void check()
    {
        plugin.runBlock();
        ModulationMatrix& m = *plugin.matrix;
        ModulationMatrix::Controller& records = plugin.internal();
        if (throughParameters)
            matrixtest::expectRecordsMatchParameters(plugin);
        const Model model(records, plugin);
        for (int i = 0; i < 24; ++i) {
            ASSERT_EQ(std::pair(m.isSlotValid(i), m.isSlotComplete(i)),
                      std::pair(model.valid[i], model.complete[i]))
                << "slot " << i;
            ASSERT_FALSE(m.isSlotValid(i) && model.closure(i).count(records.getTarget(i)));
        }
        for (int t = 0; t < 95; ++t) {
            const auto& entry = m.getTargetEntry(t);
            const wave::Block& b = plugin.lastBlock(t);
            for (int k = 0; k < MatrixTestPlugin::blockSize; ++k) {
                ASSERT_TRUE(std::isfinite(b[k])) << t;
                // A slot level may still be gliding from its value under an
                // earlier depth; only parameter targets have a fixed range.
                if (t < 71 && entry.clampEnabled) {
                    const float tolerance = 1e-5f * (1.0f + std::fabs(entry.maximum - entry.minimum));
                    ASSERT_TRUE(b[k] >= entry.minimum - tolerance && b[k] <= entry.maximum + tolerance) << t;
                }
            }
        }
    }

    // Settled values of every target against the model.
    void compare()
    {
        plugin.settle();
        const std::uint32_t start = plugin.runBlock();
        const Model model(plugin.internal(), plugin);
        std::vector<float> sources(26);
        for (int k = 0; k < MatrixTestPlugin::blockSize; k += 7) {
            for (int s = 0; s < 26; ++s)
                sources[s] = plugin.signals[s]->valueAt(start + static_cast<std::uint32_t>(k));
            for (int t = 0; t < 95; ++t) {
                const auto expected = model.value(t, sources);
                if (!expected)
                    continue;
                ++compared;
                for (int j = 0; j < 24; ++j)
                    if (model.slots[j].target == t && model.valid[j] && model.complete[j]) {
                        ++modulated;
                        break;
                    }
                ASSERT_NEAR(plugin.lastBlock(t)[k], *expected, 1e-4f * (1.0f + std::fabs(*expected)))
                    << "target " << t << " sample " << k;
            }
        }
    }
};

void randomWalk(bool throughParameters, unsigned seed)
{
    MatrixTestPlugin plugin;
    ModulationMatrix::Controller& c = throughParameters ? plugin.params() : plugin.internal();
    Walk walk{plugin, c, throughParameters, std::mt19937(seed)};
    for (int step = 0; step < 300; ++step) {
        walk.step();
        walk.check();
        if (::testing::Test::HasFatalFailure())
            return;
        if (step % 50 == 49)
            walk.compare();
    }
    walk.compare();
    // The walk must keep enough slots alive for the comparison to mean
    // something: every parameter target checked at 10 samples in 7 rounds,
    // and typically 8 to 10 targets per round modulated.
    EXPECT_GE(walk.compared, 7 * 10 * 71);
    EXPECT_GT(walk.modulated, walk.compared / 20);
}

} // namespace

// Through the parameters (applied on the audio thread, as the editor and the
// host change them) and directly on the matrix's records.
TEST(ModulationMatrixController, RandomEditsAgreeWithTheModel)
{
    for (const auto& [throughParameters, seed] :
         {std::pair{true, 1u}, {true, 2u}, {true, 3u}, {false, 11u}, {false, 12u}, {false, 13u}}) {
        SCOPED_TRACE(seed);
        randomWalk(throughParameters, seed);
    }
}
