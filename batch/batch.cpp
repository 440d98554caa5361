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

constexpr std::chrono::milliseconds kProgressEvery{100};

using Serve = std::function<app::Result(const Target &)>;

// Serves every target through `serve`, network ones side by side.
Summary serveAll(std::span<const Target> targets, const Bounds &bounds, const Serve &serve,
                 const Hooks &hooks, std::stop_token stop) {
    std::vector<bool> network;
    network.reserve(targets.size());
    for (const Target &t : targets)
        network.push_back(t.network());
    DescriptorWait descriptors;
    Summary summary;
    RunHooks run;
    run.onProgress = hooks.onProgress;
    run.onResult = [&](std::size_t i, const app::Result &result) {
        ++summary.results;
        summary.failed += result.succeeded() ? 0 : 1;
        hooks.onResult(Result{i, targets[i], result});
    };
    summary.notAttempted = runTargets(
        network, bounds.jobs, printersWithinDescriptorLimit(),
        [&](std::size_t i) {
            if (hooks.onMustFinish && targets[i].mustFinish())
                hooks.onMustFinish(i);
            return descriptors.run([&] { return serve(targets[i]); });
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

} // namespace

Summary send(app::Action action, const protocol::SettingChoices &choices,
             std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
             const Hooks &hooks, std::stop_token stop) {
    EndHandedOver batchLib(lib);
    return serveAll(
        targets, bounds,
        [&](const Target &t) {
            app::ActionInputs in = inputsFor(bounds, t);
            in.choices = choices;
            return app::runAction(action, in, batchLib);
        },
        hooks, stop);
}

Summary status(std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
               const Hooks &hooks, std::stop_token stop) {
    return serveAll(
        targets, bounds,
        [&](const Target &t) { return app::checkStatus(inputsFor(bounds, t), lib); }, hooks, stop);
}

Summary identify(std::span<const Target> targets, const Bounds &bounds, device::PosdllFuncs &lib,
                 const Hooks &hooks, std::stop_token stop) {
    return serveAll(
        targets, bounds,
        [&](const Target &t) { return app::identifyPrinter(inputsFor(bounds, t), lib); }, hooks,
        stop);
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
    auto lastProgress = std::chrono::steady_clock::time_point{};
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
            const app::Result o = resultOf(p);
            ++done;
            failed += o.succeeded() ? 0 : 1;
            // A few times a second: a sweep settles thousands of hosts in one.
            if (const auto now = std::chrono::steady_clock::now();
                hooks.onProgress && (now - lastProgress > kProgressEvery || done == count)) {
                lastProgress = now;
                hooks.onProgress(done, failed);
            }
            if (!o.status) // only what answered as a printer does is a result
                return;
            in_addr host{htonl(cidrHost(network, p.index))};
            char text[INET_ADDRSTRLEN];
            ::inet_ntop(AF_INET, &host, text, sizeof text);
            const Target t = networkTarget(port == posdll::kPrinterPort
                                               ? text
                                               : std::string(text) + ":" + std::to_string(port));
            ++summary.results;
            summary.failed += o.succeeded() ? 0 : 1;
            hooks.onResult(Result{p.index, t, o});
        },
        stop);
    return summary;
}

} // namespace batch
