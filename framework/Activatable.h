#pragma once

namespace wave {
class Graph;
class Producer;
} // namespace wave

// A graph node whose place in the graph's run and reset lists follows
// whether its parameter set is in use: a parameter set list makes element i
// of a registered group live exactly while i is below its number of active
// sets. Taking a node out of the run list stops it costing time when its
// filter or source is switched off.
//
// The element starts not live and outside the lists it manages; the list's
// first update puts it where it belongs. A list it does not manage (its flag
// false) is left alone. setLive runs on the audio thread (the
// active count arrives through the change queue) and allocates nothing,
// since the graph reserves a place for every producer.
class Activatable {
public:
    explicit Activatable(wave::Producer& element, bool inRunList = true, bool inResetList = false);
    Activatable(const Activatable&) = delete;
    Activatable& operator=(const Activatable&) = delete;

    void setLive(bool live);
    bool isLive() const { return active; }
    wave::Producer& getElement() const { return *element; }

private:
    wave::Graph* container;
    wave::Producer* element;
    bool active = false;
    bool inRunList;
    bool inResetList;
};
