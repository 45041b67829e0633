#include "MatrixTestPlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

using matrixtest::MatrixTestPlugin;

// The editor edits slots through the parameters (new connections, clearing,
// sorting, levels, removing sets) and reads the slots' warning state, as
// fast as it can, while the audio thread applies the changes and pulls every
// target. The matrix takes no lock: the edits reach its records only on the
// audio thread, and what the editor reads from the matrix is atomic. Under
// ThreadSanitizer this shows any record both threads touch.
TEST(ModulationMatrixConcurrency, EditorEditsWhileTheAudioThreadPulls)
{
    MatrixTestPlugin plugin;
    ModulationMatrix::Controller& c = plugin.params();
    ModulationMatrix& matrix = *plugin.matrix;
    std::atomic<bool> editing{true};
    std::atomic<int> warnings{0};
    std::atomic<int> blocks{0};

    std::thread editor([&] {
        // The edits start once the audio thread has finished a block, so they
        // overlap the blocks that follow however the two threads get
        // scheduled (a slow first block could otherwise outlast them all).
        while (blocks.load() == 0)
            std::this_thread::yield();
        std::mt19937 rng(5);
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        for (int round = 0; round < 3000; ++round) {
            const int slot = pick(24);
            switch (pick(10)) {
            case 0:
                plugin.slots().getNumActiveParameter().setValue(static_cast<float>(pick(20)), 0);
                break;
            case 1:
                c.clearSlot(slot);
                break;
            case 2: {
                int selected = slot;
                c.sortSlots(pick(25), &selected);
                break;
            }
            case 3:
                c.swapSlots(slot, pick(24));
                break;
            case 4:
                c.setLevel(slot, static_cast<float>(pick(101)) * 0.01f);
                c.setInverted(pick(24), pick(2) == 0);
                break;
            case 5: {
                auto& p = plugin.targetParameter(pick(71));
                p.setValue(p.getMin() + (p.getMax() - p.getMin()) * static_cast<float>(pick(101)) * 0.01f, 0);
                break;
            }
            case 6: {
                AbstractParameterSetList& list = *plugin.lists()[static_cast<std::size_t>(pick(5))];
                if (list.getNumActive() > list.getMinActive() + 1)
                    list.removeSet(pick(list.getNumActive()));
                else
                    list.getNumActiveParameter().setValue(static_cast<float>(list.count()), 0);
                break;
            }
            default:
                plugin.addConnection(pick(26), pick(95));
                break;
            }
            // The editor's warning signs.
            for (int i = 0; i < ModulationMatrix::numSlots; ++i)
                warnings += matrix.isSlotValid(i) && matrix.isSlotComplete(i) ? 0 : 1;
        }
        editing = false;
    });

    bool finite = true;
    while (editing || blocks == 0) {
        plugin.runBlock();
        ++blocks;
        for (int t = 0; t < ModulationMatrix::numTargets && finite; ++t)
            for (int k = 0; k < MatrixTestPlugin::blockSize; ++k)
                finite = finite && std::isfinite(plugin.lastBlock(t)[k]);
    }
    editor.join();
    plugin.runBlock();

    EXPECT_TRUE(finite);
    EXPECT_GT(blocks, 1);
    EXPECT_GT(warnings.load(), 0);
    // Every edit arrived: the records hold what the parameters hold, and the
    // loop check agrees with a fresh look at them.
    matrixtest::expectRecordsMatchParameters(plugin);
    for (int i = 0; i < ModulationMatrix::numSlots; ++i)
        EXPECT_EQ(matrix.isSlotValid(i), plugin.internal().isValidConnection(i)) << i;
}
