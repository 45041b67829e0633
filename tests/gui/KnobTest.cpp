// Knobs and the value model driven by synthetic mouse input with a clock the
// test moves: the 200-pixel full range, fine and speed-sensitive drags, small
// ranges, the wheel, the dial on the ring, and the modifier actions in both
// the default table and the host's.
#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/HeadlessInterface.h"
#include "gui/Knob.h"
#include "gui/ModifierActions.h"
#include "gui/RootControl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>
#include <utility>

using namespace gui;

namespace {

// A knob at (100, 100) in a large window, with an image so that it drags.
struct KnobRig {
    HeadlessInterface ui{400, 400};
    Bitmap image{40, 40};
    Knob& knob;
    int begins = 0, ends = 0, changes = 0, alternates = 0;

    KnobRig() : knob(ui.root().add<Knob>(Rect::ofSize(100, 100, 40, 40), styleWithImage()))
    {
        knob.beginEdit.addHandler([this](NotifyEvent&) { ++begins; });
        knob.endEdit.addHandler([this](NotifyEvent&) { ++ends; });
        knob.valueChanged.addHandler([this](NotifyEvent&) { ++changes; });
        knob.alternateAction.addHandler([this](NotifyEvent&) { ++alternates; });
    }

    Knob::Style styleWithImage()
    {
        Knob::Style s;
        s.image = &image;
        return s;
    }

    // Presses on the body, moves `pixels` upwards in steps of `step` pixels
    // `ms` apart, and lets go.
    void drag(int pixels, int step, int ms, int modifiers = 0)
    {
        RootControl& root = ui.root();
        Point p{120, 120};
        root.mouseDownAt(MouseButton::Left, p, Modifier::LeftButton | modifiers);
        for (int moved = 0; moved < pixels; moved += step) {
            ui.advance(static_cast<std::uint64_t>(ms));
            p.y -= std::min(step, pixels - moved);
            root.mouseMoveAt(p, Modifier::LeftButton | modifiers);
        }
        root.mouseUpAt(MouseButton::Left, p, modifiers);
    }

    // The point on the ring at `degrees` (0 at the top, clockwise), in window
    // coordinates.
    Point ringPoint(double degrees)
    {
        const double a = degrees * std::numbers::pi / 180.0;
        const double r = 16.5;
        return {100 + static_cast<int>(std::lround(20 + r * std::sin(a))),
                100 + static_cast<int>(std::lround(20 - r * std::cos(a)))};
    }
};

} // namespace

TEST(Knob, DragsCoverTheRangeIn200PixelsFinerSlowerOrInStepsOfSmallRanges)
{
    // Full rate: 10 pixels every 20 ms is faster than 0.1 pixel per ms.
    // Shift (fine in the default table) gives a tenth. Slow, one pixel every
    // 100 ms (0.01 pixel per ms), each pixel moves 4096 / 200 x (0.1 + 0.9 x
    // 10 x 0.01) steps, unless speed sensitivity is off. A small range steps
    // every 20 pixels and holds at its end.
    const struct {
        int pixels, step, ms, keys;
        bool speedSensitive;
        int maximum, expected;
    } drags[] = {{200, 10, 20, 0, true, 4096, 4096},
                 {200, 10, 20, Modifier::Shift, true, 4096, 409},
                 {50, 1, 100, 0, true, 4096, static_cast<int>(50 * 4096 / 200.0 * 0.19)},
                 {50, 1, 100, 0, false, 4096, 1024},
                 {59, 1, 1, 0, true, 5, 2},
                 {300, 10, 1, 0, true, 5, 5}};
    for (const auto& d : drags) {
        KnobRig rig;
        rig.knob.speedSensitive = d.speedSensitive;
        rig.knob.maximum = d.maximum;
        rig.drag(d.pixels, d.step, d.ms, d.keys);
        EXPECT_EQ(rig.knob.value, d.expected) << d.pixels << " pixels, " << d.ms << " ms";
        EXPECT_EQ(std::make_pair(rig.begins, rig.ends), std::make_pair(1, 1));
        EXPECT_EQ(rig.knob.dragMode(), Knob::DragMode::Idle);
    }
}

TEST(Knob, WheelAddsRangeTimesAmountButNotDuringADrag)
{
    KnobRig rig;
    RootControl& root = rig.ui.root();
    root.wheelAt({120, 120}, 0, 120); // first notch: slow, 0.002 x 4096 = 8.192
    EXPECT_EQ(rig.knob.value, 8);
    rig.ui.advance(10);
    root.wheelAt({120, 120}, 0, 120); // quick: 0.1 x 4096 + 0.192
    EXPECT_EQ(rig.knob.value, 8 + 409);
    rig.ui.advance(10);
    root.wheelAt({120, 120}, Modifier::Shift, -120); // fine: -40.96 + 0.792
    EXPECT_EQ(rig.knob.value, 8 + 409 - 40);
    EXPECT_EQ(rig.begins, 3);

    const int before = rig.knob.value;
    root.mouseDownAt(MouseButton::Left, {120, 120}, Modifier::LeftButton);
    root.wheelAt({120, 120}, 0, 120);
    EXPECT_EQ(rig.knob.value, before);
    root.mouseUpAt(MouseButton::Left, {120, 120}, 0);

    // A notch beside the knob reaches no knob. Per notch: 10 ms or less
    // after the last is the quickest, 500 ms or more the slowest (above);
    // a part of a notch counts nothing and a burst stops at a whole range.
    root.wheelAt({5, 5}, 0, 120);
    EXPECT_EQ(rig.knob.value, before);
    EXPECT_FLOAT_EQ(RootControl::wheelAmount(120, 100), 0.01f);
    EXPECT_FLOAT_EQ(RootControl::wheelAmount(119, 10), 0.0f);
    EXPECT_FLOAT_EQ(RootControl::wheelAmount(120 * 30, 10), 1.0f);

    // A small range collects the fractions of slow notches.
    rig.knob.maximum = 5;
    rig.knob.value = 0;
    for (int i = 0; i < 3; ++i) {
        rig.ui.advance(20); // 0.05 x 5 = 0.25 per notch
        root.wheelAt({120, 120}, 0, 120);
    }
    EXPECT_EQ(rig.knob.value, 0);
    rig.ui.advance(20);
    root.wheelAt({120, 120}, 0, 120);
    EXPECT_EQ(rig.knob.value, 1);
}

TEST(Knob, ResetFineAndAlternateInBothModifierTables)
{
    struct Table {
        bool host;
        int reset, fine, alternate, otherReset;
    };
    for (const Table t : {Table{false, Modifier::Control, Modifier::Shift, Modifier::Alt, Modifier::Alt},
                          Table{true, Modifier::Alt, Modifier::Control, Modifier::Shift, Modifier::Control}}) {
        ModifierActions::useHostShortcuts(t.host);
        KnobRig rig;
        rig.knob.defaultValue = 2048;
        // The reset click sets the default and starts no drag, bracketed by
        // an edit; the other table's reset key is no reset here.
        rig.knob.value = 100;
        rig.drag(100, 10, 20, t.reset);
        EXPECT_EQ(std::make_tuple(rig.knob.value.get(), rig.begins, rig.ends), std::make_tuple(2048, 1, 1)) << t.host;
        rig.knob.value = 100;
        rig.drag(0, 10, 20, t.otherReset);
        EXPECT_EQ(rig.knob.value, 100) << t.host;
        // The alternate key raises the alternate action once per press; fine
        // and alternate together do both.
        rig.alternates = 0;
        rig.drag(20, 10, 20, t.alternate);
        EXPECT_EQ(rig.alternates, 1) << t.host;
        EXPECT_FALSE(rig.knob.alternateActive());
        rig.knob.value = 0;
        rig.drag(200, 10, 20, t.fine | t.alternate);
        EXPECT_EQ(std::make_pair(rig.knob.value.get(), rig.alternates), std::make_pair(409, 2)) << t.host;
    }
    // Ctrl+Alt is in neither table: a plain drag.
    EXPECT_EQ(ModifierActions::lookup(Modifier::Control | Modifier::Alt | Modifier::LeftButton), 0);
    ModifierActions::useHostShortcuts(false);
}

TEST(Knob, TheRingTurnsLikeADial)
{
    KnobRig rig;
    Knob& k = rig.knob;
    k.maximum = 300; // one step per degree of the 300-degree arc from 210
    RootControl& root = rig.ui.root();

    // Hovering the ring is noticed; the body is not the ring.
    root.mouseMoveAt({120, 120}, 0);
    EXPECT_EQ(k.hoverZone(), Knob::Zone::Body);
    root.mouseMoveAt(rig.ringPoint(215), 0);
    EXPECT_EQ(k.hoverZone(), Knob::Zone::Ring);
    root.mouseMoveAt(rig.ringPoint(180), 0); // the gap at the bottom
    EXPECT_EQ(k.hoverZone(), Knob::Zone::Body);

    // Pressed on the ring 5 degrees past the value's angle, the value turns
    // as the mouse turns, across the top, and stops at the arc's ends.
    root.mouseDownAt(MouseButton::Left, rig.ringPoint(215), Modifier::LeftButton);
    EXPECT_EQ(k.dragMode(), Knob::DragMode::Rotary);
    const std::pair<double, int> path[] = {{270, 55}, {330, 115}, {30, 175}, {90, 235}, {150, 295}, {170, 300},
                                           {90, 235}, {0, 145},   {240, 25}, {200, 0}};
    for (const auto& [degrees, expected] : path) {
        root.mouseMoveAt(rig.ringPoint(degrees), Modifier::LeftButton);
        EXPECT_NEAR(k.value, expected, 3) << degrees;
    }
    root.mouseUpAt(MouseButton::Left, rig.ringPoint(200), 0);

    // A knob without an image does not drag; a click points it.
    Knob& dial = rig.ui.root().add<Knob>(Rect::ofSize(200, 100, 40, 40));
    dial.maximum = 300;
    root.mouseDownAt(MouseButton::Left, {220, 108}, Modifier::LeftButton);
    root.mouseMoveAt({220, 50}, Modifier::LeftButton);
    EXPECT_EQ(dial.value, 0);
    root.mouseUpAt(MouseButton::Left, {220, 108}, 0); // straight up: 150 degrees into the arc
    EXPECT_EQ(dial.value, 150);
}

// The canvas's anti-aliasing against geometry: the coverage a fill or a
// stroke leaves in the pixels adds up to the area of the shape, at scale 1
// and 2, and nothing lands outside the clip.
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
