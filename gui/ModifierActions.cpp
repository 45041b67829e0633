#include "gui/ModifierActions.h"

#include "gui/Input.h"

#include <mutex>
#include <utility>
#include <vector>

namespace gui::ModifierActions {

namespace {

struct Pair {
    int modifiers;
    int action;
};

// Editors normally share one UI thread, but a host may run several; the
// table is tiny and read once per mouse event, so a lock costs nothing.
struct Table {
    std::mutex mutex;
    std::vector<Pair> pairs;
};

std::vector<Pair> defaults(bool host)
{
    using namespace Modifier;
    if (host)
        return {{Alt, Action::Reset}, {Control, Action::Fine}, {Shift, Action::Alternate},
                {Shift | Control, Action::Fine | Action::Alternate}};
    return {{Control, Action::Reset}, {Shift, Action::Fine}, {Alt, Action::Alternate},
            {Shift | Alt, Action::Fine | Action::Alternate}};
}

Table& table()
{
    static Table t{{}, defaults(false)};
    return t;
}

} // namespace

int lookup(int modifiers)
{
    const int keys = modifiers & Modifier::Keys;
    Table& t = table();
    std::lock_guard lock(t.mutex);
    for (const Pair& p : t.pairs)
        if (p.modifiers == keys)
            return p.action;
    return 0;
}

void set(int action, int modifiers)
{
    Table& t = table();
    std::lock_guard lock(t.mutex);
    for (Pair& p : t.pairs)
        if (p.action == action) {
            p.modifiers = modifiers;
            return;
        }
    t.pairs.push_back({modifiers, action});
}

void useHostShortcuts(bool on)
{
    for (const Pair& p : defaults(on))
        set(p.action, p.modifiers);
}

} // namespace gui::ModifierActions
