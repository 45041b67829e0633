// The binary streams against bytes laid out by hand (little-endian int32 and
// float32 fields behind a four-character magic and a version), and the
// resources they read: found by name in any case and with any extension,
// replaced and removed at run time. (The compiled-in table is the embedder's
// test's; every filter test loads the characteristics through it.)
#include "persistence/BinaryDataReader.h"
#include "persistence/BinaryDataWriter.h"
#include "persistence/BinaryResourceReader.h"
#include "persistence/Resource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// "MFil" version 3, then -2, 1.5f, 0x12345678 and -0.75f.
const std::string referenceBytes("MFil\3\0\0\0\xfe\xff\xff\xff\0\0\xc0\x3fxV4\x12\0\0\x40\xbf", 24);

std::vector<std::uint8_t> bytesOf(std::optional<std::span<const std::uint8_t>> span)
{
    return span ? std::vector<std::uint8_t>(span->begin(), span->end()) : std::vector<std::uint8_t>{};
}

} // namespace

// The file writer's and reader's layout is checked byte by byte with the
// preset files (PresetFileTest); here what presets do not reach.
TEST(BinaryStreams, FloatsKeepTheirBitsAndHeadersAreChecked)
{
    // Every float keeps its bit pattern: signed zero, denormals, infinities.
    const float values[] = {0.0f, -0.0f, 1e-45f, 3.4028235e38f, -INFINITY, INFINITY, 0.1f};
    BinaryDataWriter memory(std::make_unique<std::ostringstream>(std::ios::binary));
    for (float v : values)
        memory.writeFloat(v);
    const std::string written = static_cast<std::ostringstream&>(memory.stream()).str();
    ASSERT_EQ(written.size(), 4 * std::size(values));
    BinaryMemoryReader back(written);
    for (float v : values) {
        const float read = back.readFloat();
        EXPECT_EQ(std::memcmp(&read, &v, sizeof v), 0) << v;
    }

    struct Case {
        std::string bytes, magic;
        bool accepted, ok;
        int version;
    };
    for (const Case& c : std::vector<Case>{
             {std::string("MFil\3\0\0", 7), "MFil", false, false, -1}, // the version is cut short
             {std::string("MO2l\7\0\0\0", 8), "MFil", false, true, 7}, // another magic: version kept
             {std::string("MO2l\7\0\0\0", 8), "MO2l-and-more", true, true, 7}, // four characters count
         }) {
        BinaryMemoryReader reader(c.bytes);
        EXPECT_EQ(reader.readHeader(c.magic), c.accepted) << c.magic;
        EXPECT_EQ(reader.ok(), c.ok) << c.magic;
        EXPECT_EQ(reader.version, c.version) << c.magic;
    }

    // A resource reader owns a copy: replacing the resource does not disturb it.
    registerResource("StreamFixture.fil", {referenceBytes.begin(), referenceBytes.end()});
    BinaryResourceReader reader("streamfixture.FIL");
    EXPECT_TRUE(reader.readHeader("MFil"));
    EXPECT_EQ(reader.readInt(), -2);
    registerResource("StreamFixture", {1, 2, 3});
    EXPECT_EQ(reader.readFloat(), 1.5f);
    unregisterResource("StreamFixture");
    EXPECT_THROW(BinaryResourceReader("StreamFixture.fil"), EResource);
}

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
