// Runs one action on many targets: network targets side by side, the rest one at a time.
#pragma once

#include "app/result.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <stop_token>
#include <thread>
#include <vector>

namespace batch {

// Runs the action on target `index`, on whichever thread calls it. The device library keeps
// one open port per thread, so a task must open, write and close on its own thread. A task
// whose library is EndHandedOver (batch/end_handover.h) may leave the end of a network
// document behind: its result then stands once that end has settled well.
using TargetTask = std::function<app::Result(std::size_t index)>;

struct RunHooks {
    // On the calling thread, in target order, each as soon as it and all before it are done;
    // the result's elapsed runs from the target's start until its end of document settled.
    std::function<void(std::size_t index, const app::Result &)> onResult;
    // On the calling thread after any target finishes, in any order (may be empty).
    std::function<void(std::size_t done, std::size_t failed)> onProgress;
};

// Starts a thread that runs `body`, or throws std::system_error; a test's stand-in can refuse.
using StartThread = std::function<std::jthread(std::function<void()> body)>;

// network[i] tells whether target i is a network target. Up to `jobs` network targets connect
// and write at once, each on a thread of its own; the ends of their documents (the printer's
// acknowledgement and the half-second watch for a late reset) are watched together on one
// more thread, so a batch of printers that keep their side open does not crawl. Never more
// than `maxOpen` network targets hold a connection (a descriptor), those ending included.
// Serial, parallel and queue targets run one at a time, on a lane of their own beside them.
// A single target runs on the calling thread.
// Once `stop` is requested no further target starts; those running finish and are reported.
// When the system starts fewer threads than asked for, the targets are served on those it did;
// a lane that got none fails each of its targets (kind Internal, "cannot start a thread: ...").
// Returns how many targets were not attempted (onResult is not called for them).
std::size_t runTargets(const std::vector<bool> &network, int jobs, int maxOpen,
                       const TargetTask &task, const RunHooks &hooks, std::stop_token stop = {},
                       const StartThread &startThread = {});

} // namespace batch
