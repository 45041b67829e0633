// The PNG decoder against ImageMagick: ImageMagick's files decode to the pixels it reads from them,
// the writer's files read back in ImageMagick, and damaged files fail with their message.
#include "gui/Bitmap.h"
#include "gui/BitmapFiler.h"
#include "gui/MemoryStream.h"
#include "gui/PNGFiler.h"
#include "gui/PNGWriter.h"

#include "ImageTools.h"
#include "VirtualDisplay.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

using namespace imagetools;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Chunk {
    std::string type;
    Bytes data;
};

std::vector<Chunk> chunksOf(const Bytes& png)
{
    std::vector<Chunk> chunks;
    for (std::size_t p = 8; p + 12 <= png.size();) {
        const std::uint32_t n = (std::uint32_t(png[p]) << 24) | (std::uint32_t(png[p + 1]) << 16) |
                                (std::uint32_t(png[p + 2]) << 8) | png[p + 3];
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

} // namespace

TEST(PNGFiler, DecodesWhatImageMagickWrites)
{
    ScratchFolder dir;
    for (const std::string format : {"png24", "png32"}) {
        // Empty rows, a plasma and rows that repeat the row above: the
        // writer's adaptive choice uses every row filter. The RGBA form adds
        // an alpha ramp across.
        auto write = [&](const std::string& name, const std::string& options) {
            const std::string path = dir / (format + name);
            const std::string alpha =
                format == "png32" ? " -alpha set -channel A -fx 'j<6 ? 0 : 1-i/200' +channel" : "";
            EXPECT_TRUE(run("convert -size 97x6 xc:black '(' -size 97x40 -seed 7 plasma: ')' "
                            "'(' -size 11x97 gradient:red-blue -rotate 90 ')' -append -depth 8" +
                            alpha + " " + options + " " + format + ":'" + path + "'"));
            return path;
        };
        // ImageMagick writes the standard gAMA for 1/2.2, which must draw the
        // stored values unchanged.
        const std::string picture = write(".png", "");
        gui::Bitmap bitmap;
        ASSERT_EQ(decode(bitmap, readFile(picture)), "") << format;
        expectSamePixels(bitmap, readWithImageMagick(picture), 1.0, format + " with gAMA 45455");
        EXPECT_EQ(bool(bitmap.transparent), format == "png32");

        // Without gAMA the colours pass through untouched; a gAMA of 0.8
        // bends the colour channels (not alpha) by 1 / (0.8 x 2.2).
        const std::string bare = write("-bare.png", "-define png:exclude-chunks=gAMA,cHRM,sRGB,bKGD");
        std::vector<Chunk> chunks = chunksOf(readFile(bare));
        const RgbaImage bareReference = readWithImageMagick(bare);
        for (const auto& [gamma, exponent] : {std::pair{Bytes{}, 1.0}, {Bytes{0x00, 0x01, 0x38, 0x80}, 1.0 / (0.8 * 2.2)}}) {
            std::vector<Chunk> file = chunks;
            if (!gamma.empty())
                file.insert(file.begin() + 1, Chunk{"gAMA", gamma});
            gui::Bitmap decoded;
            ASSERT_EQ(decode(decoded, fileOf(file)), "");
            expectSamePixels(decoded, bareReference, exponent, format + " gamma exponent " + std::to_string(exponent));
        }

        // Noise compresses badly, so the writer splits it over many IDAT
        // chunks; an opaque RGBA image is not marked transparent.
        const std::string noise = dir / (format + "-noise.png");
        ASSERT_TRUE(run("convert -size 300x200 -seed 3 xc:gray +noise Random -depth 8 " + format + ":'" + noise + "'"));
        const Bytes file = readFile(noise);
        int idats = 0;
        for (const Chunk& c : chunksOf(file))
            idats += c.type == "IDAT";
        ASSERT_GT(idats, 3) << format;
        gui::Bitmap many;
        ASSERT_EQ(decode(many, file), "");
        expectSamePixels(many, readWithImageMagick(noise), 1.0, format + " in many IDATs");
        EXPECT_FALSE(many.transparent);
    }

    // What the writer writes, ImageMagick reads.
    gui::Bitmap written(37, 23);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            written.row(y)[x] = gui::rgba(x * 7, y * 11, (x * y) & 255, (x + y) * 5);
    ASSERT_TRUE(gui::writePNG(written, dir / "out.png"));
    written.transparent = true;
    expectSamePixels(written, readWithImageMagick(dir / "out.png"), 1.0, "written");
}

// Cuts of a file ImageMagick wrote, then the regression corpus
// (tests/gui/png-corpus): crafted files say in their names what they are,
// "ok-..." must decode and "bad-<kind>-..." must fail with the message of
// that kind; files the fuzzer found must do one or the other. Whatever
// decodes keeps the promises the canvas relies on.
TEST(PNGFiler, DamagedFilesFailWithTheirMessage)
{
    ScratchFolder dir;
    const std::string noise = dir / "noise.png";
    ASSERT_TRUE(run("convert -size 160x120 -seed 9 xc:gray +noise Random -depth 8 png32:'" + noise + "'"));
    const Bytes good = readFile(noise);
    // Cut anywhere before the image data ends: "Invalid PNG image"; the
    // decoder needs nothing after the last IDAT.
    const std::vector<Chunk> chunks = chunksOf(good);
    std::size_t dataEnd = 8;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        dataEnd += 12 + chunks[i].data.size();
        if (chunks[i].type == "IDAT" && i + 1 < chunks.size() && chunks[i + 1].type != "IDAT")
            break;
    }
    // A failed decode leaves the bitmap as it was.
    gui::Bitmap cut;
    ASSERT_EQ(decode(cut, good), "");
    for (std::size_t n = 8; n < good.size(); n += n < 120 ? 1 : 263) {
        EXPECT_EQ(decode(cut, Bytes(good.begin(), good.begin() + n)), n < dataEnd - 4 ? "Invalid PNG image" : "")
            << "cut at " << n;
        EXPECT_EQ(cut.width(), 160);
    }

    const std::map<std::string, std::string> messageOfKind = {{"bad-unsupported-", "Unsupported PNG format"},
                                                              {"bad-unknown-", "Unknown file format"},
                                                              {"bad-invalid-", "Invalid PNG image"},
                                                              {"", "Invalid PNG signature"}};
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
            EXPECT_TRUE(std::any_of(messageOfKind.begin(), messageOfKind.end(),
                                    [&](const auto& kind) { return kind.second == message; }))
                << name << ": " << message;
        }
        crafted += name.starts_with("ok-") || name.starts_with("bad-");
        if (name.starts_with("ok-")) {
            EXPECT_EQ(message, "") << name;
        }
        for (const auto& [prefix, expected] : messageOfKind)
            if (!prefix.empty() && name.starts_with(prefix)) {
                EXPECT_EQ(message, expected) << name;
            }
    }
    EXPECT_GE(crafted, 28u);
    EXPECT_GE(decoded, 7u);
}

// At scale 2 the viewer's images come from their double-size files: every
// opaque pixel of one appears unchanged in the snapshot (an upscaled 1x image
// would not), read back by ImageMagick.
namespace {

using namespace xtest;

std::map<std::string, std::vector<int>> layout(const std::string& viewer)
{
    std::map<std::string, std::vector<int>> controls;
    std::istringstream lines(capture("'" + viewer + "' --layout"));
    std::string name;
    int x, y, w, h;
    while (lines >> name >> x >> y >> w >> h)
        controls[name] = {x, y, w, h};
    return controls;
}

} // namespace

TEST(ViewerSnapshot, AtScaleTwoImagesComeFromTheirDoubleSizeFiles)
{
    ScratchFolder dir;
    const std::string viewer = OSTRAND_GUI_DEMO;
    const std::vector<int> logo = layout(viewer).at("logo");
    ASSERT_TRUE(run("env -u DISPLAY '" + viewer + "' --snapshot '" + dir / "s.png" + "' --scale 2"));
    const RgbaImage snapshot = readWithImageMagick(dir / "s.png");
    const RgbaImage twice = readWithImageMagick(OSTRAND_IMAGES "/Logo@2x.png");
    ASSERT_EQ(twice.width, logo[2] * 2);
    int compared = 0;
    for (int y = 0; y < twice.height; ++y)
        for (int x = 0; x < twice.width; ++x) {
            const std::uint8_t* want = twice.at(x, y);
            if (want[3] != 255)
                continue;
            const std::uint8_t* got = snapshot.at(logo[0] * 2 + x, logo[1] * 2 + y);
            ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2]) << x << "," << y;
            ++compared;
        }
    EXPECT_GT(compared, twice.width * twice.height / 2);
}
