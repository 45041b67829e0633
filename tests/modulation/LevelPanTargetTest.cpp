#include "modulation/LevelPanTarget.h"
#include "MatrixTestPlugin.h"
#include "wave/Output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int N = 128;
constexpr int XLFO1 = 0;

// The combiners over the shared matrix test plug-in's matrix; its XLFO 1
// signal is the modulation.
struct Rig {
    matrixtest::MatrixTestPlugin plugin;
    wave::Graph& graph = plugin.getGraph();
    ModulationMatrix& matrix = *plugin.matrix;
    TestSignal& lfo = *plugin.signals[XLFO1];
    LevelPanTarget gainPan{matrix, 66, 67, LevelPanTarget::GainPan};
    LevelPanTarget freqPan{matrix, 0, 1, LevelPanTarget::SumDifference};

    void settle() { plugin.settle(); }
    // One frame: both channels of a combiner and its A signal.
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

} // namespace

TEST(LevelPanTarget, CombinesGainWithPanAndFrequencyWithOffset)
{
    Rig rig;
    rig.matrix.setBaseValue(66, 2.0f);
    rig.matrix.setBaseValue(67, 0.5f);
    rig.matrix.setBaseValue(0, 8.0f);
    rig.matrix.setBaseValue(1, -1.5f);
    rig.settle();

    // Settled and unmodulated: constant blocks of the combination.
    auto f = rig.render(rig.gainPan);
    EXPECT_TRUE(f.constant[0] && f.constant[1]);
    EXPECT_FLOAT_EQ(f.first[N - 1], 1.0f); // the pan to the right halves the left
    EXPECT_FLOAT_EQ(f.second[N - 1], 2.0f);
    f = rig.render(rig.freqPan);
    EXPECT_FLOAT_EQ(f.first[0], 6.5f);
    EXPECT_FLOAT_EQ(f.second[0], 9.5f);

    // Centred: both channels are A's own block.
    rig.matrix.setBaseValue(1, 0.0f);
    rig.settle();
    f = rig.render(rig.freqPan);
    EXPECT_EQ(f.blocks[0], f.a);
    EXPECT_EQ(f.blocks[1], f.a);
    EXPECT_TRUE(f.constant[0]);

    // A slot on the pan: the law per sample. Level 0.25 of depth 2 moves
    // the pan by 0.5 x around 0.5.
    rig.matrix.getInternalController().connect(0, XLFO1, 67, false, false, 0.25f);
    rig.settle();
    f = rig.render(rig.gainPan);
    EXPECT_FALSE(f.constant[0]);
    for (int k = 0; k < N; ++k) {
        const float b =
            std::clamp(0.5f + 0.5f * rig.lfo.valueAt(f.start + static_cast<std::uint32_t>(k)), -1.0f, 1.0f);
        ASSERT_NEAR(f.first[static_cast<std::size_t>(k)], 2.0f * (1.0f - std::max(b, 0.0f)), 1e-5f);
        ASSERT_NEAR(f.second[static_cast<std::size_t>(k)], 2.0f * (1.0f + std::min(b, 0.0f)), 1e-5f);
    }
    rig.matrix.getInternalController().setTarget(0, 1); // now on the frequency pair's B
    rig.settle();
    f = rig.render(rig.freqPan);
    for (int k = 0; k < N; ++k) {
        // Pan kind 2: XLFO depth 6.3, level 0.25.
        const float b =
            std::clamp(1.575f * rig.lfo.valueAt(f.start + static_cast<std::uint32_t>(k)), -3.5f, 3.5f);
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
        for (int k = 0; k < N; ++k) {
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
    EXPECT_FLOAT_EQ(previous[0], 1.2f);
    EXPECT_FLOAT_EQ(previous[1], 1.2f);
}
