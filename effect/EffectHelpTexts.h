#pragma once

// The help texts the editor shows for the effect's parameters.
namespace EffectHelpTexts {

inline constexpr const char* inputGainPan =
    "The combined Input Gain/Pan knob controls the level and panning of the incoming signal before "
    "it is distributed to the filters. Because the filters in Merovance Ostrand have a clipping "
    "level (depending on the characteristic), this controls the amount of distortion. For example, "
    "to get maximum distortion, select the Raw characteristic and set Input Gain to +20 dB and "
    "Output Gain to -10 dB.";

inline constexpr const char* outputGainPan =
    "The combined Output Gain/Pan knob controls the level and panning of the outgoing signal.";

inline constexpr const char* mix =
    "The Effect Mix knob controls the mixture between the input signal and the filtered output "
    "signal. At 0%, the filters are completely bypassed. At 100%, the output signal is equal to the "
    "filtered signal.";

inline constexpr const char* routing =
    "The Routing button controls how the signal flows through the filters. The number of options "
    "that is given, depends on the currently active number of filters. When all four filters are "
    "active, there is a maximum number of eight different routings.\n\nThe buttons on the right "
    "select Stereo, Left/Right or Mid/Side mode. In the L/R and M/S modes, the channels are filtered "
    "independently, so you can have one or two filters per channel.";

inline constexpr const char* autoMute =
    "The Auto Mute Self-Oscillation switch controls if self-oscillation is muted when there is no "
    "input signal. Depending on the selected filter characteristic, Merovance Ostrand's filters can "
    "self-oscillate with extreme peak settings, even when there is no input signal. If Auto Mute "
    "Self-Oscillation is set to On, the self-oscillation is muted in that case, to make sure Ostrand "
    "only produces sound when there is an input signal.";

inline constexpr const char* audition =
    "The Audition button selects the signal you listen to: either the output signal after filtering "
    "(normal operation), the input signal (in effect bypassing the plug-in), or the side-chain "
    "signal.";

inline constexpr const char* filterFreq =
    "The Filter Frequency knob controls the cut-off frequency of the active filter. Depending on the "
    "filter response type (lowpass, highpass or bandpass), frequencies above and/or below this value "
    "will pass through.\n\nTip: You can adjust the frequency of all currently linked filters at the "
    "same time by holding down the Alt key while dragging this knob.";

inline constexpr const char* filterPan =
    "The Filter Pan ring adjusts the panning of the filter. This gives the left channel a different "
    "filter frequency than the right channel. It does not alter the amount of filtering per channel. "
    "For example, when turning this knob to the left, a slightly lower filter frequency is used for "
    "the left audio channel and a higher filter frequency for the right channel.\n\nTip: You can "
    "adjust the panning of all currently linked filters at the same time by holding down the Alt key "
    "while dragging this ring.";

inline constexpr const char* filterPeak =
    "The Filter Peak knob controls the peak (or resonance) of the filter. Higher peak values will "
    "emphasize frequencies around the cut-off frequency.\n\nTip: You can adjust the peak of all "
    "currently linked filters at the same time by holding down the Alt key while dragging this knob.";

inline constexpr const char* filterCharacteristic =
    "The Filter Characteristic button selects the characteristic of the filter. Each characteristic "
    "has a different, unique sound. This way you can make the filter sound very smooth but also very "
    "aggressive.\n\nThe Clean characteristic is different from the others because it does not "
    "introduce any distortion or non-linearity.\n\nTip: Try to load the Clean preset and try every "
    "filter characteristic to get a good idea of the differences in sound. They are particularly "
    "different with higher peak values.";

inline constexpr const char* filterResponse =
    "The Filter Response switch controls whether the filter passes through frequencies below the "
    "cut-off frequency (Low Pass), above the cut-off frequency (High Pass), or around the cut-off "
    "frequency (Band Pass).";

inline constexpr const char* filterSlope =
    "The Filter Slope switch sets the steepness of the filter in dB/octave. It controls how "
    "aggressively the frequencies around the center frequency are filtered.";

inline constexpr const char* filterDelay =
    "With the Filter Delay knob, you can delay the filtered signal between 0 and 30 milliseconds. "
    "Especially when using filters in parallel, per-channel or mid-side mode, this creates very "
    "interesting effects.";

inline constexpr const char* filterLinked =
    "The Filter Link buttons link two or more filters together, so they can be adjusted "
    "simultaneously by holding down the Alt key while dragging a knob, or by dragging the link dot "
    "in the filter display.";

} // namespace EffectHelpTexts
