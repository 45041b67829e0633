#pragma once

#include "framework/AbstractPluginParameter.h"
#include "framework/ParameterText.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// An enumerated parameter: whole positions min..max that stand for the
// values of T (an enum, int or bool) they equal. Positions may carry option
// names ("LP,HP,BP"). The current position is an atomic: any thread may set
// it while others read it.
template <typename T> class IndexedPluginParameter : public AbstractPluginParameter {
public:
    IndexedPluginParameter(GenericParameterOwner* owner, std::string name, int kind = 0)
        : AbstractPluginParameter(owner, std::move(name), kind)
    {
        if constexpr (std::is_same_v<T, bool>)
            maxPosition = 1;
    }

    float normalize(float plain) const override
    {
        int range = maxPosition - minPosition;
        if (range <= 0)
            return 0.0f;
        return static_cast<float>(toInt(plain) - minPosition) / static_cast<float>(range);
    }

    // The nearest position.
    float denormalize(float normalized) const override
    {
        int range = maxPosition - minPosition;
        if (range <= 0)
            return static_cast<float>(minPosition);
        float r = static_cast<float>(range);
        int step = std::clamp(toInt(r * (0.5f / r + normalized)), 0, range);
        return static_cast<float>(minPosition + step);
    }

    std::string valueToText(float plain) const override
    {
        int p = toInt(plain);
        if (!names.empty() && p >= minPosition && p <= maxPosition) {
            auto n = static_cast<std::size_t>(p - minPosition);
            if (n < names.size())
                return names[n];
        }
        return std::to_string(static_cast<long long>(asNumber(valueAt(p))));
    }

    float getDefault() const override { return static_cast<float>(positionOf(defaultValue)); }
    float getMax() const override { return static_cast<float>(maxPosition); }
    float getMin() const override { return static_cast<float>(minPosition); }
    float getValue() const override { return static_cast<float>(position.load(std::memory_order_acquire)); }

    void setValue(float plain, int flag) override
    {
        if (std::isnan(plain))
            return;
        const int p = std::clamp(toInt(plain), minPosition, maxPosition);
        int now = position.load(std::memory_order_relaxed);
        do {
            if (p == now)
                return;
        } while (!position.compare_exchange_weak(now, p, std::memory_order_acq_rel, std::memory_order_relaxed));
        notifyOwner(static_cast<float>(p), flag);
    }

    bool isEnumerated() const override { return true; }
    bool isBoolean() const override { return std::is_same_v<T, bool>; }

    // Set-up, right after construction.
    void setRange(int min, int max)
    {
        minPosition = std::min(min, max);
        maxPosition = std::max(min, max);
    }
    void setDefaultValue(T value) { defaultValue = value; }
    void setDefault(float p)
    {
        defaultValue = valueAt(std::clamp(toInt(p), minPosition, maxPosition));
    }
    void setOptions(const std::string& commaSeparated) { names = splitOptionList(commaSeparated); }
    const std::vector<std::string>& getOptionNames() const { return names; }
    T getTypedValue() const { return valueAt(position.load(std::memory_order_acquire)); }
    // The value of T that position p stands for.
    T valueAt(int p) const
    {
        if constexpr (std::is_same_v<T, bool>)
            return p != 0;
        else
            return static_cast<T>(p);
    }
    int positionOf(T value) const { return static_cast<int>(asNumber(value)); }

protected:
    static int toInt(float v)
    {
        // Truncation as a C cast does it, with the float range kept within int.
        if (!(v > -2.0e9f))
            return -2000000000;
        if (!(v < 2.0e9f))
            return 2000000000;
        return static_cast<int>(v);
    }

private:
    static long long asNumber(T value)
    {
        if constexpr (std::is_enum_v<T>)
            return static_cast<long long>(static_cast<std::underlying_type_t<T>>(value));
        else
            return static_cast<long long>(value);
    }

    T defaultValue{};
    int maxPosition = 0;
    int minPosition = 0;
    std::vector<std::string> names;

    // The current position.
    std::atomic<int> position{0};
};
