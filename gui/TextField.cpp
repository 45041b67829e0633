#include "gui/TextField.h"

#include "gui/Canvas.h"
#include "gui/Label.h"
#include "gui/UserInterface.h"

namespace gui {

namespace {

constexpr int padding = 4;

bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t previousCharacter(const std::string& s, std::size_t at)
{
    if (at == 0)
        return 0;
    --at;
    while (at > 0 && continuation(s[at]))
        --at;
    return at;
}

std::size_t nextCharacter(const std::string& s, std::size_t at)
{
    if (at >= s.size())
        return s.size();
    ++at;
    while (at < s.size() && continuation(s[at]))
        ++at;
    return at;
}

} // namespace

TextField::TextField(Control& parent, const Rect& frame, const std::string& initial)
    : Control(parent, frame), font(userInterface().createText(Font{"", 9}))
{
    setText(initial);
}

void TextField::setText(const std::string& text)
{
    content = text;
    caretByte = content.size();
    invalidate();
}

void TextField::takeFocus()
{
    Control::takeFocus();
    userInterface().requestKeyboard();
}

void TextField::paint(Canvas& canvas)
{
    const Rect r{0, 0, width(), height()};
    canvas.fillRect(r, rgba(24, 26, 30));
    canvas.frameRect(r, userInterface().focusedControl() == this ? rgba(232, 160, 48) : rgba(96, 101, 112));
    // Keep the caret in view: scroll the text left when it runs past.
    const int caretX = textWidth(*font, std::string_view(content).substr(0, caretByte));
    const int room = width() - 2 * padding;
    if (caretX - scroll > room)
        scroll = caretX - room;
    else if (caretX < scroll)
        scroll = caretX;
    Canvas::Scope scope(canvas);
    canvas.clipTo(r.inset(2));
    const Rect line{padding - scroll, 0, padding - scroll + caretX + width() * 4, height()};
    canvas.drawText(*font, content, line, rgba(235, 237, 240));
    if (userInterface().focusedControl() == this)
        canvas.fillRect({padding - scroll + caretX, 4, padding - scroll + caretX + 1, height() - 4},
                        rgba(235, 237, 240));
}

bool TextField::keyPressed(const KeyEvent& key)
{
    switch (key.code) {
    case KeyCode::Character:
        if (key.text.empty())
            return false;
        content.insert(caretByte, key.text);
        caretByte += key.text.size();
        break;
    case KeyCode::Backspace:
        if (caretByte > 0) {
            const std::size_t from = previousCharacter(content, caretByte);
            content.erase(from, caretByte - from);
            caretByte = from;
        }
        break;
    case KeyCode::Delete:
        content.erase(caretByte, nextCharacter(content, caretByte) - caretByte);
        break;
    case KeyCode::Left:
        caretByte = previousCharacter(content, caretByte);
        break;
    case KeyCode::Right:
        caretByte = nextCharacter(content, caretByte);
        break;
    case KeyCode::Home:
        caretByte = 0;
        break;
    case KeyCode::End:
        caretByte = content.size();
        break;
    case KeyCode::Enter:
        entered.fire();
        return true;
    default:
        return false;
    }
    invalidate();
    return true;
}

void TextField::mouseDown(MouseButton button, Point local, int modifiers)
{
    // The caret goes to the character boundary nearest the click.
    const int x = local.x - padding + scroll;
    std::size_t best = 0;
    int bestDistance = std::abs(x);
    for (std::size_t at = nextCharacter(content, 0); at <= content.size(); at = nextCharacter(content, at)) {
        const int d = std::abs(textWidth(*font, std::string_view(content).substr(0, at)) - x);
        if (d < bestDistance) {
            best = at;
            bestDistance = d;
        }
        if (at == content.size())
            break;
    }
    caretByte = best;
    invalidate();
    Control::mouseDown(button, local, modifiers);
}

} // namespace gui
