#pragma once

#include "filters/GenericFilter.h"

#include <cstdint>
#include <vector>

// The "Clean" filter: up to four second-order sections in series (one for
// 12 dB/octave, two for 24, four for 48), linear and without saturation.
// Only the first section takes the peak; the others stay at the peak-0
// (Butterworth) damping, as the further stages of the saturating filter do.
// Resonant sections multiplied together would multiply their gain at the
// cut-off with the slope: at peak 1 each adds 34 dB, and four of them
// turned full-scale noise into +105 dBFS. This way the peak means the same
// at every slope, and at peak 0 nothing changes. Low-pass and high-pass are bilinear-transform designs whose
// 1/Q falls from sqrt(2) at peak 0 (a Butterworth section) to 0.02 at
// peak 1; band-pass has unit gain at the centre with a bandwidth term that
// halves from peak 0 to peak 1. Cut-offs below 1 Hz are designed at 1 Hz,
// those above 0.49 times the sample rate at that limit.
//
// Coefficients change per segment, as in the state-variable filter: where
// the stream's 32-sample grid or a cut-off move of more than a tenth of an
// octave finds a new cut-off or peak, whatever the host's blocks.
//
// Each section runs as a loop of two trapezoidal integrators with exactly
// the transfer function of the designed biquad (see Loop). Its states are
// the integrators' contents, a band-pass and a low-pass level, which mean
// the same whatever the coefficients: when the cut-off jumps far in one
// sample (a square-wave LFO), the signal goes on from where it was. A
// direct form would run its stored inputs and outputs through coefficients
// they were never meant for and overshoot by 20 dB and more.
class BiQuadFilter : public GenericFilter::FilterUnit {
public:
    static constexpr int maxSections = 4;
    static constexpr int segmentLength = 32;
    static constexpr float segmentMove = 0.1f; // octaves

    // The designed transfer function (b0 + b1/z + b2/z^2) / (1 + a1/z + a2/z^2).
    struct Coefficients {
        float b0 = 1.0f;
        float b1 = 0.0f;
        float b2 = 0.0f;
        float a1 = 0.0f;
        float a2 = 0.0f;
    };

    // One section as it runs: a loop of two trapezoidal integrators, a
    // band-pass and a low-pass one, whose contents are the states. Per
    // sample, with input x and the states before the sample:
    //   y    = direct x + fromBand band + fromLow low
    //   band = band + bandDecay band + coupling (x - low)
    //   low  = low - lowGain low + coupling band + lowGain x
    // Every state moves by a small step of its own, so the coefficients keep
    // their precision at low cut-offs.
    struct Loop {
        float bandDecay = 0.0f;
        float coupling = 0.0f;
        float lowGain = 0.0f;
        float direct = 1.0f;
        float fromBand = 0.0f;
        float fromLow = 0.0f;
    };

    struct Section {
        float band = 0.0f;
        float low = 0.0f;
        // Its last two outputs, newest first: what a section that joins
        // behind it continues from.
        float out1 = 0.0f;
        float out2 = 0.0f;
    };

    // Control thread, while building: sizes the segment list for the graph's block.
    explicit BiQuadFilter(wave::Graph& graph);

    void process(const float* input, float* output, const float* cutoffs, const float* peaks,
                 const float* peakMultiplier, int frameCount, bool constant) override;
    bool supportsResponse(GenericFilter::Response) const override { return true; }
    bool supportsSlope(GenericFilter::Slope value) const override { return value >= 1 && value <= 3; }
    void reset() override;

    static int sectionCount(int slope) { return slope == 1 ? 1 : slope == 2 ? 2 : 4; }
    // One section for cut-off (log2 Hz) and peak (held within 0 .. 1).
    static Coefficients design(int response, float cutoff, float peak, float sampleRate);
    // The loop with the same transfer function as design().
    static Loop designLoop(int response, float cutoff, float peak, float sampleRate);

    const Section& getSection(int index) const { return sections[static_cast<std::size_t>(index)]; }

private:
    // The first section's loop and the one the further sections share.
    struct Segment {
        int start;
        Loop first;
        Loop rest;
    };

    void processChunk(const float* input, float* output, const float* cutoffs, const float* peaks,
                      const float* peakMultiplier, int n, bool constant, std::uint32_t position);
    int schedule(const float* cutoffs, const float* peaks, const float* peakMultiplier, int n, bool constant,
                 std::uint32_t position);
    void engageSections(int count);
    template <int S> void runCascade(const float* input, float* output, int segmentCount, int n);

    Section sections[maxSections];
    std::vector<Segment> segments;
    int engaged = 1; // sections that ran in the last block
    Loop designed;     // the first section, at the peak
    Loop designedRest; // the further sections, at peak 0
    float designedCutoff = -1.0f;
    float designedPeak = 0.0f;
    int designedResponse = -1;
    float designedRate = 0.0f;
};
