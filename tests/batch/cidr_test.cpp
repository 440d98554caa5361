#include "batch/cidr.h"

#include <gtest/gtest.h>

TEST(batch_cidr_test, sweeps_the_hosts_without_network_and_broadcast) {
    std::string why;
    const auto net = batch::parseCidr("127.0.0.9/29", &why); // host bits are cleared
    ASSERT_TRUE(net) << why;
    const std::vector<std::string> hosts = batch::cidrHosts(*net);
    ASSERT_EQ(hosts.size(), 6u);
    EXPECT_EQ(hosts.front(), "127.0.0.9");
    EXPECT_EQ(hosts.back(), "127.0.0.14");
    // /31 and /32 have no network or broadcast address: every address is a host.
    EXPECT_EQ(batch::cidrHosts(*batch::parseCidr("127.0.0.4/31", &why)),
              (std::vector<std::string>{"127.0.0.4", "127.0.0.5"}));
    for (const char *one : {"127.0.0.7/32", "127.0.0.7"}) // no prefix: that one address
        EXPECT_EQ(batch::cidrHosts(*batch::parseCidr(one, &why)),
                  (std::vector<std::string>{"127.0.0.7"}));
    // The widest allowed, across the byte boundary.
    const auto wide = batch::cidrHosts(*batch::parseCidr("127.1.255.255/16", &why));
    ASSERT_EQ(wide.size(), 65534u);
    EXPECT_EQ(wide.front(), "127.1.0.1");
    EXPECT_EQ(wide[255], "127.1.1.0");
    EXPECT_EQ(wide.back(), "127.1.255.254");
}

TEST(batch_cidr_test, refuses_what_is_not_a_small_ipv4_network) {
    for (const char *bad : {"127.0.0.0/15", "127.0.0.0/33", "127.0.0.0/", "127.0.0/24", "::1/128",
                            "127.0.0.0/2x", "127.0.0.0/-1", "localhost/24", "/24"}) {
        std::string why;
        EXPECT_FALSE(batch::parseCidr(bad, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}
