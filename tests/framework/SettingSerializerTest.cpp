#include "framework/SettingSerializer.h"

#include "TextSettingStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

TEST(SettingSerializer, NumbersAreWrittenAsText)
{
    TextSettingStore store(true);
    EXPECT_EQ(store.serializeInt("i", -17, 0), -17);
    EXPECT_TRUE(store.serializeBool("b", true, false));
    store.serializeBool("f", false, true);
    EXPECT_EQ(store.serializeDouble("tenth", 0.1, 0), 0.1);
    store.serializeDouble("big", 1e300, 0);
    store.serializeDouble("third", 1.0 / 3.0, 0);
    store.serializeDouble("inf", INFINITY, 0);
    store.serializeDouble("-inf", -INFINITY, 0);
    EXPECT_EQ(store.text["i"], "-17");
    EXPECT_EQ(store.text["b"], "1");
    EXPECT_EQ(store.text["f"], "0");
    EXPECT_EQ(store.text["tenth"], "0.1");
    EXPECT_EQ(store.text["big"], "1e+300");
    EXPECT_EQ(store.text["third"], "0.333333333333333");
    EXPECT_EQ(store.text["inf"], "INF");
    EXPECT_EQ(store.text["-inf"], "-INF");
}

// The double text is "%.15lg" of the C library, whatever the value.
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

TEST(SettingSerializer, ReadingParsesStoredTextOrFallsBack)
{
    TextSettingStore store(false);
    store.text = {{"int", "42"},        {"intLetters", "12abc"}, {"intWord", "abc"},   {"intHuge", "2147483648"},
                  {"intBlank", " -5"},  {"dbl", "2.5"},          {"dblLetter", "2.5x"}, {"dblEmpty", ""},
                  {"dblInf", "INF"},    {"dblNegInf", "-INF"},   {"dblHuge", "1e999"}, {"dblBlank", " 1e-3"},
                  {"boolTwo", "2"},     {"boolZero", "0"},       {"boolText", "yes"}};
    EXPECT_EQ(store.serializeInt("int", 0, 7), 42);
    EXPECT_EQ(store.serializeInt("intLetters", 0, 7), 12); // one field, as "%d" reads it
    EXPECT_EQ(store.serializeInt("intWord", 0, 7), 7);
    EXPECT_EQ(store.serializeInt("intHuge", 0, 7), 7);
    EXPECT_EQ(store.serializeInt("intBlank", 0, 7), -5);
    EXPECT_EQ(store.serializeInt("missing", 0, 7), 7);

    EXPECT_EQ(store.serializeDouble("dbl", 0, 9), 2.5);
    EXPECT_EQ(store.serializeDouble("dblLetter", 0, 9), 9);
    EXPECT_EQ(store.serializeDouble("dblEmpty", 0, 9), 9);
    EXPECT_EQ(store.serializeDouble("dblInf", 0, 9), INFINITY);
    EXPECT_EQ(store.serializeDouble("dblNegInf", 0, 9), -INFINITY);
    EXPECT_EQ(store.serializeDouble("dblHuge", 0, 9), INFINITY);
    EXPECT_EQ(store.serializeDouble("dblBlank", 0, 9), 1e-3);
    EXPECT_EQ(store.serializeDouble("missing", 0, 0.1), 0.1);

    EXPECT_TRUE(store.serializeBool("boolTwo", false, false));
    EXPECT_FALSE(store.serializeBool("boolZero", true, true));
    EXPECT_TRUE(store.serializeBool("boolText", false, true));
    EXPECT_FALSE(store.serializeBool("missing", true, false));
}
