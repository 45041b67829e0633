#pragma once

// What the MIDI controller map file promises for any bytes, shared by its fuzzer and the corpus
// replay: a refused file leaves the map as it was; a read one gives each controller the id the file
// names (below -1 is none; an id named twice stays with the later controller) and reads back unchanged.
#include "framework/MidiControllerMap.h"
#include "persistence/MidiControllerMapFile.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace controllermapchecks {

inline std::vector<std::int32_t> entries(const MidiControllerMap& map)
{
    std::vector<std::int32_t> ids;
    for (int c = 0; c < MidiControllerMap::controllerCount; ++c)
        ids.push_back(map.get(c));
    return ids;
}

// Empty when every promise holds, else which one broke. `scratch` is a file
// the check may write.
inline std::string check(std::string_view bytes, const std::string& scratch)
{
    std::ofstream(scratch, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    MidiControllerMap map;
    map.assign(3, 77);
    map.assign(100, 0x100000);
    const std::vector<std::int32_t> before = entries(map);
    if (!readMidiControllerMap(scratch, map))
        return entries(map) == before ? std::string() : "a refused file changed the map";

    constexpr std::size_t header = 8;
    if (bytes.size() < header + 4 * MidiControllerMap::controllerCount || bytes.substr(0, 4) != "MVCM")
        return "a file without the magic or all entries was read";
    std::vector<std::int32_t> expected(MidiControllerMap::controllerCount, MidiControllerMap::none);
    for (int c = 0; c < MidiControllerMap::controllerCount; ++c) {
        std::uint32_t u = 0;
        for (int b = 3; b >= 0; --b)
            u = u << 8 | static_cast<unsigned char>(bytes[header + 4 * static_cast<std::size_t>(c) + static_cast<std::size_t>(b)]);
        std::int32_t id;
        std::memcpy(&id, &u, sizeof id);
        if (id < 0)
            continue;
        for (auto& e : expected)
            if (e == id)
                e = MidiControllerMap::none;
        expected[static_cast<std::size_t>(c)] = id;
    }
    if (entries(map) != expected)
        return "the map read differs from what the file says";
    if (!writeMidiControllerMap(scratch, map))
        return "the map read cannot be written";
    MidiControllerMap again;
    if (!readMidiControllerMap(scratch, again) || entries(again) != expected)
        return "the map read does not survive being written and read again";
    return {};
}

} // namespace controllermapchecks
