// One action, a status reading or a scan over many printers: the targets served side by side
// within the bounds, each result handed back in target order on the caller's thread.
#pragma once

#include "batch/cidr.h"
#include "batch/targets.h"

#include "app/actions.h"
#include "device/PosdllFuncs.h"

#include <cstddef>
#include <functional>
#include <span>
#include <stop_token>

namespace batch {

struct Bounds {
    int jobs = 1; // network printers connecting and writing at once
    // The device library's bounds for each exchange; 0 keeps its defaults.
    int connectMillis = 0;
    int writeMillis = 0;
    int statusMillis = app::kDefaultStatusWaitMillis;
    // Print queues: how long to wait for the job to be delivered (0: the queue taking it is
    // enough).
    int deliveryMillis = 0;
    bool verify = false; // sends: read the status first, send nothing to a printer not ready
};

struct Result {
    std::size_t index; // in the targets given
    const Target &target;
    app::Result result; // elapsed from the start to the settled end, any wait for a descriptor too
};

struct Hooks {
    // On the calling thread, in target order, each as soon as it and all before it are done.
    std::function<void(const Result &)> onResult;
    // On the calling thread after any target finishes (may be empty).
    std::function<void(std::size_t done, std::size_t failed)> onProgress;
    // On the target's own thread as a target that must finish (Target::mustFinish) starts, so
    // that whoever ends the program can wait for it until its result is handed over; may be empty.
    std::function<void(std::size_t index)> onMustFinish;
};

struct Summary {
    std::size_t results = 0;      // handed to onResult
    std::size_t failed = 0;       // of those, how many did not succeed
    std::size_t notAttempted = 0; // left out after a stop
    // Times a printer found no file descriptor free (it then waits for another to end): none
    // unless something outside the batch takes descriptors.
    std::size_t descriptorShortages = 0;
};

// Sends the action's frame (built from `choices`) to every target.
Summary send(app::Action action, const protocol::SettingChoices &choices,
             std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
             const Hooks &hooks, std::stop_token stop = {});

// Reads every target's status.
Summary status(std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
               const Hooks &hooks, std::stop_token stop = {});

// Reads every target's status and asks each printer that answered who it is.
Summary identify(std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
                 const Hooks &hooks, std::stop_token stop = {});

// Asks every host of the network, on TCP port `port`, for its status; onResult hears only the
// hosts that answered as a printer does (ready or not).
// They are asked from the calling thread, up to bounds.jobs at once (batch/scan_probe.h).
Summary scan(const Cidr &network, int port, const Bounds &bounds, const Hooks &hooks,
             std::stop_token stop = {});

} // namespace batch
