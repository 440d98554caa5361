#include "batch/targets.h"

#include <gtest/gtest.h>

#include <sstream>

using batch::Target;

namespace {

batch::TargetFile parseTargetFile(const std::string &text, const std::string &name,
                                  const std::string &baud) {
    std::istringstream in(text);
    return batch::readTargetFile(in, name, baud);
}

std::vector<std::string> labels(const std::vector<Target> &ts) {
    std::vector<std::string> out;
    for (const Target &t : ts)
        out.push_back(t.label);
    return out;
}

} // namespace

TEST(batch_targets_test, comments_blanks_and_every_kind) {
    const auto f = parseTargetFile("# the shop\n"
                                   "\n"
                                   "ETHERNET 127.0.0.1\r\n"
                                   "  ETHERNET\t127.0.0.2:9101   # the bar\n"
                                   "COM3\n"
                                   "COM4 115200\n"
                                   "   \t\n"
                                   "LPT1\n"
                                   "DRIVER Kitchen\n"
                                   "ETHERNET [::1]:9100\n"
                                   "10.1.2.3\n"
                                   "10.1.2.4:9101 # the bar\n"
                                   "[::1]\n"
                                   "com3 9600\n"
                                   "Driver Front_Desk\n",
                                   "shop.txt", "38400");
    EXPECT_TRUE(f.errors.empty()) << f.errors.front();
    EXPECT_EQ(labels(f.targets),
              (std::vector<std::string>{"ETHERNET 127.0.0.1", "ETHERNET 127.0.0.2:9101", "COM3",
                                        "COM4", "LPT1", "DRIVER Kitchen", "ETHERNET [::1]:9100",
                                        "ETHERNET 10.1.2.3", "ETHERNET 10.1.2.4:9101",
                                        "ETHERNET [::1]", "COM3", "DRIVER Front_Desk"}));
    ASSERT_EQ(f.targets.size(), 12u);
    EXPECT_EQ(f.targets[10].port.baudText, "9600");
    EXPECT_EQ(f.targets[0].port.portName, "ETHERNET");
    EXPECT_EQ(f.targets[0].port.ipText, "127.0.0.1");
    EXPECT_EQ(f.targets[2].port.baudText, "38400"); // the default rate
    EXPECT_EQ(f.targets[3].port.baudText, "115200");
    EXPECT_EQ(f.targets[5].port.portName, "DRIVER");
    EXPECT_EQ(f.targets[5].port.printerName, "Kitchen");
    EXPECT_TRUE(f.targets[0].network());
    EXPECT_TRUE(f.targets[6].network());
    EXPECT_FALSE(f.targets[2].network());
    EXPECT_FALSE(f.targets[4].network());
    EXPECT_FALSE(f.targets[5].network());
}

TEST(batch_targets_test, bad_lines_are_reported_with_their_numbers) {
    const auto f = parseTargetFile("ETHERNET 127.0.0.1\n"           // 1 fine
                                   "ETHERNET\n"                     // 2
                                   "COM3 1200\n"                    // 3
                                   "# comment\n"                    // 4
                                   "com0\n"                         // 5
                                   "LPT1 fast\n"                    // 6
                                   "DRIVER   # none\n"              // 7
                                   "10.1.2\n"                       // 8
                                   "ETHERNET 127.0.0.1 127.0.0.2\n" // 9
                                   "COM0\n"                         // 10
                                   "USB1\n"                         // 11
                                   "COM256\n"                       // 12
                                   "LPT2\n"                         // 13 fine
                                   "DRIVER a/b\n",                  // 14
                                   "shop.txt", "19200");
    EXPECT_EQ(labels(f.targets), (std::vector<std::string>{"ETHERNET 127.0.0.1", "LPT2"}));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"shop.txt:2: ", "ETHERNET needs the printer's address"},
        {"shop.txt:3: ", "'1200' is not one of 9600, 19200, 38400, 115200"},
        {"shop.txt:5: ", "'com0' is not ETHERNET, COMn, LPTn"},
        {"shop.txt:6: ", "LPT1 takes nothing after it, found 'fast'"},
        {"shop.txt:7: ", "DRIVER needs the print queue's name"},
        {"shop.txt:8: ", "not a valid IPv4 address"},
        {"shop.txt:9: ", "one address a line"},
        {"shop.txt:10: ", "'COM0'"},
        {"shop.txt:11: ", "'USB1'"},
        {"shop.txt:12: ", "'COM256'"},
        {"shop.txt:14: ", "'a/b': not a queue name"},
    };
    ASSERT_EQ(f.errors.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(f.errors[i].rfind(expected[i].first, 0), 0u) << f.errors[i];
        EXPECT_NE(f.errors[i].find(expected[i].second), std::string::npos) << f.errors[i];
    }
}

TEST(batch_targets_test, empty_and_comment_only_files_have_no_targets) {
    for (const char *text : {"", "\n\n", "# only\n   # comments\n"}) {
        const auto f = parseTargetFile(text, "x", "19200");
        EXPECT_TRUE(f.targets.empty()) << text;
        EXPECT_TRUE(f.errors.empty()) << text;
    }
}

TEST(batch_targets_test, port_words) {
    for (const char *ok : {"ETHERNET", "DRIVER", "COM1", "COM255", "LPT3", "LPT12"})
        EXPECT_EQ(batch::checkPortWord(ok), "") << ok;
    for (const char *bad : {"", "ETH", "ethernet", "COM", "COM01", "COM-1", "LPT0", "DRIVERX"})
        EXPECT_NE(batch::checkPortWord(bad), "") << bad;
}

TEST(batch_targets_test, targets_fill_the_inputs_of_one_kind_only) {
    const Target net = batch::networkTarget("127.0.0.1:9101");
    EXPECT_EQ(net.port.ipText, "127.0.0.1:9101");
    EXPECT_EQ(net.port.baudText, "");
    const Target com = batch::portTarget("COM2", "9600", "");
    EXPECT_EQ(com.label, "COM2");
    EXPECT_EQ(com.port.baudText, "9600");
    EXPECT_EQ(com.port.ipText, "");
    const Target drv = batch::portTarget("DRIVER", "", "Front Desk");
    EXPECT_EQ(drv.label, "DRIVER Front Desk");
    EXPECT_EQ(drv.port.printerName, "Front Desk");
}

TEST(batch_targets_test, a_byte_order_mark_is_skipped_at_the_start_only) {
    const auto f = parseTargetFile("\xEF\xBB\xBF"
                                   "LPT1\n\xEF\xBB\xBFLPT2\n",
                                   "bom.txt", "19200");
    EXPECT_EQ(labels(f.targets), std::vector<std::string>{"LPT1"});
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0].rfind("bom.txt:2: '\xEF\xBB\xBFLPT2' is not", 0), 0u) << f.errors[0];
}

TEST(batch_targets_test, long_lines_and_large_files_are_refused_where_they_start) {
    const std::string longest = "LPT1" + std::string(batch::kMaxTargetLineBytes - 4, ' ');
    auto f = parseTargetFile(longest + "\n" + longest, "x", "19200"); // the last without newline
    EXPECT_TRUE(f.errors.empty()) << f.errors.front();
    EXPECT_EQ(f.targets.size(), 2u);

    f = parseTargetFile("LPT1\n" + longest + " \nLPT2\n", "x", "19200");
    EXPECT_EQ(labels(f.targets), std::vector<std::string>{"LPT1"}); // nothing after it is read
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0], "x:2: a line longer than 4096 bytes; is this a list of printers?");

    std::string many;
    const std::string line = "# " + std::string(1021, '-') + "\n"; // 1 KiB a line
    for (std::size_t i = 0; i < (batch::kMaxTargetFileBytes >> 10); ++i)
        many += line;
    EXPECT_TRUE(parseTargetFile(many, "x", "19200").errors.empty()); // exactly at the limit
    f = parseTargetFile(many + "LPT1\n", "x", "19200");
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0], "x:16385: more than 16 MiB of printers; split the list");
    EXPECT_TRUE(f.targets.empty());
}
