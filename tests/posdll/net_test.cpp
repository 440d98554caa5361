// The network transport against real TCP peers on loopback.
#include "document.h"
#include "support/bounded.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <tuple>

using namespace testing_support;

namespace {

// A printer that reads everything until our end of stream, then closes.
std::future<Bytes> printer(const Listener &l) {
    return std::async(std::launch::async, [&l] {
        Fd c = l.accept();
        return c.get() < 0 ? Bytes{} : readUntilEof(c.get());
    });
}

Bytes pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return b;
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Well over the 1 s limit for a printer that takes no bytes (ShortWriteBound).
constexpr milliseconds kLongerThanTheStallLimit{2500};

void setReceiveBuffer(const Listener &l, int bytes) { // accepted connections inherit it
    ::setsockopt(l.fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

// Reads a few bytes at a time, steadily, until the deadline; returns them.
Bytes trickle(int fd, Clock::time_point until) {
    Bytes got;
    unsigned char buf[64];
    while (Clock::now() < until) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0)
            break;
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
        std::this_thread::sleep_for(milliseconds(2));
    }
    return got;
}

// A printer with a small receive buffer that trickles for a while, then reads at full speed
// until our end of stream.
std::future<Bytes> trickleThenFlood(const Listener &l, milliseconds trickling) {
    setReceiveBuffer(l, 4096);
    return std::async(std::launch::async, [&l, trickling] {
        Fd c = l.accept();
        Bytes got = trickle(c.get(), Clock::now() + trickling);
        unsigned char buf[1 << 16];
        for (ssize_t n; (n = ::read(c.get(), buf, sizeof buf)) > 0;)
            got.insert(got.end(), buf, buf + n);
        return got;
    });
}

// Sends a document of `size` bytes to a printer that trickles for longer than the stall
// limit (then floods, to keep the test short): it must arrive whole.
void sendThroughATrickle(std::size_t size) {
    const ShortWriteBound bound;
    Listener l;
    ASSERT_TRUE(l.ok());
    auto got = trickleThenFlood(l, kLongerThanTheStallLimit);
    const Bytes doc = pattern(size);
    const DocResult r = sendDocument(l.address(), POS_PORT_NETWORK, doc);
    EXPECT_TRUE(r.ok(doc.size())) << r.error;
    EXPECT_TRUE(got.get() == doc);
}

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

} // namespace

TEST(net_test, exact_bytes_arrive_at_an_ipv4_listener) {
    Listener l;
    ASSERT_TRUE(l.ok());
    auto got = printer(l);
    const DocResult r = sendDocument(l.address(), POS_PORT_NETWORK, frameBytes());
    EXPECT_TRUE(r.ok(11)) << r.error;
    EXPECT_EQ(got.get(), frameBytes());
}

TEST(net_test, a_large_document_arrives_whole_through_short_writes) {
    Listener l;
    ASSERT_TRUE(l.ok());
    // More than the socket buffers hold, read in small pieces: the sends come back short.
    auto got = std::async(std::launch::async, [&l] {
        Fd c = l.accept();
        Bytes all;
        unsigned char buf[1024];
        for (ssize_t n; (n = ::read(c.get(), buf, sizeof buf)) > 0;)
            all.insert(all.end(), buf, buf + n);
        return all;
    });
    const Bytes big = pattern(8 << 20);
    const DocResult r = sendDocument(l.address(), POS_PORT_NETWORK, big);
    EXPECT_TRUE(r.ok(big.size())) << r.error;
    EXPECT_TRUE(got.get() == big);
}

TEST(net_test, exact_bytes_arrive_at_an_ipv6_listener) {
    Listener l("::1");
    if (!l.ok())
        GTEST_SKIP() << "no IPv6 loopback here";
    auto got = printer(l);
    const DocResult r = sendDocument(l.address(), POS_PORT_NETWORK, frameBytes());
    EXPECT_TRUE(r.ok(11)) << r.error;
    EXPECT_EQ(got.get(), frameBytes());
}

TEST(net_test, a_dotted_address_with_leading_zeros_is_read_as_decimal) {
    // 127.0.0.10 as an address box shows it; read as octal it would be 127.0.0.8.
    Listener l("127.0.0.10");
    ASSERT_TRUE(l.ok());
    auto got = printer(l);
    const DocResult r =
        sendDocument("127.000.000.010:" + std::to_string(l.port()), POS_PORT_NETWORK, frameBytes());
    EXPECT_TRUE(r.ok(11)) << r.error;
    EXPECT_EQ(got.get(), frameBytes());
}

TEST(net_test, localhost_is_tried_at_each_of_its_addresses) {
    // Only 127.0.0.1 listens; should localhost also stand for ::1, that one is refused first.
    Listener l;
    ASSERT_TRUE(l.ok());
    auto got = printer(l);
    const DocResult r =
        sendDocument("localhost:" + std::to_string(l.port()), POS_PORT_NETWORK, frameBytes());
    EXPECT_TRUE(r.ok(11)) << r.error;
    EXPECT_EQ(got.get(), frameBytes());
}

TEST(net_test, refused_connection_names_the_address) {
    ClosedPort closed;
    const std::string address = "127.0.0.1:" + std::to_string(closed.port);
    const DocResult r = sendDocument(address, POS_PORT_NETWORK, frameBytes());
    EXPECT_EQ(r.handle, -1);
    EXPECT_EQ(r.error, "network printer " + address + ": connection refused");
    EXPECT_EQ(r.err, ECONNREFUSED);
    EXPECT_EQ(POS_Close(), -1) << "nothing is left open";
}

// No descriptor left for the socket is a kind of its own, so a batch can wait for one.
TEST(net_test, no_descriptor_left_is_its_own_kind) {
    ClosedPort closed;
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit full = saved;
    full.rlim_cur = static_cast<rlim_t>(lowestFree); // the next descriptor is past the limit
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &full), 0);
    const int handle = POS_Open(("127.0.0.1:" + std::to_string(closed.port)).c_str(), 0, 0, 0, 0,
                                POS_PORT_NETWORK);
    const int kind = POS_LastErrorKind();
    const std::string reason = POS_LastError();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(kind, POS_ERR_NO_DESCRIPTORS) << reason;
    EXPECT_NE(reason.find(std::strerror(EMFILE)), std::string::npos) << reason;
}

TEST(net_test, peer_that_closes_before_the_write_is_not_success) {
    Listener l;
    ASSERT_TRUE(l.ok());
    auto peer = std::async(std::launch::async, [&l] { l.accept(); });
    const int h = POS_Open(l.address().c_str(), 0, 0, 0, 0, POS_PORT_NETWORK);
    ASSERT_GT(h, 0) << POS_LastError();
    peer.get(); // accepted and closed
    ASSERT_EQ(POS_StartDoc(), 0);
    const int written = POS_WriteFile(h, frameBytes().data(), 11);
    const std::string writeError = POS_LastError();
    const int ended = POS_EndDoc();
    const std::string error = written == -1 ? writeError : POS_LastError();
    POS_Close();
    EXPECT_TRUE(written == -1 || ended == -1) << "the bytes cannot have been delivered";
    EXPECT_TRUE(contains(error, "network printer " + l.address() + ": the printer closed") ||
                contains(error, "reset"))
        << error;
}

TEST(net_test, peer_that_resets_the_connection_is_not_success) {
    Listener l;
    ASSERT_TRUE(l.ok());
    auto peer = std::async(std::launch::async, [&l] {
        Fd c = l.accept();
        const linger hard{1, 0}; // close with a reset
        ::setsockopt(c.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    });
    // The reset can come before the connection is seen as made, or before the write.
    const int h = POS_Open(l.address().c_str(), 0, 0, 0, 0, POS_PORT_NETWORK);
    peer.get();
    int written = -1;
    if (h > 0)
        written = POS_WriteFile(h, frameBytes().data(), 11);
    const std::string error = POS_LastError();
    POS_Close();
    EXPECT_EQ(written, -1);
    EXPECT_EQ(error, "network printer " + l.address() +
                         (h > 0 ? ": the printer reset the connection before the first byte (0 "
                                  "of 11 bytes)"
                                : ": the printer reset the connection"));
}

TEST(net_test, healthy_printers_that_answer_or_stay_connected_succeed) {
    Listener l;
    ASSERT_TRUE(l.ok());
    // One sends a status byte back; the other reads everything and waits for our close.
    auto talker = std::async(std::launch::async, [&l] {
        Fd c = l.accept();
        const unsigned char status = 0x12;
        EXPECT_EQ(::write(c.get(), &status, 1), 1);
        return readUntilEof(c.get());
    });
    DocResult r = sendDocument(l.address(), POS_PORT_NETWORK, frameBytes());
    EXPECT_TRUE(r.ok(11)) << r.error;
    EXPECT_EQ(talker.get(), frameBytes());

    std::promise<void> closedByUs;
    auto waiter = std::async(std::launch::async, [&l] {
        Fd c = l.accept();
        Bytes got = readCount(c.get(), 11);
        readUntilEof(c.get()); // our end of stream; this side never closes first
        return got;
    });
    r = sendDocument(l.address(), POS_PORT_NETWORK, frameBytes());
    EXPECT_TRUE(r.ok(11)) << r.error;
    EXPECT_EQ(waiter.get(), frameBytes());
}

TEST(net_test, listener_that_never_accepts_fails_within_the_bound) {
    Listener l("127.0.0.1", 0);
    ASSERT_TRUE(l.ok());
    const std::vector<Fd> queued = fillAcceptQueue(l);
    const auto open = finishesWithin(std::chrono::seconds(15), [address = l.address()] {
        const int h = POS_Open(address.c_str(), 0, 0, 0, 0, POS_PORT_NETWORK);
        return std::make_pair(h, std::string(POS_LastError()));
    });
    ASSERT_TRUE(open) << "hangs";
    const auto [handle, error] = *open;
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(error, "network printer " + l.address() + ": no answer within 3 s");
}

TEST(net_test, a_printer_that_reads_slowly_but_steadily_takes_a_large_document) {
    // The system frees room in the socket buffer only a third of it at a time, which a
    // trickle takes far longer than the stall limit to make.
    sendThroughATrickle(8 << 20);
}

TEST(net_test, the_end_of_a_document_waits_while_the_printer_keeps_acknowledging) {
    // The whole document fits in the socket buffer, so it is the end of the document that
    // waits for the trickle.
    sendThroughATrickle(1 << 20);
}

TEST(net_test, printer_that_stops_reading_fails_the_write_within_the_bound) {
    for (const milliseconds readsFirst : {milliseconds(0), milliseconds(500)}) {
        SCOPED_TRACE("reads for " + std::to_string(readsFirst.count()) + " ms, then stops");
        Listener l;
        ASSERT_TRUE(l.ok());
        setReceiveBuffer(l, 4096);
        auto peer = std::async(std::launch::async, [&l, readsFirst] {
            Fd c = l.accept();
            trickle(c.get(), Clock::now() + readsFirst);
            return c; // open, never read again
        });
        // Owned with the thread too: should the write hang, the thread outlives this test.
        const auto big = std::make_shared<const Bytes>(pattern(64 << 20));
        const auto write = finishesWithin(std::chrono::seconds(30), [big, address = l.address()] {
            const ShortWriteBound bound;
            const int h = POS_Open(address.c_str(), 0, 0, 0, 0, POS_PORT_NETWORK);
            const int n = POS_WriteFile(h, big->data(), static_cast<int>(big->size()));
            std::string error = POS_LastError();
            const auto endStart = Clock::now();
            const int ended = POS_EndDoc();
            const auto endTook = Clock::now() - endStart;
            std::string endError = POS_LastError();
            POS_Close();
            return std::make_tuple(n, error, ended, endError, endTook);
        });
        ASSERT_TRUE(write) << "hangs";
        const auto [n, error, ended, endError, endTook] = *write;
        EXPECT_EQ(n, -1);
        EXPECT_TRUE(contains(error, "the printer took no bytes for 1 s after ")) << error;
        EXPECT_TRUE(contains(error, " of " + std::to_string(big->size()) + " bytes")) << error;
        // No second wait for bytes the printer is known not to take.
        EXPECT_EQ(ended, -1);
        EXPECT_TRUE(contains(endError, ": the document is incomplete: a write failed after "))
            << endError;
        EXPECT_LT(endTook, std::chrono::milliseconds(2500));
    }
}

TEST(net_test, addresses_of_no_single_host_are_refused_before_anything_is_sent) {
    // The unspecified addresses would reach a listener on this machine.
    for (const std::string host : {"127.0.0.1", "::1"}) {
        Listener l(host);
        if (!l.ok())
            continue; // no IPv6 loopback here
        const std::string any = host == "::1" ? "[::]" : "0.0.0.0";
        const std::string address = any + ":" + std::to_string(l.port());
        EXPECT_EQ(POS_Open(address.c_str(), 0, 0, 0, 0, POS_PORT_NETWORK), -1);
        EXPECT_EQ(std::string(POS_LastError()),
                  "network printer " + address +
                      ": not a printer's address: " + (host == "::1" ? "::" : "0.0.0.0") +
                      " is the unspecified address, which names no host");
        EXPECT_LT(l.accept(milliseconds(200)).get(), 0) << address << " reached the listener";
    }
    EXPECT_EQ(POS_Open("255.255.255.255", 0, 0, 0, 0, POS_PORT_NETWORK), -1);
    EXPECT_STREQ(POS_LastError(),
                 "network printer 255.255.255.255:9100: not a printer's address: 255.255.255.255 "
                 "is the broadcast address, which names every host on the network");
    for (const char *group : {"224.0.0.1", "239.1.2.3:9101", "[ff02::1]"}) {
        EXPECT_EQ(POS_Open(group, 0, 0, 0, 0, POS_PORT_NETWORK), -1);
        EXPECT_TRUE(
            contains(POS_LastError(), "is a multicast address, which names a group of hosts"))
            << group << ": " << POS_LastError();
    }
}

TEST(net_test, a_host_name_as_typed_is_quoted_in_the_reason) {
    ClosedPort closed;
    const std::string address = "localhost:" + std::to_string(closed.port);
    EXPECT_EQ(POS_Open(address.c_str(), 0, 0, 0, 0, POS_PORT_NETWORK), -1);
    EXPECT_TRUE(contains(POS_LastError(), "network printer '" + address + "': "))
        << POS_LastError();
}

TEST(net_test, malformed_address_is_refused_before_any_connection) {
    EXPECT_EQ(POS_Open("300.1.2.3", 0, 0, 0, 0, POS_PORT_NETWORK), -1);
    EXPECT_STREQ(POS_LastError(), "network printer '300.1.2.3': '300.1.2.3' is not a valid IPv4 "
                                  "address (four numbers 0 to 255, as 10.0.0.5)");
}

// In a network namespace of the test's own, with no interface up, no address has a route: the
// connect fails at once without a packet leaving, as on a machine whose network is down.
TEST(net_test, no_route_to_the_printer_is_unreachable_not_a_timeout) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(p[0]);
        std::string said = "skip: cannot make a network namespace";
        if (::unshare(CLONE_NEWNET) == 0) {
            const int handle = POS_Open("192.0.2.1", 0, 0, 0, 0, POS_PORT_NETWORK);
            said = std::to_string(handle) + " " + std::to_string(POS_LastErrorKind()) + " " +
                   POS_LastError();
        }
        [[maybe_unused]] const ssize_t n = ::write(p[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(p[1]);
    const Bytes text = readUntilEof(p[0]);
    ::close(p[0]);
    ::waitpid(pid, nullptr, 0);
    const std::string said(text.begin(), text.end());
    if (said.starts_with("skip: "))
        GTEST_SKIP() << said;
    EXPECT_EQ(said, "-1 " + std::to_string(POS_ERR_UNREACHABLE) +
                        " network printer 192.0.2.1:9100: Network is unreachable");
}
