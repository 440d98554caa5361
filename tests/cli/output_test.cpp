#include "batch/targets.h"
#include "output.h"
#include "progress.h"

#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <sstream>

using cli::jsonString;

namespace {

// The line of a send of `action` that ended with `result`.
std::string sent(const batch::Target &target, app::Action action, const app::Result &result) {
    return cli::resultLine(target, result, app::messageFor(action, result));
}

} // namespace

TEST(cli_output_test, json_string_escapes) {
    EXPECT_EQ(jsonString(""), "\"\"");
    EXPECT_EQ(jsonString("plain text"), "\"plain text\"");
    EXPECT_EQ(jsonString("say \"hi\" \\ bye"), R"("say \"hi\" \\ bye")");
    EXPECT_EQ(jsonString("a\nb\rc\td"), R"("a\nb\rc\td")");
    EXPECT_EQ(jsonString(std::string("\x01\x1f\x7f", 3)), R"("\u0001\u001f\u007f")");
    EXPECT_EQ(jsonString(std::string("nul\0here", 8)), R"("nul\u0000here")");
    EXPECT_EQ(jsonString("/dev/ttyS0"), "\"/dev/ttyS0\""); // '/' needs no escape
}

TEST(cli_output_test, json_string_keeps_utf8_and_replaces_what_is_not) {
    EXPECT_EQ(jsonString("K\xC3\xBC"
                         "che"),
              "\"K\xC3\xBC"
              "che\"");                                                // Küche
    EXPECT_EQ(jsonString("\xE2\x82\xAC"), "\"\xE2\x82\xAC\"");         // euro sign
    EXPECT_EQ(jsonString("\xF0\x9F\x96\xA8"), "\"\xF0\x9F\x96\xA8\""); // a printer, 4 bytes
    const struct {
        const char *bytes;
        const char *json;
    } bad[] = {
        {"\xFF", R"("\ufffd")"},                               // never in UTF-8
        {"a\xC3", R"("a\ufffd")"},                             // cut short at the end
        {"\xC3(", R"("\ufffd(")"},                             // a continuation byte missing
        {"\xC0\xAF", R"("\ufffd\ufffd")"},                     // overlong '/'
        {"\xE0\x80\xAF", R"("\ufffd\ufffd\ufffd")"},           // overlong, three bytes
        {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},           // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"}, // above U+10FFFF
        {"\x80", R"("\ufffd")"},                               // a lone continuation byte
    };
    for (const auto &b : bad)
        EXPECT_EQ(jsonString(b.bytes), b.json) << b.json;
}

TEST(cli_output_test, json_object_keeps_key_order_and_types) {
    EXPECT_EQ(cli::JsonObject().str(), "{}");
    EXPECT_EQ(cli::JsonObject()
                  .add("s", "x\"y")
                  .add("t", true)
                  .add("n", 42LL)
                  .addRaw("none", "null")
                  .add("k\ney", false)
                  .str(),
              R"({"s":"x\"y","t":true,"n":42,"none":null,"k\ney":false})");
}

TEST(cli_output_test, result_lines_say_ok_or_failed_with_the_windows_message) {
    using app::Action;
    const batch::Target t = batch::networkTarget("127.0.0.1:9100");
    EXPECT_EQ(sent(t, Action::RestoreDefault, {}),
              "ETHERNET 127.0.0.1:9100: ok: Please Restart Printer.");
    EXPECT_EQ(sent(t, Action::PrintSelfTest, {}), "ETHERNET 127.0.0.1:9100: ok");
    EXPECT_EQ(sent(batch::portTarget("COM3", "19200", ""), Action::EnableDip,
                   app::failure(device::FailKind::Missing, device::Stage::Open,
                                "serial port COM3 (/dev/ttyS2): No such file or directory")),
              "COM3: failed: Fail to open port,please check! (serial port COM3 (/dev/ttyS2): No "
              "such file or directory)");
    const app::Result closed = app::failure(device::FailKind::Closed, device::Stage::End, "");
    EXPECT_EQ(cli::outcomeText(closed, app::messageFor(Action::PrintSelfTest, closed)),
              "failed: Fail to write to port,please check!");
    app::Result queued;
    queued.kind = device::FailKind::Spooled; // a queue took it, nobody waited for the printer
    EXPECT_EQ(sent(batch::portTarget("DRIVER", "", "Bar"), Action::StoreSetting, queued),
              "DRIVER Bar: spooled: Please Restart Printer.");
}

TEST(cli_output_test, ledger_lines_say_unchanged_replaced_or_what_a_dry_run_would_do) {
    const batch::Target t = batch::networkTarget("10.1.2.3");
    app::Result left;
    left.kind = device::FailKind::Unchanged;
    app::Result sent;
    sent.written = 11;
    sent.serial = "B2";
    const auto line = [&](const app::Result &r, const batch::Decision &d, bool dryRun) {
        return cli::ledgerResultLine(t, r, app::messageFor(app::Action::StoreSetting, r), d,
                                     dryRun);
    };
    EXPECT_EQ(line(left, {false, false, 0xFD}, false), "ETHERNET 10.1.2.3: unchanged");
    EXPECT_EQ(line(sent, {true, true, std::nullopt}, false),
              "ETHERNET 10.1.2.3: ok: Please Restart Printer. (a new printer, serial B2)");
    EXPECT_EQ(line(app::Result{}, {true, false, 0xFD}, true),
              "ETHERNET 10.1.2.3: would send (the ledger has 0xFD)");
}

TEST(cli_output_test, result_json_shape) {
    const batch::Target t = batch::portTarget("DRIVER", "", "Bar \"1\"");
    app::Result failed =
        app::failure(device::FailKind::Missing, device::Stage::Open, "queue\tgone");
    failed.elapsed = std::chrono::milliseconds(12);
    // The setting object is decoded from the frame's byte: 0xFC is the default but the cutter.
    EXPECT_EQ(cli::resultJson(t, "store", protocol::writeSettingFrame(0xFC), failed,
                              app::messageFor(app::Action::StoreSetting, failed)),
              R"({"schema":2,"target":"DRIVER Bar \"1\"","port":"DRIVER","queue":"Bar \"1\"",)"
              R"("action":"store","ok":false,)"
              R"("kind":"missing","stage":"open","elapsed_ms":12,"written":0,)"
              R"("message":"Fail to open port,please check!","reason":"queue\tgone",)"
              R"("frame":"1F 1B 1F A1 10 11 12 13 14 15 FC","setting":{"byte":"0xFC",)"
              R"("cutter":false,"beeper":true,"density":"light","two_byte":true,"chars":48,)"
              R"("paper_taken":true,"baud":19200,"meaning":"cutter no, beeper yes, density light, )"
              R"(two-byte yes, 48 chars, paper-taken yes, 19200 bps"}})");
    // No message and no reason: the keys are absent, never "".
    app::Result selftest;
    selftest.written = 12;
    EXPECT_EQ(cli::resultJson(batch::networkTarget("127.0.0.1"), "selftest",
                              protocol::selfTestFrame(), selftest,
                              app::messageFor(app::Action::PrintSelfTest, selftest)),
              R"({"schema":2,"target":"ETHERNET 127.0.0.1","port":"ETHERNET",)"
              R"("address":"127.0.0.1","tcp_port":9100,"action":"selftest","ok":true,)"
              R"("kind":"ok","stage":"close","elapsed_ms":0,"written":12,)"
              R"("frame":"1F 1B 1F 93 10 11 12 15 16 17 10 00"})");
}

TEST(cli_output_test, a_target_not_attempted_still_has_its_line) {
    EXPECT_EQ(cli::notAttemptedJson(batch::portTarget("DRIVER", "", "Bar"), "enable"),
              R"({"schema":2,"target":"DRIVER Bar","port":"DRIVER","queue":"Bar",)"
              R"("action":"enable","ok":false,"kind":"not-attempted","written":0})");
}

TEST(cli_output_test, the_target_in_its_parts) {
    const batch::Target com = batch::portTarget("COM3", "9600", "");
    batch::Target known = com;
    known.device = "/dev/ttyS2";
    const struct {
        batch::Target target;
        std::string parts;
    } rows[] = {
        {batch::networkTarget("[::1]:9101"),
         R"("target":"ETHERNET [::1]:9101","port":"ETHERNET","address":"::1","tcp_port":9101)"},
        {com, R"("target":"COM3","port":"COM3")"}, // the device not known
        {known, R"("target":"COM3","port":"COM3","device":"/dev/ttyS2")"},
        {batch::portTarget("LPT1", "", ""), R"("target":"LPT1","port":"LPT1")"},
    };
    for (const auto &row : rows) {
        cli::JsonObject o;
        EXPECT_EQ(cli::addTarget(o, row.target).str(), "{" + row.parts + "}");
    }
}

TEST(cli_output_test, frame_and_setting_byte_lines) {
    EXPECT_EQ(cli::frameLine(protocol::enableFrame()),
              "1F 1B 1F C0 15 14 13 12 11 10 AA  enable DIP switch");
    EXPECT_EQ(cli::settingByteLine(0x02),
              "0x02  setting byte: cutter no, beeper no, density dark, two-byte no, 42 chars, "
              "paper-taken no, 38400 bps");
    EXPECT_EQ(cli::frameJson({0x1F, 0x00}),
              R"({"schema":2,"frame":"1F 00","known":false,"meaning":"unknown bytes (2): 1F 00"})");
    // The setting is the same object as in a result, from a lone byte and from a frame.
    const std::string bd = R"("setting":{"byte":"0xBD","cutter":true,"beeper":true,)"
                           R"("density":"light","two_byte":true,"chars":48,"paper_taken":true,)"
                           R"("baud":9600,"meaning":"cutter yes, beeper yes, density light, )"
                           R"(two-byte yes, 48 chars, paper-taken yes, 9600 bps"})";
    EXPECT_EQ(cli::settingByteJson(0xBD),
              R"({"schema":2,)" + bd +
                  R"(,"known":true,"meaning":"cutter yes, beeper yes, density )"
                  R"(light, two-byte yes, 48 chars, paper-taken yes, 9600 bps"})");
    EXPECT_NE(cli::frameJson(protocol::writeSettingFrame(0xBD)).find(bd), std::string::npos);
}

TEST(cli_output_test, progress_line_rewrites_itself_and_clears) {
    std::ostringstream err;
    {
        cli::ProgressLine p(err, true, 3);
        p.clear(); // nothing shown yet: nothing to take away
        p.show(1, 0);
        p.show(2, 1);
        p.clear();
        p.show(3, 1);
    } // the destructor takes the last one away
    EXPECT_EQ(err.str(),
              "\r\033[K[1/3]\r\033[K[2/3] 1 failed\r\033[K\r\033[K[3/3] 1 failed\r\033[K");
    for (const auto &[enabled, total] : {std::pair{false, 3}, std::pair{true, 1}}) {
        std::ostringstream quiet;
        cli::ProgressLine p(quiet, enabled, static_cast<std::size_t>(total));
        p.show(1, 1);
        p.clear();
        EXPECT_EQ(quiet.str(), "");
    }
}
