#pragma once

#include "framework/Property.h"

#include <vector>

// One setting of a characteristic (drive, saturation or resonance amount)
// over the grid of peak steps (rows) and cut-off steps (columns).
//
// The storage has one row and one column more than the grid; they stay 0
// and let the interpolation at the upper edge read inside the table. Beside
// the values the table keeps each row's differences to the next column, so
// that a lookup costs two multiply-adds per row.
class FilterSettingTable : public PropertyOwner {
public:
    // Largest grid a table accepts; a factory table has 11 steps.
    static constexpr int maxSize = 64;

    FilterSettingTable();
    virtual ~FilterSettingTable() = default;
    FilterSettingTable(const FilterSettingTable&) = delete;
    FilterSettingTable& operator=(const FilterSettingTable&) = delete;

    // Grid size n. Setting it reallocates n + 1 rows of n + 1 zeros (n is
    // held within 1..maxSize).
    Property<int> size;

    // The grid size actually stored (size held within 1..maxSize).
    int steps() const { return storedSize; }

    float value(int row, int column) const { return values[index(row, column)]; }
    float difference(int row, int column) const { return differences[index(row, column)]; }
    void setValue(int row, int column, float v) { values[index(row, column)] = v; }

    // difference[r][c] = value[r][c + 1] - value[r][c] for c < n - 1; the last
    // column of each row gets 0. Run after every load.
    void recomputeDifferences();

    // Bilinear value at row i + ty, column j + tx (i, j within the grid;
    // they are held inside it for any other value).
    float interpolate(int i, int j, float tx, float ty) const;

    void propertyChanged(PropertyBase& property) override;

private:
    int stride() const { return storedSize + 1; }
    size_t index(int row, int column) const { return static_cast<size_t>(row * stride() + column); }
    void allocate(int n);

    int storedSize = 0;
    std::vector<float> values;
    std::vector<float> differences;
};
