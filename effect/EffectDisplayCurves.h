#pragma once

// The maps from the effect's plain parameter values to the values its DSP
// and its texts use. Plain function pointers: value displays run them on
// the audio thread.
namespace EffectDisplayCurves {

// A level in dB as a linear gain: e^(dB × ln(10) / 20).
float decibelsToGain(float decibels);
// A linear gain in dB; gains of 1e-10 and below read as -180 dB.
float gainToDecibels(float gain);
// log2 of a frequency (the cut-off grid) as the frequency in Hz.
float octavesToHertz(float octaves);
// A filter pan of -3.5 .. 3.5 octaves as shown, -1 .. 1.
float filterPanShown(float octaves);
// A mix of -1 (dry) .. 1 (wet) as a percentage of wet signal.
float mixPercent(float mix);
// The filter delay knob's shape, 0..1 onto 0..1, mirrored for negative
// values: fine steps for the short delays that colour the sound.
float delayCurve(float plain);

} // namespace EffectDisplayCurves
