#pragma once

#include "framework/GenericPropPluginParameter.h"

// An enumerated parameter bound to Property<T> objects.
template <typename T>
class PropPluginParameter : public GenericPropPluginParameter<Property<T>, IndexedPluginParameter<T>> {
public:
    PropPluginParameter(GenericParameterOwner* owner, std::string name, int kind = 0)
        : GenericPropPluginParameter<Property<T>, IndexedPluginParameter<T>>(owner, std::move(name), kind)
    {
    }
};
