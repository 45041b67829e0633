#pragma once

#include "framework/AbstractChannelEventReceiver.h"

// The receiver a generic plug-in installs: learned controllers set
// parameters of the plug-in, program changes ask it for a preset.
class DefaultChannelEventReceiver : public AbstractChannelEventReceiver {
public:
    using AbstractChannelEventReceiver::AbstractChannelEventReceiver;

    void setParameterByMidi(int index, float normalized) override;
    void programChange(int bank, int program) override;
};
