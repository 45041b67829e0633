#pragma once

#include "filters/GenericFilter.h"

#include <vector>

// The "Clean" filter: up to four identical second-order sections in series
// (one for 12 dB/octave, two for 24, four for 48), linear and without
// saturation. Low-pass and high-pass are bilinear-transform designs whose
// 1/Q falls from sqrt(2) at peak 0 (a Butterworth section) to 0.02 at
// peak 1; band-pass has unit gain at the centre with a bandwidth term that
// halves from peak 0 to peak 1. Cut-offs below 1 Hz are designed at 1 Hz,
// those above 0.49 times the sample rate at that limit.
//
// Coefficients change per segment, as in the state-variable filter: they
// are designed at the start of the block and again where a 32-sample
// boundary or a cut-off move of more than a tenth of an octave finds a new
// cut-off or peak.
class BiQuadFilter : public GenericFilter::FilterUnit {
public:
    static constexpr int maxSections = 4;
    static constexpr int segmentLength = 32;
    static constexpr float segmentMove = 0.1f; // octaves

    struct Coefficients {
        float b0 = 1.0f;
        float b1 = 0.0f;
        float b2 = 0.0f;
        float a1 = 0.0f;
        float a2 = 0.0f;
    };

    struct Section {
        Coefficients c;
        float designedCutoff = -1.0f;
        float designedPeak = 0.0f;
        float x1 = 0.0f;
        float x2 = 0.0f;
        float y1 = 0.0f;
        float y2 = 0.0f;
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

    const Section& getSection(int index) const { return sections[static_cast<std::size_t>(index)]; }

private:
    struct Segment {
        int start;
        Coefficients c;
    };

    void processChunk(const float* input, float* output, const float* cutoffs, const float* peaks,
                      const float* peakMultiplier, int n, bool constant);
    int schedule(const float* cutoffs, const float* peaks, const float* peakMultiplier, int n, bool constant);
    void engageSections(int count);
    template <int S> void runCascade(const float* input, float* output, int segmentCount, int n);

    Section sections[maxSections];
    std::vector<Segment> segments;
    int engaged = 1; // sections that ran in the last block
    int designedResponse = -1;
    float designedRate = 0.0f;
};
