// The PNG decoder against ImageMagick: files that ImageMagick wrote (every
// row filter, RGB and RGBA, with and without gamma, data over many IDAT
// chunks) must decode to the pixels ImageMagick reads from them; damaged
// files must fail with their message and nothing worse, and the corpus holds
// the layouts the decoder refuses.
#include "gui/Bitmap.h"
#include "gui/BitmapFiler.h"
#include "gui/MemoryStream.h"
#include "gui/PNGFiler.h"
#include "gui/PNGWriter.h"

#include "ImageTools.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace imagetools;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Chunk {
    std::string type;
    Bytes data;
};

std::uint32_t bigEndian(const std::uint8_t* b)
{
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

std::vector<Chunk> chunksOf(const Bytes& png)
{
    std::vector<Chunk> chunks;
    for (std::size_t p = 8; p + 12 <= png.size();) {
        const std::uint32_t n = bigEndian(&png[p]);
        chunks.push_back({std::string(png.begin() + p + 4, png.begin() + p + 8),
                          Bytes(png.begin() + p + 8, png.begin() + p + 8 + n)});
        p += 12 + n;
    }
    return chunks;
}

Bytes fileOf(const std::vector<Chunk>& chunks)
{
    Bytes png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    auto put32 = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            png.push_back(static_cast<std::uint8_t>(v >> s));
    };
    for (const Chunk& c : chunks) {
        put32(static_cast<std::uint32_t>(c.data.size()));
        const std::size_t start = png.size();
        png.insert(png.end(), c.type.begin(), c.type.end());
        png.insert(png.end(), c.data.begin(), c.data.end());
        put32(static_cast<std::uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
    }
    return png;
}

// The filter types the rows use (the byte in front of each inflated row).
std::set<int> filtersUsed(const Bytes& png)
{
    const std::vector<Chunk> chunks = chunksOf(png);
    Bytes packed;
    for (const Chunk& c : chunks)
        if (c.type == "IDAT")
            packed.insert(packed.end(), c.data.begin(), c.data.end());
    const std::size_t rowBytes = bigEndian(chunks[0].data.data()) * (chunks[0].data[9] == 6 ? 4u : 3u) + 1;
    uLongf size = rowBytes * bigEndian(chunks[0].data.data() + 4);
    Bytes raw(size);
    EXPECT_EQ(uncompress(raw.data(), &size, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
    std::set<int> used;
    for (std::size_t p = 0; p < raw.size(); p += rowBytes)
        used.insert(raw[p]);
    return used;
}

// Decodes with the registry, as the editor does; the message when it fails.
std::string decode(gui::Bitmap& bitmap, const Bytes& file)
{
    gui::MemoryStream stream(file);
    try {
        gui::decodeBitmap(bitmap, stream);
        return "";
    } catch (const gui::EBitmap& e) {
        return e.what();
    }
}

// Compares our pixels with ImageMagick's through a gamma curve applied to
// ImageMagick's colour values (none: exact).
void expectSamePixels(const gui::Bitmap& ours, const RgbaImage& theirs, double exponent, const std::string& what)
{
    ASSERT_EQ(ours.width(), theirs.width) << what;
    ASSERT_EQ(ours.height(), theirs.height) << what;
    int worst = 0, mismatches = 0;
    for (int y = 0; y < theirs.height; ++y)
        for (int x = 0; x < theirs.width; ++x) {
            const gui::Pixel p = ours.pixelAt(x, y);
            const std::uint8_t* q = theirs.at(x, y);
            const unsigned got[4] = {gui::redOf(p), gui::greenOf(p), gui::blueOf(p), gui::alphaOf(p)};
            for (int c = 0; c < 4; ++c) {
                const int expected =
                    c == 3 || exponent == 1.0 ? q[c] : static_cast<int>(255.0 * std::pow(q[c] / 255.0, exponent));
                const int diff = std::abs(static_cast<int>(got[c]) - expected);
                worst = std::max(worst, diff);
                mismatches += diff != 0;
            }
        }
    // A curve computed in single precision may land one step lower where
    // the exact value is a whole number.
    EXPECT_LE(worst, exponent == 1.0 ? 0 : 1) << what << ": " << mismatches << " values differ";
}

// A picture on which the adaptive filter choice of the writer uses all five
// filters: empty rows (none), a plasma (sub, average, Paeth) and rows that
// repeat the row above (up). The RGBA form adds an alpha ramp across.
std::string writePicture(const ScratchFolder& dir, const std::string& format, const std::string& name,
                         const std::string& options = "")
{
    const std::string path = dir / name;
    const std::string alpha = format == "png32"
                                  ? " -alpha set -channel A -fx 'j<6 ? 0 : 1-i/200' +channel"
                                  : "";
    EXPECT_TRUE(run("convert -size 97x6 xc:black '(' -size 97x40 -seed 7 plasma: ')' "
                    "'(' -size 11x97 gradient:red-blue -rotate 90 ')' -append -depth 8" + alpha + " " + options + " " + format + ":'" + path + "'"))
        << path;
    return path;
}

} // namespace

TEST(PNGFiler, DecodesWhatImageMagickWrites)
{
    ScratchFolder dir;
    for (const std::string format : {"png24", "png32"}) {
        const std::string picture = writePicture(dir, format, format + ".png");
        const Bytes file = readFile(picture);
        ASSERT_EQ(filtersUsed(file), (std::set<int>{0, 1, 2, 3, 4})) << format;
        const RgbaImage reference = readWithImageMagick(picture);

        // ImageMagick writes the standard gAMA for 1/2.2, which must draw the
        // stored values unchanged.
        gui::Bitmap bitmap;
        ASSERT_EQ(decode(bitmap, file), "") << format;
        expectSamePixels(bitmap, reference, 1.0, format + " with gAMA 45455");
        EXPECT_EQ(bool(bitmap.transparent), format == "png32");

        // Without gAMA the colours pass through untouched as well.
        const std::string bare = writePicture(dir, format, format + "-bare.png",
                                              "-define png:exclude-chunks=gAMA,cHRM,sRGB,bKGD");
        std::vector<Chunk> chunks = chunksOf(readFile(bare));
        for (const Chunk& c : chunks)
            ASSERT_NE(c.type, "gAMA");
        gui::Bitmap plain;
        ASSERT_EQ(decode(plain, fileOf(chunks)), "");
        expectSamePixels(plain, readWithImageMagick(bare), 1.0, format + " without gAMA");

        // A gamma of 0.8 bends the colour channels (not alpha) by
        // 1 / (0.8 x 2.2), against what ImageMagick reads without the chunk.
        chunks.insert(chunks.begin() + 1, Chunk{"gAMA", {0x00, 0x01, 0x38, 0x80}});
        gui::Bitmap bent;
        ASSERT_EQ(decode(bent, fileOf(chunks)), "");
        expectSamePixels(bent, readWithImageMagick(bare), 1.0 / (0.8 * 2.2), format + " with gAMA 80000");
    }

    // Noise compresses badly, so the writer splits it over many IDAT chunks;
    // an opaque RGBA image is not marked transparent.
    for (const std::string format : {"png24", "png32"}) {
        const std::string noise = dir / (format + "-noise.png");
        ASSERT_TRUE(run("convert -size 300x200 -seed 3 xc:gray +noise Random -depth 8 " + format + ":'" + noise + "'"));
        const Bytes file = readFile(noise);
        int idats = 0;
        for (const Chunk& c : chunksOf(file))
            idats += c.type == "IDAT";
        ASSERT_GT(idats, 3) << format;
        gui::Bitmap bitmap;
        ASSERT_EQ(decode(bitmap, file), "");
        expectSamePixels(bitmap, readWithImageMagick(noise), 1.0, format + " in many IDATs");
        EXPECT_FALSE(bitmap.transparent);
    }
}

TEST(PNGFiler, DamagedFilesFailWithTheirMessage)
{
    ScratchFolder dir;
    const std::string noise = dir / "noise.png";
    ASSERT_TRUE(run("convert -size 160x120 -seed 9 xc:gray +noise Random -depth 8 png32:'" + noise + "'"));
    const Bytes good = readFile(noise);
    const std::vector<Chunk> chunks = chunksOf(good);
    gui::Bitmap reference;
    ASSERT_EQ(decode(reference, good), "");

    gui::Bitmap bitmap;
    // Cut anywhere before the image data ends: "Invalid PNG image"; the
    // decoder needs nothing after the last IDAT.
    std::size_t dataEnd = 8;
    for (const Chunk& c : chunks) {
        dataEnd += 12 + c.data.size();
        if (c.type == "IDAT" && &c != &chunks.back() && (&c + 1)->type != "IDAT")
            break;
    }
    for (std::size_t cut = 8; cut < good.size(); cut += cut < 120 ? 1 : 263) {
        const std::string message = decode(bitmap, Bytes(good.begin(), good.begin() + cut));
        if (cut < dataEnd - 4)
            EXPECT_EQ(message, "Invalid PNG image") << "cut at " << cut;
        else
            EXPECT_EQ(message, "") << "cut at " << cut;
    }

    // Flipped bits in the compressed data either still inflate (the CRC is
    // not checked) or fail as an invalid image; the flag of a failed image
    // is left as the bitmap had it.
    std::size_t firstData = 8;
    for (const Chunk& c : chunks) {
        if (c.type == "IDAT")
            break;
        firstData += 12 + c.data.size();
    }
    for (std::size_t i = 0; i < 400; ++i) {
        Bytes flipped = good;
        flipped[firstData + 8 + i * 37 % 4000] ^= static_cast<std::uint8_t>(1u << (i % 8));
        const std::string message = decode(bitmap, flipped);
        EXPECT_TRUE(message.empty() || message == "Invalid PNG image") << message;
        EXPECT_EQ(bitmap.width(), 160);
    }
}

TEST(PNGWriter, ImageMagickReadsWhatItWrites)
{
    ScratchFolder dir;
    gui::Bitmap bitmap(37, 23);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            bitmap.row(y)[x] = gui::rgba(x * 7, y * 11, (x * y) & 255, (x + y) * 5);
    ASSERT_TRUE(gui::writePNG(bitmap, dir / "out.png"));
    const RgbaImage theirs = readWithImageMagick(dir / "out.png");
    bitmap.transparent = true;
    expectSamePixels(bitmap, theirs, 1.0, "written");
}

// The regression corpus (tests/gui/png-corpus): crafted files say in their
// names what they are, "ok-..." must decode and "bad-..." must fail with the
// message listed here; files the fuzzer found must do one or the other.
// Whatever decodes keeps the promises the canvas relies on.
TEST(PNGCorpus, EveryFileDecodesOrFailsWithItsMessage)
{
    const std::map<std::string, std::string> refusals = {
        {"bad-16bit.png", "Unsupported PNG format"},
        {"bad-palette.png", "Unsupported PNG format"},
        {"bad-interlaced.png", "Unsupported PNG format"},
        {"bad-grey.png", "Unsupported PNG format"},
        {"bad-huge.png", "Unsupported PNG format"},
        {"bad-zero-height.png", "Unsupported PNG format"},
        {"bad-compression-method.png", "Unsupported PNG format"},
        {"bad-filter-method.png", "Unsupported PNG format"},
        {"bad-signature.png", "Unknown file format"},
        {"bad-empty.png", "Unknown file format"},
        {"bad-signature-only.png", "Invalid PNG image"},
        {"bad-first-chunk.png", "Invalid PNG image"},
        {"bad-short-ihdr.png", "Invalid PNG image"},
        {"bad-no-idat.png", "Invalid PNG image"},
        {"bad-truncated.png", "Invalid PNG image"},
        {"bad-filter-type.png", "Invalid PNG image"},
        {"bad-checksum.png", "Invalid PNG image"},
        {"bad-short-data.png", "Invalid PNG image"},
        {"bad-chunk-between-idats.png", "Invalid PNG image"},
        {"bad-not-zlib.png", "Invalid PNG image"},
        {"bad-idat-length.png", "Invalid PNG image"},
    };
    const std::set<std::string> messages = {"Invalid PNG signature", "Invalid PNG image", "Unsupported PNG format",
                                            "Unknown file format"};
    std::size_t crafted = 0, decoded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(OSTRAND_PNG_CORPUS)) {
        const std::string name = entry.path().filename().string();
        gui::Bitmap bitmap;
        const std::string message = decode(bitmap, readFile(entry.path().string()));
        if (message.empty()) {
            ++decoded;
            EXPECT_TRUE(bitmap.width() >= 1 && bitmap.height() >= 1) << name;
            bool anyTransparent = false;
            for (int y = 0; y < bitmap.height(); ++y)
                for (int x = 0; x < bitmap.width(); ++x)
                    anyTransparent = anyTransparent || gui::alphaOf(bitmap.pixelAt(x, y)) < 255;
            EXPECT_EQ(anyTransparent, bool(bitmap.transparent)) << name;
        } else {
            EXPECT_TRUE(messages.contains(message)) << name << ": " << message;
        }
        if (name.starts_with("ok-")) {
            ++crafted;
            EXPECT_EQ(message, "") << name;
        } else if (name.starts_with("bad-")) {
            ++crafted;
            const auto reason = refusals.find(name);
            ASSERT_NE(reason, refusals.end()) << name << " has no expected message: " << message;
            EXPECT_EQ(message, reason->second) << name;
        }
    }
    EXPECT_GE(crafted, refusals.size() + 7);
    EXPECT_GE(decoded, 7u);
}
