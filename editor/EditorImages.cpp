#include "editor/EditorImages.h"

#include "gui/BitmapFiler.h"
#include "persistence/Resource.h"
#include "resources/EmbeddedResources.h"

#include <memory>
#include <mutex>

std::span<const EmbeddedResource> editorImageResources();

namespace {

void addEditorImages()
{
    static std::once_flag once;
    std::call_once(once, [] { addResourceTable(editorImageResources()); });
}

} // namespace

EditorImages::EditorImages()
{
    addEditorImages();
    gui::loadBitmap(background, "Background.png");
    gui::loadBitmap(knobBody, "KnobBody.png");
    gui::loadBitmap(undo, "IconUndo.png");
    gui::loadBitmap(redo, "IconRedo.png");
    gui::loadBitmap(previous, "IconPrevious.png");
    gui::loadBitmap(next, "IconNext.png");
    gui::loadBitmap(hintPanel, "HelpHintBackground.png");
    gui::loadBitmap(peak, "DisplayPeak.png");
    gui::loadBitmap(peakActive, "DisplayPeakActive.png");
    gui::loadBitmap(selected, "DisplaySelected.png");
    gui::loadBitmap(selectedActive, "DisplaySelectedActive.png");
    gui::loadBitmap(mid, "DisplayMid.png");
    gui::loadBitmap(midActive, "DisplayMidActive.png");
}

namespace {

void tintPixels(gui::Bitmap& target, const gui::Bitmap& image, gui::Pixel tint)
{
    target.resize(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        const gui::Pixel* from = image.row(y);
        gui::Pixel* to = target.row(y);
        for (int x = 0; x < image.width(); ++x) {
            const gui::Pixel p = from[x];
            to[x] = gui::rgba(gui::mul255(gui::redOf(p), gui::redOf(tint)), gui::mul255(gui::greenOf(p), gui::greenOf(tint)),
                              gui::mul255(gui::blueOf(p), gui::blueOf(tint)), gui::alphaOf(p));
        }
    }
    target.transparent = image.transparent.get();
}

} // namespace

void tintBitmap(gui::Bitmap& target, const gui::Bitmap& image, gui::Pixel tint)
{
    tintPixels(target, image, tint);
    if (const gui::Bitmap* twice = image.doubleSize()) {
        auto large = std::make_unique<gui::Bitmap>();
        tintPixels(*large, *twice, tint);
        target.setDoubleSize(std::move(large));
    } else {
        target.setDoubleSize(nullptr);
    }
}
