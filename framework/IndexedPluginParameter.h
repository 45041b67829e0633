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

// An enumerated parameter: whole positions min..max that stand for values of
// T (an enum, int or bool). Without a value table position p is the value
// itself; with one, position p stands for table[p - first]. Positions may
// carry option names ("LP,HP,BP"), and (limit, key) pairs can restrict the
// usable positions depending on another setting's value. The current
// position is an atomic: any thread may set it while others read it.
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

    float normalizeFor(float plain, int key) const override
    {
        if (limits.empty())
            return normalize(plain);
        Group g = groupFor(key);
        float lo = static_cast<float>(g.lo);
        float hi = static_cast<float>(g.hi);
        if (plain > lo && plain <= hi)
            return (plain - lo) / (hi - lo);
        return 0.0f;
    }

    bool denormalizeFor(float normalized, int key, float& plain) const override
    {
        if (limits.empty())
            return AbstractPluginParameter::denormalizeFor(normalized, key, plain);
        Group g = groupFor(key);
        int width = std::max(g.hi - g.lo, 0);
        int i = std::clamp(toInt(std::nearbyint(normalized * static_cast<float>(width))), 0, width);
        plain = static_cast<float>(g.lo + i);
        return !(i == 0 && !g.startsAtMin);
    }

    int getLimitForKey(int key) const override
    {
        for (const auto& [limit, k] : limits)
            if (k == key)
                return limit;
        return -1;
    }

    std::string valueToText(float plain) const override
    {
        int p = toInt(plain);
        if (!names.empty() && p >= minPosition && p <= maxPosition) {
            auto n = static_cast<std::size_t>(p - namesOrigin());
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
        // The position of the value p stands for: with a table that lists a
        // value twice, its first place.
        const int stored = positionOf(valueAt(p));
        int now = position.load(std::memory_order_relaxed);
        do {
            if (p == now)
                return;
        } while (!position.compare_exchange_weak(now, stored, std::memory_order_acq_rel, std::memory_order_relaxed));
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
    // The table must outlive the parameter (normally a static array). The
    // current value stays; its position is looked up in the new table.
    void setValueTable(const T* values, int count, int firstPosition)
    {
        const T value = getTypedValue();
        table = count > 0 ? values : nullptr;
        tableCount = table ? count : 0;
        tableFirst = firstPosition;
        position.store(positionOf(value), std::memory_order_release);
    }
    void setOptions(const std::string& commaSeparated) { names = splitOptionList(commaSeparated); }
    // Restricts the usable positions for keys up to key to end at limit.
    void addLimit(int limit, int key)
    {
        auto at =
            std::find_if(limits.begin(), limits.end(), [key](const auto& pair) { return pair.second > key; });
        limits.insert(at, {limit, key});
    }

    const std::vector<std::string>& getOptionNames() const { return names; }
    T getTypedValue() const { return valueAt(position.load(std::memory_order_acquire)); }
    T getTypedDefault() const { return defaultValue; }
    // The value of T that position p stands for (clamped to the table).
    T valueAt(int p) const
    {
        if (table)
            return table[std::clamp(p - tableFirst, 0, tableCount - 1)];
        if constexpr (std::is_same_v<T, bool>)
            return p != 0;
        else
            return static_cast<T>(p);
    }
    // The position of a value: its table index plus the table's first
    // position, the first position when it is not in the table, or the
    // value itself without a table.
    int positionOf(T value) const
    {
        if (!table)
            return static_cast<int>(asNumber(value));
        for (int i = 0; i < tableCount; ++i)
            if (table[i] == value)
                return i + tableFirst;
        return tableFirst;
    }

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
    struct Group {
        int lo;
        int hi;
        bool startsAtMin;
    };

    // The positions key may use: after the limits of all smaller keys, up to
    // the limit of the first key at or above it.
    Group groupFor(int key) const
    {
        Group g{minPosition, maxPosition, true};
        for (const auto& [limit, k] : limits) {
            if (key > k) {
                g.lo = limit;
                g.startsAtMin = false;
            } else {
                g.hi = limit;
                break;
            }
        }
        return g;
    }

    int namesOrigin() const { return table ? tableFirst : minPosition; }

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
    const T* table = nullptr;
    int tableCount = 0;
    int tableFirst = 0;
    std::vector<std::string> names;
    std::vector<std::pair<int, int>> limits; // (limit, key), ascending key

    // The position of the current value (its first place in the table).
    std::atomic<int> position{0};
};
