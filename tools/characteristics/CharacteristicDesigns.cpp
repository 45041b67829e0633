#include "CharacteristicDesigns.h"

#include <cmath>
#include <cstring>

// How the numbers act on the sound (see filters/StateVariableFilter.h):
//
// - resonance amount a sets the damping of the first stage, 2 (1 - a^1/4):
//   0 gives no peak, 0.5 a Q of about 3, 0.9 about 19, 1 an undamped loop,
//   anything above 1 a loop that oscillates by itself (harder and faster the
//   larger a is), held in bounds only by the state clamps and saturation.
//   The designs below shape the "sharpness" s = a^1/4 (the damping is
//   2 (1 - s)), which rises much more evenly under the ear than a does.
// - saturation c softens the band-pass state in the loop (band -= c band^3):
//   a fat, compressed peak and an oscillation that stays round. Its effect
//   grows as the cut-off falls (the loop's step f shrinks, c does not).
// - drive pushes the output into the clip curve (and is divided out again):
//   0.1 is clean, 1 colours, 3 and beyond distorts. The shape factor k of
//   each characteristic decides how: k = 1 clips both half-waves alike (odd
//   harmonics, square-ish), small k lets positive half-waves through almost
//   untouched while negative ones squash (even harmonics, rectifier edge).
//
// Every factory table has a clean row 0 (peak 0: no resonance, no
// saturation), so all characteristics agree on the plain filter at peak 0.

namespace {

using Grid = CharacteristicGrid;
constexpr int n = characteristicGridSize;
constexpr double defaultLowest = 2.2666;
constexpr double defaultHighest = 16.2064;

// Four decimals are plenty for sound and keep the tables readable.
double tidy(double v)
{
    return std::round(v * 10000.0) / 10000.0;
}

// A table from a function of peak p (row / 10) and cut-off position c
// (column / 10), both 0..1. With the default grid, c = 0.2 is about 33 Hz,
// 0.4 about 230 Hz, 0.5 about 600 Hz, 0.6 about 1.6 kHz, 0.7 about 4.3 kHz,
// 0.8 about 11 kHz, 0.9 about 30 kHz, 1 about 75 kHz.
template <class F>
Grid table(F f)
{
    Grid g{};
    for (int r = 0; r < n; ++r)
        for (int col = 0; col < n; ++col)
            g[r][col] = tidy(f(r / 10.0, col / 10.0));
    return g;
}

// Resonance amount from sharpness s (damping 2 (1 - s)).
double amount(double s)
{
    return s <= 0.0 ? 0.0 : s * s * s * s;
}

double sharpness(double a)
{
    return std::sqrt(std::sqrt(a));
}

double lerp(double a, double b, double t)
{
    return a + (b - a) * t;
}

// 0 below edge0, 1 above edge1, a smooth S between.
double smoothstep(double edge0, double edge1, double x)
{
    const double t = std::fmin(std::fmax((x - edge0) / (edge1 - edge0), 0.0), 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// A smooth bump of height 1 at centre, falling to 0 at +-width.
double bump(double x, double centre, double width)
{
    const double d = (x - centre) / width;
    return d * d >= 1.0 ? 0.0 : (1.0 - d * d) * (1.0 - d * d);
}

using Row = std::array<double, n>;

// ---------------------------------------------------------------------------
// Merovance One: the signature sound. Drive 2.5 colours every setting; with
// the peak up, drive rises towards high cut-offs and the saturation with it,
// so the top end turns gritty while the resonance, which passes into self-
// oscillation below about 5 kHz at the top of the peak, stays singing.
// Rows 0..4 and 9..10 are the characteristic's defining rows; rows 5..8 are
// filled between them (sharpness and drive linear, saturation rising
// quadratically, so the grit arrives late).
CharacteristicDesign one()
{
    const Row drive10 = {1.5, 1.5, 1.5, 2, 2, 2.5, 2.5, 3, 4, 8, 8};
    const Row saturation10 = {0.001, 0.001, 0.001, 0.003, 0.01, 0.03, 0.04, 0.07, 0.1, 0.1, 0.1};
    const Row resonance9 = {3.25, 3.25, 3.25, 3.25, 2.5, 2.1, 1.3, 1.1, 0.95, 0.95, 0.95};
    const Row resonance10 = {3.5, 3.5, 3.5, 3.5, 3, 2.5, 1.5, 1.2, 1, 1, 1};

    CharacteristicDesign d{"One.fil", 0.3, defaultLowest, defaultHighest, {}, {}, {}};
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const double t = (r - 4) / 6.0;  // 0 at row 4, 1 at row 10
            if (r <= 4) {
                d.drive[r][c] = 2.5;
                d.saturation[r][c] = 0.0;
                d.resonance[r][c] = tidy(0.05 * r);
            } else {
                d.drive[r][c] = r == 10 ? drive10[c] : tidy(lerp(2.5, drive10[c], t));
                d.saturation[r][c] = r == 10 ? saturation10[c] : tidy(saturation10[c] * t * t);
                if (r >= 9) {
                    d.resonance[r][c] = r == 9 ? resonance9[c] : resonance10[c];
                } else {
                    const double s = lerp(sharpness(0.2), sharpness(resonance9[c]), (r - 4) / 5.0);
                    d.resonance[r][c] = tidy(amount(s));
                }
            }
        }
    }
    return d;
}

// Smooth: creamy and round. Drive stays low (0.6 to 1: a touch of colour,
// and with k = 0.18 what little clipping there is falls on one half-wave
// only), saturation grows with peak and cut-off to round off the resonance,
// which rises to a Q of about 12 but never whistles or oscillates.
CharacteristicDesign smooth()
{
    return {"Smooth.fil", 0.181958, defaultLowest, defaultHighest,
            table([](double p, double c) { return 0.6 + 0.4 * p * p + 0.1 * c; }),
            table([](double p, double c) { return p * (0.01 + 0.05 * p * (0.3 + 0.7 * c)); }),
            table([](double p, double c) {
                // Slightly less sharp in the sub-bass, where a peak booms.
                return amount(0.97 * std::pow(p, 1.1) * (0.94 + 0.06 * smoothstep(0.1, 0.4, c)));
            })};
}

// Raw: unpolished grit. A symmetric clip (k = 1) driven hard from the first
// turn adds odd harmonics everywhere; nothing softens the resonance in the
// loop, so the peak is bare and biting, and at the very top of the peak it
// tips just past oscillation, held only by the hard state bounds.
CharacteristicDesign raw()
{
    return {"Raw.fil", 1.0, defaultLowest, defaultHighest,
            table([](double p, double c) { return 2.2 + 1.8 * p + 0.5 * c; }),
            table([](double, double) { return 0.0; }),
            table([](double p, double) { return amount(1.02 * std::pow(p, 1.4)); })};
}

// Hard: a punchy mono-synth filter with a narrower grid (8.3 Hz to 50 kHz).
// The resonance comes in early and strong and oscillates from about peak
// 0.85 across the whole range; moderate saturation keeps that oscillation
// loud, stable and fat. Strong drive into a fairly symmetric clip, more of
// it at high cut-offs, gives the hard edge; the input is taken 1.4 times
// hotter into the loop.
CharacteristicDesign monopoly()
{
    return {"Monopoly.fil", 0.687329, 3.06152, 15.6029,
            table([](double p, double c) { return 2.5 + 2.0 * p + 1.5 * c * c; }),
            table([](double p, double c) { return p * (0.006 + 0.02 * c); }),
            table([](double p, double c) {
                return amount(1.125 * std::pow(p, 0.6) * (0.97 + 0.03 * smoothstep(0.0, 0.3, c)));
            })};
}

// Hollow: thin and nasal. The resonance is there from low peak settings but
// is capped at a moderate Q, and heavy saturation in the loop flattens the
// peak into a honk; a near-symmetric clip driven moderately squares the wave
// off (odd harmonics: the hollow, square-wave colour).
CharacteristicDesign cheap()
{
    return {"Cheap.fil", 0.913428, defaultLowest, defaultHighest,
            table([](double p, double c) { return 2.0 + 1.5 * p + 0.5 * c; }),
            table([](double p, double) { return 0.08 * std::sqrt(p); }),
            table([](double p, double) { return amount(0.93 * std::pow(p, 0.4)); })};
}

// Extreme: everything at the limit. High drive into a strongly one-sided
// clip (k = 0.128: a rectifying edge); the resonance passes into oscillation
// from the middle of the peak range and reaches 4.3 at the top, with almost
// no saturation, so the oscillation slams into the state bounds and screams.
// The drive stops at 4: the low-pass state can reach 10, and the clip curve
// only covers +-40 (beyond, it would wrap around into a click, not a sound).
CharacteristicDesign extreme()
{
    return {"Extreme.fil", 0.128784, defaultLowest, defaultHighest,
            table([](double p, double) { return 3.5 + 0.5 * p; }),
            table([](double p, double c) { return 0.005 * p * c; }),
            table([](double p, double) { return amount(1.44 * std::pow(p, 0.8)); })};
}

// Gentle: polite, for mixing. Little drive (0.3 to 0.8: barely any
// clipping), the resonance rises slowly to a modest Q of about 4, and light
// saturation keeps even that round.
CharacteristicDesign gentle()
{
    return {"Gentle.fil", 0.31709, defaultLowest, defaultHighest,
            table([](double p, double) { return 0.3 + 0.5 * p; }),
            table([](double p, double c) { return p * (0.002 + 0.008 * c); }),
            table([](double p, double) { return amount(0.8 * std::pow(p, 0.9)); })};
}

// Tube: warm. A symmetric clip driven moderately rounds the peaks, generous
// saturation at every cut-off lets the resonance bloom softly instead of
// ringing, and the resonance is strongest in the bass, where at the top of
// the peak it blooms into a soft, round self-oscillation.
CharacteristicDesign tube()
{
    return {"Tube.fil", 1.0, defaultLowest, defaultHighest,
            table([](double p, double c) { return 1.2 + 1.3 * p + 0.3 * c; }),
            table([](double p, double) { return p * (0.01 + 0.03 * p); }),
            table([](double p, double c) { return amount(std::pow(p, 0.9) * (1.08 - 0.12 * c)); })};
}

// Metal: a hard, metallic edge. The most one-sided clip (k = 0.1) driven
// hard rectifies the wave (strong even harmonics, an octave-up buzz); the
// resonance rings sharpest at mid-to-high cut-offs (1 to 10 kHz), where it
// tips into a clangy oscillation at the top of the peak, and nothing in the
// loop softens it.
CharacteristicDesign metal()
{
    return {"Metal.fil", 0.1, defaultLowest, defaultHighest,
            table([](double p, double c) { return 4.0 + 3.0 * p + 3.0 * c; }),
            table([](double, double) { return 0.0; }),
            table([](double p, double c) {
                return amount(std::pow(p, 0.7) * (0.9 + 0.2 * bump(c, 0.65, 0.45)));
            })};
}

// Easy Going: relaxed and forgiving. Moderate drive, medium saturation, a
// broad resonance that stays well below oscillation and backs off in the
// bass, so low notes keep their body however far the peak is turned up.
CharacteristicDesign easyGoing()
{
    return {"EasyGoing.fil", 0.543188, defaultLowest, defaultHighest,
            table([](double p, double c) { return 1.5 + 0.8 * p + 0.2 * c; }),
            table([](double p, double) { return p * (0.005 + 0.02 * p); }),
            table([](double p, double c) {
                return amount(0.95 * std::pow(p, 1.2) * (0.85 + 0.15 * smoothstep(0.2, 0.6, c)));
            })};
}

void putWord(std::vector<std::uint8_t>& out, std::uint32_t w)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
}

void putFloat(std::vector<std::uint8_t>& out, double v)
{
    const float f = static_cast<float>(v);
    std::uint32_t w = 0;
    std::memcpy(&w, &f, sizeof w);
    putWord(out, w);
}

void putGrid(std::vector<std::uint8_t>& out, const Grid& g)
{
    putWord(out, static_cast<std::uint32_t>(n));
    for (const auto& row : g)
        for (double v : row)
            putFloat(out, v);
}

}  // namespace

const std::vector<CharacteristicDesign>& factoryCharacteristicDesigns()
{
    static const std::vector<CharacteristicDesign> designs = {
        one(), smooth(), raw(), monopoly(), cheap(), extreme(), gentle(), tube(), metal(), easyGoing(),
    };
    return designs;
}

std::vector<std::uint8_t> encodeCharacteristic(const CharacteristicDesign& design)
{
    std::vector<std::uint8_t> out;
    out.reserve(1484);
    for (char ch : {'M', 'F', 'i', 'l'})
        out.push_back(static_cast<std::uint8_t>(ch));
    putWord(out, 1);
    putFloat(out, design.shapeFactor);
    putFloat(out, design.lowestCutoff);
    putFloat(out, design.highestCutoff);
    putGrid(out, design.drive);
    putGrid(out, design.saturation);
    putGrid(out, design.resonance);
    return out;
}
