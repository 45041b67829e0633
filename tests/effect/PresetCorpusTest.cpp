// Replays the preset loaders' regression corpus (tests/effect/preset-corpus:
// crafted files of every generation and damage, and inputs the fuzzer found
// interesting). Crafted files say in their names whether they must load as
// a full preset ("ok-") or must not ("bad-").
#include "fuzz/PresetChecks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

TEST(PresetCorpus, EveryFileLeavesEveryParameterInRange)
{
    std::size_t seen = 0, crafted = 0;
    for (const auto& entry : std::filesystem::directory_iterator(OSTRAND_PRESET_CORPUS)) {
        std::ostringstream bytes;
        bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(presetchecks::offer(bytes.str()), "") << name;
        ++seen;
        if (name.starts_with("ok-") || name.starts_with("bad-")) {
            ++crafted;
            EXPECT_EQ(loadAnyGeneration(presetchecks::plugin(), presetBytesSource(bytes.str())), name.starts_with("ok-"))
                << name;
        }
    }
    EXPECT_GE(crafted, 12u);
    EXPECT_GE(seen, crafted);
}
