#include "filters/BiQuadFilter.h"

#include "wave/Graph.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Beyond any cut-off that means something (log2 Hz); keeps the design's
// arithmetic finite for absurd control values.
constexpr float cutoffLimit = 64.0f;
// States smaller than this (-400 dB) are cleared before they decay into the
// slow denormal range; so are states that are no longer finite, so that a
// NaN or an infinity in the input costs at most one run of samples.
constexpr float smallestState = 1e-20f;
constexpr float largestState = 3.40282347e+38f;
constexpr int flushInterval = 32;

struct Biquad {
    double b0, b1, b2, a1, a2;
};

// One section of the given response, in double precision. Cut-off (log2 Hz)
// and peak are finite here.
Biquad designSection(int response, float cutoff, float peak, float sampleRate)
{
    const double pi = std::numbers::pi;
    const double fs = sampleRate > 0.0f ? static_cast<double>(sampleRate) : 44100.0;
    double fc = std::exp2(static_cast<double>(cutoff));
    fc = fc >= 1.0 ? std::min(fc, 0.49 * fs) : 1.0;
    const double p = peak > 0.0f ? std::min(static_cast<double>(peak), 1.0) : 0.0;

    if (response == GenericFilter::bandPass) {
        const double w = std::min((1.0 - 0.5 * p) * fc * pi / fs, 1.0);
        const double k = 1.0 / std::tan(w);
        const double g = 1.0 / (k + 1.0);
        return {g, 0.0, -g, -2.0 * std::cos(2.0 * pi * fc / fs) * g * k, (k - 1.0) * g};
    }
    double k = std::tan(pi * fc / fs);
    const bool lowPass = response != GenericFilter::highPass;
    if (lowPass)
        k = 1.0 / k;
    const double d = (std::numbers::sqrt2 - (std::numbers::sqrt2 - 0.02) * p) * k;
    const double n = 1.0 / (k * k + d + 1.0);
    return {n, lowPass ? 2.0 * n : -2.0 * n, n, lowPass ? 2.0 * (1.0 - k * k) * n : 2.0 * (k * k - 1.0) * n,
            (1.0 - d + k * k) * n};
}

// The trapezoidal state-variable loop with integrator gain g and damping k
// has the denominator (1 + g k + g^2) + 2 (g^2 - 1)/z + (1 - g k + g^2)/z^2,
// and its high-, band- and low-pass outputs the numerators (1 - 1/z)^2,
// g (1 - 1/z^2) and g^2 (1 + 1/z)^2. Any stable section whose poles avoid
// z = +-1 (so every designed one) is such a loop with a mix of the three
// outputs; solving the two polynomials for g, k and the mix gives:
BiQuadFilter::Loop realise(const Biquad& c)
{
    const double s = 1.0 - c.a1 + c.a2; // 4 / (1 + g k + g^2)
    const double t = 1.0 + c.a1 + c.a2; // 4 g^2 / (1 + g k + g^2)
    const double g = std::sqrt(t / s);
    const double k = 2.0 * (1.0 - c.a2) / (s * g);
    const double high = (c.b0 - c.b1 + c.b2) / s;
    const double band = 2.0 * (c.b0 - c.b2) / (s * g);
    const double low = (c.b0 + c.b1 + c.b2) / t;

    // The loop's band and low outputs for a sample are
    //   v1 = k1 band + k2 (x - low),  v2 = low + k2 band + k3 (x - low),
    // the integrators then hold 2 v1 - band and 2 v2 - low, and the high
    // output is x - k v1 - v2.
    const double k1 = 1.0 / (1.0 + g * (g + k));
    const double k2 = g * k1;
    const double k3 = g * k2;
    const double mixHigh = high;
    const double mixBand = band - k * high;
    const double mixLow = low - high;
    BiQuadFilter::Loop loop;
    loop.bandDecay = static_cast<float>(-2.0 * g * (g + k) * k1); // 2 (k1 - 1)
    loop.coupling = static_cast<float>(2.0 * k2);
    loop.lowGain = static_cast<float>(2.0 * k3);
    loop.direct = static_cast<float>(mixHigh + mixBand * k2 + mixLow * k3);
    loop.fromBand = static_cast<float>(mixBand * k1 + mixLow * k2);
    loop.fromLow = static_cast<float>(mixLow * (1.0 - k3) - mixBand * k2);
    return loop;
}

// NaN reads as 0 (1 Hz); infinities hold at the limits.
float finiteCutoff(float cutoff)
{
    return std::isnan(cutoff) ? 0.0f : std::clamp(cutoff, -cutoffLimit, cutoffLimit);
}

float finitePeak(float peak)
{
    return std::isfinite(peak) ? peak : 0.0f;
}

void flush(float& state)
{
    const float magnitude = std::fabs(state);
    if (!(magnitude >= smallestState && magnitude <= largestState))
        state = 0.0f;
}

// The loop as a state machine over (band, low): s' = A s + B x,
// y = C s + D x. Solved for the states a section must hold now to go on as
// if its input and its output had both been the signal whose last two
// samples are newest and older, that is as if it had passed that signal
// through unchanged. False when the loop cannot tell its states from its
// output (a degenerate mix), or the solution is not finite.
bool passThroughStates(const BiQuadFilter::Loop& c, float newest, float older, BiQuadFilter::Section& out)
{
    const double e = c.coupling, f = c.lowGain;
    const double a00 = 1.0 + static_cast<double>(c.bandDecay), a01 = -e, a10 = e, a11 = 1.0 - f;
    const double c0 = c.fromBand, c1 = c.fromLow, d = c.direct;
    // C s = (1 - D) older; C (A s + B older) = (1 - D) newest, for s two samples back.
    const double u1 = newest, u2 = older;
    const double ca0 = c0 * a00 + c1 * a10, ca1 = c0 * a01 + c1 * a11;
    const double r0 = (1.0 - d) * u2;
    const double r1 = (1.0 - d) * u1 - (c0 * e + c1 * f) * u2;
    const double det = c0 * ca1 - c1 * ca0;
    if (det == 0.0)
        return false;
    double s0 = (r0 * ca1 - c1 * r1) / det;
    double s1 = (c0 * r1 - ca0 * r0) / det;
    for (const double x : {u2, u1}) {
        const double t0 = a00 * s0 + a01 * s1 + e * x;
        s1 = a10 * s0 + a11 * s1 + f * x;
        s0 = t0;
    }
    if (!(std::fabs(s0) <= 1e30 && std::fabs(s1) <= 1e30))
        return false;
    out.band = static_cast<float>(s0);
    out.low = static_cast<float>(s1);
    return true;
}

// One sample through the S sections; with Keep, each section's output is
// also shifted into its last two outputs. The state updates are grouped so
// that a state reaches its next value in three dependent operations.
template <int S, bool Keep>
inline float tick(float x, const BiQuadFilter::Loop& first, const BiQuadFilter::Loop& rest, float (&band)[S],
                  float (&low)[S], float (&out1)[S], float (&out2)[S])
{
    for (int s = 0; s < S; ++s) {
        const BiQuadFilter::Loop& c = s == 0 ? first : rest;
        const float b = band[s];
        const float l = low[s];
        const float y = c.direct * x + c.fromBand * b + c.fromLow * l;
        band[s] = (b + c.bandDecay * b) + (c.coupling * x - c.coupling * l);
        low[s] = (l - c.lowGain * l) + (c.coupling * b + c.lowGain * x);
        x = y;
        if constexpr (Keep) {
            out2[s] = out1[s];
            out1[s] = x;
        }
    }
    return x;
}

} // namespace

BiQuadFilter::BiQuadFilter(wave::Graph& graph) : GenericFilter::FilterUnit(graph)
{
    segments.resize(static_cast<std::size_t>(std::max(graph.getBlockSize(), 1)));
}

void BiQuadFilter::reset()
{
    for (Section& s : sections)
        s = Section{};
}

BiQuadFilter::Coefficients BiQuadFilter::design(int response, float cutoff, float peak, float sampleRate)
{
    const Biquad c = designSection(response, finiteCutoff(cutoff), finitePeak(peak), sampleRate);
    return {static_cast<float>(c.b0), static_cast<float>(c.b1), static_cast<float>(c.b2),
            static_cast<float>(c.a1), static_cast<float>(c.a2)};
}

BiQuadFilter::Loop BiQuadFilter::designLoop(int response, float cutoff, float peak, float sampleRate)
{
    return realise(designSection(response, finiteCutoff(cutoff), finitePeak(peak), sampleRate));
}

// Sections that join the cascade start as if they had passed the output of
// the section before them through unchanged: a signal in the pass band then
// continues without a jump instead of restarting from silence (or from
// whatever the section held when it last ran), and the section settles onto
// its own response from there. Should the loop not allow that, the joining
// section takes the states of the one before it.
void BiQuadFilter::engageSections(int count)
{
    for (int s = engaged; s < count; ++s) {
        const Section& before = sections[s - 1];
        Section& joining = sections[s];
        if (!passThroughStates(designedRest, before.out1, before.out2, joining)) {
            joining.band = before.band;
            joining.low = before.low;
        }
        joining.out1 = before.out1;
        joining.out2 = before.out2;
    }
    engaged = count;
}

// Segments on the stream's grid, as in the saturating filter: sample i
// looks at the streams when its stream position is a multiple of 32 or the
// cut-off has moved more than a tenth of an octave from the one designed
// for; a block that starts between those points goes on with the design in
// force, so the block size never changes the output. The design is only
// computed again when what it depends on really moved.
int BiQuadFilter::schedule(const float* cutoffs, const float* peaks, const float* peakMultiplier, int n,
                           bool constant, std::uint32_t position)
{
    const float rate = getGraph().getSampleRate();
    auto cutoffAt = [&](int i) { return finiteCutoff(cutoffs[i]); };
    auto peakAt = [&](int i) { return finitePeak(peakMultiplier ? peaks[i] * peakMultiplier[i] : peaks[i]); };
    auto onGrid = [&](int i) { return (position + static_cast<std::uint32_t>(i)) % segmentLength == 0; };
    // A NaN counts as a move; cutoffAt reads it as 0.
    auto moved = [&](int i) { return !(std::fabs(cutoffs[i] - designedCutoff) <= segmentMove); };
    auto redesign = [&](int i) {
        const float cut = cutoffAt(i);
        const float p = peakAt(i);
        const bool newCutoff = valueDiffers(cut, designedCutoff);
        if (!newCutoff && !valueDiffers(p, designedPeak))
            return false;
        if (newCutoff)
            designedRest = designLoop(response, cut, 0.0f, rate);
        designed = designLoop(response, cut, p, rate);
        designedCutoff = cut;
        designedPeak = p;
        return true;
    };

    if (designedResponse != response || designedRate != rate) {
        // Nothing designed yet, or for another response or rate.
        designedResponse = response;
        designedRate = rate;
        designedCutoff = cutoffAt(0);
        designedPeak = peakAt(0);
        designed = designLoop(response, designedCutoff, designedPeak, rate);
        designedRest = designLoop(response, designedCutoff, 0.0f, rate);
    } else if (onGrid(0) || moved(0)) {
        redesign(0);
    }
    int count = 0;
    segments[static_cast<std::size_t>(count++)] = {0, designed, designedRest};
    // Streams that hold still can only bring something new at a grid point.
    const bool still = constant && !peakMultiplier;
    const int firstGrid = static_cast<int>((segmentLength - position % segmentLength) % segmentLength);
    for (int i = still ? (firstGrid > 0 ? firstGrid : segmentLength) : 1; i < n; i += still ? segmentLength : 1) {
        if ((still || onGrid(i) || moved(i)) && redesign(i))
            segments[static_cast<std::size_t>(count++)] = {i, designed, designedRest};
    }
    return count;
}

void BiQuadFilter::process(const float* input, float* output, const float* cutoffs, const float* peaks,
                           const float* peakMultiplier, int frameCount, bool constant)
{
    const int chunk = static_cast<int>(segments.size());
    for (int offset = 0; offset < frameCount; offset += chunk) {
        const int n = std::min(chunk, frameCount - offset);
        processChunk(input + offset, output + offset, cutoffs + offset, peaks + offset,
                     peakMultiplier ? peakMultiplier + offset : nullptr, n, constant,
                     getGraph().getPosition() - getGraph().getResetPosition() + static_cast<std::uint32_t>(offset));
    }
}

void BiQuadFilter::processChunk(const float* input, float* output, const float* cutoffs, const float* peaks,
                                const float* peakMultiplier, int n, bool constant, std::uint32_t position)
{
    if (n <= 0)
        return;
    const int count = sectionCount(slope);
    engageSections(count);
    const int segmentCount = schedule(cutoffs, peaks, peakMultiplier, n, constant, position);
    if (count == 1)
        runCascade<1>(input, output, segmentCount, n);
    else if (count == 2)
        runCascade<2>(input, output, segmentCount, n);
    else
        runCascade<4>(input, output, segmentCount, n);
}

// Sample by sample through all sections, with the states in locals: the
// sections of neighbouring samples are independent chains that the
// processor overlaps, where section after section over the block would wait
// on one chain at a time. Every 32 samples (and at every new segment) the
// states are checked for denormal and non-finite values; the sections'
// last two outputs are kept from the block's last two samples only.
template <int S> void BiQuadFilter::runCascade(const float* input, float* output, int segmentCount, int n)
{
    float band[S], low[S], out1[S], out2[S];
    for (int s = 0; s < S; ++s) {
        band[s] = sections[s].band;
        low[s] = sections[s].low;
        out1[s] = sections[s].out1;
        out2[s] = sections[s].out2;
    }
    for (int k = 0; k < segmentCount; ++k) {
        const int end = k + 1 < segmentCount ? segments[static_cast<std::size_t>(k) + 1].start : n;
        const Loop first = segments[static_cast<std::size_t>(k)].first;
        const Loop rest = segments[static_cast<std::size_t>(k)].rest;
        for (int i = segments[static_cast<std::size_t>(k)].start; i < end;) {
            const int stop = std::min(end, (i / flushInterval + 1) * flushInterval);
            for (const int plain = std::min(stop, n - 2); i < plain; ++i)
                output[i] = tick<S, false>(input[i], first, rest, band, low, out1, out2);
            for (; i < stop; ++i)
                output[i] = tick<S, true>(input[i], first, rest, band, low, out1, out2);
            for (int s = 0; s < S; ++s) {
                flush(band[s]);
                flush(low[s]);
            }
        }
    }
    for (int s = 0; s < S; ++s) {
        sections[s].band = band[s];
        sections[s].low = low[s];
        sections[s].out1 = std::isfinite(out1[s]) ? out1[s] : 0.0f;
        sections[s].out2 = std::isfinite(out2[s]) ? out2[s] : 0.0f;
    }
}
