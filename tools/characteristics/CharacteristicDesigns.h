#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The factory characteristics as designed: for each, the clip shape factor,
// the cut-off grid and three 11 x 11 tables (row = peak step 0..10, column =
// cut-off step 0..10) of drive, saturation and resonance amount.
inline constexpr int characteristicGridSize = 11;
using CharacteristicGrid = std::array<std::array<double, characteristicGridSize>, characteristicGridSize>;

struct CharacteristicDesign {
    const char* fileName;  // "One.fil"
    double shapeFactor;
    double lowestCutoff;   // log2 Hz
    double highestCutoff;  // log2 Hz
    CharacteristicGrid drive;
    CharacteristicGrid saturation;
    CharacteristicGrid resonance;
};

// In the order of the characteristic menu.
const std::vector<CharacteristicDesign>& factoryCharacteristicDesigns();

// The "MFil" table: magic, version 1, shape factor, grid bounds, then the
// three tables, each preceded by its size; little-endian, 1484 bytes.
std::vector<std::uint8_t> encodeCharacteristic(const CharacteristicDesign& design);
