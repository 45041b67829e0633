#include "GraphSignals.h"

#include "filters/FilterCharacteristics.h"
#include "filters/MultiDesignFilter.h"
#include "filters/MultiDesignFilterParallelUnit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <utility>

namespace {

constexpr int rate = 44100;

// One filter slot with the same filter in two channels.
struct Pair {
    explicit Pair(std::vector<float> left, std::vector<float> right)
        : inLeft(graph, std::move(left)), inRight(graph, std::move(right))
    {
        for (auto* f : {&a, &b}) {
            f->cutoff.setDefault(std::log2(900.0f));
            f->peak.setDefault(0.6f);
        }
    }

    wave::Graph graph{static_cast<float>(rate)};
    Playback inLeft;
    Playback inRight;
    MultiDesignFilter::ParallelUnit slot{graph, FilterCharacteristics::shared()};
    MultiDesignFilter a{graph, slot, &inLeft};
    MultiDesignFilter b{graph, slot, &inRight};
};

// The characteristic's filter run on its own, one lane.
std::vector<float> alone(const std::vector<float>& x, int characteristic)
{
    DesignFilter design(FilterCharacteristics::shared()[characteristic], 1024, static_cast<float>(rate));
    const std::vector<float> c(x.size(), std::log2(900.0f)), p(x.size(), 0.6f);
    std::vector<float> out(x.size());
    for (std::size_t at = 0; at < x.size(); at += 256)
        design.process(x.data() + at, out.data() + at, c.data(), p.data(), nullptr, 256, true);
    return out;
}

} // namespace

// The filters of two channels in one slot run in one four-lane pass: the
// pass that makes one's block makes the other's as well, and each lane is
// the filter of its channel alone. Muting one channel (every third block)
// leaves the other exactly as it was.
TEST(MultiDesignFilter, TwoChannelsShareOneFourLanePass)
{
    const auto left = sine(4096, 220.0f, 0.5f);
    const auto right = sine(4096, 1500.0f, 0.3f);
    for (const bool muting : {false, true}) {
        SCOPED_TRACE(muting ? "right muted every third block" : "both playing");
        Pair pair(left, right);
        pair.a.characteristic = 3;
        pair.b.characteristic = 3;
        EXPECT_EQ(pair.slot.getOwnerCount(), 2);
        MuteSwitch mute;
        pair.b.setMuteController(&mute);
        std::vector<float> outA, outB;
        for (int at = 0; at < 4096; at += 256) {
            mute.muted = muting && (at / 256) % 3 == 1;
            pair.graph.nextFrame();
            if (muting) {
                // B first: its pull runs the pass, muted or not.
                const wave::Block& blockB = pair.b.pull(256);
                if (mute.muted) {
                    EXPECT_EQ(&blockB, &pair.graph.getScratch());
                }
            }
            const wave::Block& blockA = pair.a.pull(256);
            if (!muting) {
                // The pass that made A's block has made B's as well.
                const std::vector<float> early(pair.b.getBlock().data(), pair.b.getBlock().data() + 256);
                EXPECT_TRUE(std::equal(early.begin(), early.end(), pair.b.pull(256).data()));
                outB.insert(outB.end(), pair.b.getLastBlock().data(), pair.b.getLastBlock().data() + 256);
            }
            outA.insert(outA.end(), blockA.data(), blockA.data() + 256);
            pair.graph.advance(256);
        }
        EXPECT_EQ(outA, alone(left, 3));
        if (!muting) {
            EXPECT_EQ(outB, alone(right, 3));
        }
    }
}

TEST(MultiDesignFilter, SwitchingToCleanAndBackKeepsBothStates)
{
    const auto left = sine(8192, 330.0f, 0.5f);
    Pair pair(left, left);
    const DesignFilter& design = pair.slot.getDesignFilter();

    render(pair.graph, pair.a, 1024);
    const float band = design.bandState(0, 0);
    pair.a.characteristic = pair.a.getCleanIndex();
    EXPECT_EQ(pair.slot.getOwnerCount(), 1) << "left the shared unit";
    render(pair.graph, pair.a, 1024);
    const BiQuadFilter::Section section = pair.a.getCleanUnit().getSection(0);
    EXPECT_EQ(design.bandState(0, 0), band) << "the table lane waited";

    pair.a.characteristic = 5;
    EXPECT_EQ(pair.slot.getOwnerCount(), 2) << "back on its own lane";
    EXPECT_EQ(pair.slot.getOwner(0), &pair.a);
    EXPECT_EQ(&pair.slot.getDesignFilter().characteristic(), &FilterCharacteristics::shared()[5]);
    render(pair.graph, pair.a, 1024);
    EXPECT_NE(design.bandState(0, 0), band);
    EXPECT_EQ(pair.a.getCleanUnit().getSection(0).low, section.low) << "the clean unit waited";

    // A slot serves at most four filters.
    MultiDesignFilter c(pair.graph, pair.slot), d(pair.graph, pair.slot);
    EXPECT_THROW(MultiDesignFilter(pair.graph, pair.slot), std::length_error);

    pair.a.characteristic = 99; // clamped to the last entry
    EXPECT_EQ(pair.a.characteristic.get(), 10);

    // A reset while on the clean unit clears the shared lane it left as well.
    ASSERT_NE(design.bandState(0, 0), 0.0f);
    ASSERT_NE(pair.a.getCleanUnit().getSection(0).low, 0.0f);
    pair.a.reset();
    for (int stage = 0; stage < StateVariableFilter::maxStages; ++stage) {
        EXPECT_EQ(design.bandState(stage, 0), 0.0f);
        EXPECT_EQ(design.lowState(stage, 0), 0.0f);
    }
    for (int s = 0; s < BiQuadFilter::maxSections; ++s) {
        EXPECT_EQ(pair.a.getCleanUnit().getSection(s).band, 0.0f);
        EXPECT_EQ(pair.a.getCleanUnit().getSection(s).low, 0.0f);
    }
}

namespace {

// One filter on a sine, with a change applied after `at` samples.
template <class Change>
std::vector<float> switched(int characteristic, int response, int slope, int at, Change change)
{
    Pair pair(sine(rate / 2, 200.0f, 0.005f), {});
    pair.a.characteristic = characteristic;
    pair.a.response = static_cast<GenericFilter::Response>(response);
    pair.a.slope = static_cast<GenericFilter::Slope>(slope);
    pair.a.cutoff.setDefault(std::log2(15000.0f));
    pair.a.peak.setDefault(0.0f);
    std::vector<float> out = render(pair.graph, pair.a, at, 500);
    change(pair.a);
    renderInto(out, pair.graph, pair.a, rate / 2 - at, 500);
    return out;
}

void nothing(MultiDesignFilter&) {}

} // namespace

TEST(MultiDesignFilter, SwitchingWhileRunningKeepsTheStates)
{
    // A quiet sine far below the cut-off passes every setting nearly
    // unchanged, so a switch may only move it by what the new setting itself
    // implies; a state reset would jump by the whole amplitude.
    const auto signal = sine(rate / 2, 200.0f, 0.005f);
    const float sineStep = largestStep(signal, 0, signal.size());

    // Characteristics with an input gain of 1 drive their states alike, so
    // switching among them keeps every step within the sine's own.
    {
        Pair pair(signal, {});
        pair.a.cutoff.setDefault(std::log2(15000.0f));
        std::vector<float> out;
        const int choices[] = {1, 2, 4, 5, 6, 7, 8, 9};
        for (int k = 0; k < 16; ++k) {
            pair.a.characteristic = choices[k % 8];
            renderInto(out, pair.graph, pair.a, 1200, 400);
        }
        // (From sample 64 on: the sine's abrupt start rings briefly.)
        EXPECT_LE(largestStep(out, 64, out.size()), sineStep * 1.1f);
    }
    const int clean = 10;
    // The state-variable filter reads all responses from the same states: after
    // a switch it continues as a filter that had the new response all along,
    // but for what its output stage remembers of the samples before: its
    // band limiting forgets within a few dozen samples, its DC blocker
    // holds the old signal's last step (fading over 30 ms), a hundredth of
    // the sine here, where a reset state would be off by all of it. The same
    // holds for fewer stages or sections, whose first ones run the same way
    // at every slope; the clean filter has no output stage and is exact, and
    // its low- and high-pass share their poles, so a switch between them
    // goes on as if the new response had been there all along.
    const int at = 5000;
    const int raw = 2;
    auto near = [at](const std::vector<float>& a, const std::vector<float>& b, int settle = 100) {
        double worst = 0.0;
        for (std::size_t i = static_cast<std::size_t>(at + settle); i < a.size(); ++i)
            worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - static_cast<double>(b[i])));
        return worst;
    };
    EXPECT_LT(near(switched(raw, GenericFilter::lowPass, 1, at, [](auto& f) { f.response = GenericFilter::bandPass; }),
                   switched(raw, GenericFilter::bandPass, 1, at, nothing)),
              1e-4);
    EXPECT_LT(near(switched(raw, GenericFilter::highPass, 3, at, [](auto& f) { f.slope = GenericFilter::slope12; }),
                   switched(raw, GenericFilter::highPass, 1, at, nothing)),
              1e-4);
    EXPECT_LT(near(switched(clean, GenericFilter::lowPass, 1, at, [](auto& f) { f.response = GenericFilter::highPass; }),
                   switched(clean, GenericFilter::highPass, 1, at, nothing), 0),
              1e-6);
    auto from = [at](const std::vector<float>& x) { return std::vector<float>(x.begin() + at, x.end()); };
    EXPECT_EQ(from(switched(clean, GenericFilter::lowPass, 3, at,
                            [](auto& f) { f.slope = GenericFilter::slope12; })),
              from(switched(clean, GenericFilter::lowPass, 1, at, nothing)));
}
