// The canvas's anti-aliasing against geometry: the coverage a fill or a
// stroke leaves in the pixels adds up to the area of the shape, at scale 1
// and 2, and nothing lands outside the clip.
#include "gui/Bitmap.h"
#include "gui/Canvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace gui;

namespace {

// White drawn on black: the red channel is the coverage.
double inkedArea(const Bitmap& b, int scale)
{
    double sum = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            sum += redOf(b.pixelAt(x, y)) / 255.0;
    return sum / (scale * scale);
}

} // namespace

TEST(Canvas, FillsAndStrokesCoverTheirArea)
{
    for (int scale : {1, 2}) {
        auto fresh = [&] {
            auto b = std::make_unique<Bitmap>(100 * scale, 80 * scale);
            Canvas(*b, scale).fillRect({0, 0, 100, 80}, rgba(0, 0, 0));
            return b;
        };
        const Pixel white = rgba(255, 255, 255);

        auto circle = fresh();
        Canvas(*circle, scale).fillCircle({50.3f, 40.6f}, 20.0f, white);
        EXPECT_NEAR(inkedArea(*circle, scale), std::numbers::pi * 400, 400 * 0.01) << scale;

        // A triangle at fractional corners; drawn twice over itself with
        // the other winding it stays the same (non-zero rule).
        auto triangle = fresh();
        const PointF tri[] = {{10.25f, 10.5f}, {90.75f, 20.0f}, {30.5f, 70.25f}};
        const double area = std::fabs((90.75 - 10.25) * (70.25 - 10.5) - (30.5 - 10.25) * (20.0 - 10.5)) / 2;
        Canvas(*triangle, scale).fillPolygon(tri, white);
        EXPECT_NEAR(inkedArea(*triangle, scale), area, area * 0.005) << scale;

        // A diagonal stroke: length x width, plus its round caps.
        auto line = fresh();
        Canvas(*line, scale).drawLine({10, 10}, {70, 55}, 3.0f, white);
        EXPECT_NEAR(inkedArea(*line, scale), 75.0 * 3.0 + std::numbers::pi * 1.5 * 1.5, 6.0) << scale;

        // Clipped: nothing outside, and the part inside as if unclipped.
        auto clipped = fresh();
        {
            Canvas canvas(*clipped, scale);
            canvas.clipTo({0, 0, 50, 80});
            canvas.fillCircle({50.3f, 40.6f}, 20.0f, white);
        }
        for (int y = 0; y < clipped->height(); ++y)
            for (int x = 50 * scale; x < clipped->width(); ++x)
                ASSERT_EQ(redOf(clipped->pixelAt(x, y)), 0u) << x << "," << y;
        for (int y = 0; y < clipped->height(); ++y)
            for (int x = 0; x < 50 * scale; ++x)
                ASSERT_EQ(clipped->pixelAt(x, y), circle->pixelAt(x, y)) << x << "," << y;
    }
}

TEST(Canvas, BitmapsBlendByTheirAlphaAndTheCanvasAlpha)
{
    Bitmap target(4, 1), image(4, 1);
    Canvas canvas(target);
    canvas.fillRect({0, 0, 4, 1}, rgba(0, 0, 200));
    const std::uint32_t row[] = {0xff0000ffu, 0x800000ffu, 0x000000ffu, 0x4000ff00u}; // RGBA, R lowest
    image.setRow(0, row);
    image.transparent = true;
    {
        Canvas::Scope scope(canvas);
        canvas.multiplyAlpha(255);
        canvas.drawBitmap(image, 0, 0);
    }
    EXPECT_EQ(target.pixelAt(0, 0), rgba(255, 0, 0));
    // Half red over blue, nothing, a quarter green over blue.
    EXPECT_EQ(target.pixelAt(1, 0), rgba(128, 0, 100));
    EXPECT_EQ(target.pixelAt(2, 0), rgba(0, 0, 200));
    EXPECT_EQ(target.pixelAt(3, 0), rgba(0, 64, 150));

    // With the canvas at half alpha an opaque pixel lands at half.
    canvas.fillRect({0, 0, 4, 1}, rgba(0, 0, 200));
    canvas.multiplyAlpha(128);
    canvas.drawBitmap(image, 0, 0);
    EXPECT_EQ(target.pixelAt(0, 0), rgba(128, 0, 100));
}
