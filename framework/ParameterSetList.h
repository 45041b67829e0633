#pragma once

#include "framework/AbstractParameterSetList.h"
#include "framework/PluginParameterSet.h"

#include <functional>
#include <memory>
#include <vector>

// A list of sets of type T, all created up to the capacity when the list is
// built and owned by it. The "Num Active" parameter comes first in the flat
// parameter list, then set 0's parameters, set 1's, and so on.
template <typename T> class ParameterSetList : public AbstractParameterSetList {
public:
    // Makes set i; by default T(plugin, i).
    using Factory = std::function<std::unique_ptr<T>(GenericPlugin&, int)>;

    ParameterSetList(GenericPlugin& owner, const std::string& title, int capacity, Factory factory = {})
        : AbstractParameterSetList(owner, title, capacity)
    {
        sets.reserve(static_cast<std::size_t>(capacity));
        for (int i = 0; i < capacity; ++i)
            sets.push_back(factory ? factory(owner, i) : std::make_unique<T>(owner, i));
    }

    int count() const override { return static_cast<int>(sets.size()); }
    T* get(int i) const override
    {
        return i >= 0 && i < count() ? sets[static_cast<std::size_t>(i)].get() : nullptr;
    }
    T& operator[](int i) const { return *sets[static_cast<std::size_t>(i)]; }

private:
    std::vector<std::unique_ptr<T>> sets;
};
