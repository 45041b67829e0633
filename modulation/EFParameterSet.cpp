#include "modulation/EFParameterSet.h"

#include "modulation/SourceDisplayCurves.h"

namespace {

std::string efName(int index)
{
    return "EF " + std::to_string(index + 1);
}

void configureTime(ModulationTargetParameter& p, float shortest, float span, const char* help)
{
    p.setRange(0.0f, 1.0f);
    ValueDisplay& seconds = p.getDisplay();
    seconds.setInner(SourceDisplayCurves::envelopeTime);
    seconds.setScale(span);
    seconds.setOffset(shortest);
    seconds.setUnit("s");
    p.setDefault(0.0f);
    p.setHelpText(help);
    p.resetToDefault();
}

} // namespace

EFParameterSet::EFParameterSet(GenericPlugin& plugin, int index)
    : PluginParameterSet(plugin), name(efName(index)), input(this, name + "Input"),
      attack(this, name + " Attack", plugin,
             EFParameterSetList::firstTarget + EFParameterSetList::targetsPerSet * index),
      release(this, name + " Release", plugin,
              EFParameterSetList::firstTarget + EFParameterSetList::targetsPerSet * index + 1)
{
}

void EFParameterSet::configureParameters()
{
    input.setRange(0, 1);
    input.setOptions("Normal Input,Side Chain");
    input.setDefaultValue(normalInput);
    input.setHelpText(
        "Input selects the signal whose level the envelope follower follows: the input signal or the "
        "side-chain signal.");
    input.resetToDefault();
    configureTime(
        attack, 0.001f, 0.999f,
        "The Attack knob sets how fast the follower rises with the level (the time to cover 90 % of a "
        "step).");
    configureTime(
        release, 0.05f, 4.95f,
        "The Release knob sets how fast the follower falls with the level (the time to cover 90 % of a "
        "step).");
}

EFParameterSetList::EFParameterSetList(GenericPlugin& plugin)
    : SourceParameterSetList<EFParameterSet>(plugin, listName, capacity, firstSource, firstTarget,
                                             targetsPerSet)
{
    setActiveRange(0, capacity, 0);
    configureSets();
}
