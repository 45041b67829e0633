#include "effect/FilterParameterSet.h"

#include "effect/EffectDisplayCurves.h"
#include "effect/EffectHelpTexts.h"
#include "filters/MultiDesignFilter.h"

namespace {

std::string filterName(int index)
{
    return "Filter " + std::to_string(index + 1);
}

int target(int index, int j)
{
    return FilterParameterSetList::firstTarget + FilterParameterSetList::targetsPerSet * index + j;
}

// The cut-off grid of the characteristic tables, log2 Hz (about 4.8 Hz to
// 75.6 kHz): the Freq knob's 0..1 spans it.
constexpr float lowestOctave = 2.2666f;
constexpr float highestOctave = 16.2064f;

} // namespace

FilterParameterSet::FilterParameterSet(GenericPlugin& plugin, int setIndex)
    : PluginParameterSet(plugin), name(filterName(setIndex)),
      freq(this, name + " Freq", plugin, target(setIndex, 0)), pan(this, name + " Pan", plugin, target(setIndex, 1)),
      peak(this, name + " Peak", plugin, target(setIndex, 2)), characteristic(this, name + " Characteristic"),
      response(this, name + " Response"), slope(this, name + " Slope"),
      delay(this, name + " Delay", plugin, target(setIndex, 3)), enabled(this, name + " Enabled"),
      linked(this, name + " Linked"), index(setIndex)
{
}

void FilterParameterSet::configureParameters()
{
    freq.setRange(0.0f, 1.0f);
    freq.setDisplayRange(lowestOctave, highestOctave);
    freq.getDisplay().setOuter(EffectDisplayCurves::octavesToHertz);
    freq.getDisplay().setUnit("Hz");
    freq.setDefault(1.0f);
    freq.setHelpText(EffectHelpTexts::filterFreq);
    freq.resetToDefault();

    pan.setRange(-3.5f, 3.5f);
    pan.getDisplay().setOuter(EffectDisplayCurves::filterPanShown);
    pan.setDefault(0.0f);
    pan.setHelpText(EffectHelpTexts::filterPan);
    pan.resetToDefault();

    peak.setRange(0.0f, 1.0f);
    peak.setDefault(0.0f);
    peak.setHelpText(EffectHelpTexts::filterPeak);
    peak.resetToDefault();

    characteristic.setRange(0, characteristicCount - 1);
    characteristic.setOptions(characteristicOptions);
    characteristic.setDefaultValue(defaultCharacteristic);
    characteristic.setHelpText(EffectHelpTexts::filterCharacteristic);
    characteristic.resetToDefault();

    response.setRange(GenericFilter::lowPass, GenericFilter::bandPass);
    response.setOptions("LP,HP,BP");
    response.setDefaultValue(GenericFilter::lowPass);
    response.setHelpText(EffectHelpTexts::filterResponse);
    response.resetToDefault();

    slope.setRange(GenericFilter::slope12, GenericFilter::slope48);
    slope.setOptions("12,24,48");
    slope.setDefaultValue(GenericFilter::slope12);
    slope.setHelpText(EffectHelpTexts::filterSlope);
    slope.resetToDefault();

    delay.setRange(0.0f, 1.0f);
    delay.getDisplay().setInner(EffectDisplayCurves::delayCurve);
    delay.setDisplayRange(0.0f, 50.0f);
    delay.getDisplay().setUnit("ms");
    delay.setDefault(0.0f);
    delay.setHelpText(EffectHelpTexts::filterDelay);
    delay.resetToDefault();

    enabled.setRange(0, 1);
    enabled.setOptions("Disabled,Enabled");
    enabled.setDefaultValue(true);
    enabled.resetToDefault();

    linked.setRange(0, 1);
    linked.setOptions("Unlinked,Linked");
    linked.setDefaultValue(false);
    linked.setHelpText(EffectHelpTexts::filterLinked);
    linked.resetToDefault();
}

void FilterParameterSet::bind(MultiDesignFilter& filter)
{
    characteristic.bindProperty(filter.characteristic);
    response.bindProperty(filter.response);
    slope.bindProperty(filter.slope);
}

FilterParameterSetList::FilterParameterSetList(GenericPlugin& plugin)
    : TargetParameterSetList<FilterParameterSet>(plugin, listName, capacity, firstTarget, targetsPerSet)
{
    setActiveRange(1, capacity, 1);
    configureSets();
}
