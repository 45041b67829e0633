// Resources by name: found in any case and with any extension, replaced and
// removed at run time. (The compiled-in table is the embedder's test's; every
// filter test loads the characteristics through it.)
#include "persistence/Resource.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> bytesOf(std::optional<std::span<const std::uint8_t>> span)
{
    return span ? std::vector<std::uint8_t>(span->begin(), span->end()) : std::vector<std::uint8_t>{};
}

} // namespace

TEST(Resources, NamesCompareWithoutExtensionAndCase)
{
    registerResource("TestKnob.Large.png", {1, 2, 3}); // a name no module image will ever take
    for (const char* name : {"TestKnob.Large.png", "TESTKNOB", "testknob.png", "tEsTkNoB.fil"})
        EXPECT_EQ(bytesOf(findResource(name)), (std::vector<std::uint8_t>{1, 2, 3})) << name;
    for (const char* name : {"TestKno", "TestKnobs", "", ".png", "Large"})
        EXPECT_FALSE(findResource(name)) << name;
    EXPECT_EQ(resourceKey("One.fil"), "one");

    registerResource("TESTKNOB", {9});
    EXPECT_EQ(bytesOf(findResource("testknob.png")), std::vector<std::uint8_t>{9});
    unregisterResource("TestKnob.png");
    EXPECT_FALSE(findResource("testknob"));

    try {
        loadResource("NoSuchResource.fil");
        FAIL() << "no exception";
    } catch (const EResource& error) {
        EXPECT_STREQ(error.what(), "Resource not found");
    }
    registerResource("Present.bin", {});
    EXPECT_EQ(loadResource("present").size(), 0u);
    unregisterResource("present");
}
