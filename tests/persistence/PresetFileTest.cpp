// The plug-in's own files. Preset files against their byte layout, written out by hand here, and every
// way a file can be wrong: what is applied, what is reported, what is left.
#include "DocumentBundleWriter.h"
#include "TestFiles.h"
#include "framework/FloatPluginParameter.h"
#include "framework/GenericPlugin.h"
#include "framework/PropPluginParameter.h"
#include "fuzz/BundleChecks.h"
#include "persistence/BinaryDataReader.h"
#include "persistence/BinaryDataWriter.h"
#include "persistence/BinaryResourceReader.h"
#include "persistence/DocumentBundle.h"
#include "persistence/PresetFile.h"
#include "persistence/PresetManager.h"
#include "persistence/Resource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <zlib.h>

namespace {

// Three parameters: a gain in -36..36 (default 0), a position 0..2
// (default 1) and a level 0..1 (default 0.25).
class SmallPlugin final : public GenericPlugin, public GenericPlugin::Adapter {
public:
    SmallPlugin() : gain(this, "Gain"), mode(this, "Mode"), level(this, "Level")
    {
        gain.setRange(-36.0f, 36.0f);
        mode.setRange(0, 2);
        mode.setOptions("A,B,C");
        mode.setDefaultValue(1);
        mode.resetToDefault();
        level.setDefault(0.25f);
        level.resetToDefault();
        initialize("PresetFileTest");
        setAdapter(this);
    }
    ~SmallPlugin() override { setAdapter(nullptr); }
    std::string presetMagic() const override { return "Tst1"; }
    void parameterChanged(int index) override { notified.push_back(index); }
    void presetChanged() override {}
    using GenericPlugin::parameterChanged;

    std::vector<float> values() const { return {gain.getValue(), mode.getValue(), level.getValue()}; }
    void set(float g, float m, float l)
    {
        gain.setValue(g, 0);
        mode.setValue(m, 0);
        level.setValue(l, 0);
        notified.clear();
    }

    FloatPluginParameter gain;
    PropPluginParameter<int> mode;
    FloatPluginParameter level;
    std::vector<int> notified;
};

void append(std::string& bytes, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void appendFloat(std::string& bytes, float f)
{
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    append(bytes, v);
}

std::string file(const char* magic, std::int32_t version, std::int32_t count, const std::vector<float>& values)
{
    std::string bytes(magic, 4);
    append(bytes, static_cast<std::uint32_t>(version));
    append(bytes, static_cast<std::uint32_t>(count));
    for (float v : values)
        appendFloat(bytes, v);
    return bytes;
}

struct Load {
    bool ok;
    std::vector<float> values;
    std::vector<int> notified;
};

Load load(const TemporaryHome& home, const std::string& bytes)
{
    SmallPlugin plugin;
    plugin.set(12.0f, 2.0f, 0.5f);
    const auto path = home.path("preset.bin");
    testsupport::writeFile(path, bytes);
    CollectionPresetLoader loader(PresetParameters::all(plugin));
    const bool ok = loadPresetFile(path.string(), loader, plugin, 3);
    return {ok, plugin.values(), plugin.notified};
}

} // namespace

TEST(PresetFile, SavedBytesFollowTheLayoutAndLoadBackInOneNotification)
{
    TemporaryHome home;
    SmallPlugin source;
    source.set(-7.5f, 2.0f, 0.125f);
    const auto path = home.path("presets/saved.bin");
    std::filesystem::create_directories(path.parent_path());
    ASSERT_TRUE(savePresetFile(path.string(), PresetParameters::all(source), 3));
    EXPECT_EQ(testsupport::readFile(path), file("Tst1", 3, 3, {-7.5f, 2.0f, 0.125f}));

    const Load loaded = load(home, testsupport::readFile(path));
    EXPECT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.values, (std::vector<float>{-7.5f, 2.0f, 0.125f}));
    // The host hears of the whole load once, as "all parameters".
    EXPECT_EQ(loaded.notified, std::vector<int>{-1});

    // A save that cannot happen (no such folder) reports it and leaves
    // nothing behind.
    EXPECT_FALSE(savePresetFile(home.path("missing/x.bin").string(), PresetParameters::all(source), 3));
    EXPECT_FALSE(std::filesystem::exists(home.path("missing")));
}

TEST(PresetFile, EveryDamageBehavesAsDocumented)
{
    TemporaryHome home;
    const std::vector<float> untouched{12.0f, 2.0f, 0.5f};
    const std::vector<float> defaults{0.0f, 1.0f, 0.25f};

    // Refused files change nothing and tell no one. (Which damage refuses a
    // file: the crafted files of the preset corpus, tests/effect.)
    for (const std::string& bytes : {std::string(), file("Tst1", 3, 3, {1, 0}).substr(0, 19)}) {
        const Load r = load(home, bytes);
        EXPECT_FALSE(r.ok) << bytes.size();
        EXPECT_EQ(r.values, untouched) << bytes.size();
        EXPECT_TRUE(r.notified.empty());
    }

    // More values than parameters: the rest is ignored.
    Load r = load(home, file("Tst1", 3, 5, {1, 0, 1, 99, 99}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.values, (std::vector<float>{1, 0, 1}));
    // Fewer: the others return to their defaults.
    r = load(home, file("Tst1", 3, 1, {-3}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.values, (std::vector<float>{-3, 1, 0.25f}));
    // Out-of-range values are clamped, positions rounded; NaN gives the
    // default, whatever was there before.
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();
    r = load(home, file("Tst1", 3, 3, {inf, 1.6f, nan}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.values, (std::vector<float>{36, 2, 0.25f}));
    r = load(home, file("Tst1", 3, 3, {-1e30f, -7, 1e30f}));
    EXPECT_EQ(r.values, (std::vector<float>{-36, 0, 1}));
    // A negative count holds no values: all defaults, and the load holds.
    r = load(home, file("Tst1", 3, -4, {1, 1, 1}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.values, defaults);
}

// The binary streams against bytes laid out by hand, and the resources they read. (The compiled-in
// table is the embedder's test's; every filter test loads the characteristics through it.)
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

// The preset manager on folder trees made here: order, pinning, flattening,
// numbering, the look-ups the editor and MIDI use, and the scan budget.
namespace {

std::vector<std::string> names(const PresetManager& m)
{
    std::vector<std::string> list;
    for (const PresetItem* item : m.getFlatList())
        list.push_back(item->name);
    return list;
}

void touch(const TemporaryHome& home, const std::string& relative)
{
    testsupport::writeFile(home.path(relative), "x");
}

} // namespace

TEST(PresetManager, TreeIsSortedPinnedFirstAndFlattenedInPostOrder)
{
    TemporaryHome home;
    for (const char* f : {"p/b.mvp", "p/A.mvp", "p/a2.mvp", "p/notes.txt", "p/UPPER.MVP", "p/Bass/Sub.mvp",
                          "p/_Favourites/Star.mvp", "p/Bass/Deep/Low.mvp", "p/\xc3\x89t\xc3\xa9/Chaud.mvp"})
        touch(home, f);
    PresetManager m(".mvp");
    m.setPath(home.path("p").string());

    // Folders: pinned first, then by name without regard to case, bytes of
    // 0x80 and up (signed) before ASCII; each folder's children before its
    // own presets; extensions match without regard to case.
    EXPECT_EQ(names(m), (std::vector<std::string>{"Star", "Chaud", "Low", "Sub", "A", "a2", "b", "UPPER"}));
    ASSERT_EQ(m.getChildren().size(), 3u);
    EXPECT_EQ(m.getChildren()[0]->getDisplayName(), "Favourites");
    EXPECT_TRUE(m.getChildren()[0]->isPinned());
    EXPECT_EQ(m.getChildren()[2]->getDisplayName(), "Bass");
    EXPECT_EQ(m.getFlatList()[5]->path, home.path("p/a2.mvp").string());

    // Additional folders follow the main tree, under the name given; a
    // folder that does not exist scans as empty.
    touch(home, "old/Classic.mvp");
    m.addFolder("V1 Preset Folder", home.path("old").string());
    m.addFolder("Gone", home.path("nowhere").string());
    EXPECT_EQ(names(m).back(), "Classic");
    EXPECT_EQ(m.getAdditionalFolder(0).getDisplayName(), "V1 Preset Folder");
    EXPECT_TRUE(m.getAdditionalFolder(1).isEmpty());

    // A rescan sees what changed on disk, and tells the listeners (the
    // menus rebuild); a listener may leave while it is told, and one added
    // twice hears once.
    struct Listener final : PresetListener {
        PresetManager& manager;
        bool leave;
        int heard = 0;
        Listener(PresetManager& m, bool l) : manager(m), leave(l) {}
        void presetsChanged() override
        {
            ++heard;
            if (leave)
                manager.removeListener(this);
        }
    } leaving(m, true), staying(m, false);
    m.addListener(&leaving);
    m.addListener(&staying);
    m.addListener(&staying);
    std::filesystem::remove(home.path("p/b.mvp"));
    m.rescan();
    EXPECT_EQ(m.getFlatList().size(), 8u);
    m.rescan();
    EXPECT_EQ(leaving.heard, 1);
    EXPECT_EQ(staying.heard, 2);
}

TEST(PresetManager, NumberingAndLookUps)
{
    TemporaryHome home;
    for (int i = 0; i < 130; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p/P%03d.mvp", i);
        touch(home, name);
    }
    touch(home, "p/p000.mvp"); // the same name but for case: sorts after P000
    PresetManager m(".mvp");
    m.setPath(home.path("p").string());
    ASSERT_EQ(m.getFlatList().size(), 131u);

    const PresetItem* item = m.findProgram(1, 0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->name, "P127");
    EXPECT_EQ(item->label, "(1/0) P127");
    EXPECT_EQ(m.findProgram(0, 1)->name, "p000");
    EXPECT_EQ(m.findProgram(1, 3), nullptr);
    EXPECT_EQ(m.findProgram(0, 128), nullptr);
    EXPECT_EQ(m.findProgram(-1, 0), nullptr);

    // By name: exact, case matters; the first in flat order wins.
    EXPECT_EQ(m.findByName("p000"), m.getFlatList()[1]);
    EXPECT_EQ(m.findByName("P000"), m.getFlatList()[0]);
    EXPECT_EQ(m.findByName("P00"), nullptr);

    // By path: previous and next wrap around; an unknown path finds nothing.
    const std::string first = m.getFlatList().front()->path;
    const std::string last = m.getFlatList().back()->path;
    EXPECT_EQ(m.findByPath(first, PresetManager::previous)->path, last);
    EXPECT_EQ(m.findByPath(last, PresetManager::next)->path, first);
    EXPECT_EQ(m.findByPath(first, PresetManager::itself)->path, first);
    EXPECT_EQ(m.findByPath(first, PresetManager::next), m.getFlatList()[1]);
    EXPECT_EQ(m.findByPath(home.path("p/none.mvp").string(), PresetManager::next), nullptr);
}

// A clock that moves on by 400 ms each time it is read: the 2500 ms budget
// runs out after a handful of folders, whatever the machine's speed.
TEST(PresetManager, ScanStopsDescendingWhenTheBudgetIsSpentButListsEveryVisitedFolder)
{
    TemporaryHome home;
    std::string deep = "p";
    for (int level = 0; level < 12; ++level) {
        deep += "/d" + std::to_string(level);
        touch(home, deep + "/preset" + std::to_string(level) + ".mvp");
        touch(home, deep + "/side/s" + std::to_string(level) + ".mvp");
    }
    std::int64_t now = 0;
    PresetManager m(".mvp", [&now] { return now += 400; });
    m.setPath(home.path("p").string());

    // Walk down the first branch as far as the scan went.
    int visited = 0;
    const PresetFolder* folder = &m;
    while (!folder->getChildren().empty()) {
        folder = folder->getChildren().front().get();
        ++visited;
        EXPECT_FALSE(folder->getPresets().empty()) << "folder at depth " << visited;
    }
    EXPECT_GE(visited, 1);
    EXPECT_LT(visited, 12);
    EXPECT_FALSE(m.getFlatList().empty());
}

// The document bundle: writer and reader against each other and against bytes laid out here; damaged
// or hostile bundles never crash, write outside the destination or replace a file.
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
