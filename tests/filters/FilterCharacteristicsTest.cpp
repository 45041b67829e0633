#include "filters/DesignFilterStyle.h"
#include "filters/FilterCharacteristics.h"
#include "persistence/Resource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void putWord(Bytes& b, std::uint32_t w)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
}

void putFloat(Bytes& b, float v)
{
    std::uint32_t w = 0;
    std::memcpy(&w, &v, 4);
    putWord(b, w);
}

// An "MFil" table written independently of the reader: every cell of table
// t (0 drive, 1 saturation, 2 resonance) is cell(t, row, column).
template <class Cell>
Bytes makeTable(const char* magic, std::uint32_t version, float k, float lo, float hi, int n, Cell cell)
{
    Bytes b(magic, magic + 4);
    putWord(b, version);
    putFloat(b, k);
    putFloat(b, lo);
    putFloat(b, hi);
    for (int t = 0; t < 3; ++t) {
        putWord(b, static_cast<std::uint32_t>(n));
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                putFloat(b, cell(t, r, c));
    }
    return b;
}

float columnCutoff(const DesignFilter::Style& s, int column)
{
    return s.lowestCutoff + static_cast<float>(column) / s.gridScale();
}

}  // namespace

// The menu order (a preset stores the position); what the tables hold is the
// generator's output (tests/tools), their header here read back.
TEST(FilterCharacteristics, FactoryListLoadsTheTenTablesInMenuOrder)
{
    const FilterCharacteristics& list = FilterCharacteristics::shared();
    ASSERT_EQ(list.size(), 10);
    const float k[10] = {0.3f, 0.181958f, 1.0f, 0.687329f, 0.913428f, 0.128784f, 0.31709f, 1.0f, 0.1f, 0.543188f};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(list[i].clipShapeFactor.get(), k[i]) << i;
        EXPECT_EQ(list[i].clipTable().shapeFactor(), k[i]) << i;
    }
    EXPECT_EQ(list[3].lowestCutoff.get(), 3.06152f);
    EXPECT_EQ(list[3].highestCutoff.get(), 15.6029f);
    EXPECT_EQ(list[0].gainCompensation(), 1.8f);
}

TEST(FilterCharacteristics, OneReadsBackItsDefiningRowsAndClampsAtTheGridEdges)
{
    const DesignFilter::Style& one = FilterCharacteristics::shared()[0];
    const float drive10[11] = {1.5f, 1.5f, 1.5f, 2, 2, 2.5f, 2.5f, 3, 4, 8, 8};
    const float saturation10[11] = {0.001f, 0.001f, 0.001f, 0.003f, 0.01f, 0.03f, 0.04f, 0.07f, 0.1f, 0.1f, 0.1f};
    const float resonance9[11] = {3.25f, 3.25f, 3.25f, 3.25f, 2.5f, 2.1f, 1.3f, 1.1f, 0.95f, 0.95f, 0.95f};
    const float resonance10[11] = {3.5f, 3.5f, 3.5f, 3.5f, 3, 2.5f, 1.5f, 1.2f, 1, 1, 1};
    for (int c = 0; c < 11; ++c) {
        const float cut = columnCutoff(one, c);
        for (int r = 0; r <= 4; ++r) {
            const auto s = one.getSettings(static_cast<float>(r) / 10.0f, cut);
            EXPECT_NEAR(s.drive, 2.5f, 1e-5f);
            EXPECT_NEAR(s.saturation, 0.0f, 1e-7f);
            EXPECT_NEAR(s.resonanceAmount, 0.05f * static_cast<float>(r), 1e-5f) << r << "," << c;
        }
        const auto top = one.getSettings(1.0f, cut);
        EXPECT_NEAR(top.drive, drive10[c], 1e-4f) << c;
        EXPECT_NEAR(top.saturation, saturation10[c], 1e-6f) << c;
        EXPECT_NEAR(top.resonanceAmount, resonance10[c], 1e-4f) << c;
        EXPECT_NEAR(one.getSettings(0.9f, cut).resonanceAmount, resonance9[c], 1e-4f) << c;
    }
    // Beyond the grid: the edge columns, no extrapolation; a peak above 1
    // stays on the last row.
    EXPECT_EQ(one.getSettings(1.0f, -5.0f).resonanceAmount, 3.5f);
    EXPECT_EQ(one.getSettings(1.0f, 30.0f).drive, 8.0f);
    EXPECT_EQ(one.getSettings(3.0f, 30.0f).drive, 8.0f);
    EXPECT_EQ(one.getSettings(std::nanf(""), std::nanf("")).resonanceAmount, 0.0f);
    // Halfway between rows 9 and 10 and columns 4 and 5: the mean of the corners.
    const float cut = 0.5f * (columnCutoff(one, 4) + columnCutoff(one, 5));
    EXPECT_NEAR(one.getSettings(0.95f, cut).resonanceAmount, (2.5f + 2.1f + 3.0f + 2.5f) / 4.0f, 1e-4f);
}

TEST(FilterCharacteristics, DefaultsAreThePlainFilterAndDriveNeverFallsBelowATenth)
{
    const DesignFilter::Style plain("", 1.0f);
    for (float peak : {0.0f, 0.1f, 0.35f, 0.5f, 0.95f, 1.0f}) {
        const auto s = plain.getSettings(peak, 10.0f);
        // Rows step by 0.1, and the last is held at 0.999.
        EXPECT_NEAR(s.resonanceAmount, std::min(peak, 0.9f) + std::max(peak - 0.9f, 0.0f) * 0.99f, 1e-5f);
        EXPECT_EQ(s.saturation, 0.0f);
        EXPECT_NEAR(s.drive, 0.1f, 1e-7f);
    }

    // A drive cell of 0 (or anything below 0.1) yields 0.1; values between
    // are interpolated as stored. The version is not checked.
    registerResource("LowDrive.fil", makeTable("MFil", 7, 0.5f, 2.0f, 12.0f, 11, [](int t, int, int c) {
                         return t == 0 ? 0.02f * static_cast<float>(c) : 0.0f;
                     }));
    const DesignFilter::Style low("LowDrive.fil", 1.0f);
    EXPECT_EQ(low.clipShapeFactor.get(), 0.5f);
    EXPECT_EQ(low.getSettings(0.5f, 2.0f).drive, 0.1f);
    EXPECT_NEAR(low.getSettings(0.5f, 12.0f).drive, 0.2f, 1e-6f);
    unregisterResource("LowDrive.fil");
}

TEST(FilterCharacteristics, DamagedTablesKeepWhatWasThere)
{
    // Wrong magic: nothing after the version is read; construction values
    // stay and the tables stay 0 (a plain filter without resonance).
    registerResource("BadMagic.fil", makeTable("MFiX", 1, 0.9f, 3.0f, 14.0f, 11, [](int, int, int) {
                         return 5.0f;
                     }));
    DesignFilter::Style bad("BadMagic.fil", 1.0f);
    EXPECT_EQ(bad.clipShapeFactor.get(), 0.3f);
    EXPECT_EQ(bad.lowestCutoff.get(), 2.2666f);
    const auto s = bad.getSettings(1.0f, 10.0f);
    EXPECT_EQ(s.resonanceAmount, 0.0f);
    EXPECT_EQ(s.saturation, 0.0f);
    EXPECT_EQ(s.drive, 0.1f);
    EXPECT_FALSE(bad.loadCharacteristic("BadMagic.fil"));
    unregisterResource("BadMagic.fil");

    // Truncated inside the saturation table: the drive table and the first
    // 30 saturation cells are read, the rest stay as they were.
    Bytes full = makeTable("MFil", 1, 0.7f, 2.0f, 12.0f, 11, [](int t, int r, int c) {
        return static_cast<float>(t * 1000 + r * 11 + c + 1);
    });
    full.resize(512 + 30 * 4 + 2);  // saturation values start at 512
    registerResource("Short.fil", full);
    DesignFilter::Style shortStyle("Short.fil", 1.0f);
    EXPECT_EQ(shortStyle.clipShapeFactor.get(), 0.7f);
    EXPECT_EQ(shortStyle.driveTable.value(10, 10), 121.0f);
    EXPECT_EQ(shortStyle.saturationTable.value(2, 7), 1000.0f + 30.0f);  // cell 29
    EXPECT_EQ(shortStyle.saturationTable.value(2, 8), 0.0f);             // cell 30 was cut
    EXPECT_EQ(shortStyle.resonanceTable.value(0, 0), 0.0f);
    EXPECT_FALSE(shortStyle.loadCharacteristic("Short.fil"));
    // A load over existing values only overwrites what it reads.
    shortStyle.resonanceTable.setValue(3, 3, 42.0f);
    shortStyle.loadCharacteristic("Short.fil");
    EXPECT_EQ(shortStyle.resonanceTable.value(3, 3), 42.0f);
    unregisterResource("Short.fil");

    // A size no table can have ends the load instead of allocating it.
    full[23] = 0x7f;
    registerResource("Huge.fil", full);
    EXPECT_EQ(DesignFilter::Style("Huge.fil", 1.0f).driveTable.value(5, 5), 0.0f);
    unregisterResource("Huge.fil");

    EXPECT_THROW(DesignFilter::Style("NoSuchTable.fil", 1.0f), EResource);
}
