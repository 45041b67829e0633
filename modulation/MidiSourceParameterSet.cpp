#include "modulation/MidiSourceParameterSet.h"

MidiSourceParameterSet::MidiSourceParameterSet(GenericPlugin& plugin, int index)
    : PluginParameterSet(plugin), name("MIDI Source " + std::to_string(index + 1)),
      input(this, name + " Input"), controllerNumber(this, name + " Controller Number")
{
}

void MidiSourceParameterSet::configureParameters()
{
    input.setRange(0, 5);
    input.setOptions(MidiModSource::midiInputOptions);
    input.setDefaultValue(MidiModSource::MidiInput::ModWheel);
    input.setHelpText(
        "Input selects the MIDI data that drives this source: the modulation wheel, pitch bend, note "
        "velocity, aftertouch, the key of the last note (KB Track) or any controller.");
    input.resetToDefault();
    controllerNumber.setRange(0, 127);
    controllerNumber.setDefaultValue(0);
    controllerNumber.setHelpText("The number of the MIDI controller that drives this source when Input is "
                                 "Controller.");
    controllerNumber.resetToDefault();
}

void MidiSourceParameterSet::bind(MidiModSource& source)
{
    input.bindProperty(source.input);
    controllerNumber.bindProperty(source.controllerNumber);
}

MidiSourceParameterSetList::MidiSourceParameterSetList(GenericPlugin& plugin)
    : SourceParameterSetList<MidiSourceParameterSet>(plugin, listName, capacity, firstSource)
{
    setActiveRange(0, capacity, 0);
    configureSets();
}
