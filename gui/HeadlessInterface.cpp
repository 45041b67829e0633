#include "gui/HeadlessInterface.h"

#include "gui/RootControl.h"

#include <algorithm>

namespace gui {

namespace {

class MeasuringText : public Text {
public:
    int ascent(int scale) override { return font().pixelHeight() * scale * 4 / 5; }
    int descent(int scale) override { return font().pixelHeight() * scale / 5; }
    int measure(std::string_view utf8, int scale) override
    {
        return static_cast<int>(utf8.size()) * font().pixelHeight() * scale / 2;
    }
    void draw(Canvas&, std::string_view, int, int, Pixel) override {}

protected:
    void fontChanged() override {}
};

} // namespace

HeadlessInterface::HeadlessInterface(int width, int height, int scale, TextFactory texts) : makeText(std::move(texts))
{
    setRoot(std::make_unique<RootControl>(*this, width, height, scale));
}

HeadlessInterface::~HeadlessInterface() { destroyRoot(); }

void HeadlessInterface::advance(std::uint64_t ms)
{
    const std::uint64_t end = now + ms;
    while (true) {
        const auto next = nextTimerDue();
        if (!next || *next > end)
            break;
        now = std::max(now, *next);
        runDueTimers();
    }
    now = end;
}

std::unique_ptr<Text> HeadlessInterface::createText(const Font& font)
{
    std::unique_ptr<Text> text = makeText ? makeText(font) : std::make_unique<MeasuringText>();
    text->setFont(font);
    return text;
}

const Bitmap& HeadlessInterface::render()
{
    root().paintDirty();
    return root().surface();
}

} // namespace gui
