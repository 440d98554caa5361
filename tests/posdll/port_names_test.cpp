#include "posdll/port_names.h"
#include "posdll/quoted.h"

#include <gtest/gtest.h>

using posdll::parseNetworkAddress;
using posdll::portNumber;

TEST(port_names_test, port_number_takes_only_the_prefix_and_a_number_1_to_255) {
    EXPECT_EQ(portNumber("COM1", "COM"), 1);
    EXPECT_EQ(portNumber("COM12", "COM"), 12);
    EXPECT_EQ(portNumber("COM255", "COM"), 255);
    EXPECT_EQ(portNumber("LPT3", "LPT"), 3);
    for (const char *bad : {"COM", "COM0", "COM256", "COM-1", "COM+1", "COM01", "COM 1", "COM1 ",
                            "COM../x", "COM../../etc/x", "COM1/..", "com1", "Com1", "LPT1",
                            "COM12345678901234567890", "COM99999"})
        EXPECT_FALSE(portNumber(bad, "COM")) << bad;
    EXPECT_FALSE(portNumber(std::string_view("COM1\0", 5), "COM"));
}

TEST(port_names_test, network_address_forms) {
    struct Row {
        const char *text;
        const char *host;
        int port;
        bool numeric;
    } rows[] = {
        {"10.1.2.3", "10.1.2.3", 9100, true},
        {"10.1.2.3:9101", "10.1.2.3", 9101, true},
        {"0.0.0.0:1", "0.0.0.0", 1, true},
        {"255.255.255.255:65535", "255.255.255.255", 65535, true},
        {"[::1]:9100", "::1", 9100, true},
        {"[::1]", "::1", 9100, true},
        {"[fd00::5]:9200", "fd00::5", 9200, true},
        {"[::ffff:10.0.0.1]", "::ffff:10.0.0.1", 9100, true},
        {"localhost", "localhost", 9100, false},
        {"printer-1.shop.example:9100", "printer-1.shop.example", 9100, false},
        {"PRN_2", "PRN_2", 9100, false},
    };
    for (const Row &r : rows) {
        std::string why;
        const auto a = parseNetworkAddress(r.text, &why);
        ASSERT_TRUE(a) << r.text << ": " << why;
        EXPECT_EQ(a->host, r.host) << r.text;
        EXPECT_EQ(a->port, r.port) << r.text;
        EXPECT_EQ(a->numeric, r.numeric) << r.text;
    }
}

TEST(port_names_test, leading_zeros_in_a_dotted_address_are_decimal) {
    // As an address box shows it; read as octal, 010 would be 8.
    const auto a = parseNetworkAddress("192.168.001.010", nullptr);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "192.168.1.10");
    EXPECT_TRUE(a->numeric);
    const auto b = parseNetworkAddress("127.000.000.001:9100", nullptr);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->host, "127.0.0.1");
    EXPECT_FALSE(parseNetworkAddress("1.2.3.0001", nullptr)) << "more than three digits";
}

TEST(port_names_test, refused_addresses_say_why) {
    struct Row {
        std::string text;
        const char *why;
    } rows[] = {
        {"", "empty"},
        {":9100", "empty"},
        {"300.1.2.3", "'300.1.2.3' is not a valid IPv4 address"},
        {"1.2.3", "'1.2.3' is not a valid IPv4 address"},
        {"1.2.3.4.5", "not a valid IPv4 address"},
        {"1..2.3", "not a valid IPv4 address"},
        {"1.2.3.", "not a valid IPv4 address"},
        {"1234", "not a valid IPv4 address"},
        {"0x7f.0.0.1", "not a valid IPv4 address"}, // a number form a lookup would accept
        {"0x7f000001", "not a valid IPv4 address"},
        {"1.2.3.4:0", "'0' is not a TCP port number (1 to 65535)"},
        {"1.2.3.4:65536", "'65536' is not a TCP port number"},
        {"1.2.3.4:", "empty port number"},
        {"1.2.3.4:09100", "not a TCP port number"},
        {"1.2.3.4:-1", "not a TCP port number"},
        {"1.2.3.4:9100x", "not a TCP port number"},
        {"::1", "brackets"},
        {"fd00::1:9100", "brackets"},
        {"[::1", "missing ']'"},
        {"[::1]9100", "unexpected text after ']'"},
        {"[::1]:", "empty port number"},
        {"[]", "is not an IPv6 address"},
        {"[1.2.3.4]", "is not an IPv6 address"},
        {" 10.0.0.1", "not a valid IP address or host name"},
        {"10.0.0.1 ", "not a valid IP address or host name"},
        {"print er", "not a valid IP address or host name"},
        {"a..b", "not a valid IP address or host name"},
        {std::string(254, 'a'), "not a valid IP address or host name"},
        {std::string(64, 'a') + ".lan", "not a valid IP address or host name"},
        {std::string("10.0.0.1\0x", 10), "NUL"},
        {"printer\x01", "'printer\\x01' is not a valid"},
    };
    for (const Row &r : rows) {
        std::string why;
        EXPECT_FALSE(parseNetworkAddress(r.text, &why)) << r.text;
        EXPECT_NE(why.find(r.why), std::string::npos) << r.text << " gave: " << why;
    }
}

TEST(port_names_test, longest_host_name_and_label_are_taken) {
    const std::string label(63, 'a');
    const std::string name = label + "." + label + "." + label + "." + std::string(61, 'b');
    ASSERT_EQ(name.size(), 253u);
    const auto a = parseNetworkAddress(name + ":9100", nullptr);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, name);
}

TEST(port_names_test, a_listener_may_ask_for_port_zero) {
    const auto a = parseNetworkAddress("127.0.0.1:0", nullptr, 0);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->port, 0);
}

TEST(port_names_test, names_in_messages_are_quoted_escaped_and_cut) {
    EXPECT_EQ(posdll::quoted("COM3"), "'COM3'");
    EXPECT_EQ(posdll::quoted("a\nb\\"), "'a\\x0Ab\\x5C'");
    // Non-ASCII text stays readable; C1 controls, stray and overlong bytes do not pass through.
    EXPECT_EQ(posdll::quoted("caf\xC3\xA9 \xEF\xBC\x91"), "'caf\xC3\xA9 \xEF\xBC\x91'");
    EXPECT_EQ(posdll::quoted("\xC2\x9B"
                             "2J"),
              "'\\x9B2J'");
    EXPECT_EQ(posdll::quoted("\xC3 \xC0\xAF \xED\xA0\x80"), "'\\xC3 \\xC0\\xAF \\xED\\xA0\\x80'");
    EXPECT_EQ(posdll::quoted("\xE2\x82"), "'\\xE2\\x82'");
    EXPECT_EQ(posdll::quoted(std::string(1000, 'x'), 5), "'xxxxx...'");
    EXPECT_EQ(posdll::formatAddress("::1", 9100), "[::1]:9100");
    EXPECT_EQ(posdll::formatAddress("10.0.0.1", 1), "10.0.0.1:1");
}
