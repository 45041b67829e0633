#include "modulation/XLFOParameterSet.h"

#include "framework/GenericPlugin.h"
#include "modulation/SourceDisplayCurves.h"
#include "modulation/XLFOFreqController.h"

namespace {

constexpr int firstTarget = 16;
constexpr int targetsPerXLFO = 3;
constexpr int maxSteps = XLFO::maxSteps;

std::string xlfoName(int index)
{
    return "XLFO " + std::to_string(index + 1);
}

} // namespace

// --- StepParameterSet ---

XLFOParameterSet::StepParameterSet::StepParameterSet(GenericPlugin& plugin, int index,
                                                     const std::string& xlfo)
    : PluginParameterSet(plugin), value(this, xlfo + " Step " + std::to_string(index + 1) + " Value"),
      glide(this, xlfo + " Step " + std::to_string(index + 1) + " Glide"),
      glideFunction(this, xlfo + " Step " + std::to_string(index + 1) + " Glide function"),
      random(this, xlfo + " Step " + std::to_string(index + 1) + " Random")
{
}

void XLFOParameterSet::StepParameterSet::configureParameters()
{
    value.setRange(-1.0f, 1.0f);
    value.setDefault(0.0f);
    value.setHelpText("The step's value, from -1 at the bottom to 1 at the top.");
    value.resetToDefault();
    glide.setRange(0.0f, 1.0f);
    glide.setDefault(0.0f);
    glide.setHelpText("How much of the step glides into the next step's value, added to the XLFO's Glide.");
    glide.resetToDefault();
    glideFunction.setRange(0, 3);
    glideFunction.setOptions(XLFO::glideCurveOptions);
    glideFunction.setDefaultValue(XLFO::GlideCurve::Linear);
    glideFunction.setHelpText("The shape of the glide into the next step.");
    glideFunction.resetToDefault();
    random.setOptions("Fixed,Random");
    random.setDefaultValue(false);
    random.setHelpText(
        "A random step takes a new value on every pass, never closer than 0.2 to the step before it.");
    random.resetToDefault();
}

void XLFOParameterSet::StepParameterSet::bind(XLFO::Step& step)
{
    value.bindProperty(step.value);
    glide.bindProperty(step.glide);
    glideFunction.bindProperty(step.glideCurve);
    random.bindProperty(step.random);
}

// --- StepParameterSetList ---

XLFOParameterSet::StepParameterSetList::StepParameterSetList(GenericPlugin& plugin, const std::string& xlfo)
    : ParameterSetList<StepParameterSet>(
          plugin, xlfo + " Steps", maxSteps,
          [xlfo](GenericPlugin& owner, int i) { return std::make_unique<StepParameterSet>(owner, i, xlfo); })
{
    setActiveRange(1, maxSteps, 2);
}

void XLFOParameterSet::StepParameterSetList::bind(XLFO& xlfo)
{
    getNumActiveParameter().bindProperty(xlfo.numSteps);
    for (int i = 0; i < count(); ++i)
        (*this)[i].bind(xlfo.getStep(i));
}

// --- XLFOParameterSet ---

XLFOParameterSet::XLFOParameterSet(GenericPlugin& plugin, int index)
    : PluginParameterSet(plugin), name(xlfoName(index)),
      frequency(this, name + " Frequency", plugin, firstTarget + targetsPerXLFO * index),
      frequencyOffset(this, name + " Frequency Offset", plugin, firstTarget + targetsPerXLFO * index + 1),
      balance(this, name + " Balance"),
      glide(this, name + " Glide", plugin, firstTarget + targetsPerXLFO * index + 2),
      syncMode(this, name + " Sync Mode"), midiTrigger(this, name + " MIDI Trigger"), steps(plugin, name)
{
}

void XLFOParameterSet::configureParameters()
{
    frequency.setRange(0.0f, 1.0f);
    ValueDisplay& hz = frequency.getDisplay();
    hz.setInner(SourceDisplayCurves::xlfoFrequency);
    hz.setScale(499.98f);
    hz.setOffset(0.02f);
    hz.setUnit("Hz");
    frequency.setDefault(SourceDisplayCurves::xlfoOneHertz);
    frequency.setHelpText(
        "The Frequency knob sets how many cycles the XLFO runs per second. In a sync mode the "
        "cycle follows the host's tempo instead.");
    frequency.resetToDefault();

    frequencyOffset.setRange(-1.0f, 1.0f);
    frequencyOffset.getDisplay().setInner(SourceDisplayCurves::octaves);
    frequencyOffset.setDefault(0.0f);
    frequencyOffset.setHelpText(
        "The Frequency Offset multiplies the tempo-synchronized rate by 0.5 to 2. At its "
        "centre the XLFO stays locked to the host's bars.");
    frequencyOffset.resetToDefault();

    balance.setRange(0.0f, 1.0f);
    balance.setDefault(0.5f);
    balance.setHelpText(
        "The Balance knob sets the share of the cycle taken by its first half. At the centre both "
        "halves are equally long.");
    balance.resetToDefault();

    glide.setRange(-1.0f, 1.0f);
    glide.setDefault(0.0f);
    glide.setHelpText(
        "The Glide knob adds to the glide of every step: turned up, the steps slide into each other; "
        "turned fully down, no step glides.");
    glide.resetToDefault();

    syncMode.setRange(0, syncModeCount - 1);
    syncMode.setOptions(syncModeOptions);
    syncMode.setDefaultValue(SyncMode::Free);
    syncMode.setHelpText(
        "The Sync Mode sets the cycle length in bars of the host's tempo, or Free for a rate in "
        "Hz.");
    syncMode.resetToDefault();

    midiTrigger.setOptions("Off,On");
    midiTrigger.setDefaultValue(false);
    midiTrigger.setHelpText("With MIDI Trigger on, every MIDI note restarts the XLFO at its first step.");
    midiTrigger.resetToDefault();

    steps.configureSets();
}

void XLFOParameterSet::bind(XLFO& xlfo, XLFOFreqController& controller)
{
    balance.bindProperty(xlfo.balance);
    syncMode.bindProperty(controller.syncMode);
    midiTrigger.bindProperty(xlfo.midiTrigger);
    steps.bind(xlfo);
}

void XLFOParameterSet::copyStepsFrom(const XLFOParameterSet& other)
{
    if (&other == this)
        return;
    steps.getNumActiveParameter().setValue(static_cast<float>(other.steps.getNumActive()), 0);
    for (int i = 0; i < steps.count(); ++i) {
        const StepParameterSet& from = other.steps[i];
        StepParameterSet& to = steps[i];
        for (int j = 0; j < to.size(); ++j)
            to.get(j).setValue(from.get(j).getValue(), 0);
    }
}

void XLFOParameterSet::resetSteps()
{
    AbstractParameterSetList::NumActiveParameter& count = steps.getNumActiveParameter();
    count.setValue(count.getDefault(), 0);
    for (int i = 0; i < steps.count(); ++i)
        steps.resetSet(i);
}

void XLFOParameterSet::addToComponent(GenericPlugin& plugin, int kind, int instance)
{
    plugin.addToComponent(kind, instance, *this);
    plugin.addToComponent(kind, instance, steps);
}
