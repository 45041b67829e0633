#pragma once

#include "framework/FloatPluginParameter.h"
#include "framework/IndexedPluginParameter.h"
#include "framework/Property.h"

#include <algorithm>
#include <type_traits>
#include <vector>

// A parameter bound to properties of DSP (or GUI) objects. On the audio
// thread, updateProperties turns the plain value into the property value and
// pushes it into every bound property; a property tells its owner only when
// its value really changed. P is the property type, B the parameter family
// (FloatPluginParameter or IndexedPluginParameter<T>).
template <typename P, typename B> class GenericPropPluginParameter : public B {
public:
    using PropertyType = P;
    using PropertyValue = typename P::ValueType;

    using B::B;

    // Binds a property; it receives every later value. Bind while building,
    // before the audio thread runs.
    void bindProperty(P& property) { properties.push_back(&property); }
    void unbindProperty(P& property) { std::erase(properties, &property); }
    const std::vector<P*>& getProperties() const { return properties; }

    void updateProperties(float plain) override
    {
        PropertyValue v = propertyValueFor(plain);
        for (P* p : properties)
            p->set(v);
    }

protected:
    // The value a bound property receives for a plain parameter value: the
    // value itself for a float, the value of T at the position for an
    // enumeration. LimitedProperty clamps it to its own range on the way in.
    virtual PropertyValue propertyValueFor(float plain) const
    {
        if constexpr (std::is_base_of_v<FloatPluginParameter, B>)
            return static_cast<PropertyValue>(plain);
        else
            return this->valueAt(std::clamp(B::toInt(plain), static_cast<int>(this->getMin()),
                                            static_cast<int>(this->getMax())));
    }

private:
    std::vector<P*> properties;
};
