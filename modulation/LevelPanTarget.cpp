#include "modulation/LevelPanTarget.h"

#include "framework/Property.h"
#include "modulation/ModulationKernels.h"

#include <algorithm>
#include <cmath>

namespace {
// Milliseconds until the ramp reaches its target (0 when it has).
float remainingMs(ParameterRamp& ramp)
{
    ramp.getCurrentValue(); // brings the position up to the present
    const int left = std::max(ramp.getLength() - ramp.getPosition(), 0);
    return static_cast<float>(left) * 1000.0f / ramp.getGraph().getSampleRate();
}
} // namespace

LevelPanTarget::LevelPanTarget(ModulationMatrix& m, int a, int b, Mode combination)
    : wave::Component(m.getGraph()), matrix(m), targetA(a), targetB(b), mode(combination),
      controllerA(m.getTargetController(a)), controllerB(m.getTargetController(b)), first(m.getGraph(), 0.0f),
      second(m.getGraph(), 0.0f), voice(*this)
{
    // The sources' limits: the combination's extremes over A's and B's
    // ranges, found at the corners (and at b = 0, where the pan law bends).
    const auto& ea = matrix.getTargetEntry(a);
    const auto& eb = matrix.getTargetEntry(b);
    float lo1 = INFINITY, hi1 = -INFINITY, lo2 = INFINITY, hi2 = -INFINITY;
    for (float va : {ea.minimum, ea.maximum}) {
        for (float vb : {eb.minimum, std::clamp(0.0f, eb.minimum, eb.maximum), eb.maximum}) {
            float v1, v2;
            combine(va, vb, v1, v2);
            lo1 = std::min(lo1, v1);
            hi1 = std::max(hi1, v1);
            lo2 = std::min(lo2, v2);
            hi2 = std::max(hi2, v2);
        }
    }
    first.getRamp().setLimits(lo1, hi1);
    second.getRamp().setLimits(lo2, hi2);
    float v1, v2;
    combine(ea.ramp.getTarget(), eb.ramp.getTarget(), v1, v2);
    first.setTarget(0.0f, v1);
    second.setTarget(0.0f, v2);
    matrix.setTargetListener(a, this);
    matrix.setTargetListener(b, this);
}

LevelPanTarget::~LevelPanTarget()
{
    matrix.setTargetListener(targetA, nullptr);
    matrix.setTargetListener(targetB, nullptr);
}

void LevelPanTarget::combine(float a, float b, float& v1, float& v2) const
{
    if (mode == GainPan) {
        v1 = a * (1.0f - std::max(b, 0.0f));
        v2 = a * (1.0f + std::min(b, 0.0f));
    } else {
        v1 = a + b;
        v2 = a - b;
    }
}

void LevelPanTarget::update()
{
    auto& ea = matrix.getTargetEntry(targetA);
    auto& eb = matrix.getTargetEntry(targetB);
    // Arriving together with A and B keeps the sources equal to A's own
    // signal whenever B rests at 0, so switching between them is seamless.
    const float time = std::max(remainingMs(ea.ramp), remainingMs(eb.ramp));
    float v1, v2;
    combine(ea.ramp.getTarget(), eb.ramp.getTarget(), v1, v2);
    first.setTarget(time, v1);
    second.setTarget(time, v2);
}

LevelPanTarget::VoiceController::VoiceController(LevelPanTarget& owner)
    : wave::MultiProducer(owner.getGraph(), 2), target(owner)
{
}

void LevelPanTarget::VoiceController::processAll(wave::Block** blocks, int numSamples, int)
{
    LevelPanTarget& t = target;
    const wave::Block& a = t.controllerA.pull(numSamples);
    const wave::Block& b = t.controllerB.pull(numSamples);
    const bool modulated = !t.matrix.getTargetEntry(t.targetA).slots.empty() ||
                           !t.matrix.getTargetEntry(t.targetB).slots.empty();
    t.first.getRamp().advanceToPresent();
    t.second.getRamp().advanceToPresent();
    const bool sourcesSettled = !t.first.getRamp().isRunning() && !t.second.getRamp().isRunning();

    if (t.controllerB.isConstant() && std::fabs(b[0]) <= valueChangeEpsilon &&
        (modulated || sourcesSettled)) {
        // No pan (or difference): both channels are A. The multi-producer
        // interface hands out mutable blocks; nobody writes through these.
        blocks[0] = blocks[1] = const_cast<wave::Block*>(&a);
        setOutputConstant(0, t.controllerA.isConstant());
        setOutputConstant(1, t.controllerA.isConstant());
        // B at rest (the usual gain without pan): so it stays, whatever A
        // does, until something changes B or the slots, which ends the
        // graph's rests.
        if (t.controllerB.holdsStill()) {
            handOutputOn(0, &t.controllerA);
            handOutputOn(1, &t.controllerA);
        }
        return;
    }
    if (!modulated) {
        blocks[0] = const_cast<wave::Block*>(&t.first.pull(numSamples));
        blocks[1] = const_cast<wave::Block*>(&t.second.pull(numSamples));
        setOutputConstant(0, t.first.isConstant());
        setOutputConstant(1, t.second.isConstant());
        return;
    }
    if (t.mode == GainPan)
        ModulationKernels::gainPan(a.data(), b.data(), blocks[0]->data(), blocks[1]->data(), numSamples);
    else
        ModulationKernels::sumDifference(a.data(), b.data(), blocks[0]->data(), blocks[1]->data(),
                                         numSamples);
    setOutputConstant(0, false);
    setOutputConstant(1, false);
}
