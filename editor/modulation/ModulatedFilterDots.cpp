#include "editor/modulation/ModulatedFilterDots.h"

#include "editor/EditorStyle.h"
#include "editor/FilterController.h"
#include "effect/OstrandPlugin.h"
#include "gui/Canvas.h"
#include "modulation/ModulationMatrix.h"

#include <algorithm>
#include <cmath>

ModulatedFilterDots::ModulatedFilterDots(gui::Control& parent, FilterController& shownIn, OstrandPlugin& effect,
                                         const TargetModulation& sweeps)
    : gui::Control(parent, gui::Rect{0, 0, shownIn.width(), shownIn.height()}), display(shownIn), plugin(effect),
      modulation(sweeps)
{
}

gui::Rect ModulatedFilterDots::areaOf(const Dot& dot) const
{
    const int left = static_cast<int>(std::floor(std::min(dot.at.x, dot.base.x))) - 5;
    const int top = static_cast<int>(std::floor(std::min(dot.at.y, dot.base.y))) - 5;
    const int right = static_cast<int>(std::ceil(std::max(dot.at.x, dot.base.x))) + 6;
    const int bottom = static_cast<int>(std::ceil(std::max(dot.at.y, dot.base.y))) + 6;
    return {left, top, right, bottom};
}

void ModulatedFilterDots::update()
{
    const ModulationMatrix* matrix = plugin.getModulationMatrix();
    const auto& shownDots = display.dots();
    for (std::size_t n = 0; n < dots.size(); ++n) {
        Dot now;
        if (matrix && n < shownDots.size()) {
            const FilterParameterSet& set = plugin.filters[static_cast<int>(n)];
            const bool freq = modulation.sweep(set.freq).modulated;
            const bool peak = modulation.sweep(set.peak).modulated;
            if (freq || peak) {
                now.shown = true;
                now.base = shownDots[n].position;
                const float f = freq ? modulation.fractionOf(set.freq, matrix->getTargetValue(set.freq.getTarget()))
                                     : set.freq.getNormalized();
                const float q = peak ? modulation.fractionOf(set.peak, matrix->getTargetValue(set.peak.getTarget()))
                                     : set.peak.getNormalized();
                now.at = display.positionOf(f, q);
            }
        }
        Dot& was = dots[n];
        const bool same = now.shown == was.shown &&
                          (!now.shown || (std::fabs(now.at.x - was.at.x) < 0.25f && std::fabs(now.at.y - was.at.y) < 0.25f &&
                                          std::fabs(now.base.x - was.base.x) < 0.25f &&
                                          std::fabs(now.base.y - was.base.y) < 0.25f));
        if (same)
            continue;
        if (was.shown)
            invalidate(areaOf(was));
        was = now;
        if (was.shown)
            invalidate(areaOf(was));
    }
}

void ModulatedFilterDots::paint(gui::Canvas& canvas)
{
    for (std::size_t n = 0; n < dots.size(); ++n) {
        const Dot& dot = dots[n];
        if (!dot.shown)
            continue;
        const gui::Pixel colour = EditorStyle::filterColours[n];
        canvas.drawLine(dot.base, dot.at, 1.0f, gui::withAlpha(colour, 110));
        canvas.fillCircle(dot.at, 4.2f, gui::rgba(10, 11, 14, 200));
        canvas.fillCircle(dot.at, 3.2f, colour);
    }
}
