#pragma once

#include "framework/GenericParameterOwner.h"

#include <string>

class ValueDisplay;

// Base of every plug-in parameter: a named value with a range, a default and
// a text form, that converts between its plain value and the normalized
// 0..1 value of hosts and controls. All values cross this interface as
// float, enumerations as their position.
//
// Threads: parameters are set on any thread (the host's control thread, the
// editor's thread, the audio thread for MIDI and for hosts that apply their
// controls there) and read on any; the value is an atomic and nothing locks.
// The owner queues the index of every change; the audio thread then reads
// the current value and hands it to updateProperties.
class AbstractPluginParameter {
public:
    // Registers the parameter with its owner, which fixes its index.
    AbstractPluginParameter(GenericParameterOwner* owner, std::string name, int kind = 0);
    virtual ~AbstractPluginParameter();
    AbstractPluginParameter(const AbstractPluginParameter&) = delete;
    AbstractPluginParameter& operator=(const AbstractPluginParameter&) = delete;

    virtual float normalize(float plain) const = 0;
    virtual float denormalize(float normalized) const = 0;
    virtual std::string valueToText(float plain) const = 0;
    virtual float getDefault() const = 0;
    virtual float getMax() const = 0;
    virtual float getMin() const = 0;
    virtual float getValue() const = 0;
    // Clamps, stores and reports a real change to the owner. Bit 0 of flag
    // marks a value that came from the host.
    virtual void setValue(float plain, int flag) = 0;
    // Audio thread: pushes the value the parameter holds into the DSP
    // objects bound to this parameter.
    virtual void updateProperties(float plain);
    // True for parameters whose positions carry names or a value list;
    // hosts show them as lists rather than as continuous controls.
    virtual bool isEnumerated() const { return false; }
    // True for on/off parameters (two positions standing for false and
    // true); hosts show them as switches.
    virtual bool isBoolean() const { return false; }
    // The display that turns the plain value into the number and unit of
    // the text, for parameters that have one (null otherwise); text entry
    // and hosts that show units read it.
    virtual const ValueDisplay* getValueDisplay() const { return nullptr; }

    int getIndex() const { return parameterIndex; }
    const std::string& getName() const { return parameterName; }
    const std::string& getHelpText() const { return parameterHelp; }
    void setHelpText(std::string text) { parameterHelp = std::move(text); }
    GenericParameterOwner* getOwner() const { return parameterOwner; }
    int getKind() const { return parameterKind; }
    // Whether a host may record automation for this parameter (on by default).
    bool isAutomatable() const { return automatable; }
    void setAutomatable(bool on) { automatable = on; }

    float getNormalized() const { return normalize(getValue()); }
    std::string getText() const { return valueToText(getValue()); }
    // Brings the value to the default without telling the host it came from it.
    void resetToDefault() { setValue(getDefault(), 0); }

protected:
    void notifyOwner(float value, int flag)
    {
        if (parameterOwner)
            parameterOwner->parameterChanged(parameterIndex, value, flag);
    }

private:
    bool automatable = true;
    int parameterIndex = -1;
    std::string parameterName;
    std::string parameterHelp;
    GenericParameterOwner* parameterOwner;
    int parameterKind;
};
