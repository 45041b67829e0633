#pragma once

#include <string>
#include <string_view>

class AbstractPluginParameter;

// Turns the text a person gives for a parameter into its plain value:
//   - an option as the parameter shows it ("HP", "Mid/Side", "On"), for
//     enumerations; letter case does not matter;
//   - a plain value within the parameter's own range ("0.5", and for an
//     enumeration a whole position number);
//   - a number followed by the unit of the parameter's display ("1000 Hz",
//     "6 dB", "12 ms", "50 %"), converted back through the display, so
//     nobody has to work out that 1 kHz is a Freq knob at 0.5523; "kHz"
//     serves for "Hz", and seconds and milliseconds for each other.
// Options are tried first: with options "12,24,48" the text "24" is the
// option, not position 24.
struct ParsedParameterValue {
    bool ok = false;
    float plain = 0.0f;
    std::string error; // why the text is no value of the parameter
};

ParsedParameterValue parseParameterValue(const AbstractPluginParameter& parameter, std::string_view text);

// The plain value whose display value is `shown`, found by bisection over
// the plain range (displays are monotonic). ok is false when shown lies
// outside the display values of the range's ends.
ParsedParameterValue invertDisplay(const AbstractPluginParameter& parameter, double shown);
