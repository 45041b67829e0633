#include "gui/NotifyEvent.h"

#include <algorithm>

namespace gui {

namespace {

class FunctionHandler : public NotifyEvent::Handler {
public:
    explicit FunctionHandler(std::function<void(NotifyEvent&)> f) : function(std::move(f)) {}
    void notify(NotifyEvent& event) override { function(event); }
    bool equals(const Handler& other) const override { return &other == this; }

private:
    std::function<void(NotifyEvent&)> function;
};

} // namespace

void NotifyEvent::addHandler(std::unique_ptr<Handler> handler) { further.push_back(std::move(handler)); }

void NotifyEvent::addHandler(std::function<void(NotifyEvent&)> function)
{
    addHandler(std::make_unique<FunctionHandler>(std::move(function)));
}

void NotifyEvent::removeHandler(const Handler& handler)
{
    for (auto& h : further)
        if (h && h->equals(handler)) {
            // While firing, the slot is emptied and compacted afterwards, so
            // the walk over the list stays valid.
            if (firing)
                h.reset();
        }
    if (!firing)
        std::erase_if(further, [&](const std::unique_ptr<Handler>& h) { return h->equals(handler); });
}

void NotifyEvent::fire()
{
    ++firing;
    for (std::size_t i = further.size(); i-- > 0;)
        if (i < further.size() && further[i])
            further[i]->notify(*this);
    if (--firing == 0)
        std::erase_if(further, [](const std::unique_ptr<Handler>& h) { return !h; });
}

} // namespace gui
