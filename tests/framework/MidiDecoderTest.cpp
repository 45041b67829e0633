#include "framework/MidiDecoder.h"
#include "framework/AbstractMusicEventReceiver.h"
#include "framework/MidiControllerMap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Writes the calls that tell which slot heard what. (How each message is
// scaled is seen through the MIDI sources' tests, which feed raw messages.)
struct Log final : MidiListener {
    std::vector<std::string> calls;
    void controlChange(int c, int raw, float) override
    {
        calls.push_back("cc " + std::to_string(c) + " " + std::to_string(raw));
    }
    void noteOff(int n, float) override { calls.push_back("off " + std::to_string(n)); }
    void noteOn(int n, float) override { calls.push_back("on " + std::to_string(n)); }
};

struct Receiver final : AbstractChannelEventReceiver {
    Receiver(MidiControllerMap* map, std::string name)
        : AbstractChannelEventReceiver(nullptr, map), tag(std::move(name))
    {
    }
    void rawMessage(int s, int, int) override { raw.push_back(s); }
    void programChange(int bank, int program) override { programs.push_back({bank, program}); }
    void setParameterByMidi(int index, float v) override { learned.push_back({index, v}); }
    std::string tag;
    std::vector<int> raw;
    std::vector<std::pair<int, int>> programs;
    std::vector<std::pair<int, float>> learned;
};

struct Routing final : AbstractMusicEventReceiver {
    explicit Routing(MidiControllerMap* map) : AbstractMusicEventReceiver(map) {}
    void setMidiLearnTarget(int id) override { slots[0].get()->setLearnTarget(id); }
    void install(int slot, AbstractChannelEventReceiver* r) { slots[static_cast<std::size_t>(slot)].set(r); }
};

struct Reset final : MidiSystemListener {
    int count = 0;
    void systemReset() override { ++count; }
};

} // namespace

TEST(MidiDecoder, DecodesChannelMessagesForTheAllChannelsSlotAndTheChannel)
{
    MidiControllerMap map;
    Routing routing(&map);
    Receiver all(&map, "all"), third(&map, "ch3");
    Log allLog, thirdLog;
    all.addListener(&allLog);
    third.addListener(&thirdLog);
    routing.install(0, &all);
    routing.install(3, &third);
    MidiDecoder decoder(&routing);
    Reset reset;
    decoder.setSystemListener(&reset);

    decoder.receive(0x92, 60, 127); // note on, channel 3
    decoder.receive(0x92, 60, 0);   // velocity 0: note off
    decoder.receive(0x80, 61, 64);  // channel 1: only the all-channels slot
    decoder.receive(0xB2, 123, 0);  // all notes off
    decoder.receive(0xFF, 0, 0);
    decoder.receive(0xF8, 0, 0); // clock: ignored

    EXPECT_EQ(thirdLog.calls, (std::vector<std::string>{"on 60", "off 60", "off 0"}));
    EXPECT_EQ(allLog.calls, (std::vector<std::string>{"on 60", "off 60", "off 61", "off 0"}));
    EXPECT_EQ(all.raw.size(), 6u); // every message reaches slot 0 raw, system ones too
    EXPECT_TRUE(third.raw.empty());
    EXPECT_EQ(reset.count, 1);
}

TEST(MidiDecoder, BankSelectIsKeptPerSlotAndNeitherItNorControllerOneTwentySevenIsLearned)
{
    MidiControllerMap map;
    Routing routing(&map);
    Receiver all(&map, "all"), first(&map, "ch1"), second(&map, "ch2");
    routing.install(0, &all);
    routing.install(1, &first);
    routing.install(2, &second);
    MidiDecoder decoder(&routing);
    decoder.receive(0xB0, 0, 1);
    decoder.receive(0xB0, 32, 5);
    decoder.receive(0xC0, 9, 0);
    decoder.receive(0xC1, 3, 0);
    ASSERT_EQ(first.programs.size(), 1u);
    EXPECT_EQ(first.programs[0], (std::pair<int, int>{133, 9}));
    EXPECT_EQ(second.programs[0], (std::pair<int, int>{0, 3}));
    EXPECT_EQ(all.programs[1], (std::pair<int, int>{133, 3}));
    EXPECT_EQ(decoder.getBank(1), 133);
    decoder.receive(0xB0, 0, 2); // a new MSB keeps the LSB
    EXPECT_EQ(decoder.getBank(1), 261);

    // Bank select and all notes off are the decoder's: they learn nothing
    // and the target waits for the next controller. Controller 127 has no
    // entry in the map, so it cannot be learned and only reaches listeners.
    Log log;
    all.addListener(&log);
    routing.setMidiLearnTarget(43);
    for (int consumed : {0, 32, 123, 20})
        decoder.receive(0xB0, consumed, 10);
    EXPECT_EQ(map.get(20), 43);
    routing.setMidiLearnTarget(44);
    decoder.receive(0xB0, 127, 10);
    EXPECT_EQ(map.findController(44), -1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"off 0", "cc 20 10", "cc 127 10"}));
}
