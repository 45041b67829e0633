#pragma once

#include "framework/PluginParameterSet.h"
#include "framework/PropPluginParameter.h"
#include "framework/SourceParameterSetList.h"
#include "modulation/MidiModSource.h"

#include <string>

// The parameters of one MIDI source, "MIDI Source n": which MIDI data
// drives it and, for "Controller", the controller number. Both are bound to
// the source's properties.
class MidiSourceParameterSet : public PluginParameterSet {
public:
    // index 0..9 is MIDI Source 1..10.
    MidiSourceParameterSet(GenericPlugin& plugin, int index);

    void configureParameters() override;
    // While building, before the parameters are applied.
    void bind(MidiModSource& source);

    std::string name;
    PropPluginParameter<MidiModSource::MidiInput> input;
    PropPluginParameter<int> controllerNumber;
};

// The list "MIDI Sources": ten sets, 0 to 10 in use (none by default). MIDI
// Source n is modulation source 16 + (n-1); it owns no targets.
class MidiSourceParameterSetList : public SourceParameterSetList<MidiSourceParameterSet> {
public:
    static constexpr const char* listName = "MIDI Sources";
    static constexpr int capacity = 10;
    static constexpr int firstSource = 16;

    explicit MidiSourceParameterSetList(GenericPlugin& plugin);
};
