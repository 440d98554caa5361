// posdip-cli identify against posdip-emulator: what a printer says of itself, what it leaves
// unsaid, and what it sends unasked between the replies.
#include "emulator/emulator_process.h"
#include "run_cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using cli_test::runCliBinary;
using testing_support::LoopbackEmulator;

namespace {

const std::string kAcme = "maker=Acme,model=TM-X,firmware=1.02,serial=ABC123";

struct Printer {
    std::vector<std::string> emulator;
    const char *line; // after "ETHERNET ADDRESS: "
    const char *json; // a part of the JSON identity
};

const Printer kPrinters[] = {
    {{"--id", kAcme},
     "maker Acme, model TM-X, firmware 1.02, serial ABC123",
     R"("maker":"Acme","model":"TM-X","firmware":"1.02","serial":"ABC123","multibyte":true,)"
     R"("cutter":true,"raw":{"1":)"},
    // An empty field leaves its request unanswered.
    {{"--id", "maker=Acme,serial="}, "maker Acme, model EMU-80, firmware 1.00", R"("serial":null)"},
    {{"--no-id"},
     "no printer ID",
     R"("maker":null,"model":null,"firmware":null,"serial":null,"multibyte":null,)"
     R"("cutter":null,"raw":{}})"},
    // A status block on connect, and one after each change, around the requests.
    {{"--asb", "--paper", "near-end", "--id", kAcme},
     "maker Acme, model TM-X, firmware 1.02, serial ABC123",
     R"("serial":"ABC123")"},
};

} // namespace

TEST(cli_identify_test, each_printer_says_what_it_answered) {
    for (const Printer &p : kPrinters) {
        LoopbackEmulator printer(p.emulator);
        ASSERT_FALSE(printer.address.empty());
        const std::vector<std::string> args = {"identify", "--ip", printer.address,
                                               "--status-timeout", "0.5"};
        const auto line = runCliBinary(args);
        EXPECT_EQ(line.status, 0) << p.emulator[0] << ": " << line.err;
        EXPECT_EQ(line.out, "ETHERNET " + printer.address + ": " + p.line + "\n");
        std::vector<std::string> json = args;
        json.push_back("--json");
        EXPECT_NE(runCliBinary(json).out.find(p.json), std::string::npos) << p.emulator[0];
    }
}
