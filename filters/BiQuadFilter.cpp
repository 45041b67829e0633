#include "filters/BiQuadFilter.h"

#include "wave/Graph.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float changeEpsilon = 1.1920929e-7f;
// Keeps the recursion out of the denormal range without touching the
// processor's control word.
constexpr float antiDenormal = 1e-24f;

bool finite(float x)
{
    return std::fabs(x) <= 3.40282347e+38f;
}

} // namespace

BiQuadFilter::BiQuadFilter(wave::Graph& graph) : GenericFilter::FilterUnit(graph)
{
    segments.resize(static_cast<std::size_t>(std::max(graph.getBlockSize(), 1)));
}

void BiQuadFilter::reset()
{
    for (Section& s : sections)
        s.x1 = s.x2 = s.y1 = s.y2 = 0.0f;
}

BiQuadFilter::Coefficients BiQuadFilter::design(int response, float cutoff, float peak, float sampleRate)
{
    const double pi = std::numbers::pi;
    const double fs = sampleRate > 0.0f ? static_cast<double>(sampleRate) : 44100.0;
    double fc = std::exp2(static_cast<double>(cutoff));
    fc = fc >= 1.0 ? std::min(fc, 0.49 * fs) : 1.0; // also catches a NaN cut-off
    const double p = peak > 0.0f ? std::min(static_cast<double>(peak), 1.0) : 0.0;

    Coefficients c;
    if (response == GenericFilter::bandPass) {
        const double w = std::min((1.0 - 0.5 * p) * fc * pi / fs, 1.0);
        const double k = 1.0 / std::tan(w);
        const double g = 1.0 / (k + 1.0);
        c.b0 = static_cast<float>(g);
        c.b1 = 0.0f;
        c.b2 = static_cast<float>(-g);
        c.a1 = static_cast<float>(-2.0 * std::cos(2.0 * pi * fc / fs) * g * k);
        c.a2 = static_cast<float>((k - 1.0) * g);
        return c;
    }
    double k = std::tan(pi * fc / fs);
    const bool lowPass = response != GenericFilter::highPass;
    if (lowPass)
        k = 1.0 / k;
    const double d = (std::numbers::sqrt2 - (std::numbers::sqrt2 - 0.02) * p) * k;
    const double n = 1.0 / (k * k + d + 1.0);
    c.b0 = static_cast<float>(n);
    c.b2 = static_cast<float>(n);
    c.a2 = static_cast<float>((1.0 - d + k * k) * n);
    c.b1 = static_cast<float>(lowPass ? 2.0 * n : -2.0 * n);
    c.a1 = static_cast<float>(lowPass ? 2.0 * (1.0 - k * k) * n : 2.0 * (k * k - 1.0) * n);
    return c;
}

// Sections that join the cascade start from the history of the section
// before them, as if they had passed its output through: a signal in the
// pass band then continues without a jump instead of restarting from
// silence (or from whatever the section held when it last ran).
void BiQuadFilter::engageSections(int count)
{
    for (int s = engaged; s < count; ++s) {
        const Section& before = sections[s - 1];
        Section& joining = sections[s];
        joining.x1 = joining.y1 = before.y1;
        joining.x2 = joining.y2 = before.y2;
    }
    engaged = count;
}

int BiQuadFilter::schedule(const float* cutoffs, const float* peaks, const float* peakMultiplier, int n,
                           bool constant)
{
    const float rate = getGraph().getSampleRate();
    Section& first = sections[0];
    auto peakAt = [&](int i) { return peakMultiplier ? peaks[i] * peakMultiplier[i] : peaks[i]; };

    // Designed at the start of every block; the design is only computed
    // again when something it depends on moved.
    float designedCut = cutoffs[0];
    float designedP = peakAt(0);
    Coefficients current = first.c;
    if (designedResponse != response || designedRate != rate ||
        valueDiffers(first.designedCutoff, designedCut) || valueDiffers(first.designedPeak, designedP)) {
        current = design(response, designedCut, designedP, rate);
        designedResponse = response;
        designedRate = rate;
    }
    int count = 0;
    segments[static_cast<std::size_t>(count++)] = {0, current};
    if (!(constant && !peakMultiplier)) {
        for (int i = 1; i < n; ++i) {
            if (i % segmentLength != 0 && std::fabs(cutoffs[i] - designedCut) <= segmentMove)
                continue;
            const float p = peakAt(i);
            if (!valueDiffers(cutoffs[i], designedCut) && !valueDiffers(p, designedP))
                continue;
            designedCut = cutoffs[i];
            designedP = p;
            current = design(response, designedCut, designedP, rate);
            segments[static_cast<std::size_t>(count++)] = {i, current};
        }
    }
    for (Section& s : sections) {
        s.c = current;
        s.designedCutoff = designedCut;
        s.designedPeak = designedP;
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
                     peakMultiplier ? peakMultiplier + offset : nullptr, n, constant);
    }
}

void BiQuadFilter::processChunk(const float* input, float* output, const float* cutoffs, const float* peaks,
                                const float* peakMultiplier, int n, bool constant)
{
    if (n <= 0)
        return;
    const int count = sectionCount(slope);
    engageSections(count);
    const int segmentCount = schedule(cutoffs, peaks, peakMultiplier, n, constant);
    if (count == 1)
        runCascade<1>(input, output, segmentCount, n);
    else if (count == 2)
        runCascade<2>(input, output, segmentCount, n);
    else
        runCascade<4>(input, output, segmentCount, n);
}

// Direct form I, sample by sample through all sections, with the histories
// in locals: the sections of neighbouring samples are independent chains
// that the processor overlaps, where section after section over the block
// would wait on one chain at a time.
template <int S> void BiQuadFilter::runCascade(const float* input, float* output, int segmentCount, int n)
{
    float x1[S], x2[S], y1[S], y2[S];
    for (int s = 0; s < S; ++s) {
        x1[s] = sections[s].x1;
        x2[s] = sections[s].x2;
        y1[s] = sections[s].y1;
        y2[s] = sections[s].y2;
    }
    for (int k = 0; k < segmentCount; ++k) {
        const Segment& seg = segments[static_cast<std::size_t>(k)];
        const int end = k + 1 < segmentCount ? segments[static_cast<std::size_t>(k) + 1].start : n;
        const Coefficients c = seg.c;
        for (int i = seg.start; i < end; ++i) {
            float v = input[i];
            for (int s = 0; s < S; ++s) {
                float y = c.b0 * v + c.b1 * x1[s] + c.b2 * x2[s] - c.a1 * y1[s] - c.a2 * y2[s];
                y = (y + antiDenormal) - antiDenormal;
                x2[s] = x1[s];
                x1[s] = v;
                y2[s] = y1[s];
                y1[s] = y;
                v = y;
            }
            output[i] = v;
        }
    }
    for (int s = 0; s < S; ++s) {
        // A NaN or infinity that got in would otherwise stay in the
        // recursion for good; the section starts again from silence.
        if (!(finite(x1[s]) && finite(x2[s]) && finite(y1[s]) && finite(y2[s])))
            x1[s] = x2[s] = y1[s] = y2[s] = 0.0f;
        sections[s].x1 = x1[s];
        sections[s].x2 = x2[s];
        sections[s].y1 = y1[s];
        sections[s].y2 = y2[s];
    }
}
