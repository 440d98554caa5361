#include "cli_args.h"

#include "protocol/setting_byte.h"

#include <gtest/gtest.h>

#include <cstdio>

using cli::Command;
using cli::parseArgs;
using cli::ShowHelp;
using cli::Subcommand;
using cli::TargetArg;
using cli::UsageError;

namespace {

using Args = std::vector<std::string>;

Command parsed(const Args &args) {
    const auto r = parseArgs(args);
    if (const auto *e = std::get_if<UsageError>(&r))
        ADD_FAILURE() << "usage error: " << e->message;
    return std::holds_alternative<Command>(r) ? std::get<Command>(r) : Command{};
}

std::uint8_t storedByte(const Args &settings) {
    Args args{"store", "--dry-run"};
    args.insert(args.end(), settings.begin(), settings.end());
    return protocol::composeSettingByte(parsed(args).choices);
}

} // namespace

TEST(cli_args_test, usage_errors_name_the_bad_argument) {
    struct Row {
        Args args;
        std::string argument; // what UsageError::argument must be
        std::string says;     // a piece of the message
    } rows[] = {
        {{}, "", "no subcommand"},
        {{"frobnicate"}, "frobnicate", "'frobnicate' is not a subcommand"},
        {{"store", "--chars", "40"}, "--chars", "'40' is not 42 or 48"},
        {{"store", "--chars=40"}, "--chars=40", "'40' is not 42 or 48"},
        {{"store", "--cutter", "maybe"}, "--cutter", "'maybe' is not yes or no"},
        {{"store", "--density", "medium"}, "--density", "'medium' is not dark or light"},
        {{"store", "--set-baud", "57600"}, "--set-baud", "'57600' is not one of 9600"},
        {{"store", "--byte", "0x100"}, "--byte", "'0x100' is not a byte"},
        {{"store", "--byte", "0x"}, "--byte", "'0x' is not a byte"},
        {{"store", "--byte", "-1"}, "--byte", "is not a byte"},
        {{"store", "--beeper", "no", "--byte", "0xFD", "--dry-run"},
         "--byte",
         "--byte cannot be combined with --beeper"},
        {{"enable", "--cutter", "no"}, "--cutter", "--cutter is only for store"},
        {{"enable", "--ip"}, "--ip", "--ip needs a value"},
        {{"enable", "--ip", "10.1.2"}, "--ip", "not a valid IPv4 address"},
        {{"enable", "--ip", ""}, "--ip", "empty"},
        {{"enable", "--baud", "1200", "--ip", "127.0.0.1"}, "--baud", "'1200'"},
        {{"enable", "-j", "0", "--ip", "127.0.0.1"}, "-j", "'0' is not a number from 1 to 1024"},
        {{"enable", "-j2000", "--ip", "127.0.0.1"}, "-j2000", "'2000'"},
        {{"enable", "--jobs=x", "--ip", "127.0.0.1"}, "--jobs=x", "'x'"},
        {{"store", "--wait", "0", "--ip", "127.0.0.1"}, "--wait", "'0' is not a number from 1"},
        {{"store", "--wait=3601", "--ip", "127.0.0.1"}, "--wait=3601", "to 3600"},
        {{"store", "--wait", "1.5", "--ip", "127.0.0.1"}, "--wait", "'1.5'"},
        {{"decode", "--wait", "5", "1F"}, "--wait", "not an option of decode"},
        {{"enable", "--port", "USB1"}, "--port", "'USB1' is not ETHERNET, COMn, LPTn"},
        {{"enable", "--port", "com1"}, "--port", "'com1'"},
        {{"enable", "--port", "COM0"}, "--port", "'COM0'"},
        {{"enable", "--port", "COM3", "--ip", "127.0.0.1"}, "--port", "cannot be combined"},
        {{"enable", "--port", "DRIVER"}, "--port", "--port DRIVER needs --printer"},
        {{"enable", "--printer", "K", "--ip", "127.0.0.1"}, "--printer", "only for --port DRIVER"},
        {{"status", "--port", "DRIVER", "--printer", "a/b"}, "--printer", "not a queue name"},
        {{"store", "--port", "DRIVER", "--printer", std::string(200, 'q')},
         "--printer",
         "not a queue name"},
        {{"enable", "--json", "--json"}, "--json", "--json is given twice"},
        {{"enable", "--dry-run=yes"}, "--dry-run=yes", "--dry-run takes no value"},
        {{"enable", "stray", "--ip", "127.0.0.1"}, "stray", "'stray'"},
        {{"enable", "-x"}, "-x", "'-x' is not an option of enable"},
        {{"enable", "--colour"}, "--colour", "'--colour' is not an option of enable"},
        {{"enable"}, "", "no printer given"},
        {{"decode"}, "", "decode needs the bytes"},
        {{"decode", "1F", "XYZ"}, "XYZ", "'XYZ' is not hexadecimal"},
        {{"printers", "--ip", "127.0.0.1"}, "--ip", "'--ip' is not an option of printers"},
        {{"ports", "--dry-run"}, "--dry-run", "not an option of ports"},
    };
    for (const Row &row : rows) {
        std::string joined;
        for (const auto &a : row.args)
            joined += a + " ";
        const auto r = parseArgs(row.args);
        const auto *e = std::get_if<UsageError>(&r);
        ASSERT_NE(e, nullptr) << joined;
        EXPECT_EQ(e->argument, row.argument) << joined;
        EXPECT_NE(e->message.find(row.says), std::string::npos) << joined << "-> " << e->message;
    }
}

TEST(cli_args_test, usage_error_knows_its_subcommand_for_the_hint) {
    const auto r = parseArgs({"store", "--chars", "40"});
    EXPECT_EQ(std::get<UsageError>(r).sub, Subcommand::Store);
    EXPECT_FALSE(std::get<UsageError>(parseArgs({"nope"})).sub.has_value());
}

TEST(cli_args_test, help_and_version) {
    EXPECT_FALSE(std::get<ShowHelp>(parseArgs({"--help"})).sub);
    EXPECT_FALSE(std::get<ShowHelp>(parseArgs({"-h"})).sub);
    EXPECT_EQ(std::get<ShowHelp>(parseArgs({"help", "store"})).sub, Subcommand::Store);
    // --help wins over everything after it, even a missing target.
    for (const char *sub :
         {"enable", "disable", "restore", "store", "selftest", "decode", "printers", "ports"}) {
        const auto r = parseArgs({sub, "--help", "--chars", "99"});
        ASSERT_TRUE(std::holds_alternative<ShowHelp>(r)) << sub;
        EXPECT_STREQ(cli::subcommandName(*std::get<ShowHelp>(r).sub), sub);
    }
    EXPECT_TRUE(std::holds_alternative<cli::ShowVersion>(parseArgs({"--version"})));
    EXPECT_EQ(std::get<ShowHelp>(parseArgs({"scan", "-h"})).sub, Subcommand::Scan);
    // A subcommand's option is no option before the subcommand, nor --version one after it.
    EXPECT_EQ(std::get<UsageError>(parseArgs({"-j"})).message, "'-j' is not a subcommand");
    EXPECT_EQ(std::get<UsageError>(parseArgs({"status", "--version"})).message,
              "'--version' is not an option of status");
}

TEST(cli_args_test, defaults) {
    const Command c = parsed({"enable", "--ip", "127.0.0.1"});
    EXPECT_EQ(c.sub, Subcommand::Enable);
    EXPECT_EQ(c.jobs, 16);
    EXPECT_EQ(c.baud, "19200");
    EXPECT_FALSE(c.port);
    EXPECT_FALSE(c.json);
    EXPECT_FALSE(c.dryRun);
    EXPECT_EQ(protocol::composeSettingByte(c.choices), 0xFD);
}

TEST(cli_args_test, settings_by_name_start_from_the_windows_selection) {
    struct Row {
        Args settings;
        std::uint8_t byte;
    } rows[] = {
        {{}, 0xFD},
        {{"--cutter", "no"}, 0xFC},
        {{"--beeper", "no"}, 0xFF},
        {{"--density", "dark"}, 0xF9},
        {{"--two-byte", "no"}, 0xF5},
        {{"--chars", "42"}, 0xED},
        {{"--paper-taken", "no"}, 0xDD},
        {{"--set-baud", "9600"}, 0xBD},
        {{"--set-baud", "115200"}, 0x7D},
        {{"--set-baud", "38400"}, 0x3D},
        {{"--set-baud=19200", "--cutter=yes"}, 0xFD},
        {{"--cutter", "no", "--beeper", "no", "--density", "dark", "--two-byte", "no", "--chars",
          "42", "--paper-taken", "no", "--set-baud", "38400"},
         0x02},
    };
    for (const Row &r : rows)
        EXPECT_EQ(storedByte(r.settings), r.byte) << ::testing::PrintToString(r.settings);
}

TEST(cli_args_test, every_byte_given_directly_is_the_byte_stored) {
    for (int b = 0; b <= 0xFF; ++b) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", b);
        ASSERT_EQ(storedByte({"--byte", hex}), b) << hex;
        ASSERT_EQ(storedByte({"--byte", std::to_string(b)}), b) << b;
    }
    EXPECT_EQ(storedByte({"--byte=0XfD"}), 0xFD);
}

TEST(cli_args_test, targets_keep_the_command_line_order) {
    const Command c = parsed({"restore", "--ip", "127.0.0.1", "--targets", "a.txt",
                              "--ip=127.0.0.2:9101", "--targets", "-"});
    const std::vector<TargetArg> expected = {{TargetArg::Kind::Address, "127.0.0.1"},
                                             {TargetArg::Kind::File, "a.txt"},
                                             {TargetArg::Kind::Address, "127.0.0.2:9101"},
                                             {TargetArg::Kind::File, "-"}};
    EXPECT_EQ(c.targets, expected);
}

TEST(cli_args_test, one_port_by_name) {
    const Command com = parsed({"selftest", "--port", "COM3", "--baud", "115200"});
    EXPECT_EQ(com.port, "COM3");
    EXPECT_EQ(com.baud, "115200");
    const Command drv = parsed({"selftest", "--port=DRIVER", "--printer", "Kitchen"});
    EXPECT_EQ(drv.port, "DRIVER");
    EXPECT_EQ(drv.printer, "Kitchen");
    // ETHERNET is the default kind and needs --ip like no --port at all.
    EXPECT_FALSE(parsed({"enable", "--port", "ETHERNET", "--ip", "127.0.0.1"}).port);
}

TEST(cli_args_test, jobs_spellings) {
    for (const Args &a : {Args{"-j8"}, Args{"-j", "8"}, Args{"--jobs", "8"}, Args{"--jobs=8"}}) {
        Args args{"enable", "--ip", "127.0.0.1"};
        args.insert(args.end(), a.begin(), a.end());
        EXPECT_EQ(parsed(args).jobs, 8) << a[0];
    }
    EXPECT_EQ(parsed({"enable", "--ip", "127.0.0.1", "-j1024"}).jobs, 1024);
}

TEST(cli_args_test, wait_is_off_unless_given) {
    EXPECT_EQ(parsed({"store", "--port", "DRIVER", "--printer", "K"}).waitSeconds, 0);
    EXPECT_EQ(parsed({"store", "--port", "DRIVER", "--printer", "K", "--wait=3600"}).waitSeconds,
              3600);
}

TEST(cli_args_test, dry_run_needs_no_target_and_decode_takes_words) {
    EXPECT_TRUE(parsed({"selftest", "--dry-run"}).dryRun);
    const Command d = parsed({"decode", "--json", "1F1B", "0x1F", "--", "A1"});
    EXPECT_TRUE(d.json);
    EXPECT_EQ(d.hex, (std::vector<std::string>{"1F1B", "0x1F", "A1"}));
}

TEST(cli_args_test, subcommand_words_come_back_as_their_subcommand_and_action) {
    std::vector<app::Action> actions;
    for (Subcommand sub : cli::allSubcommands()) {
        const std::string word = cli::subcommandName(sub);
        ASSERT_FALSE(word.empty());
        const auto r = parseArgs({word, "--help"});
        ASSERT_TRUE(std::holds_alternative<ShowHelp>(r)) << word;
        EXPECT_EQ(std::get<ShowHelp>(r).sub, sub) << word;
        if (const auto action = cli::actionOf(sub)) {
            EXPECT_EQ(word, app::actionEntry(*action).subcommand);
            actions.push_back(*action);
        }
    }
    // Every action with a frame has one subcommand; Close, with no word, is not one.
    EXPECT_EQ(actions,
              (std::vector<app::Action>{app::Action::EnableDip, app::Action::DisableDip,
                                        app::Action::RestoreDefault, app::Action::StoreSetting,
                                        app::Action::PrintSelfTest}));
    for (const char *word : {"", "Close", "close", "Store", "store "})
        EXPECT_TRUE(std::holds_alternative<UsageError>(parseArgs({word}))) << word;
}

TEST(cli_args_test, baud_is_one_of_the_printers_rates_written_as_such) {
    EXPECT_EQ(parsed({"enable", "--port", "COM1", "--baud", "115200"}).baud, "115200");
    for (const char *rate : {"1200", "019200", "19200.0", ""}) {
        const auto r = parseArgs({"enable", "--port", "COM1", "--baud", rate});
        ASSERT_TRUE(std::holds_alternative<UsageError>(r)) << rate;
        EXPECT_EQ(std::get<UsageError>(r).message,
                  std::string("--baud: '") + rate + "' is not one of 9600, 19200, 38400, 115200");
    }
    EXPECT_EQ(storedByte({"--set-baud", "38400"}), 0x3D);
}
