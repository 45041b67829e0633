// The document bundle: writer and reader against each other and against bytes laid out here; damaged
// or hostile bundles never crash, write outside the destination or replace a file.
#include "DocumentBundleWriter.h"
#include "fuzz/BundleChecks.h"
#include "persistence/DocumentBundle.h"

#include "TestFiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

namespace {

using Files = std::map<std::string, std::string>;

Files read(const std::string& bundle, std::string_view folder)
{
    Files files;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bundle.data());
    DocumentBundle({data, bundle.size()}).forEachFile(folder, [&](const std::string& path, const std::string& content) {
        files[path] = content;
    });
    return files;
}

std::uint32_t uintAt(const std::string& b, std::size_t at)
{
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}

void put(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string zlibPacked(const std::string& content)
{
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(content.data()),
             static_cast<uLong>(content.size()));
    out.resize(size);
    return out;
}

// One record as the format describes it, written out by hand.
std::string record(const std::string& name, std::int32_t kind, const std::string& body)
{
    std::string head(76, '\0');
    head[0] = static_cast<char>(name.size());
    head.replace(1, name.size(), name);
    std::string numbers;
    put(numbers, 1234567890u);
    put(numbers, static_cast<std::uint32_t>(body.size()));
    put(numbers, static_cast<std::uint32_t>(kind));
    head.replace(64, 12, numbers);
    return head + body;
}

std::string endOfFolder()
{
    return record("", -1, "");
}

std::string bundle(const std::string& records)
{
    std::string out = "MS/ISB/3";
    put(out, static_cast<std::uint32_t>(25 + records.size()));
    for (std::uint32_t v : {0u, 0u, 0u, 1u})
        put(out, v);
    return out + std::string(25, 'x') + records;
}

} // namespace

TEST(DocumentBundle, WriterAndReaderAgree)
{
    std::string binary;
    for (int i = 0; i < 3000; ++i)
        binary += static_cast<char>((i * 7919) & 0xFF);
    const std::vector<BundleFile> files = {
        {"FactoryPresets/_Pinned/A.mvp", "MO2l..."},
        {"FactoryPresets/Deep/er/still/B.mvp", binary},
        {"FactoryPresets/Empty.mvp", ""},
        {"ApplicationData/Component Presets/EF/Default.ef", "ef"},
    };
    const std::string b = writeDocumentBundle(files);
    EXPECT_EQ(b.substr(0, 8), "MS/ISB/3");
    EXPECT_EQ(uintAt(b, 8), b.size() - 28);
    EXPECT_EQ(uintAt(b, 12), 3009u);  // unpacked bytes
    EXPECT_EQ(uintAt(b, 16), 8u);     // folders
    EXPECT_EQ(uintAt(b, 24), 4u);     // files
    EXPECT_EQ(writeDocumentBundle(files), b); // the same files, the same bytes

    EXPECT_EQ(read(b, "FactoryPresets"),
              (Files{{"_Pinned/A.mvp", "MO2l..."}, {"Deep/er/still/B.mvp", binary}, {"Empty.mvp", ""}}));
    EXPECT_EQ(read(b, "applicationdata"), (Files{{"Component Presets/EF/Default.ef", "ef"}}));
    EXPECT_TRUE(read(b, "Other").empty());

    EXPECT_THROW(writeDocumentBundle({{"FactoryPresets/" + std::string(64, 'n') + ".mvp", ""}}), std::runtime_error);
}

TEST(DocumentBundle, ReadsAHandMadeBundleAndExtractsWithoutReplacing)
{
    TemporaryHome home;
    const std::string b = bundle(record("Other", -1, record("x.mvp", 3, zlibPacked("xyz")) + endOfFolder()) +
                                 record("FACTORYPRESETS", -1,
                                        record("Bass", -1, record("Sub.mvp", 5, zlibPacked("12345")) + endOfFolder()) +
                                            record("Lead.mvp", 4, zlibPacked("lead")) + endOfFolder()) +
                                 endOfFolder());
    const std::string destination = home.path("presets").string();
    testsupport::writeFile(home.path("presets/Lead.mvp"), "mine");
    const auto* data = reinterpret_cast<const std::uint8_t*>(b.data());
    EXPECT_EQ(DocumentBundle({data, b.size()}).extract("FactoryPresets", destination), 1);
    EXPECT_EQ(testsupport::readFile(home.path("presets/Bass/Sub.mvp")), "12345");
    EXPECT_EQ(testsupport::readFile(home.path("presets/Lead.mvp")), "mine");
    EXPECT_FALSE(std::filesystem::exists(home.path("presets/x.mvp")));
}

TEST(DocumentBundle, DamagedBundlesYieldOnlyWholeFilesInsideTheDestination)
{
    TemporaryHome home;
    const std::string good = zlibPacked("good");
    std::string corrupt = zlibPacked("corrupt content");
    corrupt[corrupt.size() / 2] ^= 0x55;
    const std::string b = bundle(record("FactoryPresets", -1,
                                        record("..", -1, record("escape.mvp", 4, good) + endOfFolder()) +
                                            record("a/b.mvp", 4, good) + record("short.mvp", 9, good) +
                                            record("long.mvp", 2, good) + record("bad.mvp", 15, corrupt) +
                                            record("ok.mvp", 4, good) + endOfFolder()) +
                                 endOfFolder());
    EXPECT_EQ(read(b, "FactoryPresets"), (Files{{"ok.mvp", "good"}}));
    const auto* data = reinterpret_cast<const std::uint8_t*>(b.data());
    EXPECT_EQ(DocumentBundle({data, b.size()}).extract("FactoryPresets", home.path("dest/inner").string()), 1);
    EXPECT_FALSE(std::filesystem::exists(home.path("dest/escape.mvp")));

    // Every cut of the bundle reads without harm and never yields a file
    // that is not whole.
    for (std::size_t n = 0; n < b.size(); ++n) {
        const Files files = read(b.substr(0, n), "FactoryPresets");
        EXPECT_TRUE(files.empty() || files == (Files{{"ok.mvp", "good"}})) << n;
    }
    EXPECT_TRUE(read("MS/ISB/2" + b.substr(8), "FactoryPresets").empty());
}

// The regression corpus (tests/persistence/bundle-corpus): crafted bundles
// and inputs the fuzzer found interesting. "ok-" files must yield files.
TEST(DocumentBundle, CorpusReadsWithoutHarm)
{
    std::size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(OSTRAND_BUNDLE_CORPUS)) {
        const std::string bytes = testsupport::readFile(entry.path());
        const int files = bundlechecks::offer({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        const std::string name = entry.path().filename().string();
        EXPECT_GE(files, name.starts_with("ok-") ? 1 : 0) << name;
        ++seen;
    }
    EXPECT_GE(seen, 6u);
}
