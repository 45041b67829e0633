// The settings file's text: written as the format says, read back whole, and
// read from hand-written, damaged or cut text without ever yielding a value
// that was not written.
#include "persistence/SettingsStore.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

SettingsStore::Values sampleValues()
{
    SettingsStore::Values values;
    values["Count"] = SettingsStore::Dword(-2147483647 - 1);
    values["Max"] = SettingsStore::Dword(2147483647);
    values["HelpFileName"] = SettingsStore::Text("C:\\a \"b\"\n");
    values["Tricky \"name\"\\"] = SettingsStore::Text("line\nbreak\ttab\r\0nul\x7f\xc3\xa9"s);
    values["Empty"] = SettingsStore::Text("");
    values["Layout"] = SettingsStore::Binary{0x0a, 0x00, 0xff};
    values["Nothing"] = SettingsStore::Binary{};
    return values;
}

} // namespace

TEST(SettingsStore, WritesTheFormatAndReadsItBackWhole)
{
    const SettingsStore::Values values = sampleValues();
    const std::string text = SettingsStore::format(values);
    EXPECT_EQ(text[0], '#');
    // Names sort without regard to case; texts are escaped.
    for (const std::string line : {"merovance-settings 1\ndword \"Count\" -2147483648\n",
                                   "sz \"HelpFileName\" \"C:\\\\a \\\"b\\\"\\n\"\nbinary \"Layout\" 0a00ff\n"
                                   "dword \"Max\" 2147483647\nbinary \"Nothing\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;

    SettingsStore::Values parsed = SettingsStore::parse(text);
    EXPECT_EQ(parsed, values);
    // Names are found in any case; the stored spelling stays.
    EXPECT_EQ(parsed.find("count")->first, "Count");
}

TEST(SettingsStore, ReadsHandWrittenTextAndSkipsOnlyDamagedLines)
{
    SettingsStore::Values values = SettingsStore::parse("\n# note\nmerovance-settings 1\r\n"
                                                        "  dword\t\"A\"   4294967295  \r\n"
                                                        "sz \"B\" \"\\x41\\x00z\"\n"
                                                        "binary \"C\" ABcd\n"
                                                        "dword \"a\" 7\n" // the later of "A" and "a" counts
                                                        "dword \"TooBig\" 4294967296\n"
                                                        "dword \"Word\" five\n"
                                                        "sz \"Open\" \"no end\n"
                                                        "sz \"BadEscape\" \"\\q\"\n"
                                                        "binary \"Odd\" abc\n"
                                                        "binary \"NotHex\" zz\n"
                                                        "qword \"Unknown\" 1\n"
                                                        "dword Unquoted 1\n"
                                                        "sz \"Trailing\" \"x\" y\n"
                                                        "dword \"CutShort\" 12");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values["a"], SettingsStore::Value(SettingsStore::Dword(7)));
    EXPECT_EQ(values["B"], SettingsStore::Value(SettingsStore::Text("A\0z"s)));
    EXPECT_EQ(values["C"], SettingsStore::Value(SettingsStore::Binary{0xab, 0xcd}));
    for (const char* unreadable : {"dword \"A\" 1\n", "merovance-settings 2\ndword \"A\" 1\n", ""})
        EXPECT_TRUE(SettingsStore::parse(unreadable).empty()) << unreadable;
}

// Whatever point a file is cut at, what is read back is a subset of what was
// written, never a changed value. (Random and damaged files are the
// regression corpus's, SettingsCorpusTest.)
TEST(SettingsStore, CutTextNeverYieldsAWrongValue)
{
    const SettingsStore::Values values = sampleValues();
    const std::string text = SettingsStore::format(values);
    for (std::size_t length = 0; length <= text.size(); ++length) {
        for (const auto& [name, value] : SettingsStore::parse(std::string_view(text).substr(0, length))) {
            auto original = values.find(name);
            ASSERT_NE(original, values.end()) << length;
            EXPECT_EQ(value, original->second) << "cut at " << length << ": " << name;
        }
    }
    EXPECT_EQ(SettingsStore::parse(text).size(), values.size());
}
