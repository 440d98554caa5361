// posdip-cli status --metrics and check against posdip-emulator: the metrics file as the
// Prometheus client's parser and a real node exporter read it, and the check's line and exit
// status as a monitoring system reads them.
#include "emulator/emulator_process.h"
#include "run_cli.h"
#include "support/posix_peers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

using cli_test::CliSetup;
using cli_test::runCliBinary;
using testing_support::ChildProcess;
using testing_support::LoopbackEmulator;
using testing_support::runTool;
using testing_support::TempDir;

namespace {

std::string readAll(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// The samples as prometheus_client's parser reads them, one JSON array a line.
std::string parsed(const std::vector<std::string> &what) {
    std::vector<std::string> argv = {"/usr/bin/python3", READ_METRICS};
    argv.insert(argv.end(), what.begin(), what.end());
    const auto run = runTool(argv);
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
}

std::string sample(const std::string &name, const std::string &labels, const char *value) {
    return "[\"" + name + "\", {" + labels + "}, " + value + "]\n";
}

std::string target(const LoopbackEmulator &p) {
    return "\"target\": \"ETHERNET " + p.address + "\"";
}

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(cli_metrics_test, each_printer_state_is_read_by_the_parser_and_the_node_exporter) {
    LoopbackEmulator ok({"--id", "maker=Acme,model=TM-X,firmware=1.02,serial=ABC123"});
    LoopbackEmulator nearEnd({"--paper", "near-end"});
    LoopbackEmulator silent({"--fault", "silent"});
    TempDir dir;
    const std::string list = dir.file("targets");
    std::ofstream(list) << "ETHERNET " << ok.address << "\nETHERNET " << nearEnd.address
                        << "\nETHERNET " << silent.address << "\n";
    const std::string prom = dir.file("posdip.prom");
    const auto run = runCliBinary(
        {"status", "--targets", list, "--metrics", prom, "--identify", "--status-timeout", "0.3"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const std::string text = readAll(prom);
    EXPECT_EQ(text.back(), '\n');
    for (const char *name : {"up", "condition", "info"}) { // one HELP for the three targets
        const std::string help = "# HELP posdip_printer_" + std::string(name) + " ";
        EXPECT_TRUE(has(text, help) && text.find(help) == text.rfind(help)) << name;
    }
    const std::string samples = parsed({prom});
    for (const std::string &expected : {
             sample("posdip_printer_up", target(ok), "1.0"),
             sample("posdip_printer_ready", target(ok), "1.0"),
             sample("posdip_printer_info",
                    "\"firmware\": \"1.02\", \"maker\": \"Acme\", \"model\": \"TM-X\", "
                    "\"serial\": \"ABC123\", " +
                        target(ok),
                    "1.0"),
             sample("posdip_printer_condition", "\"condition\": \"media-low\", " + target(nearEnd),
                    "1.0"),
             sample("posdip_printer_condition", "\"condition\": \"cover-open\", " + target(nearEnd),
                    "0.0"),
             sample("posdip_printer_ready", target(nearEnd), "1.0"),
             sample("posdip_printer_up", target(silent), "0.0"),
         })
        EXPECT_TRUE(has(samples, expected)) << expected << "in\n" << samples;

    // The node exporter's textfile collector serves the file as it is.
    const int port = testing_support::ClosedPort().port; // free once it is closed
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/metrics";
    ChildProcess exporter({testing_support::findProgram("prometheus-node-exporter"),
                           "--collector.disable-defaults", "--collector.textfile",
                           "--collector.textfile.directory", dir.file(""), "--web.listen-address",
                           "127.0.0.1:" + std::to_string(port)},
                          [](posix_spawn_file_actions_t &fa) {
                              posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
                          });
    ASSERT_TRUE(exporter.started());
    std::string served;
    for (int tries = 0; tries < 100 && !has(served, "posdip_printer_up"); ++tries) {
        ::poll(nullptr, 0, 100);
        served = runTool({"/usr/bin/python3", READ_METRICS, "--scrape", url}).output;
    }
    EXPECT_TRUE(has(served, sample("node_textfile_scrape_error", "", "0.0"))) << served;
    EXPECT_TRUE(has(served, sample("posdip_printer_up", target(silent), "0.0"))) << served;

    // A folder it cannot write to: exit status 3, the old file as it was.
    if (::geteuid() != 0)
        ::chmod(dir.file("").c_str(), 0555);
    CliSetup nobody;
    nobody.wrapper = testing_support::nobodyRunner(); // root writes anywhere
    const auto refused = runCliBinary({"status", "--ip", ok.address, "--metrics", prom}, nobody);
    EXPECT_EQ(refused.status, 3) << refused.err;
    EXPECT_TRUE(has(refused.err, "cannot create '" + prom + ".tmp.")) << refused.err;
    EXPECT_EQ(readAll(prom), text);
}

TEST(cli_metrics_test, a_reader_never_sees_half_a_file_while_it_is_rewritten) {
    LoopbackEmulator printer({});
    TempDir dir;
    const std::string prom = dir.file("posdip.prom");
    const std::string stop = dir.file("stop");
    const std::string report = dir.file("report");
    ChildProcess reader({"/usr/bin/python3", READ_METRICS, "--watch", prom, stop},
                        [&](posix_spawn_file_actions_t &fa) {
                            posix_spawn_file_actions_addopen(&fa, 1, report.c_str(),
                                                             O_WRONLY | O_CREAT, 0644);
                        });
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(runCliBinary({"status", "--ip", printer.address, "--metrics", prom}).status, 0);
    std::ofstream{stop};
    reader.waitStatus();
    const std::string said = readAll(report);
    EXPECT_TRUE(std::regex_search(said, std::regex("^reads [1-9][0-9]* partial 0\n$"))) << said;
}

namespace {

// The monitoring plugin guidelines' output: a status word, text, and perfdata items
// 'label=value[UOM];[warn];[crit];[min];[max]', on exactly one line.
const std::regex
    kPluginLine(R"(POSDIP (OK|WARNING|CRITICAL|UNKNOWN) - [^|\n]+)"
                R"(( \| [A-Za-z_]+=-?[0-9.]+(s|ms|us|%|B|KB|MB|TB|c)?(;[0-9.]*){0,4})"
                R"(( [A-Za-z_]+=-?[0-9.]+(s|ms|us|%|B|KB|MB|TB|c)?(;[0-9.]*){0,4})*)?\n)");

struct CheckCase {
    std::vector<std::string> emulator; // empty: a closed port
    std::vector<std::string> options;
    int status;
    const char *says; // after the target
};

const CheckCase kChecks[] = {
    {{"--paper", "ok"}, {}, 0, ": ready | ready=1;;;0;1 near_end=0;;;0;1 time="},
    {{"--paper", "near-end"}, {}, 1, ": ready: paper near end | ready=1;;;0;1 near_end=1;;;0;1"},
    {{"--cover", "open"}, {}, 2, ": not ready: cover open | ready=0;;;0;1 near_end=0;;;0;1"},
    {{}, {}, 2, ": failed: network printer "},
    // -t bounds the whole check, whatever the status timeout.
    {{"--fault", "stall"}, {"-t", "1", "--status-timeout", "5"}, 2, ": no answer within 1 s"},
    {{"--paper", "ok"}, {"--json"}, 3, "'--json' is not an option of check"},
};

} // namespace

TEST(cli_check_test, each_printer_state_gives_its_plugin_status_and_one_line) {
    for (const CheckCase &c : kChecks) {
        const testing_support::ClosedPort closed;
        std::optional<LoopbackEmulator> printer;
        if (!c.emulator.empty())
            printer.emplace(c.emulator);
        const std::string address = printer ? printer->address : closed.address();
        std::vector<std::string> args = {"check", "--ip", address};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto started = std::chrono::steady_clock::now();
        const auto run = runCliBinary(args);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(run.status, c.status) << run.out << run.err;
        EXPECT_TRUE(std::regex_match(run.out, kPluginLine)) << run.out;
        EXPECT_TRUE(has(run.out, c.says)) << run.out;
        EXPECT_LT(took, std::chrono::seconds(3)) << run.out;
    }
    const auto two = runCliBinary({"check", "--ip", "127.0.0.1:1", "--ip", "127.0.0.1:2"});
    EXPECT_EQ(two.status, 3);
    EXPECT_EQ(two.out, "POSDIP UNKNOWN - check takes one printer, 2 printers given\n");
}
