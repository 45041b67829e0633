#pragma once

#include "framework/CriticalSection.h"

#include <mutex>

// A recursive mutex, so a thread that holds the section may enter it again
// (a first instance's set-up calls code that guards itself too).
class PosixCriticalSection : public CriticalSection {
public:
    void enter() override { mutex.lock(); }
    void leave() override { mutex.unlock(); }

private:
    std::recursive_mutex mutex;
};
