#pragma once

#include <algorithm>
#include <cmath>
#include <type_traits>

// Binding between parameters (or GUI controls) and the objects that use a
// value. A DSP object exposes a Property and implements PropertyOwner; a
// parameter bound to the property pushes every new value into it. The owner
// hears about a value only when it really changed, so a redesign, a table
// rebuild or a rewiring runs once per change and never per block.

class PropertyBase;

class PropertyOwner {
public:
    // Called by a property of this owner after its value changed, on the
    // thread that set it (the audio thread for parameter-driven DSP values).
    virtual void propertyChanged(PropertyBase& property) = 0;

protected:
    ~PropertyOwner() = default;
};

class PropertyBase {
public:
    explicit PropertyBase(PropertyOwner* initialOwner = nullptr) : owner(initialOwner) {}
    PropertyBase(const PropertyBase&) = delete;
    PropertyBase& operator=(const PropertyBase&) = delete;

    PropertyOwner* getOwner() const { return owner; }
    void setOwner(PropertyOwner* newOwner) { owner = newOwner; }

protected:
    ~PropertyBase() = default;
    void notifyOwner()
    {
        if (owner)
            owner->propertyChanged(*this);
    }

private:
    PropertyOwner* owner;
};

// Two floats count as the same value when they differ by no more than the
// single-precision epsilon; every "only when it changes" rule uses this test.
inline constexpr float valueChangeEpsilon = 1.1920929e-7f;

template <typename T> inline bool valueDiffers(const T& a, const T& b)
{
    if constexpr (std::is_floating_point_v<T>)
        return std::fabs(a - b) > valueChangeEpsilon;
    else
        return !(a == b);
}

template <typename T> class Property : public PropertyBase {
public:
    using ValueType = T;

    explicit Property(PropertyOwner* initialOwner = nullptr, T initial = T{})
        : PropertyBase(initialOwner), value(initial)
    {
    }

    const T& get() const { return value; }
    operator const T&() const { return value; }

    // Stores the value and tells the owner, unless nothing changed.
    // Returns whether the value changed.
    bool set(const T& newValue)
    {
        if (!valueDiffers(value, newValue))
            return false;
        value = newValue;
        notifyOwner();
        return true;
    }

    Property& operator=(const T& newValue)
    {
        set(newValue);
        return *this;
    }

    // Stores the value without telling the owner: for an owner that sets
    // its own property and does the follow-up work itself, in its own way.
    void setQuietly(const T& newValue) { value = newValue; }

private:
    T value;
};

// A property with a range of its own; whoever pushes a value into it clamps
// to that range first, so a DSP object never sees a value it cannot handle.
template <typename T> class LimitedProperty : public Property<T> {
public:
    LimitedProperty(PropertyOwner* initialOwner, T max, T min, T initial)
        : Property<T>(initialOwner, std::clamp(initial, min, max)), maximum(max), minimum(min)
    {
    }

    T getMaximum() const { return maximum; }
    T getMinimum() const { return minimum; }
    T clampToRange(T v) const { return std::clamp(v, minimum, maximum); }

    bool set(const T& newValue) { return Property<T>::set(clampToRange(newValue)); }
    LimitedProperty& operator=(const T& newValue)
    {
        set(newValue);
        return *this;
    }

private:
    T maximum;
    T minimum;
};
