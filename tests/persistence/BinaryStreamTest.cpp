// The binary streams against bytes laid out by hand: little-endian int32 and
// float32 fields behind a four-character magic and a version, no padding.
#include "persistence/BinaryDataReader.h"
#include "persistence/BinaryDataWriter.h"
#include "persistence/BinaryResourceReader.h"
#include "persistence/Resource.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// "MFil" version 3, then -2, 1.5f, 0x12345678 and -0.75f.
const std::string referenceBytes("MFil\3\0\0\0\xfe\xff\xff\xff\0\0\xc0\x3fxV4\x12\0\0\x40\xbf", 24);

} // namespace

TEST(BinaryStreams, WriterAndReaderFollowTheByteLayout)
{
    testsupport::ScratchFolder dir;
    {
        BinaryFileWriter writer(dir / "written");
        writer.writeHeader("MFil", 3);
        writer.writeInt(-2);
        writer.writeFloat(1.5f);
        writer.writeInt(0x12345678);
        writer.writeFloat(-0.75f);
        EXPECT_TRUE(writer.flush());
    }
    EXPECT_EQ(testsupport::readFile(dir / "written"), referenceBytes);
    {
        BinaryFileWriter writer(dir / "short"); // a short magic is padded with zeros
        writer.writeHeader("ab", -1);
    }
    EXPECT_EQ(testsupport::readFile(dir / "short"), std::string("ab\0\0\xff\xff\xff\xff", 8));
    BinaryFileWriter nowhere(dir / "missing-folder/file");
    nowhere.writeInt(1);
    EXPECT_FALSE(nowhere.flush());

    testsupport::writeFile(dir / "reference", referenceBytes);
    BinaryFileReader reader(dir / "reference");
    EXPECT_EQ(reader.version, -1);
    EXPECT_TRUE(reader.readHeader("MFil"));
    EXPECT_EQ(reader.version, 3);
    EXPECT_EQ(reader.readInt(), -2);
    EXPECT_EQ(reader.readFloat(), 1.5f);
    EXPECT_EQ(reader.readInt(), 0x12345678);
    EXPECT_EQ(reader.readFloat(), -0.75f);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.readInt(), 0); // past the end: 0, and the stream fails
    EXPECT_FALSE(reader.ok());
    EXPECT_FALSE(BinaryFileReader(dir / "does-not-exist").readHeader("MFil"));

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
}

TEST(BinaryStreams, HeaderChecks)
{
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
