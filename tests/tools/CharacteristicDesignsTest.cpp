#include "CharacteristicDesigns.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

// The committed tables are exactly what the generator writes: nobody edits
// a .fil by hand, and nobody changes a design without regenerating.
TEST(CharacteristicDesigns, CommittedFilesAreTheGeneratorsOutput)
{
    ASSERT_EQ(factoryCharacteristicDesigns().size(), 10u);
    for (const CharacteristicDesign& d : factoryCharacteristicDesigns()) {
        const std::vector<std::uint8_t> bytes = encodeCharacteristic(d);
        EXPECT_EQ(testsupport::readFile(std::string(OSTRAND_RESOURCE_DIR) + "/" + d.fileName),
                  std::string(bytes.begin(), bytes.end()))
            << d.fileName << " differs from the generator; rebuild the 'characteristics' target";
    }
}

// What every characteristic promises, whatever its character: values in
// their ranges, a clean row 0, resonance that never falls as the peak rises,
// and self-oscillation only in the upper part of the peak range.
TEST(CharacteristicDesigns, DesignsStayWithinTheirRanges)
{
    for (const CharacteristicDesign& d : factoryCharacteristicDesigns()) {
        for (int r = 0; r < characteristicGridSize; ++r) {
            for (int c = 0; c < characteristicGridSize; ++c) {
                EXPECT_GE(d.drive[r][c], 0.1) << d.fileName;
                EXPECT_LE(d.drive[r][c], 10.0) << d.fileName;
                EXPECT_GE(d.saturation[r][c], 0.0) << d.fileName;
                EXPECT_LE(d.saturation[r][c], 0.1) << d.fileName;
                EXPECT_GE(d.resonance[r][c], 0.0) << d.fileName;
                EXPECT_LE(d.resonance[r][c], 4.35) << d.fileName;
                if (r == 0) {
                    EXPECT_EQ(d.resonance[r][c], 0.0) << d.fileName;
                    EXPECT_EQ(d.saturation[r][c], 0.0) << d.fileName;
                } else {
                    EXPECT_GE(d.resonance[r][c], d.resonance[r - 1][c]) << d.fileName << " " << r << "," << c;
                }
                if (r < 6) {
                    EXPECT_LE(d.resonance[r][c], 1.0) << d.fileName << " oscillates at peak " << r;
                }
            }
        }
    }
}
