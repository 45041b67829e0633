#pragma once

#include "filters/DesignFilterStyle.h"

#include <array>
#include <memory>
#include <vector>

// The process-wide list of table characteristics, in menu order, so that an
// entry's position is the Characteristic parameter's value. Loaded once,
// before the first filter processes audio, and shared read-only by every
// filter of every instance until the library is unloaded. "Clean" (the last
// menu entry) has no table and is not part of this list.
class FilterCharacteristics {
public:
    struct Factory {
        const char* menuText;
        const char* tableName;  // resource name plus extension
        float gainCompensation;
    };
    static constexpr int count = 10;
    static const std::array<Factory, count>& factory();

    // Loads the ten factory tables on first use (thread-safe); a missing
    // resource propagates the resource reader's error.
    static const FilterCharacteristics& shared();

    // Loads the given tables, in order (an empty name gives the neutral one).
    explicit FilterCharacteristics(const std::vector<Factory>& entries);

    int size() const { return static_cast<int>(styles.size()); }
    const DesignFilter::Style& operator[](int index) const { return *styles[static_cast<size_t>(index)]; }

private:
    std::vector<std::unique_ptr<DesignFilter::Style>> styles;
};
