// ostrand-gui-demo: a window with a few knobs, a text, an image and a menu,
// to try the toolkit by hand, and its picture as a PNG file without any
// display for tests:
//
//     ostrand-gui-demo [--scale 1|2]
//     ostrand-gui-demo --snapshot FILE.png [--scale 1|2]
//     ostrand-gui-demo --layout
#include "DemoPanel.h"

#include "gui/HeadlessInterface.h"
#include "gui/PNGWriter.h"
#include "gui/RootControl.h"
#include "gui/x11/FreeTypeText.h"
#include "gui/x11/X11Interface.h"

#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

int usage()
{
    std::cerr << "usage: ostrand-gui-demo [--scale 1|2] [--snapshot FILE.png | --layout]\n";
    return 2;
}

int snapshot(const std::string& file, int scale, bool layoutOnly)
{
    gui::HeadlessInterface ui(DemoPanel::width, DemoPanel::height, scale, [](const gui::Font&) {
        return std::make_unique<gui::FreeTypeText>();
    });
    DemoPanel panel(ui.root());
    if (layoutOnly) {
        panel.printLayout(std::cout);
        return 0;
    }
    if (!gui::writePNG(ui.render(), file)) {
        std::cerr << "ostrand-gui-demo: cannot write " << file << '\n';
        return 1;
    }
    return 0;
}

int window(int scale)
{
    gui::X11Interface::Options options;
    options.width = DemoPanel::width;
    options.height = DemoPanel::height;
    options.scale = scale;
    options.title = "Ostrand GUI Demo";
    gui::X11Interface ui(options);
    DemoPanel panel(ui.root());
    while (ui.idle())
        ui.waitForEvents(100);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string snapshotFile;
    bool layout = false;
    int scale = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--snapshot" && i + 1 < argc)
            snapshotFile = argv[++i];
        else if (arg == "--scale" && i + 1 < argc)
            scale = std::atoi(argv[++i]);
        else if (arg == "--layout")
            layout = true;
        else
            return usage();
    }
    try {
        if (layout || !snapshotFile.empty())
            return snapshot(snapshotFile, scale == 2 ? 2 : 1, layout);
        return window(scale);
    } catch (const std::exception& e) {
        std::cerr << "ostrand-gui-demo: " << e.what() << '\n';
        return 1;
    }
}
