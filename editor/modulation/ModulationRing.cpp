#include "editor/modulation/ModulationRing.h"

#include "editor/ParameterBinding.h"
#include "editor/modulation/ModulationStyle.h"
#include "framework/GenericPlugin.h"
#include "gui/Canvas.h"
#include "gui/Knob.h"
#include "modulation/ModulationTargetParameter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Less than this (a share of the knob's range) is not worth a redraw.
constexpr float visibleMove = 0.002f;

bool moved(float a, float b) { return std::fabs(a - b) > visibleMove; }

} // namespace

ModulationRing::ModulationRing(gui::Control& parent, gui::Knob& ringed, const ParameterBinding& bound,
                               GenericPlugin& effect, const TargetModulation& sweeps)
    : gui::Control(parent, gui::Rect{0, 0, ringed.width(), ringed.height()}), knob(ringed), binding(bound),
      plugin(effect), modulation(sweeps)
{
}

float ModulationRing::radius() const
{
    const gui::KnobStyle& s = knob.style();
    const float ring = (s.innerRadius + s.outerRadius) * 0.5f;
    // Just outside the knob's own ring where the knob's frame has room,
    // else on it.
    const float room = std::min({s.centre.x, static_cast<float>(width()) - s.centre.x, s.centre.y,
                                 static_cast<float>(height()) - s.centre.y});
    return ring + 3.4f <= room ? ring + 2.6f : ring;
}

void ModulationRing::update()
{
    TargetSweep now;
    if (knob.isShown())
        if (const auto* p = dynamic_cast<const ModulationTargetParameter*>(plugin.getParameter(binding.parameterIndex())))
            now = modulation.sweep(*p);
    const bool changed = now.modulated != shown.modulated ||
                         (now.modulated && (moved(now.low, shown.low) || moved(now.high, shown.high) ||
                                            moved(now.live, shown.live)));
    if (!changed)
        return;
    shown = now;
    invalidate();
}

void ModulationRing::paint(gui::Canvas& canvas)
{
    if (!shown.modulated)
        return;
    const gui::KnobStyle& s = knob.style();
    const float start = s.arcStart / 360.0f, extent = s.arcExtent / 360.0f;
    const float r = radius();
    const float span = std::max(shown.high - shown.low, 0.004f);
    canvas.strokeArc(s.centre, r, start + extent * shown.low, extent * span, 1.6f, ModulationStyle::sweep);
    const float a = (start + extent * shown.live) * 2.0f * std::numbers::pi_v<float>;
    const gui::PointF dot{s.centre.x + r * std::sin(a), s.centre.y - r * std::cos(a)};
    canvas.fillCircle(dot, 2.1f, gui::rgba(0, 0, 0, 140));
    canvas.fillCircle(dot, 1.6f, ModulationStyle::live);
}
