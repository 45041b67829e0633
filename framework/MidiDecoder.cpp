#include "framework/MidiDecoder.h"

#include "framework/AbstractMusicEventReceiver.h"

void MidiDecoder::receive(int status, int data1, int data2)
{
    status &= 0xFF;
    data1 &= 0x7F;
    data2 &= 0x7F;
    if (!routing)
        return;
    if (auto* all = routing->getChannelReceiver(0))
        all->rawMessage(status, data1, data2);
    if (status >= 0xF0) {
        if (status == 0xFF && systemListener)
            systemListener->systemReset();
        return;
    }
    if (status < 0x80)
        return; // a data byte without a status: nothing to decode
    dispatch(0, status, data1, data2);
    dispatch((status & 0x0F) + 1, status, data1, data2);
}

void MidiDecoder::dispatch(int slot, int status, int data1, int data2)
{
    AbstractChannelEventReceiver* r = routing->getChannelReceiver(slot);
    if (!r)
        return;
    int& bank = banks[static_cast<std::size_t>(slot)];
    const float value = static_cast<float>(data2) * valueScale;
    switch (status & 0xF0) {
    case 0x80:
        r->noteOff(data1, value);
        break;
    case 0x90:
        if (data2 > 0)
            r->noteOn(data1, value);
        else
            r->noteOff(data1, 0.0f);
        break;
    case 0xA0:
        r->polyPressure(data1, value);
        break;
    case 0xB0:
        if (data1 == 0)
            bank = (data2 << 7) + (bank & 0x7F);
        else if (data1 == 32)
            bank = (bank & 0x3F80) + data2;
        else if (data1 == 123)
            r->noteOff(0, 0.0f);
        else
            r->controlChange(data1, data2, value);
        break;
    case 0xC0:
        r->programChange(bank, data1);
        break;
    case 0xD0:
        r->channelPressure(static_cast<float>(data1) * valueScale);
        break;
    case 0xE0:
        r->pitchBend(static_cast<float>((data2 << 7) + data1) * pitchBendScale - 0.5f);
        break;
    default:
        break;
    }
}
