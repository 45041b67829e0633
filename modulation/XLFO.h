#pragma once

#include "framework/Property.h"
#include "modulation/HostTransport.h"
#include "modulation/SourceInput.h"
#include "wave/RestHold.h"
#include "wave/Source.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// A step-sequenced LFO. One cycle is cut into 1..16 steps; each step holds a
// value in -1..1 (or draws a fresh random value on every pass) and may glide
// into the next step along one of four curves. The balance gives the first
// half of the cycle (the steps with phase below 0.5) its share of the period,
// so a two-step square can become a pulse without moving the steps.
//
// The output is the LFO value per sample. The frequency (Hz) and the global
// glide arrive as per-sample signals: the effect links them to an
// XLFOFreqController and to the glide target of the modulation matrix.
//
// Threads: process, sync and the note hooks run on the audio thread (MIDI is
// decoded there between sub-blocks); properties are set there too, by the
// parameters' updateProperties. Listeners are added while building.
class XLFO : public wave::Source {
public:
    enum class GlideCurve { Linear = 0, Sqr, Sqrt, Sine };
    static constexpr const char* glideCurveOptions = "Linear,Sqr,Sqrt,Sine";
    static constexpr int maxSteps = 16;

    // One step of the sequence.
    class Step : public PropertyOwner {
    public:
        using Curve = float (*)(float);

        Step(XLFO& owner, int index);
        virtual ~Step() = default;

        // Share of the step (0..1) that glides into the next step's value;
        // added to the XLFO's global glide.
        LimitedProperty<float> glide;
        Property<GlideCurve> glideCurve;
        Property<bool> random;
        // The value drawn for this step when it is random (-1..1); the step
        // editor shows it.
        LimitedProperty<float> randomValue;
        LimitedProperty<float> value;

        // The value the step holds now: the drawn one for a random step.
        float currentValue() const { return random ? randomValue.get() : value.get(); }
        Curve getCurve() const { return curve; }
        int getIndex() const { return index; }
        XLFO& getXLFO() const { return xlfo; }

        void propertyChanged(PropertyBase& property) override;

        static Curve curveFor(GlideCurve shape);

    private:
        friend class XLFO;
        // This pass has already drawn the next step's random value.
        bool drawn = false;
        XLFO& xlfo;
        int index;
        Curve curve;
    };

    // Hears the half-cycle indicator (1 while the second half of a cycle of
    // more than 62.5 ms runs, else 0). Called on the audio thread.
    class Listener {
    public:
        virtual void indicatorChanged(XLFO& xlfo, int indicator) = 0;

    protected:
        ~Listener() = default;
    };

    // Control thread, while building. Sixteen steps, all 0; the own
    // frequency is 0.1 Hz and the own glide 0.
    explicit XLFO(wave::Graph& graph);
    ~XLFO() override;

    // Number of steps in use; values outside 1..16 are clamped where read.
    Property<int> numSteps;
    // Share of the cycle taken by the first half, 0.0001..0.9999.
    LimitedProperty<float> balance;
    // Whether a note-on restarts the cycle.
    Property<bool> midiTrigger;

    // Frequency in Hz per sample (own value: limits 0.001..5000 Hz).
    SourceInput& getFrequencyInput() { return frequencyInput; }
    // Global glide per sample, -1..1, added to every step's glide.
    SourceInput& getGlideInput() { return glideInput; }

    Step& getStep(int i) const { return *steps[static_cast<std::size_t>(i)]; }
    int getActiveStepCount() const { return std::clamp(numSteps.get(), 1, maxSteps); }

    // Audio thread. Always computes (the phase and the random draws must
    // advance even when nobody reads the output). Never constant.
    int process(wave::Block& target, int numSamples, int flags) override;

    // A note-on reached the effect (not note 0, which only resets the held
    // notes). With MIDI Trigger on the cycle restarts at the first step with
    // the next sample, and a synchronized XLFO counts its bars from the
    // note; with it off, bars count from the song's start again.
    void noteTriggered();

    // The host's transport the cycle follows (see sync in the .cpp): read at
    // the start of every block, so that a frequency controller at rest need
    // not run to pass it on. Null (an XLFO without a controller) follows
    // nothing. Control thread, while building.
    void followTransport(const HostTransport* hostTransport) { transport = hostTransport; }
    // Set by the frequency controller whenever it computes: the cycle length
    // in bars and whether the cycle is locked to the bars. Audio thread.
    void setSyncCycle(double cycleBars, bool lock)
    {
        syncBars = cycleBars;
        syncLock = lock;
    }

    // For the editor's level display.
    int getIndicator() const { return indicator; }
    // More than ten step changes per second on average in the last block.
    bool isFast() const { return fast; }
    // Largest value of the active steps (from -1).
    float getPeakValue() const;
    // The source level shown on the source button, 0..1: the first output
    // sample mapped from -1..1, or the peak value while the output is fast.
    float getDisplayLevel() const;
    double getPhase() const { return phase; }

    // While building (allocates).
    void addListener(Listener* listener);
    void removeListener(Listener* listener);

    // Seeds the 24-bit shift register behind random steps (never 0).
    void setRandomState(std::int32_t state);
    std::int32_t getRandomState() const { return randomState; }

private:
    struct Rates {
        double rate1, k1, rate2, k2;
    };
    // What a stretch of the cycle inside one step and one half works out at
    // its start, and (for a steady one) what it worked that out from.
    struct Segment {
        // The last block ended inside it, and nothing it depends on moved
        // since but what is compared.
        bool kept = false;
        double phase = 0.0;
        int steps = 0;
        float frequency = 0.0f;
        float glide = 0.0f;
        double rate1 = 0.0;
        double rate2 = 0.0;
        int i0 = 0;
        Step* current = nullptr;
        Step* next = nullptr;
        float s0 = 0.0f;
        float delta = 0.0f;
        float stepGlide = 0.0f;
        Step::Curve curve = nullptr;
        double limit = 0.0;
        double rate = 0.0;
        double end = 0.0;
        float hold = 0.0f;
        double advance = 0.0;
    };

    // steady: frequency and glide hold one value over the block.
    int runSegment(float* out, const float* frequency, const float* glide, bool steady, int pos, int numSamples,
                   int n, const Rates& rates, double sampleRate);
    // The host's song position (quarter notes) as last reported, the graph
    // position of the sample it belongs to (the start of the host block,
    // which may lie sub-blocks back), the cycle length in bars, the song
    // advance per sample and whether the cycle is locked to the bars.
    void sync(double position, std::uint32_t positionAt, double cycleBars, double quarterNotesPerSample,
              bool lock);
    float drawRandom(float previous);
    void storePhase(int pos, double sampleRate);
    void enterHalf(int h, int pos, double sampleRate);
    void forgetDraws();
    double songPositionNow() const;
    double linearPosition() const;

    SourceInput frequencyInput;
    SourceInput glideInput;
    // An input's block, pulled once while it rests (nothing modulates it, the
    // usual case) and read until the graph's rests end or a longer block comes.
    struct HeldBlock {
        const float* samples = nullptr;
        bool constant = false;
        wave::RestHold held;
        void pull(SourceInput& input, const wave::Graph& graph, int numSamples)
        {
            if (held.holds(graph, numSamples))
                return;
            samples = input.pull(numSamples).data();
            constant = input.isConstant();
            if (input.holdsStill())
                held.keep(graph, numSamples);
            else
                held.forget();
        }
    };
    HeldBlock frequencyBlock;
    HeldBlock glideBlock;
    const HostTransport* transport = nullptr;
    double syncBars = 1.0;
    bool syncLock = false;
    // The two halves' rates and the balance and sample rate they are for.
    Rates halfRates{0.0, 0.0, 0.0, 0.0};
    Segment segment;
    double ratesBalance = -1.0;
    double ratesSampleRate = 0.0;
    std::vector<Listener*> listeners;
    int indicator = 0;
    int samplesSinceHalfChange = 0;
    double phase = 0.0;
    // Song position (quarter notes) of the last sync and the graph position
    // it belonged to, with the song advance per sample at that time.
    double lastHostPosition = -1.0;
    std::uint32_t lastSyncGraphPosition = 0;
    double lastQuarterNotesPerSample = 0.0;
    // Song position at which the bars start counting (the last MIDI trigger).
    double referencePosition = 0.0;
    int half = 0;
    bool fast = false;
    std::array<std::unique_ptr<Step>, maxSteps> steps;
    std::int32_t randomState;
};
