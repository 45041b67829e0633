#include "modulation/EnvelopeFollower.h"

#include "framework/Property.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float outputScale = 1.0f / 60.0f;
// A level this close to the floor (in dB) is the floor. A release tail into
// silence shrinks geometrically; without the cut it would end in subnormal
// floats, which are slow on many processors wherever the caller does not
// flush them.
constexpr double vanishing = 1e-20;
} // namespace

EnvelopeFollower::EnvelopeFollower(wave::Graph& graph, wave::Producer* audio)
    : wave::Filter(graph, audio), attackInput(graph, 0.0005f, 0.0f, 100.0f),
      releaseInput(graph, 0.1f, 0.0f, 100.0f)
{
}

EnvelopeFollower::~EnvelopeFollower() = default;

float EnvelopeFollower::Smoothing::coefficientFor(float seconds, float sampleRate)
{
    // At least one sample; a NaN keeps the time in use.
    float a = seconds * sampleRate;
    a = a >= 1.0f ? std::min(a, 1.0e9f) : (a == a ? 1.0f : samples);
    if (valueDiffers(a, samples)) {
        samples = a;
        // After `samples` samples of a constant input the level has covered
        // 90 % of the distance: (1 - c)^A = 0.1.
        coefficient = static_cast<float>(1.0 - std::exp(-2.302585092994046 / static_cast<double>(a)));
    }
    return coefficient;
}

void EnvelopeFollower::processBlock(const wave::Block* input, wave::Block& output, int numSamples, int)
{
    const float* attack = attackInput.pull(numSamples).data();
    const float* release = releaseInput.pull(numSamples).data();
    const float sampleRate = getGraph().getSampleRate();
    const float* x = input ? input->data() : nullptr;
    float* y = output.data();
    float current = level;
    for (int k = 0; k < numSamples; ++k) {
        const float sample = x ? x[k] : 0.0f;
        float db = sample > 1e-10f ? 20.0f * std::log10(sample) : -180.0f;
        db = std::clamp(db, -180.0f, maximumDb);
        const float t = std::max(db + 60.0f, 0.0f);
        const float d = t - current;
        const float coefficient = d > 0.0f ? rising.coefficientFor(attack[k], sampleRate)
                                           : falling.coefficientFor(release[k], sampleRate);
        const double next =
            static_cast<double>(current) + static_cast<double>(coefficient) * static_cast<double>(d);
        current = next > vanishing ? static_cast<float>(next) : 0.0f;
        y[k] = current * outputScale;
    }
    level = current;
    setConstant(false);
}
