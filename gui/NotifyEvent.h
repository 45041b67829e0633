#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace gui {

class Component;

// A notification with any number of handlers. Firing calls them from the
// last added to the first. A handler may add or remove handlers (itself
// included) while the event fires.
class NotifyEvent {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void notify(NotifyEvent& event) = 0;
        // The same binding (object and member function), for removal.
        virtual bool equals(const Handler& other) const = 0;
    };

    // Binds a member function of an object of class T.
    template <typename T> class HandlerImpl : public Handler {
    public:
        using Method = void (T::*)(NotifyEvent&);
        HandlerImpl(T* object, Method method) : target(object), member(method) {}
        void notify(NotifyEvent& event) override { (target->*member)(event); }
        bool equals(const Handler& other) const override
        {
            const auto* o = dynamic_cast<const HandlerImpl*>(&other);
            return o && o->target == target && o->member == member;
        }

    private:
        T* target;
        Method member;
    };

    explicit NotifyEvent(Component* sender = nullptr) : source(sender) {}
    NotifyEvent(const NotifyEvent&) = delete;
    NotifyEvent& operator=(const NotifyEvent&) = delete;

    // The component that fires the event (none for free-standing events).
    Component* sender() const { return source; }

    void addHandler(std::unique_ptr<Handler> handler);
    template <typename T> void addHandler(T* object, typename HandlerImpl<T>::Method method)
    {
        addHandler(std::make_unique<HandlerImpl<T>>(object, method));
    }
    // A function as a handler; it cannot be removed on its own.
    void addHandler(std::function<void(NotifyEvent&)> function);

    // Removes the handlers equal to `handler`.
    void removeHandler(const Handler& handler);
    template <typename T> void removeHandler(T* object, typename HandlerImpl<T>::Method method)
    {
        removeHandler(HandlerImpl<T>(object, method));
    }

    void fire();

private:
    Component* source;
    std::vector<std::unique_ptr<Handler>> further;
    int firing = 0;
};

} // namespace gui
