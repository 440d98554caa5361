// The ends of network documents watched on one thread say what the blocking end says, for
// printers that behave well and ill, all watched at once.
#include "batch/end_handover.h"
#include "batch/end_watch.h"

#include "device/port_access.h"
#include "posdll/posdll.h"
#include "support/posix_peers.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <sys/socket.h>
#include <thread>

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const protocol::Frame kFrame{0x1F, 0x1B, 0x1F, 0xA1, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xFD};

// What a printer does with one connection once it has read the document.
using Behaviour = std::function<void(Fd &connection)>;

struct Row {
    const char *what;
    Behaviour behaviour;
};

const Row kRows[] = {
    {"closes its side", [](Fd &) {}},
    {"keeps its side open past the linger", [](Fd &) { std::this_thread::sleep_for(900ms); }},
    {"resets once the document is over",
     [](Fd &c) {
         readUntilEof(c.get());
         const linger hard{1, 0};
         ::setsockopt(c.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
     }},
    {"answers, then closes", [](Fd &c) { EXPECT_EQ(::write(c.get(), "\x12", 1), 1); }},
};

// Serves `count` connections, each on its own thread, as `behaviour` says.
std::future<void> serve(const Listener &l, int count, Behaviour behaviour) {
    return std::async(std::launch::async, [&l, count, behaviour] {
        std::vector<std::future<void>> sessions;
        for (int i = 0; i < count; ++i)
            sessions.push_back(
                std::async(std::launch::async, [c = l.accept(), behaviour]() mutable {
                    readCount(c.get(), kFrame.size());
                    behaviour(c);
                    c.reset();
                }));
    });
}

} // namespace

TEST(end_watch_test, every_end_settles_as_the_blocking_end_says_all_watched_on_one_thread) {
    std::vector<std::unique_ptr<Listener>> listeners;
    std::vector<std::future<void>> peers;
    std::vector<device::WriteResult> blocking;
    for (const Row &row : kRows) {
        listeners.push_back(std::make_unique<Listener>());
        peers.push_back(serve(*listeners.back(), 2, row.behaviour));
        const int h = POS_Open(listeners.back()->address().c_str(), 0, 0, 0, 0, POS_PORT_NETWORK);
        ASSERT_GT(h, 0) << POS_LastError();
        blocking.push_back(device::writeTransaction(device::libraryPosdll(), h, kFrame, "doc"));
    }
    ASSERT_TRUE(blocking[0].ok && blocking[1].ok && !blocking[2].ok) << "the rows differ";

    std::vector<std::promise<device::WriteResult>> settled(std::size(kRows));
    {
        batch::EndWatch watch;
        batch::EndHandedOver lib(device::libraryPosdll());
        const batch::EndsHandedOver handingOver(true);
        for (std::size_t i = 0; i < std::size(kRows); ++i) {
            const int h = POS_Open(listeners[i]->address().c_str(), 0, 0, 0, 0, POS_PORT_NETWORK);
            ASSERT_GT(h, 0) << POS_LastError();
            const device::WriteResult w = device::writeTransaction(lib, h, kFrame, "doc");
            std::optional<device::PendingEnd> end = batch::takeHandedOverEnd();
            ASSERT_TRUE(end) << w.reason;
            EXPECT_TRUE(w.ok) << w.reason;
            EXPECT_EQ(POS_Close(), -1) << "the connection left this thread";
            watch.watch(std::move(*end),
                        [&p = settled[i]](const device::WriteResult &r) { p.set_value(r); });
        }
    } // every end settled
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        SCOPED_TRACE(kRows[i].what);
        const device::WriteResult watched = settled[i].get_future().get();
        EXPECT_EQ(watched.ok, blocking[i].ok);
        EXPECT_EQ(watched.reason, blocking[i].reason);
        EXPECT_EQ(watched.kind, blocking[i].kind);
        EXPECT_EQ(watched.stage, blocking[i].stage);
    }
}
