#pragma once

#include "framework/GenericPlugin.h"
#include "framework/StateRecord.h"

#include <memory>

// A fixed number of snapshots, allocated once. Each record keeps its value
// list between snapshots, so once it has held all parameters, taking a new
// snapshot into it allocates nothing.
class GenericPlugin::StateList {
public:
    StateList(GenericPlugin& owner, int size)
        : plugin(owner), count(size < 1 ? 1 : size),
          records(std::make_unique<StateRecord[]>(static_cast<std::size_t>(count)))
    {
    }
    virtual ~StateList() = default;
    StateList(const StateList&) = delete;
    StateList& operator=(const StateList&) = delete;

    int size() const { return count; }
    StateRecord& operator[](int i) { return records[static_cast<std::size_t>(i)]; }
    const StateRecord& operator[](int i) const { return records[static_cast<std::size_t>(i)]; }
    GenericPlugin& getPlugin() const { return plugin; }

private:
    GenericPlugin& plugin;
    int count;
    std::unique_ptr<StateRecord[]> records;
};
