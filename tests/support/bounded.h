// Runs a piece of a test on a thread of its own and waits for it a bounded time, so a call that
// hangs fails the test instead of stalling it. The thread also has its own device-library port
// and its own libcups server setting, read afresh from CUPS_SERVER.
#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>

namespace testing_support {

// The result of f, or nothing when f did not finish within limit (its thread is left behind).
template <class F>
std::optional<std::invoke_result_t<F>> finishesWithin(std::chrono::seconds limit, F f) {
    using Result = std::invoke_result_t<F>;
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(f));
    std::future<Result> done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (done.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return done.get();
}

} // namespace testing_support
