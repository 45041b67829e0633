#include "persistence/SettingsStore.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

SettingsStore::Values sampleValues()
{
    SettingsStore::Values values;
    values["Count"] = SettingsStore::Dword(-2147483647 - 1);
    values["Plain"] = SettingsStore::Text("/home/me/My Presets/");
    values["Tricky \"name\"\\"] = SettingsStore::Text("line\nbreak\ttab\r\0nul\x7f\xc3\xa9"s);
    values["Empty"] = SettingsStore::Text("");
    values["Blob"] = SettingsStore::Binary{0x00, 0xff, 0x10, 0x7f};
    values["NoBytes"] = SettingsStore::Binary{};
    values["Max"] = SettingsStore::Dword(2147483647);
    return values;
}

} // namespace

TEST(SettingsStore, FileTextIsTheDocumentedFormat)
{
    SettingsStore::Values values;
    values["showWelcomeHint"] = SettingsStore::Dword(1);
    values["HelpFileName"] = SettingsStore::Text("C:\\a \"b\"\n");
    values["Layout"] = SettingsStore::Binary{0x0a, 0x00, 0xff};
    values["Nothing"] = SettingsStore::Binary{};
    std::string text = SettingsStore::format(values);
    // Names sort without regard to case.
    std::string expected = "merovance-settings 1\n"
                           "sz \"HelpFileName\" \"C:\\\\a \\\"b\\\"\\n\"\n"
                           "binary \"Layout\" 0a00ff\n"
                           "binary \"Nothing\"\n"
                           "dword \"showWelcomeHint\" 1\n";
    ASSERT_GE(text.size(), expected.size());
    EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
    EXPECT_EQ(text[0], '#');
}

TEST(SettingsStore, EveryValueSurvivesFormatAndParse)
{
    SettingsStore::Values values = sampleValues();
    SettingsStore::Values parsed = SettingsStore::parse(SettingsStore::format(values));
    EXPECT_EQ(parsed, values);
    // Names are found in any case; the stored spelling stays.
    EXPECT_TRUE(parsed.count("COUNT"));
    EXPECT_EQ(parsed.find("count")->first, "Count");
}

TEST(SettingsStore, HandWrittenVariantsAreRead)
{
    SettingsStore::Values values = SettingsStore::parse("\n# note\nmerovance-settings 1\r\n"
                                                        "  dword\t\"A\"   4294967295  \r\n"
                                                        "sz \"B\" \"\\x41\\x00z\"\n"
                                                        "binary \"C\" ABcd\n"
                                                        "dword \"a\" 7\n");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values["a"], SettingsStore::Value(SettingsStore::Dword(7))); // the later of "A" and "a" counts
    EXPECT_EQ(values["B"], SettingsStore::Value(SettingsStore::Text("A\0z"s)));
    EXPECT_EQ(values["C"], SettingsStore::Value(SettingsStore::Binary{0xab, 0xcd}));
    EXPECT_EQ(SettingsStore::parse("dword \"A\" 4294967295\n#\n").size(), 0u); // no header line
}

TEST(SettingsStore, DamagedLinesCostOnlyTheirOwnValue)
{
    std::string text = "merovance-settings 1\n"
                       "dword \"Good1\" 5\n"
                       "dword \"TooBig\" 4294967296\n"
                       "dword \"Word\" five\n"
                       "sz \"Open\" \"no end\n"
                       "sz \"BadEscape\" \"\\q\"\n"
                       "binary \"Odd\" abc\n"
                       "binary \"NotHex\" zz\n"
                       "qword \"Unknown\" 1\n"
                       "sz \"Trailing\" \"x\" y\n"
                       "sz \"Good2\" \"yes\"\n"
                       "dword \"CutShort\" 12";
    SettingsStore::Values values = SettingsStore::parse(text);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values["Good1"], SettingsStore::Value(SettingsStore::Dword(5)));
    EXPECT_EQ(values["Good2"], SettingsStore::Value(SettingsStore::Text("yes")));

    EXPECT_TRUE(SettingsStore::parse("merovance-settings 2\ndword \"A\" 1\n").empty());
    EXPECT_TRUE(SettingsStore::parse("").empty());
}

// Whatever point a file is cut at, what is read back is a subset of what was
// written, never a changed value.
TEST(SettingsStore, TruncationNeverYieldsAWrongValue)
{
    SettingsStore::Values values = sampleValues();
    std::string text = SettingsStore::format(values);
    for (std::size_t length = 0; length <= text.size(); ++length) {
        SettingsStore::Values parsed = SettingsStore::parse(std::string_view(text).substr(0, length));
        for (const auto& [name, value] : parsed) {
            auto original = values.find(name);
            ASSERT_NE(original, values.end()) << length;
            EXPECT_EQ(value, original->second) << "cut at " << length << ": " << name;
        }
    }
    EXPECT_EQ(SettingsStore::parse(text).size(), values.size());
}
