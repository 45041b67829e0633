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
    // A name no module image will ever take.
    registerResource("TestKnob.Large.png", {1, 2, 3});
    for (const char* name : {"TestKnob.Large.png", "TESTKNOB", "testknob.png", "tEsTkNoB.fil"})
        EXPECT_EQ(bytesOf(findResource(name)), (std::vector<std::uint8_t>{1, 2, 3})) << name;
    for (const char* name : {"TestKno", "TestKnobs", "", ".png", "Large"})
        EXPECT_FALSE(findResource(name)) << name;
    EXPECT_EQ(resourceKey("One.fil"), "one");
    EXPECT_EQ(resourceKey("SMOOTH"), "smooth");

    // Registering again replaces; removing makes it missing.
    registerResource("TESTKNOB", {9});
    EXPECT_EQ(bytesOf(findResource("testknob.png")), std::vector<std::uint8_t>{9});
    unregisterResource("TestKnob.png");
    EXPECT_FALSE(findResource("testknob"));
}

TEST(Resources, MissingResourceThrowsWithItsMessage)
{
    try {
        loadResource("NoSuchResource.fil");
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(dynamic_cast<const EResource*>(&error), nullptr);
        EXPECT_STREQ(error.what(), "Resource not found");
    }
    registerResource("Present.bin", {});
    EXPECT_TRUE(findResource("present"));
    EXPECT_EQ(loadResource("present").size(), 0u);
    unregisterResource("present");
}

TEST(Resources, CompiledInTableIsSortedAndFindable)
{
    std::span<const EmbeddedResource> table = embeddedResources();
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::string name = table[i].name;
        EXPECT_EQ(name, resourceKey(name));
        if (i > 0) {
            EXPECT_LT(std::strcmp(table[i - 1].name, table[i].name), 0);
        }
        // Any spelling of the name finds the very same bytes.
        std::string upper = name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto found = findResource(upper + ".any");
        ASSERT_TRUE(found) << name;
        EXPECT_EQ(found->data(), table[i].data);
        EXPECT_EQ(found->size(), table[i].size);
    }
}

TEST(Resources, CharacteristicTablesAreCompiledIn)
{
    // The filter characteristics load by these names; each is a table in the
    // "MFil" format.
    for (const char* name : {"One.fil", "SMOOTH.fil", "tube"}) {
        auto bytes = findResource(name);
        ASSERT_TRUE(bytes) << name;
        ASSERT_GE(bytes->size(), 8u);
        EXPECT_EQ(std::memcmp(bytes->data(), "MFil", 4), 0) << name;
    }
}
