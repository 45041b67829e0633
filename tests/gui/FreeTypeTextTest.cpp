// Text through fontconfig and FreeType: the font rule (no name means
// "Tahoma", which falls back to the desktop's sans face; points at 96 dpi)
// and text drawn into a bitmap at scale 1 and 2.
#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/x11/FreeTypeText.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace gui;

TEST(FreeTypeText, FindsAFaceForTheFontRuleAndDrawsAtBothScales)
{
    EXPECT_EQ(Font{}.faceName(), "Tahoma");
    EXPECT_EQ((Font{std::string(40, 'x'), 8}).faceName().size(), 32u);
    EXPECT_EQ((Font{"", 8}).pixelHeight(), 11);  // 10.67
    EXPECT_EQ((Font{"", 9}).pixelHeight(), 12);
    EXPECT_EQ((Font{"", 12}).pixelHeight(), 16);

    FreeTypeText regular, bold;
    regular.setFont(Font{"", 9});
    bold.setFont(Font{"", 9, true});
    ASSERT_TRUE(std::filesystem::exists(regular.fontFile())) << regular.fontFile();
    ASSERT_TRUE(std::filesystem::exists(bold.fontFile()));
    EXPECT_NE(regular.fontFile(), bold.fontFile());
    EXPECT_GT(bold.measure("Resonance", 1), regular.measure("Resonance", 1));

    // The same string at scale 2 is twice as wide, give or take the
    // rounding of each advance; ascent and descent span about the em.
    const int one = regular.measure("Cut-off 1.2 kHz", 1), two = regular.measure("Cut-off 1.2 kHz", 2);
    EXPECT_NEAR(two, 2 * one, 8);
    EXPECT_NEAR(regular.ascent(1) + regular.descent(1), 14, 3);

    // Drawn, the ink stays inside the clip and covers a reasonable share of
    // the line; nothing at all outside the clip.
    for (int scale : {1, 2}) {
        Bitmap bitmap(120 * scale, 20 * scale);
        Canvas canvas(bitmap, scale);
        canvas.fillRect({0, 0, 120, 20}, rgba(0, 0, 0));
        canvas.drawText(regular, "Resonance 100 %", {0, 0, 60, 20}, rgba(255, 255, 255));
        int inked = 0, outside = 0;
        for (int y = 0; y < bitmap.height(); ++y)
            for (int x = 0; x < bitmap.width(); ++x)
                if (redOf(bitmap.pixelAt(x, y)) > 0)
                    (x < 60 * scale ? inked : outside)++;
        EXPECT_EQ(outside, 0) << scale;
        EXPECT_GT(inked, 60 * 20 * scale * scale / 10) << scale;
    }
}
