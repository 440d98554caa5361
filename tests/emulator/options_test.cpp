#include "options.h"

#include <gtest/gtest.h>

using emulator::parseOptions;

TEST(emulator_options_test, loopback_9100_unless_told_otherwise) {
    std::string why;
    auto o = parseOptions({}, &why);
    ASSERT_TRUE(o) << why;
    ASSERT_TRUE(o->listen);
    EXPECT_EQ(o->listen->host, "127.0.0.1");
    EXPECT_EQ(o->listen->port, 9100);
    EXPECT_FALSE(o->ptyLink);
    EXPECT_FALSE(o->hex);
    EXPECT_FALSE(o->count);

    o = parseOptions({"--pty", "/tmp/ttyPOS"}, &why);
    ASSERT_TRUE(o) << why;
    EXPECT_FALSE(o->listen) << "a terminal alone listens nowhere";
    EXPECT_EQ(o->ptyLink, "/tmp/ttyPOS");
}

TEST(emulator_options_test, every_option_in_both_spellings) {
    std::string why;
    auto o = parseOptions({"--listen=[::1]:0", "--pty", "/tmp/p", "--hex", "--count=3"}, &why);
    ASSERT_TRUE(o) << why;
    EXPECT_EQ(o->listen->host, "::1");
    EXPECT_EQ(o->listen->port, 0);
    EXPECT_EQ(o->ptyLink, "/tmp/p");
    EXPECT_TRUE(o->hex);
    EXPECT_EQ(o->count, 3);
    o = parseOptions({"--listen", "127.0.0.1:9200", "--count", "1", "--help"}, &why);
    ASSERT_TRUE(o) << why;
    EXPECT_EQ(o->listen->port, 9200);
    EXPECT_TRUE(o->help);
}

TEST(emulator_options_test, wrong_command_lines_say_why) {
    struct Row {
        std::vector<std::string> args;
        const char *why;
    } rows[] = {
        {{"--listen"}, "--listen needs a value"},
        {{"--listen", "300.1.2.3:9100"}, "--listen '300.1.2.3:9100': '300.1.2.3' is not a valid"},
        {{"--listen", "127.0.0.1:65536"}, "is not a TCP port number (0 to 65535)"},
        {{"--count", "0"}, "--count '0': not a number of frames"},
        {{"--count", "-2"}, "not a number of frames"},
        {{"--count", "3x"}, "not a number of frames"},
        {{"--pty="}, "--pty needs a path"},
        {{"--hex=yes"}, "--hex takes no value"},
        {{"--lisen", "x"}, "unknown option '--lisen' (see --help)"},
        {{"9100"}, "unknown option '9100'"},
    };
    for (const Row &r : rows) {
        std::string why;
        EXPECT_FALSE(parseOptions(r.args, &why)) << r.args[0];
        EXPECT_NE(why.find(r.why), std::string::npos) << why;
    }
}
