#include "modulation/XLFO.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The float change test, for the phase arithmetic in double.
constexpr double epsilon = static_cast<double>(valueChangeEpsilon);

// A phase this close below a step or half boundary counts as having reached
// it. Tempo-synchronized steps often end exactly on a sample; the phase sum
// may land a hair short of the boundary or a hair past it depending on
// rounding, and without the snap the step edge would wander by one sample
// between otherwise identical renders. A billionth of a cycle is far above
// the rounding of the sum and far below one sample of any usable rate.
constexpr double snap = 1e-9;

// Highest frequency the phase loop accepts (the own frequency's limit).
constexpr float maxFrequency = 5000.0f;

// How far (in ms) a locked XLFO may drift from the host's bars before it
// jumps back onto them. Its own phase follows the tempo exactly, so only a
// transport jump (start, locate, loop) or a host that changed the tempo
// between blocks moves it that far; jitter in the host's position stays
// below it and never causes a jump.
constexpr double lockToleranceMs = 1.0;

// The rate a frequency sample stands for: NaN and negative rates stop the
// cycle, and nothing runs faster than maxFrequency.
float usableFrequency(float f)
{
    if (!(f > 0.0f))
        return 0.0f;
    return f > maxFrequency ? maxFrequency : f;
}

// How much of a step holds its value before gliding to the next. Even
// without glide the last part of a step glides a little, more at high
// rates, which keeps fast sequences from clicking.
float holdPart(float f, float glide)
{
    const float m = (f - 0.001f) * 0.0002f;
    const float lim = std::max(1.0f - m * m, 0.0f);
    const float hold = 1.0f - glide;
    if (!(hold >= 0.0f))
        return 0.0f; // also catches a NaN glide
    return hold > lim ? lim : hold;
}

float linearCurve(float t)
{
    return t;
}
float squareCurve(float t)
{
    return t * t;
}
float rootCurve(float t)
{
    return t >= 0.0f ? std::sqrt(t) : -std::sqrt(-t);
}
float sineCurve(float t)
{
    return (std::sin((t - 0.5f) * 3.14159265358979f) + 1.0f) * 0.5f;
}

// The phase loop of a steady stretch (see runSegment), with the glide curve
// as a template argument so that the linear one, the default, is inlined
// instead of called per sample.
template <class Curve>
int steadyStretch(float* out, int pos, int numSamples, double& ph, double end, double advance,
                  double stepCount, int i0, float s0, float delta, float hold, Curve curve)
{
    const float holdEdge = hold + static_cast<float>(epsilon);
    const float glideSpan = 1.0f - hold;
    while (pos < numSamples && ph < end) {
        const float frac = static_cast<float>(stepCount * ph - i0);
        out[pos] = frac <= holdEdge ? s0 : s0 + delta * curve((frac - hold) / glideSpan);
        ph += advance;
        ++pos;
    }
    return pos;
}

} // namespace

// --- Step ---

XLFO::Step::Step(XLFO& owner, int stepIndex)
    : glide(this, 1.0f, 0.0f, 0.0f), glideCurve(this, GlideCurve::Linear), random(this, false),
      randomValue(this, 1.0f, -1.0f, 0.0f), value(this, 1.0f, -1.0f, 0.0f), xlfo(owner), index(stepIndex),
      curve(linearCurve)
{
}

void XLFO::Step::propertyChanged(PropertyBase& property)
{
    if (&property == &glideCurve)
        curve = curveFor(glideCurve);
    xlfo.segment.kept = false;
}

XLFO::Step::Curve XLFO::Step::curveFor(GlideCurve shape)
{
    switch (shape) {
    case GlideCurve::Sqr:
        return squareCurve;
    case GlideCurve::Sqrt:
        return rootCurve;
    case GlideCurve::Sine:
        return sineCurve;
    default:
        return linearCurve;
    }
}

// --- XLFO ---

XLFO::XLFO(wave::Graph& graph)
    : wave::Source(graph), numSteps(nullptr, maxSteps), balance(nullptr, 0.9999f, 0.0001f, 0.5f),
      midiTrigger(nullptr, false), frequencyInput(graph, 0.1f, 0.001f, maxFrequency),
      glideInput(graph, 0.0f, -1.0f, 1.0f), randomState((std::rand() % 0xFFFFFF) + 1)
{
    for (int i = 0; i < maxSteps; ++i)
        steps[static_cast<std::size_t>(i)] = std::make_unique<Step>(*this, i);
}

XLFO::~XLFO() = default;

void XLFO::setRandomState(std::int32_t state)
{
    // The register holds 24 bits and must never be 0, or it stays 0.
    state &= 0xFFFFFF;
    randomState = state != 0 ? state : 1;
}

float XLFO::drawRandom(float previous)
{
    // 24-bit Galois shift register; the feedback taps keep it below 2^24.
    std::int32_t state = randomState << 1;
    if (state & 0x1000000)
        state ^= 0x11D872B;
    randomState = state;
    float r = static_cast<float>(state - 0x800000) * 5.9604644775390625e-8f + 0.5f;
    // A random step always moves audibly away from the step before it.
    if (std::fabs(previous - r) < 0.2f)
        r = previous >= 0.0f ? previous - 0.2f : previous + 0.2f;
    return std::clamp(r, -1.0f, 1.0f);
}

int XLFO::process(wave::Block& target, int numSamples, int)
{
    frequencyBlock.pull(frequencyInput, getGraph(), numSamples);
    const float* frequency = frequencyBlock.samples;
    const double sampleRate = static_cast<double>(getGraph().getSampleRate());
    if (transport)
        sync(transport->position, transport->positionAt, syncBars, transport->tempo / (60.0 * sampleRate),
             syncLock);
    glideBlock.pull(glideInput, getGraph(), numSamples);
    const float* glide = glideBlock.samples;
    const bool steady = frequencyBlock.constant && glideBlock.constant;
    const int n = getActiveStepCount();

    // Each half of the cycle runs at its own rate; crossing into the other
    // half rescales the overshoot by the ratio of the two rates. (Four
    // divisions: worked out again only when the balance or the rate moved.)
    const double b = balance.get();
    if (b != ratesBalance || sampleRate != ratesSampleRate) {
        ratesBalance = b;
        ratesSampleRate = sampleRate;
        halfRates = Rates{0.0, 0.0, 0.0, 0.0};
        if (std::fabs(b) > epsilon) {
            halfRates.rate1 = 0.5 / (b * sampleRate);
            halfRates.k1 = (1.0 - b) / b;
        }
        if (std::fabs(b - 1.0) > epsilon) {
            halfRates.rate2 = 0.5 / ((1.0 - b) * sampleRate);
            halfRates.k2 = b / (1.0 - b);
        }
    }

    float* out = target.data();
    int pos = 0;
    while (pos < numSamples)
        pos = runSegment(out, frequency, glide, steady, pos, numSamples, n, halfRates, sampleRate);

    samplesSinceHalfChange = std::max(samplesSinceHalfChange - numSamples, -(1 << 30));
    fast = numSamples > 0 && static_cast<double>(n) * static_cast<double>(frequency[0]) * 0.5 > 10.0;
    setConstant(false);
    return numSamples;
}

int XLFO::runSegment(float* out, const float* frequency, const float* glide, bool steady, int pos,
                     int numSamples, int n, const Rates& rates, double sampleRate)
{
    const double stepCount = static_cast<double>(n);
    Segment& g = segment;
    // A steady segment the last block ended inside carries on as it was
    // worked out, unless anything it was worked out from moved (a step's
    // property, the draws and the phase outside the cycle's own run forget
    // it at once; the rest is compared here).
    const bool carriedOn = steady && g.kept && phase == g.phase && n == g.steps &&
                           frequency[pos] == g.frequency && glide[pos] == g.glide && rates.rate1 == g.rate1 &&
                           rates.rate2 == g.rate2;
    if (!carriedOn) {
        int i0 = static_cast<int>(stepCount * (phase + snap));
        double stepEnd = static_cast<double>(i0 + 1) / stepCount;
        if (phase >= stepEnd - snap) {
            ++i0; // rounding of the division put the phase on the next step's edge
            stepEnd = static_cast<double>(i0 + 1) / stepCount;
        }
        // (i0 is never negative: the phase stays in [0, 1).)
        const int currentIndex = i0 % n;
        const int nextIndex = currentIndex + 1 == n ? 0 : currentIndex + 1;
        Step& current = *steps[static_cast<std::size_t>(currentIndex)];
        Step& next = *steps[static_cast<std::size_t>(nextIndex)];

        const float s0 = current.currentValue();
        float s1 = next.value;
        if (next.random) {
            if (!current.drawn) {
                next.randomValue.set(drawRandom(s0));
                current.drawn = true;
            }
            s1 = next.randomValue;
        }
        g.i0 = i0;
        g.current = &current;
        g.next = &next;
        g.s0 = s0;
        g.delta = s1 - s0;
        g.curve = current.curve;
        g.stepGlide = current.glide;
        const bool firstHalf = phase < 0.5;
        g.limit = firstHalf ? 0.5 : 1.0;
        g.rate = firstHalf ? rates.rate1 : rates.rate2;
        g.end = std::min(g.limit, stepEnd) - snap;
        if (steady) {
            // Frequency and glide hold one value over the block (no
            // modulation of the rate): what does not change is taken out of
            // the loop, so the phase loop is all that is left per sample.
            const float f = usableFrequency(frequency[pos]);
            g.hold = holdPart(f, glide[pos] + g.stepGlide);
            g.advance = static_cast<double>(f) * g.rate;
            g.steps = n;
            g.frequency = frequency[pos];
            g.glide = glide[pos];
            g.rate1 = rates.rate1;
            g.rate2 = rates.rate2;
        }
    }

    double ph = phase;
    const int first = pos;
    if (steady) {
        // The same sums as below.
        if (g.curve == linearCurve)
            pos = steadyStretch(out, pos, numSamples, ph, g.end, g.advance, stepCount, g.i0, g.s0, g.delta,
                                g.hold, [](float t) { return t; });
        else
            pos = steadyStretch(out, pos, numSamples, ph, g.end, g.advance, stepCount, g.i0, g.s0, g.delta,
                                g.hold, g.curve);
    }
    while (pos < numSamples && ph < g.end) {
        const float f = usableFrequency(frequency[pos]);
        const float hold = holdPart(f, glide[pos] + g.stepGlide);
        const float frac = static_cast<float>(stepCount * ph - g.i0);
        if (frac <= hold + static_cast<float>(epsilon))
            out[pos] = g.s0;
        else
            out[pos] = g.s0 + g.delta * g.curve((frac - hold) / (1.0f - hold));
        ph += static_cast<double>(f) * g.rate;
        ++pos;
    }

    // Stopped by the block's end, not by the segment's.
    const bool inside = ph < g.end;
    bool wrapped = false;
    if (ph >= g.limit - snap) {
        if (g.limit == 1.0) {
            ph = (std::max(ph, 1.0) - 1.0) * rates.k1;
            wrapped = true;
            if (ph > 0.5 - snap)
                ph = (std::max(ph, 0.5) - 0.5) * rates.k2 + 0.5;
        } else {
            ph = (std::max(ph, 0.5) - 0.5) * rates.k2 + 0.5;
            if (ph > 1.0 - snap) {
                ph = (std::max(ph, 1.0) - 1.0) * rates.k1;
                wrapped = true;
            }
        }
    } else if (pos == first) {
        // Nothing could be written (a phase that no rounding fix places):
        // hold the value for one sample rather than loop without progress.
        out[pos++] = g.s0;
    }
    if (!(ph < 1.0))
        ph = std::isfinite(ph) ? ph - std::floor(ph) : 0.0;
    phase = ph;
    storePhase(pos, sampleRate);
    // A step keeps its draw while the cycle is still inside it; once the
    // cycle moves on (or comes round to it again) the next pass draws anew.
    g.current->drawn = !wrapped && static_cast<int>(stepCount * (phase + snap)) == g.i0;
    // Still inside the segment at the block's end (and no draw due when it
    // is worked out again): the next block may carry it on.
    g.kept = steady && inside && pos == numSamples && (g.current->drawn || !g.next->random);
    g.phase = phase;
    return pos;
}

void XLFO::storePhase(int pos, double sampleRate)
{
    if (!(phase > 0.0))
        phase = 0.0;
    const int h = phase >= 0.5 ? 1 : 0;
    if (h != half)
        enterHalf(h, pos, sampleRate);
}

void XLFO::enterHalf(int h, int pos, double sampleRate)
{
    const int elapsed = pos - samplesSinceHalfChange;
    half = h;
    // The indicator only blinks for halves the eye can follow (62.5 ms).
    const int shown = elapsed > sampleRate * 0.0625 ? half : 0;
    if (shown != indicator) {
        indicator = shown;
        for (Listener* l : listeners)
            l->indicatorChanged(*this, indicator);
    }
    samplesSinceHalfChange = pos;
}

void XLFO::forgetDraws()
{
    segment.kept = false;
    for (auto& step : steps)
        step->drawn = false;
}

double XLFO::linearPosition() const
{
    const double b = balance.get();
    return phase < 0.5 ? 2.0 * phase * b : b + (2.0 * phase - 1.0) * (1.0 - b);
}

double XLFO::songPositionNow() const
{
    if (lastQuarterNotesPerSample <= 0.0)
        return std::max(lastHostPosition, 0.0);
    const std::uint32_t elapsed = getGraph().getPosition() - lastSyncGraphPosition;
    return lastHostPosition + static_cast<double>(elapsed) * lastQuarterNotesPerSample;
}

void XLFO::noteTriggered()
{
    if (midiTrigger) {
        phase = 0.0;
        forgetDraws();
        // The song position of the note itself (not of the block's start),
        // so the bars that follow count exactly from the note.
        referencePosition = songPositionNow();
    } else {
        referencePosition = 0.0;
    }
}

// Synchronizing with the host. The frequency controller gives the XLFO the
// rate base x offset, where base makes one cycle last the sync mode's bars.
// With offset 1 the cycle is locked to the bars: at each new song position
// the phase the position asks for is compared with the XLFO's own phase,
// and only when they differ by more than lockToleranceMs (the transport
// jumped) does the phase jump onto the bars. Between jumps the phase runs on
// at exactly the tempo's rate, so the output does not depend on how the host
// cuts its blocks, and it lands on every bar line as the host counts them.
// With any other offset the cycle no longer fits the bars, and deriving the
// phase from the song position would jump at every block (and wildly while
// the offset is modulated); such an XLFO runs freely at the offset rate and
// stays continuous. Bringing the offset back to 1 locks it again.
void XLFO::sync(double position, std::uint32_t positionAt, double cycleBars, double quarterNotesPerSample,
                bool lock)
{
    // Later sub-blocks of a host block hear the same report again: only a
    // new report is a move of the transport, but the phase the bars ask
    // for is the one of this block's first sample.
    const bool moved = std::fabs(position - lastHostPosition) > epsilon;
    lastHostPosition = position;
    lastSyncGraphPosition = positionAt;
    lastQuarterNotesPerSample = quarterNotesPerSample;
    if (moved && lock && cycleBars > 0.0 && quarterNotesPerSample > 0.0) {
        double p = (songPositionNow() - referencePosition) * 0.25 / cycleBars;
        p -= std::floor(p);
        double drift = p - linearPosition();
        drift -= std::round(drift);
        const double driftSamples = std::fabs(drift) * cycleBars * 4.0 / quarterNotesPerSample;
        if (!(driftSamples <= static_cast<double>(getGraph().getSampleRate()) * lockToleranceMs * 0.001)) {
            const double b = balance.get();
            if (p <= b && std::fabs(b) > epsilon)
                phase = 0.5 * p / b;
            else if (p > b && std::fabs(b - 1.0) > epsilon)
                phase = 0.5 * (1.0 + (p - b) / (1.0 - b));
            else
                phase = p;
            half = phase >= 0.5 ? 1 : 0;
            forgetDraws();
        }
    }
}

float XLFO::getPeakValue() const
{
    float peak = -1.0f;
    const int n = getActiveStepCount();
    for (int i = 0; i < n; ++i)
        peak = std::max(peak, steps[static_cast<std::size_t>(i)]->value.get());
    return peak;
}

float XLFO::getDisplayLevel() const
{
    const float v = fast ? getPeakValue() : getLastBlock()[0];
    return std::clamp((v + 1.0f) * 0.5f, 0.0f, 1.0f);
}

void XLFO::addListener(Listener* listener)
{
    if (listener && std::find(listeners.begin(), listeners.end(), listener) == listeners.end())
        listeners.push_back(listener);
}

void XLFO::removeListener(Listener* listener)
{
    std::erase(listeners, listener);
}
