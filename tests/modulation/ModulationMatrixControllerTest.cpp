#include "modulation/ModulationMatrixController.h"
#include "MatrixTestPlugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>
#include <random>
#include <set>

using matrixtest::MatrixTestPlugin;

namespace {

// --- An independent model of the matrix, written from the product's
// tables and rules rather than from ModulationMatrix or ModulationLayout ---

struct KindRow {
    float minimum, maximum, depth;
    float xlfo, eg, ef; // 0: no pair, the default depth applies
};
const float gainMax = static_cast<float>(std::exp(4.144653167389283));
const float gainMin = static_cast<float>(std::exp(-4.144653167389283));
const KindRow kindTable[15] = {
    {0, 1, 1, 0, 0, 2},
    {2.2666f, 16.2064f, 10, 6.3f, 0, 20},
    {-3.5f, 3.5f, 7, 6.3f, 10, 14},
    {0, 1, 1, 0.4f, 0.4f, 2},
    {0, 50, 50, 0, 0, 100},
    {0.02f, 500, 25, 0, 0, 50},
    {-0.5f, 2, 1, 0.5f, 0, 1.5f},
    {-1, 1, 2, 0, 0, 4},
    {gainMin, gainMax, gainMax - gainMin, 0, 0, 2 * (gainMax - gainMin)},
    {-1, 1, 2, 0, 0, 4},
    {0.001451247f, 3, 1.5f, 0, 0, 3},
    {0.001f, 1, 0.4995f, 0, 0, 0.999f},
    {0.001451247f, 5, 2.5f, 0, 0, 5},
    {0.001451247f, 5, 2.5f, 0, 0, 5},
    {0.05f, 5, 2.475f, 0, 0, 4.95f},
};

int kindOf(int t)
{
    static const int filter[] = {1, 2, 3, 4}, lfo[] = {5, 6, 7}, eg[] = {10, 12, 0, 13}, ef[] = {11, 14},
                     stage[] = {8, 9, 8, 9, 9};
    return t < 16   ? filter[t % 4]
           : t < 34 ? lfo[(t - 16) % 3]
           : t < 58 ? eg[(t - 34) % 4]
           : t < 66 ? ef[(t - 58) % 2]
           : t < 71 ? stage[t - 66]
                    : 0;
}

// The targets a source owns: three per XLFO from 16, four per EG from 34,
// two per EF from 58, none for MIDI sources.
std::vector<int> ownTargets(int s)
{
    const auto [first, n] = s < 0    ? std::pair{0, 0}
                            : s < 6  ? std::pair{16 + 3 * s, 3}
                            : s < 12 ? std::pair{34 + 4 * (s - 6), 4}
                            : s < 16 ? std::pair{58 + 2 * (s - 12), 2}
                                     : std::pair{0, 0};
    std::vector<int> own(static_cast<std::size_t>(n));
    std::iota(own.begin(), own.end(), first);
    return own;
}

float kindDepth(int kind, int source)
{
    const KindRow& k = kindTable[kind];
    const float pair = source < 6 ? k.xlfo : source < 12 ? k.eg : source < 16 ? k.ef : 0.0f;
    return pair != 0.0f ? pair : k.depth;
}

struct SlotView {
    int source, target;
    bool bypassed, inverted;
    float level;
};

struct Model {
    std::array<SlotView, 24> slots;
    std::array<bool, 26> output;
    std::array<float, 71> base;
    std::array<bool, 24> valid{}, complete{};
    std::array<std::optional<float>, 24> depth;

    Model(ModulationMatrix::Controller& c, MatrixTestPlugin& plugin)
    {
        for (int i = 0; i < 24; ++i)
            slots[i] = {c.getSource(i), c.getTarget(i), c.isBypassed(i), c.isInverted(i), c.getLevel(i)};
        for (int s = 0; s < 26; ++s)
            output[s] = plugin.matrix->getSourceOutput(s) != nullptr;
        for (int t = 0; t < 71; ++t)
            base[t] = plugin.targetParameter(t).getValue();
        for (int i = 0; i < 24; ++i)
            valid[i] = slots[i].source >= 0 && slots[i].target >= 0 && !slots[i].bypassed &&
                       !closure(i).count(slots[i].target);
        std::array<int, 24> memo;
        memo.fill(-1);
        for (int i = 0; i < 24; ++i)
            complete[i] = isComplete(i, memo);
        for (int i = 0; i < 24; ++i)
            depth[i] = depthOf(i, 0);
    }

    // Recursive, as the rule reads: the slot's level, its source's own
    // targets, and whatever every slot aimed at a reached target reaches.
    std::set<int> closure(int i) const
    {
        std::set<int> reached;
        visit(i, reached);
        return reached;
    }
    void visit(int i, std::set<int>& reached) const
    {
        add(71 + i, reached);
        for (int t : ownTargets(slots[i].source))
            add(t, reached);
    }
    void add(int t, std::set<int>& reached) const
    {
        if (!reached.insert(t).second)
            return;
        for (int j = 0; j < 24; ++j)
            if (slots[j].target == t)
                visit(j, reached);
    }
    bool isComplete(int i, std::array<int, 24>& memo) const
    {
        if (memo[i] >= 0)
            return memo[i];
        bool c = valid[i] && output[slots[i].source];
        for (int j = 0; j < 24 && c; ++j)
            if (slots[j].target == 71 + i && valid[j] && !isComplete(j, memo))
                c = false;
        memo[i] = c;
        return c;
    }
    // Unknown when the slot modulates the level of a slot that is not
    // valid: that level's scale is whatever it last was.
    std::optional<float> depthOf(int i, int guard) const
    {
        if (!valid[i] || guard > 24)
            return std::nullopt;
        const int t = slots[i].target;
        float scale = 1.0f;
        if (t >= 71) {
            const auto outer = depthOf(t - 71, guard + 1);
            if (!outer)
                return std::nullopt;
            scale = *outer;
        }
        const float d = scale * kindDepth(kindOf(t), slots[i].source);
        return slots[i].inverted ? -d : d;
    }

    // The settled value of target t at one sample, or nothing when it
    // depends on an unknown depth.
    std::optional<float> value(int t, const std::vector<float>& sources) const
    {
        float base_, lo, hi;
        if (t < 71) {
            base_ = base[t];
            lo = kindTable[kindOf(t)].minimum;
            hi = kindTable[kindOf(t)].maximum;
        } else {
            const int i = t - 71;
            if (!depth[i])
                return std::nullopt;
            base_ = slots[i].level * *depth[i];
            lo = std::min(0.0f, *depth[i]);
            hi = std::max(0.0f, *depth[i]);
        }
        float sum = base_;
        bool contributed = false, clamp = true;
        for (int j = 0; j < 24; ++j) {
            if (slots[j].target != t || !valid[j])
                continue;
            if (!complete[j]) {
                clamp = false;
                continue;
            }
            const auto level = value(71 + j, sources);
            if (!level)
                return std::nullopt;
            sum += sources[slots[j].source] * *level;
            contributed = true;
        }
        return contributed && clamp ? std::clamp(sum, lo, hi) : sum;
    }
};

// --- The random walk ---

struct Walk {
    MatrixTestPlugin& plugin;
    ModulationMatrix::Controller& c;
    bool throughParameters;
    std::mt19937 rng;
    int compared = 0;
    int modulated = 0; // of those, values with at least one slot adding to them

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    float unit() { return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); }
    int anySource() { return pick(20) == 0 ? -1 : pick(26); }
    // Mostly parameters, sometimes a slot's level, now and then none.
    int anyTarget()
    {
        const int r = pick(20);
        return r == 0 ? -1 : r < 5 ? 71 + pick(24) : pick(71);
    }

    void step()
    {
        // Connections outweigh clearing, so the matrix stays well filled.
        int op = pick(20);
        if (!throughParameters && op >= 18)
            op = 0;
        const int slot = pick(24);
        switch (op) {
        case 7:
            c.clearSlot(slot);
            break;
        case 8:
            c.clearSlotsOfSource(pick(26));
            break;
        case 9:
            c.clearSlotsOnTarget(pick(95));
            break;
        case 10:
            c.swapSlots(slot, pick(24));
            break;
        case 11: {
            int selected = pick(24);
            c.sortSlots(pick(25), &selected);
            break;
        }
        case 12:
        case 13:
            c.setLevel(slot, unit());
            c.setInverted(pick(24), pick(2) == 0);
            c.setBypassed(pick(24), pick(6) == 0);
            break;
        case 14:
            c.setSource(slot, anySource());
            c.setTarget(pick(24), anyTarget());
            break;
        case 15:
        case 16: {
            auto& p = plugin.targetParameter(pick(71));
            p.setValue(p.getMin() + (p.getMax() - p.getMin()) * unit(), 0);
            break;
        }
        case 17: {
            const int s = pick(26);
            plugin.matrix->setSourceOutput(s, pick(4) == 0 ? nullptr : plugin.signals[s].get());
            break;
        }
        case 18:
            plugin.addConnection(anySource(), anyTarget());
            break;
        case 19: {
            std::vector<AbstractParameterSetList*> lists = plugin.lists();
            lists.push_back(&plugin.slots());
            AbstractParameterSetList& list =
                *lists[static_cast<std::size_t>(pick(static_cast<int>(lists.size())))];
            if (list.getNumActive() <= list.getMinActive() + 1 || pick(3) == 0)
                list.getNumActiveParameter().setValue(static_cast<float>(list.count()), 0);
            else
                list.removeSet(pick(list.getNumActive()));
            break;
        }
        default:
            c.connect(slot, anySource(), anyTarget(), pick(3) == 0, pick(8) == 0, unit());
            break;
        }
    }

    void check()
    {
        plugin.runBlock();
        ModulationMatrix& m = *plugin.matrix;
        ModulationMatrix::Controller& records = plugin.internal();
        if (throughParameters)
            matrixtest::expectRecordsMatchParameters(plugin);
        const Model model(records, plugin);
        for (int i = 0; i < 24; ++i) {
            ASSERT_EQ(m.isSlotValid(i), model.valid[i]) << "slot " << i;
            ASSERT_EQ(m.isSlotComplete(i), model.complete[i]) << "slot " << i;
            if (m.isSlotValid(i)) {
                ASSERT_FALSE(model.closure(i).count(records.getTarget(i)));
            }
        }
        for (int t = 0; t < 95; ++t) {
            const auto& entry = m.getTargetEntry(t);
            const wave::Block& b = plugin.lastBlock(t);
            for (int k = 0; k < MatrixTestPlugin::blockSize; ++k) {
                ASSERT_TRUE(std::isfinite(b[k])) << t;
                // A slot level may still be gliding from its value under an
                // earlier depth; only parameter targets have a fixed range.
                if (t < 71 && entry.clampEnabled) {
                    const float tolerance = 1e-5f * (1.0f + std::fabs(entry.maximum - entry.minimum));
                    ASSERT_GE(b[k], entry.minimum - tolerance) << t;
                    ASSERT_LE(b[k], entry.maximum + tolerance) << t;
                }
            }
        }
    }

    // Settled values of every target against the model.
    void compare()
    {
        plugin.settle();
        const std::uint32_t start = plugin.runBlock();
        const Model model(plugin.internal(), plugin);
        std::vector<float> sources(26);
        for (int k = 0; k < MatrixTestPlugin::blockSize; k += 7) {
            for (int s = 0; s < 26; ++s)
                sources[s] = plugin.signals[s]->valueAt(start + static_cast<std::uint32_t>(k));
            for (int t = 0; t < 95; ++t) {
                const auto expected = model.value(t, sources);
                if (!expected)
                    continue;
                ++compared;
                for (int j = 0; j < 24; ++j)
                    if (model.slots[j].target == t && model.valid[j] && model.complete[j]) {
                        ++modulated;
                        break;
                    }
                ASSERT_NEAR(plugin.lastBlock(t)[k], *expected, 1e-4f * (1.0f + std::fabs(*expected)))
                    << "target " << t << " sample " << k;
            }
        }
    }
};

void randomWalk(bool throughParameters, unsigned seed)
{
    MatrixTestPlugin plugin;
    ModulationMatrix::Controller& c = throughParameters ? plugin.params() : plugin.internal();
    Walk walk{plugin, c, throughParameters, std::mt19937(seed)};
    for (int step = 0; step < 300; ++step) {
        walk.step();
        walk.check();
        if (::testing::Test::HasFatalFailure())
            return;
        if (step % 50 == 49)
            walk.compare();
    }
    walk.compare();
    // The walk must keep enough slots alive for the comparison to mean
    // something: every parameter target checked at 10 samples in 7 rounds,
    // and typically 8 to 10 targets per round modulated.
    EXPECT_GE(walk.compared, 7 * 10 * 71);
    EXPECT_GT(walk.modulated, walk.compared / 20);
}

} // namespace

// Through the parameters (applied on the audio thread, as the editor and the
// host change them) and directly on the matrix's records.
TEST(ModulationMatrixController, RandomEditsAgreeWithTheModel)
{
    for (const auto& [throughParameters, seed] :
         {std::pair{true, 1u}, {true, 2u}, {true, 3u}, {false, 11u}, {false, 12u}, {false, 13u}}) {
        SCOPED_TRACE(seed);
        randomWalk(throughParameters, seed);
    }
}
