#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The full presets a MIDI program change can select, read from their files
// ahead of time, so that the audio thread can switch to one at the sample
// the change arrives at: it reads no file, parses nothing and allocates
// nothing, it only sets each parameter to the value the record holds.
struct ProgramRecord {
    std::string name;          // the preset's name, as its file is named
    std::string location;      // the file's full path
    std::vector<float> values; // one per parameter of the flat list, in host order;
                               // empty for a file that could not be read
};

// Record i is bank i / 128, program i % 128. Never changed once built: a new
// list of presets gives a new table.
struct ProgramTable {
    static constexpr int programsPerBank = 128;

    // The preset list's generation it was read from (PluginStorage).
    std::uint64_t generation = 0;
    std::vector<ProgramRecord> records;

    // Null when bank and program name no preset that could be read.
    const ProgramRecord* find(int bank, int program) const
    {
        if (bank < 0 || program < 0 || program >= programsPerBank)
            return nullptr;
        const auto i = static_cast<std::size_t>(bank) * programsPerBank + static_cast<std::size_t>(program);
        return i < records.size() && !records[i].values.empty() ? &records[i] : nullptr;
    }
};
