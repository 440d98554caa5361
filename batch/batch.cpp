#include "batch/batch.h"

#include "batch/descriptor_limit.h"
#include "batch/end_handover.h"
#include "batch/runner.h"
#include "batch/scan_probe.h"

#include "posdll/port_names.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <vector>

namespace batch {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kProgressEvery{100};

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
        hooks.onResult(Result{i, targets[i], result});
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
    app::ActionInputs in{target.port};
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
             const Hooks &hooks, std::stop_token stop) {
    EndHandedOver batchLib(lib);
    return serveAll(
        targets, bounds,
        [&](const Target &t) {
            app::ActionInputs in = inputsFor(bounds, t);
            in.options = options;
            return app::runAction(action, in, batchLib);
        },
        hooks, {}, stop);
}

Summary status(std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
               const Hooks &hooks, std::stop_token stop) {
    return serveAll(targets, bounds, statusReader(bounds, lib), hooks, {}, stop);
}

Summary scan(const Cidr &network, int port, const Bounds &bounds, const Hooks &hooks,
             std::stop_token stop) {
    ProbeBounds probe;
    probe.inFlight = std::clamp(bounds.jobs, 1, printersWithinDescriptorLimit());
    if (bounds.connectMillis > 0)
        probe.connect = std::chrono::milliseconds(bounds.connectMillis);
    probe.answerMillis = bounds.statusMillis;
    const std::size_t count = cidrHostCount(network);
    Summary summary;
    std::size_t done = 0, failed = 0;
    auto lastProgress = Clock::time_point{};
    summary.notAttempted = probeHosts(
        count,
        [&](std::size_t i) {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(port));
            a.sin_addr.s_addr = htonl(cidrHost(network, i));
            return a;
        },
        probe,
        [&](const Probe &p) {
            app::Result r = p.connected ? app::statusResult(p.reading)
                                        : app::failure(p.kind, device::Stage::Open, p.reason);
            r.elapsed = p.elapsed;
            ++done;
            failed += r.succeeded() ? 0 : 1;
            // A few times a second: a sweep settles thousands of hosts in one.
            if (const auto now = Clock::now();
                hooks.onProgress && (now - lastProgress > kProgressEvery || done == count)) {
                lastProgress = now;
                hooks.onProgress(done, failed);
            }
            if (!r.status) // only what answered as a printer does is a result
                return;
            in_addr host{htonl(cidrHost(network, p.index))};
            char text[INET_ADDRSTRLEN];
            ::inet_ntop(AF_INET, &host, text, sizeof text);
            const Target t = networkTarget(port == posdll::kPrinterPort
                                               ? text
                                               : std::string(text) + ":" + std::to_string(port));
            ++summary.results;
            summary.failed += r.succeeded() ? 0 : 1;
            hooks.onResult(Result{p.index, t, std::move(r)});
        },
        stop);
    return summary;
}

} // namespace batch
