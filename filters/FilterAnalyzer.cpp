#include "filters/FilterAnalyzer.h"

#include "wave/BlockLoops.h"

#include <algorithm>
#include <cmath>

using namespace blockloops;

FilterAnalyzer::FilterAnalyzer(wave::Graph& graph, wave::Producer* source)
    : wave::Filter(graph, source), timeConstant(this, 0.0f), threshold(this, 0.0f)
{
    timeConstant = 20.0f;
    threshold = 0.005f;
    graph.addToResetList(*this);
}

void FilterAnalyzer::propertyChanged(PropertyBase&)
{
    reciprocalThreshold = threshold > 0.0f ? 1.0f / threshold : 0.0f;
}

// The follower s += (x - s) a is a first-order recursion; four steps of it
// are written out so that four samples cost four vector multiply-adds:
//   s[k] = b^(k+1) s + a (b^k x0 + b^(k-1) x1 + ... + x_k),   b = 1 - a.
// The groups of four are those of the stream, not of the block: a block
// that ends inside a group computes its first samples from the group's
// start (the missing inputs count 0, which the coefficients of those
// samples multiply by 0 anyway), and the next block completes the group.
// So every sample comes out of the same arithmetic whatever the block
// sizes, and so does the peak of every filter it feeds.
template <bool WriteOutput>
bool FilterAnalyzer::follow(const float* first, const float* second, float* out, int n, float a)
{
    const float b = 1.0f - a;
    const float b2 = b * b;
    const float b3 = b2 * b;
    const LaneVector powers = {b, b2, b3, b2 * b2};
    const LaneVector c0 = {a, a * b, a * b2, a * b3};
    const LaneVector c1 = {0.0f, a, a * b, a * b2};
    const LaneVector c2 = {0.0f, 0.0f, a, a * b};
    const LaneVector c3 = {0.0f, 0.0f, 0.0f, a};
    const LaneVector one = splat<LaneVector>(1.0f);
    const LaneVector scaleToGain = splat<LaneVector>(reciprocalThreshold);
    const bool gate = reciprocalThreshold > 0.0f;
    auto gain = [&](LaneVector v) { return gate ? min(v * scaleToGain, one) : one; };
    // A NaN or an infinity in the level would stay in the follower for good
    // and hold the gain at 1 (or NaN): the silence detector starts again.
    auto restart = [](float s) { return std::isfinite(s) ? s : 0.0f; };
    auto level = [&](int i) {
        const float p = std::fabs(first[i]);
        const float q = std::fabs(second[i]);
        return p > q ? p : q;
    };
    bool allOne = true;

    float s = groupStart;
    int i = 0;
    if (groupFilled > 0) {
        const int from = groupFilled;
        for (; groupFilled < 4 && i < n; ++groupFilled, ++i)
            groupInputs[groupFilled] = level(i);
        const LaneVector v = powers * s + c0 * groupInputs[0] + c1 * groupInputs[1] + c2 * groupInputs[2] +
                             c3 * groupInputs[3];
        if constexpr (WriteOutput) {
            const LaneVector g = gain(v);
            for (int k = from; k < groupFilled; ++k) {
                out[k - from] = g[k];
                allOne = allOne && g[k] == 1.0f;
            }
        }
        state = v[groupFilled - 1];
        if (groupFilled < 4) {
            groupStart = s;
            return allOne;
        }
        s = restart(v[3]);
        groupFilled = 0;
    }
    LaneMask ones = ~LaneMask{};
    LaneVector last = splat<LaneVector>(s);
    for (; i + 4 <= n; i += 4) {
        const LaneVector x = max(magnitude(load(first + i)), magnitude(load(second + i)));
        const LaneVector v = powers * last + c0 * x[0] + c1 * x[1] + c2 * x[2] + c3 * x[3];
        if constexpr (WriteOutput) {
            const LaneVector g = gain(v);
            store(out + i, g);
            ones &= g == one;
        }
        last = __builtin_shufflevector(v, v, 3, 3, 3, 3);
    }
    s = last[0];
    allOne = allOne && !anyLane(~ones);
    s = restart(s);
    state = s;
    groupStart = s;
    if (i < n) {
        groupInputs = LaneVector{};
        for (; i < n; ++i)
            groupInputs[groupFilled++] = level(i);
        const LaneVector v = powers * s + c0 * groupInputs[0] + c1 * groupInputs[1] + c2 * groupInputs[2] +
                             c3 * groupInputs[3];
        if constexpr (WriteOutput) {
            const LaneVector g = gain(v);
            for (int k = 0; k < groupFilled; ++k) {
                out[n - groupFilled + k] = g[k];
                allOne = allOne && g[k] == 1.0f;
            }
        }
        state = v[groupFilled - 1];
    }
    return allOne;
}

void FilterAnalyzer::processBlock(const wave::Block* input, wave::Block& output, int n, int flags)
{
    const float fs = getGraph().getSampleRate();
    const float t = timeConstant;
    const float a = t > 0.0f ? std::min(1000.0f / (fs * t), 1.0f) : 1.0f;
    const float* x = input ? input->data() : getGraph().getScratch().data();
    const wave::Block* other = secondChannel.pullSource(n, 0);
    const float* y = other ? other->data() : x;
    if (flags & (OutputNotNeeded | NoConsumer)) {
        follow<false>(x, y, nullptr, n, a);
        setConstant(false);
        return;
    }
    // While the input is loud the gain stays at 1 for whole blocks: said so,
    // the filters take their peak once instead of at every segment.
    const bool allOne = follow<true>(x, y, output.data(), n, a);
    setConstant(allOne || holdsOneValue(output.data(), n));
}
