// Text entry of parameter values: names, options, plain numbers and numbers
// with the unit of the display, and the listing line.
#include "framework/GenericPlugin.h"
#include "framework/LimFloatPropPluginParameter.h"
#include "framework/ParameterAssignment.h"
#include "framework/ParameterListing.h"
#include "framework/ParameterLookup.h"
#include "framework/ParameterValueParser.h"
#include "framework/PropPluginParameter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

float exp2f(float x)
{
    return std::exp2(x);
}
float toDecibels(float gain)
{
    return 20.0f * std::log10(gain);
}
float fromDecibels(float db)
{
    return std::pow(10.0f, db / 20.0f);
}

class TextPlugin final : public GenericPlugin {
public:
    TextPlugin()
        : freq(this, "Filter Freq"), gain(this, "Input Gain"), slope(this, "Filter Slope"),
          response(this, "Filter Response"), routing(this, "Routing"), plain(this, "Balance")
    {
        freq.setRange(0.0f, 1.0f);
        freq.setDisplayRange(2.2666f, 16.2064f);
        freq.getDisplay().setOuter(exp2f);
        freq.getDisplay().setUnit("Hz");
        freq.setDefault(1.0f);
        freq.resetToDefault();
        gain.setRange(-36.0f, 36.0f);
        gain.getDisplay().setInner(fromDecibels);
        gain.getDisplay().setOuter(toDecibels);
        gain.getDisplay().setUnit("dB");
        slope.setRange(1, 3);
        slope.setOptions("12,24,48");
        slope.setDefault(1);
        slope.resetToDefault();
        response.setRange(0, 2);
        response.setOptions("LP,HP,BP");
        routing.setRange(0, 7);
        plain.setRange(0.0f, 1.0f);
        plain.setDefault(0.5f);
        plain.resetToDefault();
        initialize("Text");
    }
    ~TextPlugin() override { terminate(); }
    std::string presetMagic() const override { return "Text"; }

    LimFloatPropPluginParameter freq;
    LimFloatPropPluginParameter gain;
    PropPluginParameter<int> slope;
    PropPluginParameter<int> response;
    PropPluginParameter<int> routing;
    LimFloatPropPluginParameter plain;
};

ParsedParameterValue parse(const AbstractPluginParameter& p, const char* text)
{
    return parseParameterValue(p, text);
}

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

    const ParameterAssignment typo = parseParameterAssignment(p, "Filtr Freq=0.5");
    EXPECT_FALSE(typo.ok());
    EXPECT_NE(typo.error.find("'Filtr Freq'"), std::string::npos) << typo.error;
    EXPECT_NE(typo.error.find("did you mean 'Filter Freq'"), std::string::npos) << typo.error;
    // Case matters for the name itself; the suggestion shows the right one.
    const ParameterAssignment lower = parseParameterAssignment(p, "input gain=0");
    EXPECT_FALSE(lower.ok());
    EXPECT_NE(lower.error.find("'Input Gain'"), std::string::npos) << lower.error;
    // Nothing alike: no suggestions.
    EXPECT_TRUE(closestParameterNames(p, "Wobble Depth Amount").empty());
    EXPECT_FALSE(parseParameterAssignment(p, "Routing").ok());

    // Applying sets the parameter like a user would.
    EXPECT_TRUE(applyParameterAssignment(p, "Filter Response=bp").ok());
    EXPECT_EQ(p.response.getValue(), 2.0f);
    EXPECT_FALSE(applyParameterAssignment(p, "Filter Response=notch").ok());
    EXPECT_EQ(p.response.getValue(), 2.0f);
}

TEST(ParameterAssignment, ValuesAsOptionsPlainNumbersOrWithTheDisplaysUnit)
{
    TextPlugin p;
    // Options first (case-insensitive), then whole positions.
    EXPECT_EQ(parse(p.response, "hp").plain, 1.0f);
    EXPECT_EQ(parse(p.slope, "48").plain, 3.0f);
    EXPECT_EQ(parse(p.slope, "2").plain, 2.0f);
    EXPECT_FALSE(parse(p.slope, "2.5").ok);
    const ParsedParameterValue badOption = parse(p.response, "notch");
    EXPECT_FALSE(badOption.ok);
    EXPECT_NE(badOption.error.find("LP, HP, BP"), std::string::npos) << badOption.error;
    EXPECT_EQ(parse(p.routing, "7").plain, 7.0f);
    EXPECT_FALSE(parse(p.routing, "8").ok);

    // Plain values within the range.
    EXPECT_EQ(parse(p.freq, "0.25").plain, 0.25f);
    EXPECT_EQ(parse(p.gain, "-12.5").plain, -12.5f);
    const ParsedParameterValue outside = parse(p.freq, "1000");
    EXPECT_FALSE(outside.ok);
    EXPECT_NE(outside.error.find("Hz"), std::string::npos) << "suggests the unit: " << outside.error;
    EXPECT_FALSE(parse(p.plain, "nan").ok);
    EXPECT_FALSE(parse(p.plain, "inf").ok);
    EXPECT_FALSE(parse(p.plain, "0x1p-1").ok);
    EXPECT_FALSE(parse(p.plain, "").ok);

    // Through the display: 2^(2.2666 + 13.9398 p) = 1000 Hz in closed form.
    const ParsedParameterValue kilohertz = parse(p.freq, "1000 Hz");
    ASSERT_TRUE(kilohertz.ok) << kilohertz.error;
    EXPECT_NEAR(kilohertz.plain, (std::log2(1000.0) - 2.2666) / 13.9398, 2e-6);
    EXPECT_NEAR(parse(p.freq, "1000hz").plain, kilohertz.plain, 1e-7);
    EXPECT_NEAR(parse(p.freq, "4.812 Hz").plain, 0.0f, 1e-4);
    EXPECT_FALSE(parse(p.freq, "2 Hz").ok);
    EXPECT_FALSE(parse(p.freq, "90000 Hz").ok);
    EXPECT_NEAR(parse(p.gain, "6 dB").plain, 6.0f, 1e-4);
    EXPECT_NEAR(parse(p.gain, "-6 DB").plain, -6.0f, 1e-4);
    EXPECT_FALSE(parse(p.gain, "40 dB").ok);
    const ParsedParameterValue wrongUnit = parse(p.gain, "6 Hz");
    EXPECT_FALSE(wrongUnit.ok);
    EXPECT_NE(wrongUnit.error.find("'dB'"), std::string::npos) << wrongUnit.error;
    EXPECT_FALSE(parse(p.plain, "0.5 ms").ok) << "no unit to convert through";
}

TEST(ParameterAssignment, ListingLineShowsRangeDefaultAndCurrentText)
{
    TextPlugin p;
    p.slope.setValue(3.0f, 0);
    EXPECT_EQ(parameterListLine(p.slope), "2\tFilter Slope\t1\t3\t1\t48");
    EXPECT_EQ(parameterListLine(p.gain), "1\tInput Gain\t-36\t36\t0\t0.000 dB");
    const std::string all = parameterListing(p);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), p.getParameterCount());
    EXPECT_EQ(all.substr(0, all.find('\n')).substr(0, 24), "0\tFilter Freq\t0\t1\t1\t7561");
}
