#include "posdll/printer_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

namespace {

std::optional<std::string> verdict(const std::string &text) {
    sockaddr_storage ss{};
    if (text.find(':') != std::string::npos) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&ss);
        a->sin6_family = AF_INET6;
        EXPECT_EQ(::inet_pton(AF_INET6, text.c_str(), &a->sin6_addr), 1) << text;
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&ss);
        a->sin_family = AF_INET;
        EXPECT_EQ(::inet_pton(AF_INET, text.c_str(), &a->sin_addr), 1) << text;
    }
    return posdll::notAPrinter(reinterpret_cast<const sockaddr *>(&ss));
}

} // namespace

TEST(printer_address_test, addresses_of_no_single_host_are_refused_with_what_they_are) {
    struct Row {
        const char *address;
        const char *why;
    } rows[] = {
        {"0.0.0.0", "0.0.0.0 is the unspecified address, which names no host"},
        {"::", ":: is the unspecified address, which names no host"},
        {"::ffff:0.0.0.0", "::ffff:0.0.0.0 is the unspecified address, which names no host"},
        {"255.255.255.255",
         "255.255.255.255 is the broadcast address, which names every host on the network"},
        {"::ffff:255.255.255.255",
         "::ffff:255.255.255.255 is the broadcast address, which names every host on the network"},
        {"0.0.0.1", "0.0.0.1 is in 0.0.0.0/8, which names this network only as a source, no host"},
        {"240.0.0.1", "240.0.0.1 is in 240.0.0.0/4, which is reserved and names no host"},
        {"224.0.0.0", "224.0.0.0 is a multicast address, which names a group of hosts"},
        {"239.255.255.255", "239.255.255.255 is a multicast address, which names a group of hosts"},
        {"::ffff:224.0.0.251",
         "::ffff:224.0.0.251 is a multicast address, which names a group of hosts"},
        {"ff02::1", "ff02::1 is a multicast address, which names a group of hosts"},
        {"ff00::", "ff00:: is a multicast address, which names a group of hosts"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(verdict(r.address), r.why) << r.address;
}

TEST(printer_address_test, host_addresses_next_to_the_refused_ranges_are_taken) {
    // x.x.x.255 is a host in a network wider than /24.
    for (const char *ok :
         {"10.1.2.3", "127.0.0.1", "1.0.0.0", "10.0.0.255", "223.255.255.255", "::1", "::2",
          "fe80::1", "feff::1", "::ffff:10.0.0.1", "::ffff:223.255.255.255", "2001:db8::ff"})
        EXPECT_EQ(verdict(ok), std::nullopt) << ok;
}
