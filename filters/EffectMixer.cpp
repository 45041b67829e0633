#include "filters/EffectMixer.h"

#include "wave/BlockLoops.h"

#include <algorithm>

using namespace blockloops;

namespace {

struct SideGains {
    float dry;
    float wet;
};

SideGains gainsFor(float m)
{
    const float t = (std::clamp(m, -1.0f, 1.0f) + 1.0f) * 0.5f;
    return {1.0f - t, t};
}

} // namespace

EffectMixer::EffectMixer(wave::Graph& graph, wave::Producer* dry, wave::Producer* wet)
    : Mixer(graph, 2, sum), mix(graph, 1.0f)
{
    setInput(0, dry);
    setInput(1, wet);
}

const float* EffectMixer::pullSide(int index, int n, bool& constant)
{
    wave::Producer* source = getInput(index);
    if (!source) {
        constant = true;
        return getGraph().getScratch().data();
    }
    const wave::Block& block = source->pull(n, 0);
    constant = source->isConstant();
    return block.data();
}

int EffectMixer::process(wave::Block& target, int n, int flags)
{
    if (flags & (OutputNotNeeded | NoConsumer))
        return n;
    const ControlInput::Signal m = mix.pull(n);
    const SideGains g = gainsFor(m.samples[0]);
    bool wetConstant = false;
    const float* wet = pullSide(1, n, wetConstant);
    float* out = target.data();

    // Hand a side through when the other one is left out entirely.
    if (m.constant && g.dry == 0.0f && g.wet == 1.0f && getInput(1)) {
        // Wet only, the usual setting: while the mix rests there, later
        // frames take the wet block without a pass through here. The dry
        // side is not pulled, whether the mix rests or not, so that its
        // producer runs alike either way. (Dry only is not handed on: the
        // filters behind the wet side keep running on what they hear
        // meanwhile.)
        if (mix.isLinked() && mix.getSource()->holdsStill())
            handOn(getInput(1));
        setLastBlock(getInput(1)->getLastBlock());
        setConstant(wetConstant);
        return n;
    }
    bool dryConstant = false;
    const float* dry = pullSide(0, n, dryConstant);
    if (m.constant) {
        if (g.wet == 0.0f && g.dry == 1.0f && getInput(0)) {
            setLastBlock(getInput(0)->getLastBlock());
            setConstant(dryConstant);
            return n;
        }
        const LaneVector gd = splat<LaneVector>(g.dry);
        const LaneVector gw = splat<LaneVector>(g.wet);
        for (int i = 0; i < n; i += 4)
            store(out + i, load(dry + i) * gd + load(wet + i) * gw);
        setConstant(dryConstant && wetConstant);
        return n;
    }

    const LaneVector one = splat<LaneVector>(1.0f);
    const LaneVector minusOne = splat<LaneVector>(-1.0f);
    const LaneVector half = splat<LaneVector>(0.5f);
    for (int i = 0; i < n; i += 4) {
        const LaneVector v = max(min(load(m.samples + i), one), minusOne);
        const LaneVector gw = (v + one) * half;
        const LaneVector gd = one - gw;
        store(out + i, load(dry + i) * gd + load(wet + i) * gw);
    }
    setConstant(false);
    return n;
}
