#pragma once

#include "persistence/PresetLoader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class BinaryDataReader;

// Preset files: the plug-in's four-character preset magic, an int32 format
// version, an int32 value count N, then N float32 plain values (enumerations
// as their position), little-endian, nothing else. Values are matched to
// parameters by position only. Full presets (".mvp") hold the plug-in's
// whole parameter list, section presets one component instance.

// Section presets are always written and read as version 1.
inline constexpr std::int32_t sectionPresetVersion = 1;

// The version full presets of this product are written with and read as
// first: 1 in the generic framework; a plug-in whose layout has changed sets
// its own when it initialises. Process-wide.
std::int32_t presetFormatVersion();
void setPresetFormatVersion(std::int32_t version);

// The bytes of a preset file holding the collection's current values.
std::string presetFileBytes(const PresetParameters& collection, std::int32_t version);

// Writes the collection's current values to `fileName` with the owner
// plug-in's magic. The file is replaced as a whole: when anything fails it
// keeps what it held before. True on success.
bool savePresetFile(const std::string& fileName, const PresetParameters& collection, std::int32_t version);

// Reads a preset completely into a loader, applying nothing:
//   - a header that cannot be read, another magic (the plug-in's, or
//     `magicOverride` when that is not empty) or another version than
//     `expectedVersion`: false;
//   - the first min(N, valueCount) values go to setLoadedValue; positions
//     beyond N are reset to their defaults; values beyond valueCount are
//     ignored;
//   - false when the file ends before its N values.
bool readPreset(BinaryDataReader& reader, PresetLoader& loader, GenericPlugin& plugin,
                std::int32_t expectedVersion, std::string_view magicOverride = {});
bool readPresetFile(const std::string& fileName, PresetLoader& loader, GenericPlugin& plugin,
                    std::int32_t expectedVersion, std::string_view magicOverride = {});
// Reads as above and, only when the whole file was read, applies it (one
// update batch, so the host and the editor hear of all changes once). A
// refused file leaves every parameter as it was.
bool loadPreset(BinaryDataReader& reader, PresetLoader& loader, GenericPlugin& plugin,
                std::int32_t expectedVersion, std::string_view magicOverride = {});
bool loadPresetFile(const std::string& fileName, PresetLoader& loader, GenericPlugin& plugin,
                    std::int32_t expectedVersion, std::string_view magicOverride = {});

// Something a preset can be read from more than once (each call opens it
// afresh): a file, or bytes in memory.
using PresetSource = std::function<std::unique_ptr<BinaryDataReader>()>;
PresetSource presetFileSource(const std::string& fileName);
PresetSource presetBytesSource(std::string bytes);
