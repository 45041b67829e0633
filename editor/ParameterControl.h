#pragma once

#include <string>

class AbstractPluginParameter;

// What a control that stands for a parameter hears from its binding besides
// its value: which parameter it shows now (its name, options and help), and
// the value as the parameter writes it ("1.250 kHz", "HP").
class ParameterControl {
public:
    virtual void parameterBound(const AbstractPluginParameter&) {}
    virtual void valueTextChanged(const std::string&) {}

protected:
    ~ParameterControl() = default;
};
