#include "DemoPanel.h"

#include "gui/BitmapFiler.h"
#include "gui/Button.h"
#include "gui/Dialogs.h"
#include "gui/ImageControl.h"
#include "gui/Label.h"
#include "gui/Menu.h"
#include "gui/RootControl.h"

#include <ostream>

using namespace gui;

namespace {

enum MenuId { ShowHints = 1, ResetKnobs, Centre, Maximum, Rename, ChooseFolder, About };

} // namespace

DemoPanel::DemoPanel(RootControl& rootControl) : root(rootControl)
{
    knobImage = loadBitmap("Knob.png");
    logo = loadBitmap("Logo.png");
    root.userInterface().addListener(*this);

    title = &root.add<Label>(Rect::ofSize(16, 12, 260, 22), "Ostrand 2 toolkit", Font{"", 12, true});
    root.add<ImageControl>(Point{308, 10}, *logo);
    status = &root.add<Label>(Rect::ofSize(16, 36, 280, 18),
                              "Drag a knob, turn its ring, or use the wheel.", Font{"", 8});
    status->colour = rgba(160, 166, 176);

    const struct {
        const char* name;
        const char* unit;
        int maximum, value, fallback;
        const char* hint;
    } settings[] = {
        {"Freq", " %", 100, 25, 50, "Freq: drag up or down, Shift for fine steps, Ctrl-click for the default."},
        {"Peak", " %", 100, 60, 0, "Peak: the outer ring turns like a dial."},
        {"Steps", "", 5, 2, 0, "Steps: a small range moves one step per 20 pixels."},
    };
    KnobStyle style;
    style.image = knobImage.get();
    for (int i = 0; i < 3; ++i) {
        const int x = 40 + i * 110;
        Knob& knob = root.add<Knob>(Rect::ofSize(x, 76, 40, 40), style);
        knob.maximum = settings[i].maximum;
        knob.defaultValue = settings[i].fallback;
        knob.value = settings[i].value;
        knob.hint = settings[i].hint;
        Label& name = root.add<Label>(Rect::ofSize(x - 20, 120, 80, 16), settings[i].name, Font{"", 8, true});
        name.align = Align::Center;
        Label& value = root.add<Label>(Rect::ofSize(x - 20, 136, 80, 16), "", Font{"", 8});
        value.align = Align::Center;
        value.colour = rgba(232, 160, 48);
        dials.push_back({&knob, &value, settings[i].name, settings[i].unit});
    }
    for (std::size_t i = 0; i < dials.size(); ++i) {
        showValue(dials[i]);
        dials[i].knob->valueChanged.addHandler([this, i](NotifyEvent&) { showValue(dials[i]); });
    }

    menuButton = &root.add<Button>(Rect::ofSize(16, 170, 90, 24), "Menu");
    menuButton->hint = "Menu: opens a popup menu drawn inside the window.";
    menuButton->clicked.addHandler([this](NotifyEvent&) { openMenu(); });
    hintLine = &root.add<Label>(Rect::ofSize(120, 164, 284, 64), "", Font{"", 8});
    hintLine->wrap = true;
    hintLine->colour = rgba(190, 196, 206);
}

DemoPanel::~DemoPanel() { root.userInterface().removeListener(*this); }

void DemoPanel::showValue(Dial& dial) { dial.value->text = std::to_string(dial.knob->value) + dial.unit; }

void DemoPanel::showHint(const std::string& text) { hintLine->text = text; }

void DemoPanel::openMenu()
{
    Menu knobs;
    knobs.add("Centre", Centre).add("Maximum", Maximum);
    Menu menu;
    menu.add("Show Hints", ShowHints, root.userInterface().hintsEnabled())
        .addSubmenu("Set Knobs", knobs)
        .add("Reset Knobs", ResetKnobs)
        .addSeparator()
        .add("Rename...", Rename)
        .add("Choose Folder...", ChooseFolder)
        .add("About...", About);
    const Rect at = menuButton->frame();
    popupMenu(root, menu, {at.left, at.bottom}, [this](int id) {
        UserInterface& ui = root.userInterface();
        for (Dial& d : dials) {
            if (id == ResetKnobs)
                d.knob->value = d.knob->defaultValue.get();
            else if (id == Centre)
                d.knob->value = (d.knob->minimum + d.knob->maximum) / 2;
            else if (id == Maximum)
                d.knob->value = d.knob->maximum.get();
        }
        if (id == ShowHints)
            ui.setHintsEnabled(!ui.hintsEnabled());
        else if (id == Rename)
            textEntryDialog(root, "A new title for this window:", title->text.get(), [this](std::optional<std::string> t) {
                if (t)
                    title->text = *t;
            });
        else if (id == ChooseFolder)
            folderChooser(root, "Choose a folder", "/", [this](std::optional<std::string> f) {
                status->text = f ? "Chosen: " + *f : "No folder chosen.";
            });
        else if (id == About)
            messageBox(root, "Ostrand 2 toolkit viewer: knobs, text, images, a menu and dialogs, all drawn "
                             "inside the window.");
    });
}

void DemoPanel::printLayout(std::ostream& out) const
{
    for (const Dial& d : dials) {
        const Rect& r = d.knob->frame();
        out << "knob-" << d.name << ' ' << r.left << ' ' << r.top << ' ' << r.width() << ' ' << r.height() << '\n';
    }
    const Rect& m = menuButton->frame();
    out << "menu " << m.left << ' ' << m.top << ' ' << m.width() << ' ' << m.height() << '\n';
    out << "logo 308 10 " << logo->width() << ' ' << logo->height() << '\n';
}
