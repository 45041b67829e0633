// Text entry of parameter values: names, options, plain numbers and numbers
// with the unit of the display. (The renderer's own test checks the messages,
// the listing and the plain cases through the real effect.)
#include "framework/ParameterAssignment.h"
#include "framework/GenericPlugin.h"
#include "framework/LimFloatPropPluginParameter.h"
#include "framework/ParameterLookup.h"
#include "framework/ParameterValueParser.h"
#include "framework/PropPluginParameter.h"

#include <gtest/gtest.h>

#include <cmath>

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
        gain.getDisplay().setInner([](float db) { return std::pow(10.0f, db / 20.0f); });
        gain.getDisplay().setOuter([](float g) { return 20.0f * std::log10(g); });
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
