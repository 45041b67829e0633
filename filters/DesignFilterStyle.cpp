#include "filters/DesignFilterStyle.h"

#include "persistence/BinaryResourceReader.h"

#include <algorithm>
#include <cstdint>

namespace {

// Position inside [0, last]; NaN reads as 0.
float holdInside(float x, float last)
{
    return x > 0.0f ? std::min(x, last) : 0.0f;
}

}  // namespace

DesignFilter::Style::Style(const std::string& tableName, float gainCompensation)
    : clipShapeFactor(this, defaultShapeFactor), lowestCutoff(this, defaultLowestCutoff),
      highestCutoff(this, defaultHighestCutoff), gridSize(this, defaultGridSize), clip(defaultShapeFactor),
      compensation(gainCompensation)
{
    updateScale();
    if (tableName.empty())
        setDefaults();
    else
        loadCharacteristic(tableName);
}

void DesignFilter::Style::propertyChanged(PropertyBase& property)
{
    if (&property == &clipShapeFactor)
        clip.setShapeFactor(clipShapeFactor);
    if (&property == &gridSize) {
        driveTable.size = gridSize.get();
        saturationTable.size = gridSize.get();
        resonanceTable.size = gridSize.get();
    }
    updateScale();
}

void DesignFilter::Style::updateScale()
{
    const float span = highestCutoff - lowestCutoff;
    scale = span != 0.0f ? static_cast<float>(gridSize - 1) / span : 0.0f;
}

bool DesignFilter::Style::loadCharacteristic(const std::string& tableName)
{
    BinaryResourceReader reader(tableName);
    return readCharacteristic(reader);
}

bool DesignFilter::Style::readCharacteristic(BinaryDataReader& in)
{
    if (!in.readHeader("MFil"))
        return false;

    // Each value is taken only when it was really read, so a short table
    // keeps whatever it held before for the rest.
    for (Property<float>* field : {&clipShapeFactor, &lowestCutoff, &highestCutoff}) {
        const float v = in.readFloat();
        if (!in.ok())
            return false;
        *field = v;
    }

    bool complete = true;
    for (FilterSettingTable* table : {&driveTable, &saturationTable, &resonanceTable}) {
        const int32_t n = in.readInt();
        // A count the format cannot mean (a damaged table) ends the load like
        // a short one does.
        if (!in.ok() || n < 1 || n > FilterSettingTable::maxSize) {
            complete = false;
            break;
        }
        table->size = n;
        for (int r = 0; r < n && complete; ++r) {
            for (int c = 0; c < n && complete; ++c) {
                const float v = in.readFloat();
                complete = in.ok();
                if (complete)
                    table->setValue(r, c, v);
            }
        }
        if (!complete)
            break;
    }
    driveTable.recomputeDifferences();
    saturationTable.recomputeDifferences();
    resonanceTable.recomputeDifferences();
    return complete;
}

void DesignFilter::Style::setDefaults()
{
    const int n = std::min({driveTable.steps(), saturationTable.steps(), resonanceTable.steps()});
    const float lastRow = static_cast<float>(std::max(n - 1, 1));
    for (int r = 0; r < n; ++r) {
        const float amount = std::min(static_cast<float>(r) / lastRow, 0.999f);
        for (int c = 0; c < n; ++c) {
            resonanceTable.setValue(r, c, amount);
            saturationTable.setValue(r, c, 0.0f);
            driveTable.setValue(r, c, 0.1f);
        }
    }
    driveTable.recomputeDifferences();
    saturationTable.recomputeDifferences();
    resonanceTable.recomputeDifferences();
}

StateVariableFilter::Settings DesignFilter::Style::getSettings(float peak, float cutoff) const
{
    const float last = static_cast<float>(gridSize - 1);
    const float x = holdInside((cutoff - lowestCutoff) * scale, last);
    const int j = static_cast<int>(x);
    const float tx = x - static_cast<float>(j);
    // The row position is held inside the grid too, so a peak above 1 (or a
    // NaN) can never address rows beyond the table.
    const float y = holdInside(last * peak, last);
    const int i = static_cast<int>(y);
    const float ty = y - static_cast<float>(i);

    const float amount = resonanceTable.interpolate(i, j, tx, ty);
    const float c = saturationTable.interpolate(i, j, tx, ty);
    const float d = driveTable.interpolate(i, j, tx, ty);
    return {amount, c, d >= 0.1f ? d : 0.1f};
}
