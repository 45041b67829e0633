// Runs the build's resource embedder on files of this folder (see
// CMakeLists.txt) and compares what was compiled in with the files
// themselves, read at run time.

#include "resources/EmbeddedResources.h"
#include "TemporaryHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::filesystem::path dataFolder = OSTRAND_TEST_DATA_DIR;

} // namespace

TEST(EmbedResources, EveryByteArrivesUnchangedUnderItsName)
{
    struct Expected {
        const char* name;
        const char* file;
    };
    // Sorted by name, as the table must be.
    const Expected expected[] = {
        {"allbytes", "AllBytes.Bin.dat"},
        {"empty", "sub/Empty.txt"},
        {"escapeedges", "EscapeEdges.bin"},
    };
    std::span<const EmbeddedResource> table = embeddedResources();
    ASSERT_EQ(table.size(), std::size(expected));
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_STREQ(table[i].name, expected[i].name);
        std::string content = TemporaryHome::readFile(dataFolder / expected[i].file);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(table[i].data), table[i].size), content)
            << expected[i].file;
    }
    EXPECT_EQ(table[0].size, 256u);
}

TEST(EmbedResources, TwoFilesWithOneResourceNameStopTheBuild)
{
    auto folder = std::filesystem::temp_directory_path() / "ostrand-embed-clash";
    std::filesystem::create_directories(folder / "b");
    std::ofstream(folder / "Knob.png") << "x";
    std::ofstream(folder / "b" / "knob.fil") << "y";
    std::string command = std::string("'") + OSTRAND_EMBEDDER + "' '" + (folder / "out.cpp").string() + "' '" +
                          (folder / "Knob.png").string() + "' '" + (folder / "b" / "knob.fil").string() +
                          "' 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "out.cpp"));
    std::filesystem::remove_all(folder);
}
