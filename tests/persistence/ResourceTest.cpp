// Resources by name: found in any case and with any extension, replaced and
// removed at run time, and the table compiled into the module (the filter
// characteristics load through it) sorted and whole.
#include "persistence/Resource.h"

#include "resources/EmbeddedResources.h"

#include <gtest/gtest.h>

#include <cstring>

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

TEST(Resources, CompiledInTableIsSortedAndFindable)
{
    std::span<const EmbeddedResource> table = embeddedResources();
    ASSERT_FALSE(table.empty());
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::string name = table[i].name;
        EXPECT_EQ(name, resourceKey(name));
        if (i > 0) {
            EXPECT_LT(std::strcmp(table[i - 1].name, table[i].name), 0);
        }
        // Any spelling of the name finds the very same bytes.
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto found = findResource(name + ".any");
        ASSERT_TRUE(found) << name;
        EXPECT_EQ(found->data(), table[i].data);
        EXPECT_EQ(found->size(), table[i].size);
    }
}
