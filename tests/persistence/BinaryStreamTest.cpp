#include "persistence/BinaryDataReader.h"
#include "persistence/BinaryDataWriter.h"
#include "persistence/BinaryResourceReader.h"
#include "persistence/Resource.h"

#include "TemporaryHome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::filesystem::path scratchFile(const char* name)
{
    return std::filesystem::temp_directory_path() / (std::string("ostrand-binary-") + name);
}

std::vector<unsigned char> fileBytes(const std::filesystem::path& file)
{
    std::string content = TemporaryHome::readFile(file);
    return std::vector<unsigned char>(content.begin(), content.end());
}

void writeBytes(const std::filesystem::path& file, const std::vector<unsigned char>& bytes)
{
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// Header "MFil" version 3, then -2, 1.5f, 0x12345678 and -0.75f, laid out by
// hand: little-endian, no padding.
const std::vector<unsigned char> referenceBytes = {
    'M',  'F',  'i',  'l',  0x03, 0x00, 0x00, 0x00, 0xfe, 0xff, 0xff, 0xff,
    0x00, 0x00, 0xc0, 0x3f, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x40, 0xbf,
};

} // namespace

TEST(BinaryStreams, WriterLaysOutLittleEndianFieldsWithoutPadding)
{
    auto file = scratchFile("writer");
    {
        BinaryFileWriter writer(file.string());
        writer.writeHeader("MFil", 3);
        writer.writeInt(-2);
        writer.writeFloat(1.5f);
        writer.writeInt(0x12345678);
        writer.writeFloat(-0.75f);
        EXPECT_TRUE(writer.flush());
    }
    EXPECT_EQ(fileBytes(file), referenceBytes);

    // A magic shorter than four characters is padded with zero bytes.
    {
        BinaryFileWriter writer(file.string());
        writer.writeHeader("ab", -1);
    }
    EXPECT_EQ(fileBytes(file), (std::vector<unsigned char>{'a', 'b', 0, 0, 0xff, 0xff, 0xff, 0xff}));
    std::filesystem::remove(file);

    BinaryFileWriter nowhere((scratchFile("missing-folder") / "file").string());
    nowhere.writeInt(1);
    EXPECT_FALSE(nowhere.flush());
}

TEST(BinaryStreams, ReaderDecodesBytesWrittenElsewhere)
{
    auto file = scratchFile("reader");
    writeBytes(file, referenceBytes);
    BinaryFileReader reader(file.string());
    EXPECT_EQ(reader.version, -1);
    EXPECT_TRUE(reader.readHeader("MFil"));
    EXPECT_EQ(reader.version, 3);
    EXPECT_EQ(reader.readInt(), -2);
    EXPECT_EQ(reader.readFloat(), 1.5f);
    EXPECT_EQ(reader.readInt(), 0x12345678);
    EXPECT_EQ(reader.readFloat(), -0.75f);
    EXPECT_TRUE(reader.ok());

    // Reading past the end fails the stream and yields 0.
    EXPECT_EQ(reader.readInt(), 0);
    EXPECT_FALSE(reader.ok());
    std::filesystem::remove(file);

    BinaryFileReader missing(scratchFile("does-not-exist").string());
    EXPECT_FALSE(missing.readHeader("MFil"));
    EXPECT_FALSE(missing.ok());
}

TEST(BinaryStreams, HeaderChecks)
{
    auto file = scratchFile("header");

    // Seven bytes: the magic is there but the version is cut short.
    writeBytes(file, {'M', 'F', 'i', 'l', 0x03, 0x00, 0x00});
    BinaryFileReader shortFile(file.string());
    EXPECT_FALSE(shortFile.readHeader("MFil"));
    EXPECT_FALSE(shortFile.ok());

    // Another magic: false, but the version is kept for the caller.
    writeBytes(file, {'M', 'O', '2', 'l', 0x07, 0x00, 0x00, 0x00});
    BinaryFileReader otherMagic(file.string());
    EXPECT_FALSE(otherMagic.readHeader("MFil"));
    EXPECT_EQ(otherMagic.version, 7);
    EXPECT_TRUE(otherMagic.ok());

    // Only the first four characters of the expected magic count.
    BinaryFileReader longer(file.string());
    EXPECT_TRUE(longer.readHeader("MO2l-and-more"));
    std::filesystem::remove(file);
}

TEST(BinaryStreams, FloatBitPatternsSurviveARoundTrip)
{
    const float values[] = {0.0f, -0.0f, 1e-45f, 3.4028235e38f, -INFINITY, INFINITY, 0.1f};
    BinaryDataWriter writer(std::make_unique<std::ostringstream>(std::ios::binary));
    for (float v : values)
        writer.writeFloat(v);
    std::string written = static_cast<std::ostringstream&>(writer.stream()).str();
    ASSERT_EQ(written.size(), 4 * std::size(values));

    BinaryDataReader reader(std::make_unique<std::istringstream>(written, std::ios::binary));
    for (float v : values) {
        float read = reader.readFloat();
        EXPECT_EQ(std::memcmp(&read, &v, sizeof v), 0) << v;
    }
    EXPECT_TRUE(reader.ok());
}

TEST(BinaryStreams, ResourceReaderCopiesTheNamedResource)
{
    registerResource("StreamFixture.fil", referenceBytes);
    BinaryResourceReader reader("streamfixture.FIL");
    EXPECT_TRUE(reader.readHeader("MFil"));
    EXPECT_EQ(reader.readInt(), -2);

    // The reader owns a copy: replacing the resource does not disturb it.
    registerResource("StreamFixture", {1, 2, 3});
    EXPECT_EQ(reader.readFloat(), 1.5f);
    unregisterResource("StreamFixture");

    EXPECT_THROW(BinaryResourceReader("StreamFixture.fil"), EResource);
}
