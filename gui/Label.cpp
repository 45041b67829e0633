#include "gui/Label.h"

#include "gui/UserInterface.h"

namespace gui {

Label::Label(Control& parent, const Rect& frame, const std::string& initial, const Font& font)
    : Control(parent, frame), textRenderer(userInterface().createText(font))
{
    text = initial;
}

void Label::setFont(const Font& font)
{
    textRenderer->setFont(font);
    invalidate();
}

void Label::paint(Canvas& canvas)
{
    if (!wrap) {
        canvas.drawText(*textRenderer, text.get(), {0, 0, width(), height()}, colour, align);
        return;
    }
    const int line = lineHeight(*textRenderer);
    int y = 0;
    for (const std::string& l : wrapText(*textRenderer, text.get(), width())) {
        canvas.drawText(*textRenderer, l, {0, y, width(), y + line}, colour, align);
        y += line;
    }
}

int textWidth(Text& text, std::string_view utf8) { return (text.measure(utf8, 2) + 1) / 2; }

int lineHeight(Text& text) { return (text.ascent(2) + text.descent(2) + 1) / 2 + 2; }

std::vector<std::string> wrapText(Text& text, const std::string& utf8, int width)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= utf8.size()) {
        const std::size_t end = std::min(utf8.find('\n', start), utf8.size());
        const std::string paragraph = utf8.substr(start, end - start);
        std::string line;
        std::size_t p = 0;
        while (p < paragraph.size()) {
            std::size_t q = paragraph.find(' ', p);
            if (q == std::string::npos)
                q = paragraph.size();
            const std::string word = paragraph.substr(p, q - p);
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && textWidth(text, candidate) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            p = q + 1;
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace gui
