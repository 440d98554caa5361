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

TEST(emulator_options_test, printer_condition_state_and_fault) {
    std::string why;
    auto o = parseOptions({}, &why);
    ASSERT_TRUE(o) << why;
    EXPECT_EQ(o->condition.paper, protocol::PaperLevel::Ok);
    EXPECT_FALSE(o->condition.coverOpen);
    EXPECT_FALSE(o->condition.offline);
    EXPECT_EQ(o->fault, emulator::Fault::None);
    EXPECT_FALSE(o->stateFile);

    o = parseOptions({"--paper=near-end", "--cover", "open", "--offline", "--state", "/tmp/s",
                      "--fault", "keep-open"},
                     &why);
    ASSERT_TRUE(o) << why;
    EXPECT_EQ(o->condition.paper, protocol::PaperLevel::NearEnd);
    EXPECT_TRUE(o->condition.coverOpen);
    EXPECT_TRUE(o->condition.offline);
    EXPECT_EQ(o->stateFile, "/tmp/s");
    EXPECT_EQ(o->fault, emulator::Fault::KeepOpen);
}

TEST(emulator_options_test, identity_fields_replace_the_defaults_one_by_one) {
    std::string why;
    auto o = parseOptions({"--id", "serial=A-1,model=TM 9,maker="}, &why);
    ASSERT_TRUE(o && o->identity) << why;
    EXPECT_EQ(o->identity->serial, "A-1");
    EXPECT_EQ(o->identity->model, "TM 9");
    EXPECT_EQ(o->identity->maker, "") << "left unanswered";
    EXPECT_EQ(o->identity->firmware, emulator::Identity{}.firmware);
    EXPECT_FALSE(o->asb);
    o = parseOptions({"--no-id", "--asb"}, &why);
    ASSERT_TRUE(o) << why;
    EXPECT_FALSE(o->identity);
    EXPECT_TRUE(o->asb);
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
        {{"--paper", "empty"}, "--paper 'empty': one of ok|near-end|out"},
        {{"--cover", "Open"}, "--cover 'Open': one of open|closed"},
        {{"--fault", "crash"}, "--fault 'crash': one of close|reset|stall|keep-open|silent"},
        {{"--fault"}, "--fault needs a value"},
        {{"--offline=yes"}, "--offline takes no value"},
        {{"--state="}, "--state needs a file"},
        {{"--paper", "out", "--paper=ok"}, "--paper is given twice"},
        {{"--cover", "open", "--hex", "--cover", "open"}, "--cover is given twice"},
        {{"--fault=close", "--fault", "reset"}, "--fault is given twice"},
        {{"--id", "colour=red"},
         "--id 'colour=red': 'colour=red' is not one of maker=, model=, firmware=, serial="},
        {{"--id", "serial"}, "'serial' is not one of"},
        {{"--id", "serial=1,serial=2"}, "--id 'serial=1,serial=2': serial is given twice"},
        {{"--id", "model=\x01"}, "model '\\x01': not printable ASCII"},
        {{"--id", "model=" + std::string(81, 'M')}, ": longer than 80 characters"},
        {{"--id", "serial=1", "--no-id"}, "--id and --no-id exclude each other"},
    };
    for (const Row &r : rows) {
        std::string why;
        EXPECT_FALSE(parseOptions(r.args, &why)) << r.args[0];
        EXPECT_NE(why.find(r.why), std::string::npos) << why;
    }
}
