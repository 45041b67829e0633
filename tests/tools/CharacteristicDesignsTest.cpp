#include "CharacteristicDesigns.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

float floatAt(const std::vector<std::uint8_t>& b, size_t offset)
{
    const std::uint32_t w = static_cast<std::uint32_t>(b[offset]) | static_cast<std::uint32_t>(b[offset + 1]) << 8 |
                            static_cast<std::uint32_t>(b[offset + 2]) << 16 |
                            static_cast<std::uint32_t>(b[offset + 3]) << 24;
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}

}  // namespace

// The committed tables are exactly what the generator writes: nobody edits
// a .fil by hand, and nobody changes a design without regenerating.
TEST(CharacteristicDesigns, CommittedFilesAreTheGeneratorsOutput)
{
    const auto& designs = factoryCharacteristicDesigns();
    ASSERT_EQ(designs.size(), 10u);
    const char* names[10] = {"One.fil",     "Smooth.fil", "Raw.fil",  "Monopoly.fil", "Cheap.fil",
                             "Extreme.fil", "Gentle.fil", "Tube.fil", "Metal.fil",    "EasyGoing.fil"};
    for (size_t i = 0; i < designs.size(); ++i) {
        EXPECT_STREQ(designs[i].fileName, names[i]);
        const std::vector<std::uint8_t> bytes = encodeCharacteristic(designs[i]);
        ASSERT_EQ(bytes.size(), 1484u);
        EXPECT_EQ(std::memcmp(bytes.data(), "MFil\x01\0\0\0", 8), 0);
        for (size_t sizeOffset : {20u, 508u, 996u})
            EXPECT_EQ(bytes[sizeOffset], 11) << names[i];
        EXPECT_EQ(floatAt(bytes, 8), static_cast<float>(designs[i].shapeFactor));
        EXPECT_EQ(floatAt(bytes, 512 + 4 * (3 * 11 + 5)), static_cast<float>(designs[i].saturation[3][5]));
        EXPECT_EQ(testsupport::readFile(std::string(OSTRAND_RESOURCE_DIR) + "/" + names[i]),
                  std::string(bytes.begin(), bytes.end()))
            << names[i] << " differs from the generator; rebuild the 'characteristics' target";
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
