#include "modulation/MidiModSource.h"

MidiModSource::MidiModSource(wave::Graph& graph)
    : wave::Source(graph, NoOwnBlock), input(this, MidiInput::ModWheel), controllerNumber(this, 0),
      ramp(graph, 0.0f)
{
    ramp.setLimits(-1.0f, 1.0f);
    // A change of 0.15 (30 % of this range) or more glides in the shortest time.
    ramp.setReferenceRange(0.5f);
    ramp.render(graph.getBlockSize());
    setLastBlock(ramp.getBlock());
    setConstant(true);
}

float MidiModSource::getStoredValue(int entry) const
{
    return entry >= 0 && entry < entryCount ? values[static_cast<std::size_t>(entry)] : 0.0f;
}

int MidiModSource::selectedEntry() const
{
    const int selected = static_cast<int>(input.get());
    if (selected >= 0 && selected < static_cast<int>(MidiInput::Controller))
        return modWheelEntry + selected;
    const int controller = controllerNumber.get();
    return controller >= 0 && controller < 128 ? controller : -1;
}

float MidiModSource::getSelectedValue() const
{
    return getStoredValue(selectedEntry());
}

void MidiModSource::store(int entry, float value)
{
    if (entry < 0 || entry >= entryCount)
        return;
    values[static_cast<std::size_t>(entry)] = value;
    if (entry == selectedEntry())
        ramp.setTarget(ParameterRamp::automaticTime, value);
}

int MidiModSource::process(wave::Block&, int numSamples, int flags)
{
    setConstant(ramp.produce(numSamples, flags));
    setLastBlock(ramp.getBlock());
    return numSamples;
}

void MidiModSource::channelPressure(float value)
{
    store(aftertouchEntry, value);
}

void MidiModSource::polyPressure(int, float value)
{
    store(aftertouchEntry, value);
}

void MidiModSource::controlChange(int controller, int, float value)
{
    // Controllers own entries 0..127 only; the entries after them hold the
    // other inputs.
    if (controller >= 0 && controller < modWheelEntry)
        store(controller, value);
}

void MidiModSource::modWheel(float value)
{
    store(modWheelEntry, value);
}

void MidiModSource::noteOn(int note, float velocity)
{
    store(velocityEntry, 2.0f * velocity - 1.0f);
    // 0 at note 48, +1 ten octaves (120 notes) up.
    store(keyEntry, static_cast<float>(note - 48) * 0.008333334f);
}

void MidiModSource::pitchBend(float value)
{
    store(pitchBendEntry, 2.0f * value);
}

void MidiModSource::propertyChanged(PropertyBase&)
{
    ramp.setTarget(ParameterRamp::automaticTime, getSelectedValue());
}
