#include "modulation/ModulationMatrix.h"
#include "AllocationCounter.h"
#include "TestSignal.h"
#include "modulation/InternalController.h"
#include "modulation/ModulationLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <vector>

namespace {

constexpr int XLFO1 = 0, XLFO4 = 3, EG1 = 6, EF1 = 12, EF2 = 13, MIDI1 = 16;
constexpr int N = 256;

// A matrix with the standard layout and a test signal on every source.
struct Rig {
    wave::Graph graph;
    ModulationMatrix matrix{graph};
    std::vector<std::unique_ptr<TestSignal>> signals;

    Rig()
    {
        ModulationLayout::registerStandard(matrix);
        for (int s = 0; s < ModulationMatrix::numSources; ++s) {
            signals.push_back(std::make_unique<TestSignal>(graph, static_cast<std::uint32_t>(s + 1)));
            matrix.setSourceOutput(s, signals.back().get());
        }
    }
    InternalController& c() { return matrix.getInternalController(); }
    // Lets every ramp finish.
    void settle()
    {
        graph.nextFrame();
        graph.advance(20000);
    }
    // One frame of N samples of the target, plus the graph position it started at.
    std::vector<float> render(int target, std::uint32_t* start = nullptr, bool* constant = nullptr)
    {
        graph.nextFrame();
        if (start)
            *start = graph.getPosition();
        auto& controller = matrix.getTargetController(target);
        const wave::Block& b = controller.pull(N);
        if (constant)
            *constant = controller.isConstant();
        std::vector<float> out(b.data(), b.data() + N);
        graph.advance(N);
        return out;
    }
    float s(int source, std::uint32_t p) const
    {
        return signals[static_cast<std::size_t>(source)]->valueAt(p);
    }
};

std::set<int> closureOf(ModulationMatrix::Controller& c, int slot)
{
    const auto& list = c.collectClosure(slot);
    return {list.begin(), list.end()};
}

} // namespace

TEST(ModulationMatrix, KindsAndDepthsFollowTheSourceType)
{
    Rig rig;
    const auto& m = rig.matrix;
    // Exact float constants of the frequency kind.
    EXPECT_EQ(m.getTargetEntry(0).minimum, 2.2665998935699463f);
    EXPECT_EQ(m.getTargetEntry(0).maximum, 16.20639991760254f);
    EXPECT_EQ(m.getTargetEntry(0).kind->depthFor(ModulationMatrix::XLFOType), 6.300000190734863f);
    // Gains: ±36 dB, default depth the span, followers twice that.
    const auto& gain = *m.getTargetEntry(66).kind;
    EXPECT_NEAR(20.0 * std::log10(static_cast<double>(gain.maximum)), 36.0, 1e-4);
    EXPECT_NEAR(gain.defaultDepth, 63.0799, 1e-3);
    EXPECT_FLOAT_EQ(gain.depthFor(ModulationMatrix::EFType), 2.0f * gain.defaultDepth);
    // Followers get twice the default everywhere but on kind 6 (LFO offset, target 17).
    for (int t = 0; t < 71; ++t) {
        const auto& k = *m.getTargetEntry(t).kind;
        const float ef = k.depthFor(ModulationMatrix::EFType);
        if (t >= 16 && t < 34 && (t - 16) % 3 == 1)
            EXPECT_EQ(ef, 1.5f) << t;
        else
            EXPECT_FLOAT_EQ(ef, 2.0f * k.defaultDepth) << t;
    }

    auto& c = rig.c();
    c.connect(0, EG1, 0, false, false, 1.0f);   // kind 1 has no EG pair: 10
    c.connect(1, XLFO1, 4, false, false, 1.0f); // filter 2 freq: 6.3
    c.connect(2, EF1, 17, false, false, 1.0f);  // LFO 1 offset: 1.5
    c.connect(3, MIDI1, 1, false, false, 1.0f); // pan, no MIDI pair: 7
    c.connect(4, EG1, 1, false, false, 1.0f);   // pan, EG pair: 10
    const float expected[] = {10.0f, 6.3f, 1.5f, 7.0f, 10.0f};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(m.isSlotValid(i)) << i;
        EXPECT_EQ(m.getSlotDepth(i), expected[i]) << i;
    }
}

TEST(ModulationMatrix, LoopsThroughOwnTargetsAndLevelsAreInvalid)
{
    Rig rig;
    auto& c = rig.c();
    const auto& m = rig.matrix;

    // A source never modulates its own parameters.
    c.connect(0, XLFO1, 16, false, false, 1.0f);
    EXPECT_FALSE(m.isSlotValid(0));
    c.setTarget(0, 0);
    EXPECT_TRUE(m.isSlotValid(0));

    // A slot on slot 0's level: valid, closure {72, 16, 17, 18}, depth 10 × 1.
    c.connect(0, EG1, 0, false, false, 1.0f);
    c.connect(1, XLFO1, 71, false, false, 1.0f);
    EXPECT_TRUE(m.isSlotValid(0));
    EXPECT_TRUE(m.isSlotValid(1));
    EXPECT_EQ(closureOf(c, 1), (std::set<int>{72, 16, 17, 18}));
    EXPECT_EQ(m.getSlotDepth(1), 10.0f);
    EXPECT_EQ(m.getTargetEntry(72).minimum, 0.0f);
    EXPECT_EQ(m.getTargetEntry(72).maximum, 10.0f);
    // EG 1 on its own attack is a loop, and so is a slot on its own level.
    c.connect(2, EG1, 34, false, false, 1.0f);
    EXPECT_FALSE(m.isSlotValid(2));
    c.connect(3, XLFO1, 74, false, false, 1.0f);
    EXPECT_FALSE(m.isSlotValid(3));

    // Two slots that each reach the other's target: both invalid, and clearing
    // one restores the other.
    Rig loop;
    auto& lc = loop.c();
    lc.connect(0, XLFO1, 34, false, false, 1.0f);
    EXPECT_TRUE(loop.matrix.isSlotValid(0));
    lc.connect(1, EG1, 16, false, false, 1.0f);
    EXPECT_FALSE(loop.matrix.isSlotValid(0));
    EXPECT_FALSE(loop.matrix.isSlotValid(1));
    for (int t : {34, 16}) {
        loop.render(t);
        EXPECT_EQ(&loop.matrix.getTargetController(t).getLastBlock(),
                  &loop.matrix.getTargetEntry(t).ramp.getBlock());
    }
    lc.clearSlot(1);
    EXPECT_TRUE(loop.matrix.isSlotValid(0));
}

TEST(ModulationMatrix, TargetSignalIsBasePlusSourceTimesLevel)
{
    // Nested: EG 1 on filter 1 freq at level 0.5 (depth 10), XLFO 1 on that
    // slot's level at 0.5 (depth 10): level = clamp(5 + 5 x, 0, 10).
    Rig rig;
    auto& c = rig.c();
    rig.matrix.setBaseValue(0, 8.0f);
    c.connect(0, EG1, 0, false, false, 0.5f);
    c.connect(1, XLFO1, 71, false, false, 0.5f);
    rig.settle();
    std::uint32_t p0;
    auto out = rig.render(0, &p0);
    for (int k = 0; k < N; ++k) {
        const auto p = p0 + static_cast<std::uint32_t>(k);
        const float level = std::clamp(5.0f + rig.s(XLFO1, p) * 5.0f, 0.0f, 10.0f);
        const float expected = std::clamp(8.0f + rig.s(EG1, p) * level, 2.2666f, 16.2064f);
        ASSERT_NEAR(out[static_cast<std::size_t>(k)], expected, 1e-5f) << k;
    }

    // Sub-blocks of any length (the plug-in cuts blocks at MIDI events): the
    // four-wide kernels must leave every requested sample right.
    for (int n : {1, 13, 1024}) {
        rig.graph.nextFrame();
        p0 = rig.graph.getPosition();
        const wave::Block& b = rig.matrix.getTargetController(0).pull(n);
        for (int k = 0; k < n; ++k) {
            const auto p = p0 + static_cast<std::uint32_t>(k);
            const float level = std::clamp(5.0f + rig.s(XLFO1, p) * 5.0f, 0.0f, 10.0f);
            ASSERT_NEAR(b[k], std::clamp(8.0f + rig.s(EG1, p) * level, 2.2666f, 16.2064f), 1e-5f)
                << n << " " << k;
        }
        rig.graph.advance(n);
    }

    // Inverted XLFO on a pan (depth 6.3): level range [-6.3, 0], 0.5 moves by -3.15 x.
    Rig inv;
    inv.c().connect(0, XLFO1, 1, true, false, 0.5f);
    EXPECT_FLOAT_EQ(inv.matrix.getSlotDepth(0), -6.3f);
    EXPECT_FLOAT_EQ(inv.matrix.getTargetEntry(71).minimum, -6.3f);
    EXPECT_EQ(inv.matrix.getTargetEntry(71).maximum, 0.0f);
    inv.settle();
    out = inv.render(1, &p0);
    for (int k = 0; k < N; ++k)
        ASSERT_NEAR(out[static_cast<std::size_t>(k)],
                    -3.15f * inv.s(XLFO1, p0 + static_cast<std::uint32_t>(k)), 1e-5f);

    // Two slots add, then the sum is clamped to the peak's [0, 1].
    Rig sum;
    sum.matrix.setBaseValue(2, 0.5f);
    sum.c().connect(0, XLFO1, 2, false, false, 1.0f); // depth 0.4
    sum.c().connect(1, EF1, 2, false, false, 0.5f);   // depth 2, level 1
    sum.settle();
    out = sum.render(2, &p0);
    int clamped = 0;
    for (int k = 0; k < N; ++k) {
        const auto p = p0 + static_cast<std::uint32_t>(k);
        const float raw = 0.5f + sum.s(XLFO1, p) * 0.4f + sum.s(EF1, p) * 1.0f;
        clamped += raw < 0.0f || raw > 1.0f;
        ASSERT_NEAR(out[static_cast<std::size_t>(k)], std::clamp(raw, 0.0f, 1.0f), 1e-5f);
    }
    EXPECT_GT(clamped, N / 8);

    // Bypassing the only slot on a target passes the base block through.
    sum.c().setBypassed(1, true);
    sum.c().setBypassed(0, true);
    bool constant = false;
    out = sum.render(2, nullptr, &constant);
    EXPECT_TRUE(constant);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_EQ(&sum.matrix.getTargetController(2).getLastBlock(),
              &sum.matrix.getTargetEntry(2).ramp.getBlock());
    EXPECT_EQ(sum.c().getSource(1), EF1);
    EXPECT_EQ(sum.c().getTarget(1), 2);
    EXPECT_EQ(sum.c().getLevel(1), 0.5f);
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
    for (int t : {0, 2, 72}) {
        const auto& entry = rig.matrix.getTargetEntry(t);
        for (float v : rig.render(t))
            ASSERT_TRUE(v >= entry.minimum && v <= entry.maximum) << t << " gave " << v;
    }
}

TEST(ModulationMatrix, SlotsWithoutSourceOutputAreIncompleteAndUnclamped)
{
    Rig rig;
    auto& c = rig.c();
    rig.matrix.setSourceOutput(EF2, nullptr);
    c.connect(0, XLFO1, 2, false, false, 1.0f);
    c.connect(1, EF2, 71, false, false, 1.0f);
    EXPECT_TRUE(rig.matrix.isSlotValid(1));
    EXPECT_FALSE(rig.matrix.isSlotComplete(1));
    // Slot 0 depends on slot 1 through its level, so it is incomplete too.
    EXPECT_TRUE(rig.matrix.isSlotValid(0));
    EXPECT_FALSE(rig.matrix.isSlotComplete(0));
    EXPECT_FALSE(rig.matrix.getTargetEntry(2).clampEnabled);
    EXPECT_FALSE(rig.matrix.getTargetEntry(71).clampEnabled);
    bool constant = false;
    rig.render(2, nullptr, &constant);
    EXPECT_TRUE(constant);

    rig.matrix.setSourceOutput(EF2, rig.signals[EF2].get());
    EXPECT_TRUE(rig.matrix.isSlotComplete(0));
    EXPECT_TRUE(rig.matrix.getTargetEntry(2).clampEnabled);
    rig.render(2, nullptr, &constant);
    EXPECT_FALSE(constant);
}

TEST(ModulationMatrix, BaseValueRampTimesFollowTheMove)
{
    Rig rig;
    const float rate = rig.graph.getSampleRate();
    auto& ramp = rig.matrix.getTargetEntry(2).ramp;
    rig.matrix.setBaseValue(2, 0.5f); // half the range: 20 ms
    EXPECT_EQ(ramp.getLength(), static_cast<int>(rate * 0.020f));
    rig.settle();
    rig.matrix.setBaseValue(2, 0.51f); // 1 %: 20 + 130 (0.29 / 0.3)^2 ms
    const double ms = 20.0 + 130.0 * std::pow(0.29 / 0.3, 2.0);
    EXPECT_NEAR(ms, 141.5, 0.05);
    EXPECT_NEAR(ramp.getLength(), static_cast<double>(rate) * ms / 1000.0, 2.0);

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
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(c.getSource(i), expected[i][0]) << i;
        EXPECT_EQ(c.getTarget(i), expected[i][1]) << i;
    }
    // Every field moved with its slot, the selection too, and the slot on
    // the old slot 0's level now aims at slot 2's.
    EXPECT_TRUE(c.isInverted(0));
    EXPECT_EQ(c.getLevel(0), 0.4f);
    EXPECT_TRUE(c.isBypassed(1));
    EXPECT_EQ(c.getLevel(2), 0.1f);
    EXPECT_EQ(selected, 2);
    EXPECT_EQ(c.getTarget(5), 73);
    EXPECT_TRUE(rig.matrix.isSlotValid(5));
    EXPECT_EQ(rig.matrix.getSlotDepth(5), rig.matrix.getSlotDepth(2)); // kind 0 default 1, scaled by slot 2

    // Clearing a slot clears the slots on its level, recursively.
    c.connect(6, EF1, 76, false, false, 1.0f); // on slot 5's level
    ModulationMatrix::SlotList cleared;
    c.clearSlot(2, &cleared);
    EXPECT_EQ(std::set<int>(cleared.begin(), cleared.end()), (std::set<int>{2, 5, 6}));
    for (int i : {2, 5, 6}) {
        EXPECT_EQ(c.getSource(i), -1);
        EXPECT_EQ(c.getTarget(i), -1);
        EXPECT_EQ(c.getLevel(i), 0.0f);
    }

    // Clearing a source's slots also clears the slots aimed at its own targets.
    c.connect(4, EG1, 0, false, false, 1.0f);
    c.connect(7, XLFO1, 35, false, false, 1.0f); // EG 1 decay
    c.connect(8, EF1, 3, false, false, 1.0f);
    c.clearSlotsOfSource(EG1);
    EXPECT_EQ(c.getSource(4), -1);
    EXPECT_EQ(c.getSource(7), -1);
    EXPECT_EQ(c.getSource(8), EF1);
    c.clearSlotsOnTarget(3);
    EXPECT_EQ(c.getSource(8), -1);
    ModulationMatrix::SlotList found;
    c.findSlotsUsingSource(1, found);
    EXPECT_EQ(found.size(), 2u);
}

TEST(ModulationMatrix, PullingAndEditingAllocateNothing)
{
    if (!testsupport::allocationCountingAvailable())
        GTEST_SKIP();
    Rig rig;
    auto& c = rig.c();
    std::vector<ModulationMatrix::GlobalTargetController*> all;
    for (int t = 0; t < ModulationMatrix::numTargets; ++t)
        all.push_back(&rig.matrix.getTargetController(t));
    testsupport::AllocationScope scope;
    c.connect(0, EG1, 0, false, false, 0.5f);
    c.connect(1, XLFO1, 71, true, false, 0.5f);
    c.connect(2, EF1, 66, false, false, 0.5f);
    c.swapSlots(0, 3);
    c.sortSlots(4);
    rig.matrix.setBaseValue(66, 2.0f);
    for (int frame = 0; frame < 4; ++frame) {
        rig.graph.nextFrame();
        for (auto* controller : all)
            controller->pull(N);
        rig.graph.advance(N);
    }
    c.clearSlot(0);
    EXPECT_EQ(scope.count(), 0u);
}
