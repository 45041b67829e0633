#include "GraphSignals.h"
#include "RoutingChannel.h"

#include "filters/DelayLine.h"
#include "filters/FilterRouting.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace routingtest;

namespace {

// The arrangement evaluated directly from its masks, for an input of 1.
// A bypassed filter is a duplicate when it has a parallel sibling (same
// sources) or is fed by exactly one filter that is a bypassed duplicate;
// a duplicate is left out of the first mix that takes it together with
// other sources, unless all of those are left out already.
struct Reference {
    FilterRouting::Masks masks;
    std::array<bool, 4> active;

    bool duplicate(int f) const
    {
        if (active[static_cast<std::size_t>(f)])
            return false;
        for (int g = 0; g < 4; ++g) {
            if (g != f && masks[static_cast<std::size_t>(g)] == masks[static_cast<std::size_t>(f)])
                return true;
        }
        for (int g = 0; g < 4; ++g) {
            if (masks[static_cast<std::size_t>(f)] == bit(g))
                return duplicate(g);
        }
        return false;
    }

    int skipped() const
    {
        int skip = 0;
        for (int f = 0; f < 4; ++f) {
            int consumer = masks[4];
            for (int later = 3; later > f; --later) {
                if (masks[static_cast<std::size_t>(later)] & bit(f))
                    consumer = masks[static_cast<std::size_t>(later)];
            }
            if (!(consumer & bit(f)))
                continue;
            const int others = consumer & ~bit(f);
            if (others && duplicate(f) && (others & ~skip))
                skip |= bit(f);
        }
        return skip;
    }

    double mean(int mask, const std::array<double, 5>& signals, int skip) const
    {
        double sum = 0.0;
        int count = 0;
        for (int i = 0; i < 5; ++i) {
            if ((mask >> i) & 1 && !((skip >> i) & 1)) {
                sum += signals[static_cast<std::size_t>(i)];
                ++count;
            }
        }
        return sum / count;
    }

    double output() const
    {
        const int skip = skipped();
        std::array<double, 5> signals = {1.0, 0.0, 0.0, 0.0, 0.0};
        for (int f = 0; f < 4; ++f) {
            const double in = mean(masks[static_cast<std::size_t>(f)], signals, skip);
            signals[static_cast<std::size_t>(f) + 1] =
                active[static_cast<std::size_t>(f)]
                    ? static_cast<double>(gains[static_cast<std::size_t>(f)]) * in
                    : in;
        }
        return mean(masks[4], signals, skip);
    }
};

} // namespace

TEST(FilterRouting, EveryArrangementMatchesItsMasks)
{
    for (int index = 0; index < FilterRouting::configurationCount; ++index) {
        for (int count = 0; count <= 4; ++count) {
            for (int enabled = 0; enabled < 16; ++enabled) {
                SCOPED_TRACE(testing::Message()
                             << "index " << index << ", count " << count << ", enabled " << enabled);
                Channel channel;
                channel.setAtOnce(index, count, enabled);
                Reference reference{FilterRouting::arrangements()[static_cast<std::size_t>(index)], {}};
                for (int k = 0; k < 4; ++k)
                    reference.active[static_cast<std::size_t>(k)] = ((enabled >> k) & 1) && k < count;

                ASSERT_EQ(channel.routing.getSkipMask(), reference.skipped());
                for (int m = 0; m < 4; ++m) {
                    float sum = 0.0f;
                    for (int i = 0; i < m + 2; ++i)
                        sum += channel.routing.getMixer(m).getGain(i);
                    ASSERT_NEAR(sum, 1.0f, 1e-6f) << "mixer " << m;
                }
                ASSERT_NEAR(channel.settledOutput(), reference.output(), 1e-5);
            }
        }
    }
}

TEST(FilterRouting, ChangesWhileRunningGlideToTheSameResults)
{
    Channel channel(true); // with delay lines (at 0 ms) after the filters
    std::vector<float> out;
    out.reserve(40 * 1024);
    int combination = 0;
    for (int index = 0; index < FilterRouting::configurationCount; ++index) {
        for (int count = 1; count <= 4; ++count) {
            const int enabled = (combination++ * 7) % 16;
            SCOPED_TRACE(testing::Message()
                         << "index " << index << ", count " << count << ", enabled " << enabled);
            channel.set(index, count, enabled);
            Reference reference{FilterRouting::arrangements()[static_cast<std::size_t>(index)], {}};
            for (int k = 0; k < 4; ++k)
                reference.active[static_cast<std::size_t>(k)] = ((enabled >> k) & 1) && k < count;
            out.clear();
            testsupport::AllocationScope scope;
            renderInto(out, channel.graph, channel.routing, 10 * 1024, 1024); // 232 ms: every glide is over
            expectNoAllocations(scope);
            ASSERT_NEAR(out.back(), reference.output(), 1e-5);
        }
    }
}

TEST(FilterRouting, ExamplesOfTheSkipRule)
{
    const float g1 = gains[0], g2 = gains[1], g3 = gains[2];
    Channel channel;
    // Two active in parallel: 3 and 4 are left out, the output is the mean of 1 and 2.
    channel.setAtOnce(1, 2, 15);
    EXPECT_EQ(channel.routing.getSkipMask(), bit(2) | bit(3));
    EXPECT_FLOAT_EQ(channel.settledOutput(2048), (g1 + g2) / 2);

    // Three active, (1 | 2) > (3 | 4): 4 duplicates its sibling 3; the output is 3.
    Channel second;
    second.setAtOnce(3, 3, 15);
    EXPECT_EQ(second.routing.getSkipMask(), bit(3));
    EXPECT_FLOAT_EQ(second.settledOutput(), g3 * (g1 + g2) / 2);

    // Three active, (1 > 2) | (3 > 4): 4 passes 3 on and stays in the mix.
    Channel third;
    third.setAtOnce(2, 3, 15);
    EXPECT_EQ(third.routing.getSkipMask(), 0);
    EXPECT_FLOAT_EQ(third.settledOutput(), (g1 * g2 + g3) / 2);

    // Serial with one active: filter 1 alone, the others pass through.
    Channel fourth;
    fourth.setAtOnce(0, 1, 15);
    EXPECT_FLOAT_EQ(fourth.settledOutput(), g1);
    EXPECT_EQ(fourth.filters[1]->calls, 0) << "a bypassed filter is not computed";

    // (1 | 2) > (3 | 4) with 3 and 4 off: 3 is left out, 4 passes the mean on.
    Channel fifth;
    fifth.setAtOnce(3, 4, 3);
    EXPECT_EQ(fifth.routing.getSkipMask(), bit(2));
    EXPECT_FLOAT_EQ(fifth.settledOutput(), (g1 + g2) / 2);
}

TEST(FilterRouting, HandsTheInputThroughAndFollowsANewInput)
{
    Channel channel;
    channel.setAtOnce(0, 0, 15);
    channel.graph.nextFrame();
    EXPECT_EQ(&channel.routing.pull(64), &channel.input.getBlock());
    channel.graph.advance(64);

    Constant other(channel.graph, -0.5f);
    channel.routing.setSource(&other);
    channel.set(1, 4, 15);
    EXPECT_EQ(channel.filters[0]->getSource(), &channel.input) << "rewired at the next block";
    EXPECT_NEAR(channel.settledOutput(20000), -0.5f * (2 + 3 + 5 + 7) / 4.0f, 1e-5f);
    EXPECT_EQ(channel.filters[0]->getSource(), &other);
    EXPECT_EQ(channel.routing.getMixer(2).getInput(0), &other);

    // Output not needed: nothing behind the routing runs.
    const int calls = channel.filters[0]->calls;
    channel.graph.nextFrame();
    channel.routing.pull(64, wave::Producer::OutputNotNeeded);
    EXPECT_EQ(channel.filters[0]->calls, calls);
}
