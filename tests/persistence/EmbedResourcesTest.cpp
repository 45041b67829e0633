// The build's resource embedder run on files of this folder (see CMakeLists.txt): what was compiled
// in against the files themselves, read at run time.
#include "TestFiles.h"
#include "resources/EmbeddedResources.h"

#include <gtest/gtest.h>

const std::filesystem::path dataFolder = OSTRAND_TEST_DATA_DIR;

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
        std::string content = testsupport::readFile(dataFolder / expected[i].file);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(table[i].data), table[i].size), content)
            << expected[i].file;
    }
    EXPECT_EQ(table[0].size, 256u);
}

TEST(EmbedResources, TwoFilesWithOneResourceNameStopTheBuild)
{
    testsupport::ScratchFolder folder;
    testsupport::writeFile(folder.path("Knob.png"), "x");
    testsupport::writeFile(folder.path("b/knob.fil"), "y");
    EXPECT_NE(testsupport::runCommand("'" OSTRAND_EMBEDDER "' '" + folder / "out.cpp" + "' '" + folder / "Knob.png" +
                                      "' '" + folder / "b/knob.fil" + "'")
                  .status,
              0);
    EXPECT_FALSE(std::filesystem::exists(folder.path("out.cpp")));
}
