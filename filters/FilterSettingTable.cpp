#include "filters/FilterSettingTable.h"

#include <algorithm>

FilterSettingTable::FilterSettingTable() : size(this, 0)
{
    size = 11;
}

void FilterSettingTable::propertyChanged(PropertyBase&)
{
    allocate(size);
}

void FilterSettingTable::allocate(int n)
{
    storedSize = std::clamp(n, 1, maxSize);
    const auto cells = static_cast<size_t>(stride() * stride());
    values.assign(cells, 0.0f);
    differences.assign(cells, 0.0f);
}

void FilterSettingTable::recomputeDifferences()
{
    const int n = storedSize;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c + 1 < n; ++c)
            differences[index(r, c)] = value(r, c + 1) - value(r, c);
        differences[index(r, n - 1)] = 0.0f;
    }
}

float FilterSettingTable::interpolate(int i, int j, float tx, float ty) const
{
    i = std::clamp(i, 0, storedSize - 1);
    j = std::clamp(j, 0, storedSize - 1);
    const float a = value(i, j) + difference(i, j) * tx;
    const float b = value(i + 1, j) + difference(i + 1, j) * tx;
    return a + (b - a) * ty;
}
