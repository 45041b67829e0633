#pragma once

#include <memory>

// A lock for the objects all plug-in instances of a process share (the
// controller map, the settings, the instance count). Never taken on the
// audio thread.
class CriticalSection {
public:
    virtual ~CriticalSection() = default;
    virtual void enter() = 0;
    virtual void leave() = 0;

    // The platform's implementation.
    static std::unique_ptr<CriticalSection> create();

    // Holds a critical section for the lifetime of the scope.
    class Lock {
    public:
        explicit Lock(CriticalSection& held) : section(held) { section.enter(); }
        ~Lock() { section.leave(); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CriticalSection& section;
    };
};
