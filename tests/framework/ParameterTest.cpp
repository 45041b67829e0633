#include "TestFiles.h"
#include "framework/FileEnumerator.h"
#include "framework/GenericPlugin.h"
#include "framework/LimFloatPropPluginParameter.h"
#include "framework/ParameterAssignment.h"
#include "framework/ParameterLookup.h"
#include "framework/ParameterValueParser.h"
#include "framework/PropPluginParameter.h"
#include "framework/SettingSerializer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

namespace {

// Records registrations and change notifications like a plug-in would.
struct RecordingOwner final : GenericParameterOwner {
    struct Change {
        int index;
        float value;
        int flag;
    };
    std::vector<AbstractPluginParameter*> registered;
    std::vector<Change> changes;

    void parameterChanged(int index, float value, int flag) override
    {
        changes.push_back({index, value, flag});
    }
    int addParameter(AbstractPluginParameter* p) override
    {
        registered.push_back(p);
        return static_cast<int>(registered.size()) - 1;
    }
};

struct CountingPropertyOwner final : PropertyOwner {
    int calls = 0;
    void propertyChanged(PropertyBase&) override { ++calls; }
};

enum class Response { LP, HP, BP };

const auto dbToGain = [](float db) { return std::pow(10.0f, db / 20.0f); };
const auto gainToDb = [](float gain) { return 20.0f * std::log10(gain); };

} // namespace

TEST(PluginParameter, FloatClampsNotifiesOnlyRealChangesAndNormalizes)
{
    RecordingOwner owner;
    FloatPluginParameter gain(&owner, "Input Gain");
    FloatPluginParameter pan(&owner, "Input Pan");
    EXPECT_EQ(pan.getIndex(), 1);
    gain.setRange(-36.0f, 36.0f);
    EXPECT_FLOAT_EQ(gain.normalize(0.0f), 0.5f);
    EXPECT_FLOAT_EQ(gain.denormalize(0.25f), -18.0f);

    gain.setValue(12.0f, 1);
    ASSERT_EQ(owner.changes.size(), 1u);
    EXPECT_TRUE(owner.changes[0].index == 0 && owner.changes[0].value == 12.0f && owner.changes[0].flag == 1);

    // Within the single-precision epsilon: no notification; beyond: one.
    gain.setValue(12.0f + 1.0e-7f, 0);
    EXPECT_EQ(owner.changes.size(), 1u);
    gain.setValue(100.0f, 0);
    ASSERT_EQ(owner.changes.size(), 2u);
    EXPECT_EQ(gain.getValue(), 36.0f);
    gain.setValue(std::nanf(""), 0);
    EXPECT_EQ(owner.changes.size(), 2u);
    EXPECT_EQ(gain.getText(), "36");
}

TEST(PluginParameter, EnumeratedPositionsAndTheirTexts)
{
    RecordingOwner owner;
    PropPluginParameter<Response> response(&owner, "Response");
    response.setRange(0, 2);
    response.setOptions("LP,HP,BP");
    for (const auto& [normalized, position] :
         {std::pair{0.5f, 1.0f}, {1.0f, 2.0f}, {-0.2f, 0.0f}, {0.24f, 0.0f}, {0.26f, 1.0f}})
        EXPECT_EQ(response.denormalize(normalized), position) << normalized;
    EXPECT_FLOAT_EQ(response.normalize(2.0f), 1.0f);
    EXPECT_EQ(response.valueToText(1.0f), "HP");
    EXPECT_EQ(response.valueToText(7.0f), "7"); // beyond the range: no name

    response.setValue(2.0f, 0);
    response.setValue(2.0f, 0);
    EXPECT_EQ(owner.changes.size(), 1u);
    EXPECT_EQ(response.getTypedValue(), Response::BP);
    response.setValue(-5.0f, 0);
    EXPECT_EQ(response.getValue(), 0.0f);

    // Positions 1..3 named from the first position: "12,24,48".
    PropPluginParameter<int> slope(&owner, "Slope");
    slope.setRange(1, 3);
    slope.setOptions("12,24,48");
    slope.setDefault(1.0f);
    slope.setValue(0.0f, 0);
    EXPECT_EQ(slope.getValue(), 1.0f);
    EXPECT_EQ(slope.getText(), "12");

    // Options split at every comma, empty names and blanks kept.
    slope.setOptions("Stereo,,Mid/Side, x");
    EXPECT_EQ(slope.getOptionNames(), (std::vector<std::string>{"Stereo", "", "Mid/Side", " x"}));

    PropPluginParameter<bool> enabled(&owner, "Enabled");
    enabled.setOptions("Off,On");
    enabled.setValue(2.0f, 0);
    EXPECT_TRUE(enabled.getTypedValue());
    EXPECT_EQ(enabled.getValue(), 1.0f);
    EXPECT_EQ(enabled.getText(), "On");
}

TEST(PluginParameter, PropertiesReceiveMappedValuesAndOwnersHearRealChangesOnly)
{
    RecordingOwner owner;
    CountingPropertyOwner dsp;
    LimFloatPropPluginParameter gain(&owner, "Output Gain");
    gain.setRange(-36.0f, 36.0f);
    gain.getDisplay().setInner(dbToGain);
    gain.getDisplay().setOuter(gainToDb);
    gain.getDisplay().setUnit("dB");
    LimitedProperty<float> linear(&dsp, 10.0f, 0.0f, 1.0f);
    gain.bindProperty(linear);

    gain.updateProperties(-6.0f);
    EXPECT_NEAR(linear.get(), 0.501187f, 1e-5f);
    EXPECT_EQ(dsp.calls, 1);
    gain.updateProperties(-6.0f);
    EXPECT_EQ(dsp.calls, 1);
    gain.updateProperties(36.0f); // 63.1 clamps to the property's 10
    EXPECT_EQ(linear.get(), 10.0f);
    EXPECT_EQ(gain.valueToText(-6.0f), "-6.000 dB");
    gain.getDisplay().setUnit("");
    EXPECT_EQ(gain.valueToText(-6.0f), "-6.000");

    // Mix: 0..100 shown through display range -1..1 and outer (x + 1) * 50.
    LimFloatPropPluginParameter mix(&owner, "Mix");
    mix.setRange(0.0f, 100.0f);
    mix.setDisplayRange(-1.0f, 1.0f);
    mix.getDisplay().setOuter([](float x) { return (x + 1.0f) * 50.0f; });
    mix.getDisplay().setUnit("%");
    EXPECT_EQ(mix.valueToText(75.0f), "75.000 %");
    LimitedProperty<float> mixSignal(&dsp, 1.0f, -1.0f, 0.0f);
    mix.bindProperty(mixSignal);
    mix.updateProperties(25.0f);
    EXPECT_FLOAT_EQ(mixSignal.get(), -0.5f);

    // The plain float version pushes the value unchanged and prints %.15lg.
    GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter> peak(&owner, "Peak");
    LimitedProperty<float> peakProperty(nullptr, 1.0f, 0.0f, 0.0f);
    peak.bindProperty(peakProperty);
    peak.updateProperties(0.3f);
    EXPECT_EQ(peakProperty.get(), 0.3f);
    EXPECT_EQ(peak.valueToText(0.1f), "0.100000001490116");

    // Enumerations push the T of the position.
    PropPluginParameter<Response> response(&owner, "Response");
    response.setRange(0, 2);
    Property<Response> a(&dsp, Response::LP), b(nullptr, Response::LP);
    response.bindProperty(a);
    response.bindProperty(b);
    const int before = dsp.calls;
    response.updateProperties(2.0f);
    EXPECT_EQ(a.get(), Response::BP);
    EXPECT_EQ(b.get(), Response::BP);
    EXPECT_EQ(dsp.calls, before + 1);
    response.updateProperties(9.0f); // clamped to the last position
    EXPECT_EQ(a.get(), Response::BP);
}

// Text entry of parameter values: names, options, plain numbers and numbers
// with the unit of the display. (The renderer's own test checks the messages,
// the listing and the plain cases through the real effect.)
namespace {

class TextPlugin final : public GenericPlugin {
public:
    TextPlugin()
        : freq(this, "Filter Freq"), gain(this, "Input Gain"), slope(this, "Filter Slope"),
          response(this, "Filter Response"), plain(this, "Balance")
    {
        freq.setDisplayRange(2.2666f, 16.2064f);
        freq.getDisplay().setOuter([](float x) { return std::exp2(x); });
        freq.getDisplay().setUnit("Hz");
        gain.setRange(-36.0f, 36.0f);
        gain.getDisplay().setInner(dbToGain);
        gain.getDisplay().setOuter(gainToDb);
        gain.getDisplay().setUnit("dB");
        slope.setRange(1, 3);
        slope.setOptions("12,24,48");
        response.setRange(0, 2);
        response.setOptions("LP,HP,BP");
        initialize("Text");
    }
    ~TextPlugin() override { terminate(); }
    std::string presetMagic() const override { return "Text"; }

    LimFloatPropPluginParameter freq, gain;
    PropPluginParameter<int> slope, response;
    LimFloatPropPluginParameter plain;
};

} // namespace

TEST(ParameterAssignment, NamesMatchExactlyAndUnknownOnesGetTheClosest)
{
    EXPECT_EQ(nameDistance("kitten", "sitting"), 3);
    EXPECT_EQ(nameDistance("Filter Freq", "filter freq"), 0);
    EXPECT_EQ(nameDistance("", "abc"), 3);

    TextPlugin p;
    const ParameterAssignment ok = parseParameterAssignment(p, "  Filter Slope = 24 ");
    ASSERT_TRUE(ok.ok()) << ok.error;
    EXPECT_EQ(ok.index, p.slope.getIndex());
    EXPECT_EQ(ok.plain, 2.0f);
    // Case matters for the name itself; the suggestion shows the right one.
    const ParameterAssignment lower = parseParameterAssignment(p, "input gain=0");
    EXPECT_FALSE(lower.ok());
    EXPECT_NE(lower.error.find("'Input Gain'"), std::string::npos) << lower.error;
    EXPECT_TRUE(closestParameterNames(p, "Wobble Depth Amount").empty());

    // Applying sets the parameter like a user would; a refused value leaves it.
    EXPECT_TRUE(applyParameterAssignment(p, "Filter Response=bp").ok());
    EXPECT_FALSE(applyParameterAssignment(p, "Filter Response=notch").ok());
    EXPECT_EQ(p.response.getValue(), 2.0f);
}

TEST(ParameterAssignment, ValuesAsOptionsPlainNumbersOrWithTheDisplaysUnit)
{
    TextPlugin p;
    const float refused = NAN;
    // 2^(2.2666 + 13.9398 p) = 1000 Hz in closed form.
    const float kilohertz = static_cast<float>((std::log2(1000.0) - 2.2666) / 13.9398);
    struct Case {
        const AbstractPluginParameter& parameter;
        const char* text;
        float plain;
    };
    for (const Case& c : std::vector<Case>{{p.slope, "2", 2},
                                           {p.slope, "2.5", refused},
                                           {p.plain, "nan", refused},
                                           {p.plain, "inf", refused},
                                           {p.plain, "0x1p-1", refused},
                                           {p.plain, "", refused},
                                           {p.freq, "1000hz", kilohertz},
                                           {p.freq, "4.812 Hz", 0},
                                           {p.freq, "2 Hz", refused},
                                           {p.freq, "90000 Hz", refused},
                                           {p.gain, "-6 DB", -6},
                                           {p.gain, "40 dB", refused},
                                           {p.plain, "0.5 ms", refused}}) {
        const ParsedParameterValue parsed = parseParameterValue(c.parameter, c.text);
        EXPECT_EQ(parsed.ok, !std::isnan(c.plain)) << c.text << ": " << parsed.error;
        if (parsed.ok) {
            EXPECT_NEAR(parsed.plain, c.plain, 1e-4f) << c.text;
        }
    }
    // A plain value out of range suggests the unit of the display.
    EXPECT_NE(parseParameterValue(p.freq, "1000").error.find("Hz"), std::string::npos);
}

// The text conversions of a settings store that keeps numbers as text:
// doubles exactly as the C library's "%.15lg" prints them, stored text read
// the way "%d" and strtod read it, and the default for anything unusable.
namespace {

// Settings kept in memory as text. It implements only what a text store
// must, so what the test sees of numbers and switches is the base class's
// conversions.
struct MemorySerializer final : SettingSerializer {
    MemorySerializer(std::map<std::string, std::string>& kept, bool storing) : text(kept), writing(storing) {}
    bool isWriting() const override { return writing; }
    void serializeBinary(const std::string&, std::vector<std::uint8_t>&) override {}
    std::string serializeString(const std::string& name, const std::string& value, const std::string& def) override
    {
        if (writing)
            return text[name] = value;
        const auto found = text.find(name);
        return found == text.end() ? def : found->second;
    }
    std::map<std::string, std::string>& text;
    bool writing;
};

} // namespace

TEST(SettingSerializer, DoubleTextMatchesTheCFormat)
{
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-320, 307);
    for (int i = 0; i < 5000; ++i) {
        double value = mantissa(random) * std::pow(10.0, exponent(random));
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.15lg", value);
        ASSERT_EQ(settingtext::formatDouble(value), expected);
        double back = 0;
        ASSERT_TRUE(settingtext::parseDouble(expected, back));
        EXPECT_EQ(back, std::strtod(expected, nullptr));
    }
}

TEST(SettingSerializer, WrittenTextReadsBackAndUnusableTextGivesTheDefault)
{
    std::map<std::string, std::string> kept;
    MemorySerializer store(kept, true);
    EXPECT_EQ(store.serializeInt("i", -17, 0), -17);
    EXPECT_TRUE(store.serializeBool("b", true, false));
    store.serializeDouble("third", 1.0 / 3.0, 0);
    store.serializeDouble("-inf", -INFINITY, 0);
    EXPECT_EQ(store.text, (std::map<std::string, std::string>{
                              {"-inf", "-INF"}, {"b", "1"}, {"i", "-17"}, {"third", "0.333333333333333"}}));

    store.writing = false;
    // Ints as "%d" reads one field: leading blanks, digits up to the first
    // other character, nothing beyond int32.
    for (const auto& [text, expected] : std::vector<std::pair<std::string, int>>{
             {"42", 42}, {"12abc", 12}, {" -5", -5}, {"+5", 5}, {"abc", 7}, {"2147483648", 7}})
        EXPECT_EQ((store.text["n"] = text, store.serializeInt("n", 0, 7)), expected) << text;
    // Doubles only when the whole text is one number; beyond the range an infinity.
    for (const auto& [text, expected] : std::vector<std::pair<std::string, double>>{
             {"2.5", 2.5}, {" 1e-3", 1e-3}, {"INF", INFINITY}, {"1e999", INFINITY}, {"2.5x", 9}, {"", 9}})
        EXPECT_EQ((store.text["d"] = text, store.serializeDouble("d", 0, 9)), expected) << text;
    store.text["b"] = "2";
    EXPECT_TRUE(store.serializeBool("b", false, false));
    store.text["b"] = "yes";
    EXPECT_TRUE(store.serializeBool("b", false, true));
    EXPECT_EQ(store.serializeDouble("missing", 0, 0.1), 0.1);
}

namespace {

std::set<std::string> list(const std::string& folder, const std::string& extension, bool directories)
{
    std::set<std::string> names;
    auto enumerator = createFileEnumerator(folder, extension, directories);
    while (enumerator->next())
        names.insert(enumerator->currentName());
    EXPECT_FALSE(enumerator->next()); // stays at the end
    return names;
}

} // namespace

TEST(FileEnumerator, ListsFilesOrFoldersByExtension)
{
    const testsupport::ScratchFolder scratch;
    const std::filesystem::path& root = scratch.root;
    for (const char* file : {"b.mvp", "A.MVP", "notes.txt", "mvp", ".mvp", "x.mvp.bak"})
        testsupport::writeFile(root / file, "x");
    for (const char* folder : {"Bass", "_Favourites", "Pads.mvp"})
        std::filesystem::create_directory(root / folder);
    std::filesystem::create_directory_symlink(root / "Bass", root / "LinkedFolder");
    std::filesystem::create_symlink(root / "b.mvp", root / "linked.mvp");
    std::filesystem::create_symlink(root / "gone.mvp", root / "dangling.mvp");

    using Names = std::set<std::string>;
    EXPECT_EQ(list(root.string(), ".mvp", false), (Names{"b.mvp", "A.MVP", ".mvp", "linked.mvp"}));
    EXPECT_EQ(list(root.string() + "/", "", true), (Names{"Bass", "_Favourites", "Pads.mvp", "LinkedFolder"}));
    EXPECT_EQ(list(root.string(), ".MVP", true), (Names{"Pads.mvp"}));
    EXPECT_EQ(list(root.string(), "", false),
              (Names{"b.mvp", "A.MVP", "notes.txt", "mvp", ".mvp", "x.mvp.bak", "linked.mvp"}));
    EXPECT_TRUE(list((root / "missing").string(), "", false).empty());
    EXPECT_TRUE(list("", "", true).empty());
}
