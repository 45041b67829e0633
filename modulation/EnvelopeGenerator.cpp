#include "modulation/EnvelopeGenerator.h"

#include "modulation/Trigger.h"

#include <algorithm>
#include <cmath>

namespace {

// Times clamp into the usable range; a NaN or negative time is the shortest.
float sanitizeTime(float t)
{
    if (!(t >= EnvelopeGenerator::minimumTime))
        return EnvelopeGenerator::minimumTime;
    return std::min(t, EnvelopeGenerator::maximumTime);
}

float sanitizeLevel(float s)
{
    if (!(s >= 0.0f))
        return 0.0f;
    return std::min(s, 1.0f);
}

} // namespace

const EnvelopeGenerator::CurveSet& EnvelopeGenerator::CurveSet::defaults()
{
    static const CurveSet set{
        EnvelopeCurveTable(DefaultUpCurve::value), EnvelopeCurveTable(DefaultDownCurve::value),
        EnvelopeCurveTable(DefaultUpCurve::value), EnvelopeCurveTable(DefaultDownCurve::value)};
    return set;
}

EnvelopeGenerator::EnvelopeGenerator(wave::Graph& graph, Trigger* t)
    : wave::Source(graph), triggering(this, Triggering::NormalInput),
      attackInput(graph, 0.0f, minimumTime, maximumTime), decayInput(graph, 0.0f, minimumTime, maximumTime),
      sustainInput(graph, 1.0f, 0.0f, 1.0f), releaseInput(graph, 0.0f, minimumTime, maximumTime), trigger(t),
      curves(CurveSet::defaults())
{
    // Its level and gate are state a bypass must clear (an Activatable that
    // manages the EG decides from then on).
    graph.addToResetList(*this);
}

EnvelopeGenerator::~EnvelopeGenerator() = default;

void EnvelopeGenerator::setTrigger(Trigger* t)
{
    trigger = t;
    if (trigger)
        trigger->enabled = triggering.get() != Triggering::Midi;
}

void EnvelopeGenerator::propertyChanged(PropertyBase& property)
{
    if (&property != &triggering)
        return;
    // A gate held by the old way of triggering would never be released by
    // the new one.
    startRequest = false;
    releaseGate();
    samplesToNextRead = 0;
    if (trigger) {
        trigger->enabled = triggering.get() != Triggering::Midi;
        trigger->reset();
    }
}

void EnvelopeGenerator::midiStart()
{
    if (triggering.get() == Triggering::Midi)
        startRequest = true;
}

void EnvelopeGenerator::midiRelease()
{
    if (triggering.get() != Triggering::Midi)
        return;
    startRequest = false;
    releaseGate();
    samplesToNextRead = 0;
}

bool EnvelopeGenerator::isMuted() const
{
    return state != running && !gate && !startRequest;
}

void EnvelopeGenerator::reset()
{
    level = 0.0f;
    state = idle;
    gate = false;
    startRequest = false;
    releasePosition = 1.0;
    attackSamplesLeft = 0;
    if (trigger)
        trigger->reset();
}

void EnvelopeGenerator::start()
{
    startLevel = level;
    decaySpan = std::max(1.0f - sustain - valueChangeEpsilon, 0.0f);
    const int samples = static_cast<int>(static_cast<double>(attack) * sampleRate);
    attackSamplesLeft = (samples + 3) & ~3;
    attackPosition = decayPosition = releasePosition = 0.0;
    state = running;
    gate = true;
}

void EnvelopeGenerator::releaseGate()
{
    if (!gate)
        return;
    gate = false;
    releaseLevel = level;
    releasePosition = 0.0;
}

void EnvelopeGenerator::readInputs(int k)
{
    // Inputs at rest hold one value: once read, reading them again would
    // change nothing.
    if (inputsReadAtRest)
        return;
    inputsReadAtRest = inputsAtRest;
    const float a = sanitizeTime(attackSamples[k]);
    const float d = sanitizeTime(decaySamples[k]);
    const float s = sanitizeLevel(sustainSamples[k]);
    const float r = sanitizeTime(releaseSamples[k]);
    if (valueDiffers(a, attack)) {
        attack = a;
        // The rest of a running attack takes the new time's share.
        if (attackSamplesLeft > 0) {
            const double rest = (1.0 - attackPosition) * static_cast<double>(a) * sampleRate;
            attackSamplesLeft = std::max(static_cast<int>(rest), 0) & ~3;
        }
    }
    if (valueDiffers(s, sustain) || valueDiffers(d, decay)) {
        sustain = s;
        decay = d;
        // From where the level is now towards the new sustain (or from the
        // top, while the attack still runs).
        decaySpan = attackSamplesLeft > 0 ? std::max(1.0f - sustain - valueChangeEpsilon, 0.0f)
                                          : std::max(std::fabs(level - sustain) - valueChangeEpsilon, 0.0f);
        decayPosition = 0.0;
    }
    if (valueDiffers(r, release)) {
        release = r;
        if (!gate && state == running) {
            releaseLevel = level;
            releasePosition = 0.0;
        }
    }
}

int EnvelopeGenerator::process(wave::Block& target, int numSamples, int)
{
    // Times and sustain that nothing moves (the usual case) rest: their
    // blocks are pulled once, not at every block, until the rests end.
    if (!inputsHeld.holds(getGraph(), numSamples)) {
        attackSamples = attackInput.pull(numSamples).data();
        decaySamples = decayInput.pull(numSamples).data();
        sustainSamples = sustainInput.pull(numSamples).data();
        releaseSamples = releaseInput.pull(numSamples).data();
        inputsAtRest = attackInput.holdsStill() && decayInput.holdsStill() && sustainInput.holdsStill() &&
                       releaseInput.holdsStill();
        inputsReadAtRest = false;
        if (inputsAtRest)
            inputsHeld.keep(getGraph(), numSamples);
        else
            inputsHeld.forget();
    }
    sampleRate = static_cast<double>(getGraph().getSampleRate());
    float* out = target.data();
    renderPosition = 0;
    onlySilence = true;
    if (numSamples <= 0)
        return 0;

    if (startRequest) {
        readInputs(0);
        samplesToNextRead = inputInterval;
        start();
        startRequest = false;
    }
    if (state == released)
        state = idle;

    if (trigger && trigger->enabled) {
        trigger->run(numSamples);
        for (int i = 0; i < trigger->getEventCount(); ++i) {
            const Trigger::Event& e = trigger->getEvent(i);
            // Stage starts fall on four-sample groups.
            renderTo(out, std::min(e.position & ~3, numSamples));
            if (e.on) {
                readInputs(std::min(renderPosition, numSamples - 1));
                samplesToNextRead = inputInterval;
                start();
            } else {
                releaseGate();
            }
        }
    }
    renderTo(out, numSamples);
    setConstant(onlySilence);

    samplesSinceNotice = std::min(samplesSinceNotice + numSamples, 1 << 30);
    if (gate != noticedGate && samplesSinceNotice >= sampleRate * 0.1) {
        noticedGate = gate;
        samplesSinceNotice = 0;
        for (Listener* l : listeners)
            l->gateChanged(*this, gate);
    }
    return numSamples;
}

void EnvelopeGenerator::renderTo(float* out, int end)
{
    while (renderPosition < end) {
        if (samplesToNextRead <= 0) {
            readInputs(renderPosition);
            samplesToNextRead = inputInterval;
        }
        const int n = std::min(end - renderPosition, samplesToNextRead);
        renderStretch(out + renderPosition, n);
        renderPosition += n;
        samplesToNextRead -= n;
    }
}

void EnvelopeGenerator::renderStretch(float* out, int n)
{
    if (gate) {
        onlySilence = false;
        if (attackSamplesLeft > 0) {
            const int m = std::min(n, attackSamplesLeft);
            curves.attack.render(out, m, attackPosition, 1.0 / (sampleRate * static_cast<double>(attack)),
                                 startLevel, 1.0f - startLevel - valueChangeEpsilon);
            attackSamplesLeft -= m;
            level = out[m - 1];
            out += m;
            n -= m;
        }
        if (n > 0) {
            const double step = 1.0 / (sampleRate * static_cast<double>(decay));
            if (level > sustain + valueChangeEpsilon)
                curves.decay.render(out, n, decayPosition, step, sustain, decaySpan);
            else if (level < sustain - valueChangeEpsilon)
                curves.rise.render(out, n, decayPosition, step, sustain - decaySpan, decaySpan);
            else
                std::fill(out, out + n, sustain);
            level = out[n - 1];
        }
    } else if (state == running) {
        onlySilence = false;
        const double step = 1.0 / (sampleRate * static_cast<double>(release));
        if (curves.release.render(out, n, releasePosition, step, 0.0f, releaseLevel))
            state = released;
        level = out[n - 1];
    } else {
        level = 0.0f;
        std::fill(out, out + n, 0.0f);
    }
}

void EnvelopeGenerator::addListener(Listener* listener)
{
    if (listener && std::find(listeners.begin(), listeners.end(), listener) == listeners.end())
        listeners.push_back(listener);
}

void EnvelopeGenerator::removeListener(Listener* listener)
{
    std::erase(listeners, listener);
}
