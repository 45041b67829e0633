#include "editor/modulation/ModulationScrollStrip.h"

#include <algorithm>
#include <cmath>

ModulationScrollStrip::ModulationScrollStrip(gui::Control& parent, const gui::Rect& frame)
    : gui::AnimatedControl(parent, frame)
{
    row = &add<gui::Control>(gui::Rect{0, 0, 0, height()});
}

void ModulationScrollStrip::arrange(const std::vector<gui::Control*>& panels)
{
    int x = 0;
    for (gui::Control* panel : panels) {
        panel->setPosition({x, 0});
        x += panel->width() + gap;
    }
    row->setSize(std::max(0, x - gap), height());
    stopAnimation();
    place(std::clamp(offset, 0, maxScroll()));
}

void ModulationScrollStrip::place(int x)
{
    row->setPosition({-x, 0});
    if (x == offset)
        return;
    offset = x;
    invalidate();
    scrolled.fire();
}

void ModulationScrollStrip::scrollTo(int x, bool glide)
{
    x = std::clamp(x, 0, maxScroll());
    stopAnimation();
    if (!glide || x == offset) {
        place(x);
        return;
    }
    glideFrom = offset;
    glideTo = x;
    startAnimation();
}

void ModulationScrollStrip::centreOn(const gui::Control& panel, bool glide)
{
    scrollTo(panel.position().x + panel.width() / 2 - width() / 2, glide);
}

bool ModulationScrollStrip::animate(std::uint64_t elapsed)
{
    const double t = std::min(1.0, static_cast<double>(elapsed) / glideTime);
    // Eases out: quick at first, settling onto the panel.
    const double eased = 1.0 - (1.0 - t) * (1.0 - t) * (1.0 - t);
    place(glideFrom + static_cast<int>(std::lround((glideTo - glideFrom) * eased)));
    return t < 1.0;
}

void ModulationScrollStrip::mouseWheel(gui::Point, int, float amount)
{
    if (amount == 0.0f)
        return;
    // A notch moves a sixth of the window, faster turns further.
    const int step = std::max(1, static_cast<int>(std::lround(std::fabs(amount) * 10.0f))) * width() / 6;
    scrollTo(offset + (amount > 0 ? -step : step), false);
}
