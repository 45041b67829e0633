#pragma once

#include "editor/ModulationMatrixPluginInterface.h"

class FilterController;
class FilterPanel;
class InputOutputPanels;
class ModulationInterface;
class OstrandPlugin;
class RoutingPanel;

// The effect's editor: the frame and the modulation area, the filter
// display across the top, and below it, read left to right as the signal
// flows, the input, the active filter, the routing and the output.
class OstrandInterface : public ModulationMatrixPluginInterface {
public:
    // Where the display sits in the editor.
    static constexpr gui::Rect displayFrame = {0, 34, 640, 297};

    OstrandInterface(gui::UserInterface& ui, OstrandPlugin& plugin);
    ~OstrandInterface() override;

    OstrandPlugin& effect() const { return ostrand; }
    FilterController& display() const { return *filterDisplay; }
    FilterPanel& filterPanel() const { return *filters; }
    RoutingPanel& routingPanel() const { return *routing; }
    InputOutputPanels& inputOutput() const { return *io; }
    ModulationInterface& modulation() const { return *modulationView; }

    // The filter whose knobs the panel shows (0..3).
    int activeFilter() const { return active; }
    void setActiveFilter(int filter);
    // A filter's button was clicked: the filter becomes the active one, or,
    // when it is already, its Enabled switch flips.
    void filterButtonClicked(int filter);
    // One more filter, with the active filter's characteristic, slope and
    // response, its dot placed where it covers no other; then it is the
    // active filter. Nothing with four filters in use.
    void addFilter();
    // Removes the active filter; the last one stays.
    void removeFilter();

    // The Freq, Pan or Peak parameters of the linked filters other than
    // `filter` (which = 0 Freq, 1 Pan, 2 Peak), for knobs that move them
    // together.
    std::vector<int> linkedParameters(int filter, int which) const;

protected:
    void parametersChanged(bool all, std::span<const int> indices) override;

private:
    OstrandPlugin& ostrand;
    FilterController* filterDisplay = nullptr;
    FilterPanel* filters = nullptr;
    RoutingPanel* routing = nullptr;
    InputOutputPanels* io = nullptr;
    ModulationInterface* modulationView = nullptr;
    int active = 0;
};
