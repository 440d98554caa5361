#include "batch/batch.h"

#include "batch/descriptor_limit.h"
#include "batch/end_outside_slot.h"
#include "batch/runner.h"

#include "posdll/port_names.h"

#include <chrono>

#include <vector>

namespace batch {

namespace {

using Clock = std::chrono::steady_clock;

// Which results onResult hears.
using Shown = std::function<bool(const app::Result &)>;
using Serve = std::function<app::Result(const Target &)>;

// Serves every target through `serve`, network ones side by side.
Summary serveAll(std::span<const Target> targets, const Bounds &bounds, const Serve &serve,
                 const Hooks &hooks, const Shown &shown, std::stop_token stop) {
    std::vector<bool> network;
    network.reserve(targets.size());
    for (const Target &t : targets)
        network.push_back(t.network());
    DescriptorWait descriptors;
    Summary summary;
    RunHooks run;
    run.onProgress = hooks.onProgress;
    run.onResult = [&](std::size_t i, const app::Result &result) {
        if (shown && !shown(result))
            return;
        ++summary.results;
        summary.failed += result.succeeded() ? 0 : 1;
        hooks.onResult(Result{i, targets[i], result, std::nullopt});
    };
    summary.notAttempted = runTargets(
        network, bounds.jobs, printersWithinDescriptorLimit(),
        [&](std::size_t i) {
            std::unique_lock<std::mutex> hold;
            if (hooks.holdExit && targets[i].mustFinish())
                hold = hooks.holdExit();
            const auto started = Clock::now();
            app::Result r = descriptors.run([&] { return serve(targets[i]); });
            r.elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
            return r;
        },
        run, stop);
    summary.descriptorShortages = descriptors.shortages();
    return summary;
}

// The inputs of one target's exchange within the bounds.
app::ActionInputs inputsFor(const Bounds &bounds, const Target &target) {
    app::ActionInputs in;
    in.port = target.port;
    in.verify = bounds.verify;
    in.statusWaitMillis = bounds.statusMillis;
    in.connectMillis = bounds.connectMillis;
    in.writeMillis = bounds.writeMillis;
    in.deliveryWaitMillis = bounds.deliveryMillis;
    return in;
}

Serve statusReader(const Bounds &bounds, device::PosdllFuncs &lib) {
    return [&](const Target &t) { return app::checkStatus(inputsFor(bounds, t), lib); };
}

} // namespace

Summary send(app::Action action, const protocol::OptionStates &options,
             std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
             const Hooks &hooks, std::stop_token stop, const LedgerUse *ledger) {
    EndOutsideSlot batchLib(lib);
    const std::uint8_t setting = app::frameFor(action, options).back();
    // Each written by its target's own task, read once the target is done.
    std::vector<std::optional<Decision>> decisions(ledger ? targets.size() : 0);
    std::vector<Stored> stored;
    Hooks kept = hooks;
    if (ledger)
        kept.onResult = [&](const Result &r) {
            Result told = r;
            told.ledger = decisions[r.index];
            // Only what surely reached the printer: a queue that merely took the job may fail.
            if (!ledger->dryRun && r.result.kind == device::FailKind::Ok && r.result.written > 0)
                stored.push_back({r.target.label, r.result.serial, setting, utcNow()});
            hooks.onResult(told);
        };
    Summary summary = serveAll(
        targets, bounds,
        [&](const Target &t) {
            app::ActionInputs in = inputsFor(bounds, t);
            in.options = options;
            if (ledger)
                in.gate = [&, i = static_cast<std::size_t>(&t - targets.data())](
                              const std::optional<std::string> &serial) {
                    decisions[i] = decide(ledger->ledger, t.label, serial, setting);
                    if (ledger->dryRun)
                        return decisions[i]->send ? app::Gate::Hold : app::Gate::Unchanged;
                    return decisions[i]->send || !ledger->ifChanged ? app::Gate::Send
                                                                    : app::Gate::Unchanged;
                };
            return app::runAction(action, in, batchLib);
        },
        kept, {}, stop);
    summary.stored = std::move(stored);
    return summary;
}

Summary status(std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
               const Hooks &hooks, std::stop_token stop) {
    return serveAll(targets, bounds, statusReader(bounds, lib), hooks, {}, stop);
}

Summary scan(const Cidr &network, int port, const Bounds &bounds, device::PosdllFuncs &lib,
             const Hooks &hooks, std::stop_token stop) {
    std::vector<Target> targets;
    for (const std::string &host : cidrHosts(network))
        targets.push_back(
            networkTarget(port == posdll::kPrinterPort ? host : host + ":" + std::to_string(port)));
    return serveAll(
        targets, bounds, statusReader(bounds, lib), hooks,
        [](const app::Result &o) { return o.status.has_value(); }, stop);
}

} // namespace batch
