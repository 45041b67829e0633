#pragma once

#include <string>
#include <string_view>

// Where each port of one plug-in type sits. The Turtle description and the
// adapter both read this, so the index a host connects is the index the
// adapter expects. Order: main audio inputs, audio outputs, side-chain
// inputs, the event input (MIDI and transport), the enabled switch (the
// master bypass), one control port per parameter in host order, then the
// latency the plug-in reports (an output, last so that adding it moved no
// port a saved session refers to).
struct Lv2PortLayout {
    // The most the latency port reports, in samples.
    static constexpr int longestLatency = 64;

    int mainInputs = 0; // 0 for a plug-in without audio input
    int outputs = 0;
    int sideChains = 0;
    int parameters = 0;

    int firstOutput() const { return mainInputs; }
    int firstSideChain() const { return mainInputs + outputs; }
    int eventsPort() const { return firstSideChain() + sideChains; }
    int enabledPort() const { return eventsPort() + 1; }
    int firstParameterPort() const { return enabledPort() + 1; }
    int latencyPort() const { return firstParameterPort() + parameters; }
    int portCount() const { return latencyPort() + 1; }
};

// The symbol of an audio port: the stem alone for a single channel ("in"),
// otherwise the stem with the channel's side ("in_l", "in_r"), or its
// number from 1 beyond two channels.
std::string lv2AudioPortSymbol(std::string_view stem, int channel, int count);
// The name hosts show beside it: "Input", "Input L", "Side Chain R".
std::string lv2AudioPortName(std::string_view stem, int channel, int count);

// The symbol of a parameter's control port: its name in lower case with
// every run of characters other than a-z and 0-9 turned into one "_", and
// no "_" at either end ("Filter 1 Freq" gives "filter_1_freq"). A name
// that starts with a digit gets a leading "_", which a symbol needs.
std::string lv2PortSymbol(std::string_view parameterName);
