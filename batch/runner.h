// Runs one action on many targets: network targets side by side, the rest one at a time.
#pragma once

#include "app/actions.h"

#include <cstddef>
#include <functional>
#include <stop_token>
#include <vector>

namespace batch {

// Runs the action on target `index`, on whichever thread calls it. The device library keeps
// one open port per thread, so a task must open, write and close on its own thread.
using TargetTask = std::function<app::Outcome(std::size_t index)>;

struct RunHooks {
    // On the calling thread, in target order, each as soon as it and all before it are done.
    std::function<void(std::size_t index, const app::Outcome &)> onResult;
    // On the calling thread after any target finishes, in any order (may be empty).
    std::function<void(std::size_t done, std::size_t failed)> onProgress;
};

// Network targets that end their document (the printer acknowledging, then the half-second
// watch for a printer that resets after taking the bytes) run beside the `jobs` slots, up to
// this many for each slot, so a batch of printers that keep their side open does not crawl.
inline constexpr int kEndingPerJob = 15;

// Called by a task on its own thread once what is left of it is the end of the document: the
// job slot it holds goes to the next target. Does nothing outside a network lane's slot.
void leaveJobSlot();

// network[i] tells whether target i is a network target. Up to `jobs` network targets connect
// and write at once, and up to kEndingPerJob x `jobs` more end their documents beside them,
// never more than `maxOpen` network targets in all (each holds a descriptor);
// serial, parallel and queue targets run one at a time, on a lane of their own beside them.
// A single target runs on the calling thread.
// Once `stop` is requested no further target starts; those running finish and are reported.
// Returns how many targets were not attempted (onResult is not called for them).
std::size_t runTargets(const std::vector<bool> &network, int jobs, int maxOpen,
                       const TargetTask &task, const RunHooks &hooks, std::stop_token stop = {});

} // namespace batch
