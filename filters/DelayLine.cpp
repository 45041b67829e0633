#include "filters/DelayLine.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// The fade falls exponentially over 36 dB until the last tenth, then
// linearly to 0; e^(-3.73...) * 10 * 0.1 equals 10^(-1.8 * 0.9), so the two
// parts meet without a step.
constexpr double fadeDecibelSpan = 1.8; // decades of amplitude: 36 dB
const double linearPartScale = std::exp(-3.73018784447434) * 10.0;
// Below this distance (ms) the smoother counts as settled on its input.
constexpr double settledMs = 1e-5;
// Samples kept clear between the oldest sample a read may reach and the
// block being written: the interpolating read's second point and rounding.
constexpr int guardSamples = 2;

int ringSizeFor(const wave::Graph& graph, float longestDelayMs)
{
    const double samples = std::ceil(std::max(static_cast<double>(longestDelayMs), 0.0) *
                                     static_cast<double>(graph.getSampleRate()) * 0.001);
    return static_cast<int>(samples) + DelayLine::longestAlignment + graph.getBlockSize() + guardSamples;
}
} // namespace

DelayLine::DelayLine(wave::Graph& graph, float longestDelay, wave::Producer* source)
    : wave::Consumer(source), wave::Producer(graph), delay(graph, 0.0f), readMode(nullptr, crossfading),
      size(ringSizeFor(graph, longestDelay)), lastMode(crossfading), longestDelayMs(std::max(longestDelay, 0.0f))
{
    ring.assign(static_cast<std::size_t>(size), 0.0f);
    delays.assign(static_cast<std::size_t>(graph.getBlockSize()), 0.0f);
    updateRate();
    graph.addToResetList(*this);
}

void DelayLine::reset()
{
    if (ringDirty)
        std::fill(ring.begin(), ring.end(), 0.0f);
    ringDirty = false;
    headsSet = false;
    leftRest = false;
    ranLastFrame = false;
    fadePosition = 0;
    smootherJumps = true;
}

void DelayLine::updateRate()
{
    const float fs = getGraph().getSampleRate();
    if (fs == rate)
        return;
    rate = fs;
    samplesPerMs = static_cast<double>(fs) * 0.001;
    fadeLength = std::max(static_cast<int>(samplesPerMs * static_cast<double>(fadeTimeMs)), 1);
    fadeStep = std::pow(10.0, -fadeDecibelSpan / fadeLength);
    // Keep a block, the alignment and the guard clear of the write position.
    const auto fits =
        static_cast<float>((size - longestAlignment - getGraph().getBlockSize() - guardSamples) / samplesPerMs);
    maxDelayMs = std::min(longestDelayMs, fits);
    const double w = std::min(static_cast<double>(smoothingHz) / static_cast<double>(fs), 1.0);
    smoothCoefficient = static_cast<float>(std::min(2.0 * std::sin(std::numbers::pi * w), 0.95));
    // A delay leaving 0 starts its glide at 0 and lengthens by at most
    // D 2 pi 5 Hz / e ms per ms (the steepest point of the critically damped
    // glide towards the longest delay D): below 1, a read never reaches back
    // to before the glide began, and the crossfading read, whose first fade
    // stays at 0 and later ones aim at most D back from 85 ms on, does not
    // either. So the ring need not be written while the delay rests at 0.
    const double steepest = static_cast<double>(maxDelayMs) * 2.0 * std::numbers::pi *
                            static_cast<double>(smoothingHz) / (std::numbers::e * 1000.0);
    restsUnwritten = steepest < 0.9;
}

void DelayLine::write(const float* in, int n)
{
    const int first = std::min(n, size - writePosition);
    float* at = ring.data() + writePosition;
    if (in) {
        std::copy_n(in, first, at);
        std::copy_n(in + first, n - first, ring.data());
        ringDirty = true;
    } else {
        std::fill_n(at, first, 0.0f);
        std::fill_n(ring.data(), n - first, 0.0f);
    }
    writePosition = (writePosition + n) % size;
}

// Fills delays[] with the smoothed delay; returns false when nothing moves
// and the whole block reads one delay.
bool DelayLine::smooth(const ControlInput::Signal& d, int n)
{
    const double f = smoothCoefficient;
    if (d.constant) {
        const double x = clampDelay(d.samples[0]);
        if (std::fabs(x - smoothLow) < settledMs && std::fabs(smoothBand) < settledMs * f) {
            smoothLow = x;
            smoothBand = 0.0;
            delays[0] = static_cast<float>(x);
            delayConstant = true;
            return false;
        }
    }
    // In double: a step of f × band is far below a float's resolution near
    // the end of a glide, which would stall the delay short of its value
    // (by a sample at 50 ms).
    double low = smoothLow;
    double band = smoothBand;
    for (int i = 0; i < n; ++i) {
        const double x = clampDelay(d.samples[d.constant ? 0 : i]);
        low += f * band;
        band += f * (x - low - 2.0 * band);
        delays[static_cast<std::size_t>(i)] = clampDelay(static_cast<float>(low));
    }
    smoothLow = low;
    smoothBand = band;
    delayConstant = false;
    return true;
}

void DelayLine::setAlignment(int samples)
{
    const int clamped = std::clamp(samples, 0, longestAlignment);
    if (clamped == alignment)
        return;
    alignment = clamped;
    getGraph().endRests(); // a line handed on at rest must run again
}

int DelayLine::positionFor(float delayMs, int offset) const
{
    const int samples = static_cast<int>(static_cast<double>(delayMs) * samplesPerMs) + alignment;
    int p = (blockStart + offset - samples) % size;
    return p < 0 ? p + size : p;
}

void DelayLine::clearBefore(int position)
{
    for (int k = 1; k <= longestAlignment; ++k)
        ring[static_cast<std::size_t>((position - k + size) % size)] = 0.0f;
}

void DelayLine::copyFromRing(float* out, int from, int n) const
{
    const int first = std::min(n, size - from);
    std::copy_n(ring.data() + from, first, out);
    std::copy_n(ring.data(), n - first, out + first);
}

float DelayLine::fadeGainAt(int k) const
{
    const double t = 1.0 - static_cast<double>(k) / fadeLength;
    if (t > 0.1)
        return static_cast<float>(std::pow(10.0, -fadeDecibelSpan * (1.0 - t)));
    return static_cast<float>(linearPartScale * t);
}

void DelayLine::readInterpolating(float* out, int n) const
{
    const float* r = ring.data();
    for (int i = 0; i < n; ++i) {
        // Read position p = (block start + i) - D; floor(p) = start + i - ceil(D)
        // and the weight of the later sample is ceil(D) - D.
        const double samples =
            static_cast<double>(delays[delayConstant ? 0 : static_cast<std::size_t>(i)]) * samplesPerMs;
        const double whole = std::ceil(samples);
        const float w = static_cast<float>(whole - samples);
        int p = (blockStart + i - static_cast<int>(whole) - alignment) % size;
        if (p < 0)
            p += size;
        const int next = p + 1 == size ? 0 : p + 1;
        out[i] = r[p] + (r[next] - r[p]) * w;
    }
}

template <bool Compute> void DelayLine::readCrossfading(float* out, int n)
{
    if (!headsSet) {
        // Leaving a rest without delay, the first fade brings in the alignment.
        heads[0] = heads[1] = (positionFor(delays[0], 0) + (leftRest ? alignment : 0)) % size;
        leftRest = false;
        active = 0;
        fadePosition = 0;
        headsSet = true;
    }
    const float* r = ring.data();
    int i = 0;
    while (i < n) {
        int& from = heads[1 - active]; // during a fade: the head faded towards
        if (fadePosition == 0)
            from = positionFor(delays[delayConstant ? 0 : static_cast<std::size_t>(i)], i);
        const int run = std::min(n - i, fadeLength - fadePosition);
        int& current = heads[active];
        if constexpr (Compute) {
            if (current == from) {
                copyFromRing(out + i, current, run);
            } else {
                // g runs from 1 (the active head) towards 0 (the new head).
                int a = current;
                int b = from;
                double g = fadeGainAt(fadePosition);
                const int exponentialEnd = static_cast<int>(std::ceil(0.9 * fadeLength));
                for (int k = 0; k < run; ++k) {
                    const int at = fadePosition + k;
                    const float gain = at < exponentialEnd ? static_cast<float>(g) : fadeGainAt(at);
                    out[i + k] = (1.0f - gain) * r[b] + gain * r[a];
                    g *= fadeStep;
                    a = a + 1 == size ? 0 : a + 1;
                    b = b + 1 == size ? 0 : b + 1;
                }
            }
        }
        current = (current + run) % size;
        from = (from + run) % size;
        fadePosition += run;
        i += run;
        if (fadePosition >= fadeLength) {
            active = 1 - active;
            fadePosition = 0;
        }
    }
}

int DelayLine::process(wave::Block& target, int n, int flags)
{
    updateRate();
    if (readMode != lastMode) {
        lastMode = readMode;
        headsSet = false;
    }
    const wave::Block* input = pullSource(n, flags);
    blockStart = writePosition;
    write(input ? input->data() : nullptr, n);
    const bool compute = !(flags & (OutputNotNeeded | NoConsumer));

    const ControlInput::Signal d = delay.pull(n);
    if (smootherJumps) {
        smootherJumps = false;
        smoothLow = clampDelay(d.samples[0]);
        smoothBand = 0.0;
    }
    // What was before this block in the ring may be stale when the line
    // did not run in the frame before (its reader did not need it, or it
    // was handed on at rest unwritten). An alignment reads back into it, so
    // it counts as silence, the same whether or not the line ran.
    const std::uint32_t frame = getGraph().getFrame();
    if (alignment > 0 && (leftRest || !ranLastFrame || frame != lastFrame + 1))
        clearBefore(blockStart);
    ranLastFrame = true;
    lastFrame = frame;
    const bool atRest = alignment == 0 && d.constant && clampDelay(d.samples[0]) == 0.0f && smoothLow == 0.0 &&
                        smoothBand == 0.0;
    const bool headsAtZero =
        !headsSet || readMode != crossfading || (heads[0] == blockStart && heads[1] == blockStart);
    if (atRest && headsAtZero) {
        // No delay: what was just written is what is read.
        headsSet = false;
        leftRest = true;
        if (compute) {
            setLastBlock(input ? *input : getGraph().getScratch());
            setConstant(!input || getSource()->isConstant());
        }
        // While the delay rests there, later frames take the input block
        // without a pass through here, and the ring is not written: a delay
        // leaving 0 never reads what came before it left (see restsUnwritten).
        if (input && restsUnwritten && delay.isLinked() && delay.getSource()->holdsStill())
            handOn(getSource());
        return n;
    }

    smooth(d, n);
    if (readMode == crossfading) {
        if (compute)
            readCrossfading<true>(target.data(), n);
        else
            readCrossfading<false>(target.data(), n);
    } else if (compute) {
        readInterpolating(target.data(), n);
    }
    leftRest = false;
    setConstant(false);
    return n;
}
