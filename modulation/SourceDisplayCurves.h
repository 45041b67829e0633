#pragma once

// The maps from the sources' plain parameter values (0..1 knob positions)
// to the values their DSP and their texts use. Plain function pointers, as
// value displays run them on the audio thread.
namespace SourceDisplayCurves {

// XLFO frequency shape, 0..1 onto 0..1: most of the knob for slow rates.
// Hz = 0.02 + 499.98 * xlfoFrequency(plain).
float xlfoFrequency(float plain);
// Envelope stage time shape, 0..1 onto 0..1 (times in seconds are a span
// times this, plus the shortest time).
float envelopeTime(float plain);
// Trigger threshold shape, mirrored for negative values: fine steps near
// silence, 0.3 gives 0.072.
float threshold(float plain);
// 2^plain: the frequency offset as a multiplier (0.5 .. 2).
float octaves(float plain);
// A linear level in dB, -180 for silence.
float gainToDecibels(float gain);

// The XLFO frequency knob position of 1 Hz.
inline constexpr float xlfoOneHertz = 0.248003921f;

} // namespace SourceDisplayCurves
