// Name lookups with a resolver the test holds: it answers from the numeric address 127.0.0.1
// only when let go, so no name server is ever asked.
#include "posdll/name_lookup.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

using namespace posdll;
using namespace std::chrono_literals;

namespace {

class HeldResolver {
  public:
    // Shared with the lookup threads, which may outlive the test's frame.
    static std::shared_ptr<HeldResolver> make() { return std::make_shared<HeldResolver>(); }

    static Resolver of(const std::shared_ptr<HeldResolver> &held) {
        return [held](const char *, const char *service, const addrinfo *hints, addrinfo **found) {
            std::unique_lock lock(held->m_mutex);
            ++held->m_calls;
            held->m_changed.notify_all();
            held->m_changed.wait(lock, [&] { return held->m_letGo; });
            addrinfo numeric = *hints;
            numeric.ai_flags |= AI_NUMERICHOST;
            return ::getaddrinfo("127.0.0.1", service, &numeric, found);
        };
    }

    void letGo() {
        std::lock_guard lock(m_mutex);
        m_letGo = true;
        m_changed.notify_all();
    }

    bool waitForCalls(int n) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_calls >= n; });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_calls = 0;
    bool m_letGo = false;
};

addrinfo streamHints() {
    addrinfo h{};
    h.ai_family = AF_UNSPEC;
    h.ai_socktype = SOCK_STREAM;
    h.ai_flags = AI_NUMERICSERV;
    return h;
}

Clock::time_point in(milliseconds d) {
    return Clock::now() + d;
}

bool drained(const NameLookups &lookups) {
    const auto end = in(10s);
    while (lookups.outstanding() > 0 && Clock::now() < end)
        std::this_thread::sleep_for(10ms);
    return lookups.outstanding() == 0;
}

std::string hostOf(const LookupResult &r) {
    char text[INET_ADDRSTRLEN] = "";
    const auto *v4 = reinterpret_cast<const sockaddr_in *>(r.found->ai_addr);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    return text;
}

} // namespace

TEST(name_lookup_test, given_up_lookups_count_against_the_cap_until_the_resolver_returns) {
    const auto held = HeldResolver::make();
    NameLookups lookups(HeldResolver::of(held), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lookups.lookup("printer", "9100", streamHints(), in(50ms)).outcome,
                  LookupOutcome::NoAnswer);
    ASSERT_TRUE(held->waitForCalls(3));
    EXPECT_EQ(lookups.outstanding(), 3u);

    const LookupResult busy = lookups.lookup("printer", "9100", streamHints(), in(200ms));
    EXPECT_EQ(busy.outcome, LookupOutcome::Busy);
    EXPECT_EQ(busy.reason, "3 earlier lookups are still waiting for the name server");
    EXPECT_EQ(lookups.outstanding(), 3u) << "no lookup starts past the cap";

    held->letGo();
    ASSERT_TRUE(drained(lookups)) << "the given-up lookups free their places when they return";
    const LookupResult again = lookups.lookup("printer", "9100", streamHints(), in(10s));
    ASSERT_EQ(again.outcome, LookupOutcome::Found) << again.reason;
    EXPECT_EQ(hostOf(again), "127.0.0.1");
}

TEST(name_lookup_test, a_lookup_past_the_cap_waits_for_a_place_until_its_deadline) {
    const auto held = HeldResolver::make();
    NameLookups lookups(HeldResolver::of(held), 1);
    EXPECT_EQ(lookups.lookup("printer", "9100", streamHints(), in(50ms)).outcome,
              LookupOutcome::NoAnswer);
    auto waiting = std::async(std::launch::async, [&] {
        return lookups.lookup("printer", "9100", streamHints(), in(20s));
    });
    EXPECT_EQ(waiting.wait_for(300ms), std::future_status::timeout) << "it waits for the place";
    held->letGo();
    const LookupResult r = waiting.get();
    ASSERT_EQ(r.outcome, LookupOutcome::Found) << r.reason;
    EXPECT_EQ(hostOf(r), "127.0.0.1");
    EXPECT_TRUE(drained(lookups));
}

TEST(name_lookup_test, the_resolver_reason_is_read_on_its_own_thread) {
    NameLookups lookups(
        [](const char *, const char *, const addrinfo *, addrinfo **) {
            errno = EMFILE;
            return EAI_SYSTEM;
        },
        4);
    errno = 0;
    const LookupResult system = lookups.lookup("printer", "9100", streamHints(), in(10s));
    EXPECT_EQ(system.outcome, LookupOutcome::Failed);
    EXPECT_EQ(system.reason, std::strerror(EMFILE));

    NameLookups unknown(
        [](const char *, const char *, const addrinfo *, addrinfo **) { return EAI_NONAME; }, 4);
    const LookupResult none = unknown.lookup("printer", "9100", streamHints(), in(10s));
    EXPECT_EQ(none.outcome, LookupOutcome::Failed);
    EXPECT_EQ(none.reason, ::gai_strerror(EAI_NONAME));
    EXPECT_TRUE(drained(lookups));
    EXPECT_TRUE(drained(unknown));
}
