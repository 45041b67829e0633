#include "gui/Dialogs.h"

#include "framework/FileEnumerator.h"
#include "gui/Button.h"
#include "gui/Canvas.h"
#include "gui/Label.h"
#include "gui/Overlay.h"
#include "gui/RootControl.h"
#include "gui/TextField.h"
#include "gui/UserInterface.h"

#include <algorithm>

namespace gui {

namespace {

constexpr int margin = 14;
constexpr int buttonWidth = 76;
constexpr int buttonHeight = 24;

// The panel in the middle of the window.
class DialogPanel : public Control {
public:
    using Control::Control;
    void paint(Canvas& canvas) override
    {
        canvas.fillRect({0, 0, width(), height()}, rgba(50, 53, 60));
        canvas.frameRect({0, 0, width(), height()}, rgba(110, 116, 128));
    }
};

// Dims the whole window and holds a panel; every click lands in it.
class DialogOverlay : public Overlay {
public:
    DialogOverlay(RootControl& root, int panelWidth, int panelHeight)
        : Overlay(root, Rect{0, 0, root.width(), root.height()})
    {
        const int w = std::min(panelWidth, root.width() - 8), h = std::min(panelHeight, root.height() - 8);
        panel = &add<DialogPanel>(Rect::ofSize((root.width() - w) / 2, (root.height() - h) / 2, w, h));
    }

    void paint(Canvas& canvas) override { canvas.fillRect({0, 0, width(), height()}, rgba(0, 0, 0, 110)); }

    bool keyPressed(const KeyEvent& key) override
    {
        if (key.code == KeyCode::Enter) {
            accept();
            return true;
        }
        if (key.code == KeyCode::Escape) {
            cancel();
            return true;
        }
        return false;
    }

    // Buttons along the bottom right of the panel, first on the left.
    Button& addButton(const std::string& caption, int fromRight, void (DialogOverlay::*action)())
    {
        const int x = panel->width() - margin - (fromRight + 1) * buttonWidth - fromRight * 8;
        Button& b = panel->add<Button>(Rect::ofSize(x, panel->height() - margin - buttonHeight, buttonWidth, buttonHeight),
                                       caption);
        b.clicked.addHandler([this, action](NotifyEvent&) { (this->*action)(); });
        return b;
    }

    virtual void accept() = 0;
    virtual void cancel() = 0;

protected:
    // Hidden now, deleted after this event; the result after that.
    void close() { userInterface().deleteLater(*this); }

    Control* panel = nullptr;
};

// Wraps `text` into a label at the top of the panel; returns its height.
int addMessage(Control& panel, const std::string& text)
{
    Label& label = panel.add<Label>(Rect::ofSize(margin, margin, panel.width() - 2 * margin, 10), text, Font{"", 9});
    label.wrap = true;
    const int lines = static_cast<int>(wrapText(label.renderer(), text, label.width()).size());
    const int h = lines * lineHeight(label.renderer());
    label.setSize(label.width(), h);
    return h;
}

class MessageDialog : public DialogOverlay {
public:
    MessageDialog(RootControl& root, const std::string& message, bool withCancel, std::function<void(bool)> result)
        : DialogOverlay(root, 360, 120), done(std::move(result))
    {
        const int textHeight = addMessage(*panel, message);
        panel->setFrame(Rect::ofSize(panel->position().x, panel->position().y, panel->width(),
                                     std::min(root.height() - 8, textHeight + 3 * margin + buttonHeight)));
        panel->setPosition({panel->position().x, (root.height() - panel->height()) / 2});
        if (withCancel)
            addButton("Cancel", 0, &DialogOverlay::cancel);
        addButton("OK", withCancel ? 1 : 0, &DialogOverlay::accept);
        takeFocus();
    }
    void accept() override { finish(true); }
    void cancel() override { finish(false); }

private:
    void finish(bool ok)
    {
        if (!done)
            return;
        auto callback = std::move(done);
        done = nullptr;
        close();
        callback(ok);
    }
    std::function<void(bool)> done;
};

class TextEntryDialog : public DialogOverlay {
public:
    TextEntryDialog(RootControl& root, const std::string& prompt, const std::string& initial,
                    std::function<void(std::optional<std::string>)> result)
        : DialogOverlay(root, 360, 130), done(std::move(result))
    {
        const int textHeight = addMessage(*panel, prompt);
        field = &panel->add<TextField>(Rect::ofSize(margin, margin + textHeight + 8, panel->width() - 2 * margin, 24),
                                       initial);
        field->entered.addHandler([this](NotifyEvent&) { accept(); });
        addButton("Cancel", 0, &DialogOverlay::cancel);
        addButton("OK", 1, &DialogOverlay::accept);
        field->takeFocus();
    }
    void accept() override { finish(field->text()); }
    void cancel() override { finish(std::nullopt); }

private:
    void finish(std::optional<std::string> text)
    {
        if (!done)
            return;
        auto callback = std::move(done);
        done = nullptr;
        close();
        callback(std::move(text));
    }
    TextField* field = nullptr;
    std::function<void(std::optional<std::string>)> done;
};

// The list of subfolders in a folder chooser.
class FolderList : public Control {
public:
    FolderList(Control& parent, const Rect& frame) : Control(parent, frame), font(userInterface().createText(Font{"", 9}))
    {
        rowHeight = lineHeight(*font) + 4;
    }

    std::vector<std::string> names;
    int selected = -1;
    int first = 0;
    std::function<void(int)> opened;

    int visibleRows() const { return std::max(1, (height() - 4) / rowHeight); }
    int rowAt(Point p) const
    {
        const int row = first + (p.y - 2) / rowHeight;
        return p.y >= 2 && row < static_cast<int>(names.size()) ? row : -1;
    }

    void paint(Canvas& canvas) override
    {
        canvas.fillRect({0, 0, width(), height()}, rgba(24, 26, 30));
        canvas.frameRect({0, 0, width(), height()}, rgba(96, 101, 112));
        for (int i = 0; i < visibleRows() && first + i < static_cast<int>(names.size()); ++i) {
            const Rect row{2, 2 + i * rowHeight, width() - 2, 2 + (i + 1) * rowHeight};
            if (first + i == selected)
                canvas.fillRect(row, rgba(232, 160, 48, 90));
            canvas.drawText(*font, names[static_cast<std::size_t>(first + i)], row.offset(6, 0), rgba(232, 234, 238));
        }
    }

    void mouseDown(MouseButton button, Point local, int modifiers) override
    {
        const int row = rowAt(local);
        if (row >= 0 && (modifiers & Modifier::DoubleClick) && opened) {
            opened(row);
        } else {
            selected = row;
            invalidate();
        }
        Control::mouseDown(button, local, modifiers);
    }

    void mouseWheel(Point, int, float amount) override
    {
        const int step = amount > 0 ? -3 : 3;
        first = std::clamp(first + step, 0, std::max(0, static_cast<int>(names.size()) - visibleRows()));
        invalidate();
    }

private:
    std::unique_ptr<Text> font;
    int rowHeight = 18;
};

class FolderDialog : public DialogOverlay {
public:
    FolderDialog(RootControl& root, const std::string& title, const std::string& start,
                 std::function<void(std::optional<std::string>)> result)
        : DialogOverlay(root, 380, 300), done(std::move(result))
    {
        const int textHeight = addMessage(*panel, title);
        path = &panel->add<Label>(Rect::ofSize(margin, margin + textHeight + 4, panel->width() - 2 * margin, 18), "",
                                  Font{"", 8});
        path->colour = rgba(170, 176, 186);
        const int top = path->frame().bottom + 4;
        list = &panel->add<FolderList>(
            Rect{margin, top, panel->width() - margin, panel->height() - 2 * margin - buttonHeight});
        list->opened = [this](int row) { open(row); };
        addButton("Cancel", 0, &DialogOverlay::cancel);
        addButton("Choose", 1, &DialogOverlay::accept);
        show(start.empty() ? "/" : start);
        takeFocus();
    }

    void accept() override
    {
        if (list->selected > 0)
            finish(folder + list->names[static_cast<std::size_t>(list->selected)] + "/");
        else
            finish(folder);
    }
    void cancel() override { finish(std::nullopt); }

private:
    void show(std::string where)
    {
        if (where.back() != '/')
            where += '/';
        folder = where;
        path->text = folder;
        list->names.assign(1, "..");
        for (auto e = createFileEnumerator(folder, "", true); e->next();)
            if (!e->currentName().starts_with('.'))
                list->names.push_back(e->currentName());
        std::sort(list->names.begin() + 1, list->names.end());
        list->selected = -1;
        list->first = 0;
        list->invalidate();
    }

    void open(int row)
    {
        if (row == 0) {
            // Up one level; the root stays the root.
            std::string up = folder.substr(0, folder.size() - 1);
            const std::size_t slash = up.rfind('/');
            show(slash == std::string::npos ? "/" : up.substr(0, slash + 1));
        } else {
            show(folder + list->names[static_cast<std::size_t>(row)] + "/");
        }
    }

    void finish(std::optional<std::string> chosen)
    {
        if (!done)
            return;
        auto callback = std::move(done);
        done = nullptr;
        close();
        callback(std::move(chosen));
    }

    Label* path = nullptr;
    FolderList* list = nullptr;
    std::string folder;
    std::function<void(std::optional<std::string>)> done;
};

} // namespace

void messageBox(RootControl& root, const std::string& message, std::function<void()> done)
{
    new MessageDialog(root, message, false, [done = std::move(done)](bool) {
        if (done)
            done();
    });
}

void confirmBox(RootControl& root, const std::string& question, std::function<void(bool)> done)
{
    new MessageDialog(root, question, true, std::move(done));
}

void textEntryDialog(RootControl& root, const std::string& prompt, const std::string& initial,
                     std::function<void(std::optional<std::string>)> done)
{
    new TextEntryDialog(root, prompt, initial, std::move(done));
}

void folderChooser(RootControl& root, const std::string& title, const std::string& start,
                   std::function<void(std::optional<std::string>)> done)
{
    new FolderDialog(root, title, start, std::move(done));
}

} // namespace gui
