#pragma once

#include <cstddef>
#include <vector>

// Keeps a self-oscillating filter in tune.
//
// Past a resonance amount of 1 the first stage's damping q turns negative
// and its loop oscillates by itself, held only by the bound on its band-pass
// state and by its cubic saturation. Both slow the loop down: a loop that
// slams into the bound spends part of every half-wave there, and a strongly
// undamped one bends its wave into a relaxation shape. Left alone it
// oscillates up to a fourth below the pitch its frequency coefficient f
// stands for (q near -1, no saturation); a little negative damping costs a
// few cents, a saturation that holds the loop below the bound costs less.
//
// How far it falls depends on q, on how strongly the saturation c holds the
// loop compared with the bound, and a little on f itself (the loop's step).
// This table gives, for f, q < 0 and c, the coefficient at which the loop
// oscillates at f's own pitch. It is found by running the loop itself on
// silence and timing its zero crossings, once per process (a few
// milliseconds, when the shared filter tables are built), over a grid of
//   f: 0 to 0.95 in steps of 0.025 (the column at 0 extrapolated),
//   q: -1 to 0 in steps of 0.1 (no correction at 0),
//   w = 3 c / (4 |q| f): 0 to 2 in steps of 0.25. 1 / w is the square of
//     the amplitude at which the saturation alone would hold the loop; from
//     w of about 1.5 on it holds it below the bound and the pitch no longer
//     depends on w.
// A segment reads it by trilinear interpolation, off the per-sample path.
//
// Measured on the loop (random f, q and w): below f 0.3 (6 kHz at 44.1 kHz)
// the pitch comes within 10 cents in nine cases of ten and within 40 in
// all, where uncorrected it lay up to 450 cents flat. Higher up the loop
// locks onto whole fractions of the sample rate and follows f in steps, so
// no smooth correction can be exact there; it still roughly halves the error.
class OscillationTuning {
public:
    static constexpr float highestCoefficient = 0.95f;  // the loop's stability cap on f

    // Runs the loop over the whole grid: allocates, takes milliseconds.
    OscillationTuning();

    // The coefficient to run the first stage with so that, at damping q and
    // saturation c, it oscillates at the pitch of f. f itself while q >= 0
    // (the filter does not oscillate); never above highestCoefficient.
    float tuned(float f, float q, float c) const;

    // The pitch a coefficient stands for: the loop runs three passes per
    // sample, each turning by 2 asin(f / 2).
    static double pitchOf(double f);

private:
    static constexpr int columns = 39;  // f
    static constexpr int rows = 11;     // q
    static constexpr int layers = 9;    // w
    static constexpr float fStep = 0.025f;
    static constexpr float qStep = 0.1f;
    static constexpr float wStep = 0.25f;

    static std::size_t index(int column, int row, int layer)
    {
        return static_cast<std::size_t>((column * rows + row) * layers + layer);
    }

    std::vector<float> factors;  // tuned f / f
};
