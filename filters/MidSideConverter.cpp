#include "filters/MidSideConverter.h"

#include "wave/BlockLoops.h"

using namespace blockloops;

MidSideConverter::MidSideConverter(wave::Graph& graph, Mode converts, wave::Producer* a, wave::Producer* b)
    : wave::MultiProducer(graph, 2), mode(converts), inputA(a), inputB(b)
{
}

void MidSideConverter::setInput(int index, wave::Producer* source)
{
    (index == 0 ? inputA : inputB).setSource(source);
}

void MidSideConverter::processAll(wave::Block** blocks, int n, int flags)
{
    if (flags & (wave::Producer::OutputNotNeeded | wave::Producer::NoConsumer))
        return;
    const wave::Block& silence = getGraph().getScratch();
    const wave::Block* a = inputA.getSource() ? &inputA.getSource()->pull(n, 0) : &silence;
    const wave::Block* b = inputB.getSource() ? &inputB.getSource()->pull(n, 0) : &silence;
    const bool constant = (!inputA.getSource() || inputA.getSource()->isConstant()) &&
                          (!inputB.getSource() || inputB.getSource()->isConstant());
    const float* x = a->data();
    const float* y = b->data();
    float* first = blocks[0]->data();
    float* second = blocks[1]->data();
    if (mode == encode) {
        const LaneVector half = splat<LaneVector>(0.5f);
        for (int i = 0; i < n; i += 4) {
            const LaneVector l = load(x + i);
            const LaneVector side = (l - load(y + i)) * half;
            store(first + i, l - side);
            store(second + i, side);
        }
    } else {
        for (int i = 0; i < n; i += 4) {
            const LaneVector m = load(x + i);
            const LaneVector s = load(y + i);
            store(first + i, m + s);
            store(second + i, m - s);
        }
    }
    setOutputConstant(0, constant);
    setOutputConstant(1, constant);
}
