// The text conversions of a settings store that keeps numbers as text:
// doubles exactly as the C library's "%.15lg" prints them, stored text read
// the way "%d" and strtod read it, and the default for anything unusable.
#include "framework/SettingSerializer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>

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
