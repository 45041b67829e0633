#pragma once

class AbstractPluginParameter;

// Whoever owns parameters: the plug-in itself or a parameter set that
// forwards to it. A parameter registers with its owner when it is built and
// reports every real change of its value back.
class GenericParameterOwner {
public:
    // Called by a parameter right after its value changed. Bit 0 of flag
    // marks a change that came from the host itself.
    virtual void parameterChanged(int index, float value, int flag) = 0;

    // Registers a parameter and returns its index in the plug-in's flat list.
    virtual int addParameter(AbstractPluginParameter* parameter) = 0;

protected:
    ~GenericParameterOwner() = default;
};
