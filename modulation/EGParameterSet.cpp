#include "modulation/EGParameterSet.h"

#include "modulation/EnvelopeGenerator.h"
#include "modulation/SourceDisplayCurves.h"
#include "modulation/Trigger.h"

namespace {

std::string egName(int index)
{
    return "EG " + std::to_string(index + 1);
}

void configureTime(ModulationTargetParameter& p, float span, const char* help)
{
    p.setRange(0.0f, 1.0f);
    ValueDisplay& seconds = p.getDisplay();
    seconds.setInner(SourceDisplayCurves::envelopeTime);
    seconds.setScale(span);
    seconds.setUnit("s");
    p.setDefault(0.0f);
    p.setHelpText(help);
    p.resetToDefault();
}

} // namespace

EGParameterSet::EGParameterSet(GenericPlugin& plugin, int index)
    : PluginParameterSet(plugin), name(egName(index)), threshold(this, name + " Threshold"),
      triggering(this, name + "Triggering"),
      attack(this, name + " Attack", plugin,
             EGParameterSetList::firstTarget + EGParameterSetList::targetsPerSet * index),
      decay(this, name + " Decay", plugin,
            EGParameterSetList::firstTarget + EGParameterSetList::targetsPerSet * index + 1),
      sustain(this, name + " Sustain", plugin,
              EGParameterSetList::firstTarget + EGParameterSetList::targetsPerSet * index + 2),
      release(this, name + " Release", plugin,
              EGParameterSetList::firstTarget + EGParameterSetList::targetsPerSet * index + 3)
{
}

void EGParameterSet::configureParameters()
{
    threshold.setRange(0.0f, 1.0f);
    threshold.getDisplay().setInner(SourceDisplayCurves::threshold);
    threshold.setDefault(0.3f);
    threshold.setHelpText(
        "The Threshold sets the input level that starts the envelope. It ends once the level has "
        "stayed below half the threshold for 15 ms.");
    threshold.resetToDefault();

    triggering.setRange(0, 2);
    triggering.setOptions(triggeringOptions);
    triggering.setDefaultValue(Triggering::NormalInput);
    triggering.setHelpText(
        "Triggering selects what starts the envelope: the level of the input signal, the level "
        "of the side-chain signal, or MIDI notes.");
    triggering.resetToDefault();

    configureTime(attack, 3.0f, "The Attack knob sets the time the envelope takes to rise from 0 to 1.");
    configureTime(decay, 5.0f,
                  "The Decay knob sets the time the envelope takes to fall from 1 to the sustain level.");

    sustain.setRange(0.0f, 1.0f);
    ValueDisplay& level = sustain.getDisplay();
    level.setOuter(SourceDisplayCurves::gainToDecibels);
    level.setUnit("dB");
    sustain.setDefault(1.0f);
    sustain.setHelpText(
        "The Sustain knob sets the level the envelope holds while the trigger or the note lasts.");
    sustain.resetToDefault();

    configureTime(release, 5.0f,
                  "The Release knob sets the time the envelope takes to fall back to 0 at the end.");
}

void EGParameterSet::bind(EnvelopeGenerator& eg, Trigger& trigger)
{
    threshold.bindProperty(trigger.threshold);
    triggering.bindProperty(eg.triggering);
}

EGParameterSetList::EGParameterSetList(GenericPlugin& plugin)
    : SourceParameterSetList<EGParameterSet>(plugin, listName, capacity, firstSource, firstTarget,
                                             targetsPerSet)
{
    setActiveRange(0, capacity, 0);
    configureSets();
}
