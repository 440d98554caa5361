#include "batch/ledger.h"

#include "batch/file_text.h"
#include "batch/metrics.h"

#include "support/posix_peers.h"

#include <gtest/gtest.h>

using batch::Decision;
using batch::Ledger;
using testing_support::TempDir;

namespace {

Ledger twoPrinters() {
    Ledger l;
    batch::record(l, {"ETHERNET 10.1.2.3", "A1", 0xFD, "2026-12-08T10:15:00Z"});
    batch::record(l, {"DRIVER Küche \"2\"", std::nullopt, 0x42, "2026-12-08T10:16:00Z"});
    return l;
}

} // namespace

TEST(batch_ledger_test, what_is_written_reads_back_and_names_both_ways) {
    const Ledger l = twoPrinters();
    ASSERT_EQ(l.serials.size(), 1u);
    EXPECT_EQ(l.serials.at("A1").target, "ETHERNET 10.1.2.3");
    std::string why;
    EXPECT_EQ(batch::parseLedger(batch::serialiseLedger(l), &why), l) << why;
    EXPECT_EQ(batch::parseLedger(R"({"version":1,"targets":{},"serials":{}})", &why), Ledger{});
}

TEST(batch_ledger_test, a_damaged_ledger_says_where) {
    const std::string entry = R"("serial":null,"setting":"0xFD","stored_at":"t")";
    struct Row {
        std::string text, says;
    } rows[] = {
        {"", "expected a value, found the end at byte 1"},
        {R"({"version":1,"targets":{})", "expected ',' or '}', found end"},
        {R"({"version":1,"targets":{},"serials":{}} x)", "unexpected 'x' after the value"},
        {R"({"version":2,"targets":{},"serials":{}})", "version: not 1"},
        {R"({"version":1,"targets":[],"serials":{}})", "unexpected '['"},
        {R"({"version":1,"targets":{},"serials":{},"more":1})", "unknown key \"more\""},
        {R"({"version":1,"version":1,"targets":{},"serials":{}})", "\"version\" is repeated"},
        {R"({"version":1,"targets":{"T":{)" + entry + R"(}},"serials":{}})", ""},
        {R"({"version":1,"targets":{"T":{"serial":null,"setting":"FD","stored_at":"t"}},)"
         R"("serials":{}})",
         "targets.\"T\".setting: not a setting byte"},
        {R"({"version":1,"targets":{"T":{"serial":"","setting":"0xFD","stored_at":"t"}},)"
         R"("serials":{}})",
         "targets.\"T\".serial: not a non-empty string"},
        {R"({"version":1,"targets":{"T":{)" + entry + R"(}},"serials":{"S":{}}})",
         "serials.\"S\": no key \"setting\""},
        {"{\"version\":1,\"targets\":{\"a\tb\":{}},\"serials\":{}}", "a control character"},
        {R"({"version":1,"targets":{"\ud800":{}},"serials":{}})", "a bad \\u escape"},
    };
    for (const Row &r : rows) {
        std::string why;
        const auto l = batch::parseLedger(r.text, &why);
        EXPECT_EQ(l.has_value(), r.says.empty()) << r.text;
        EXPECT_NE(why.find(r.says), std::string::npos) << r.text << " gave: " << why;
    }
}

TEST(batch_ledger_test, sends_unless_the_same_printer_holds_the_byte) {
    const Ledger l = twoPrinters();
    const std::string eth = "ETHERNET 10.1.2.3", queue = "DRIVER Küche \"2\"";
    struct Row {
        std::string target;
        std::optional<std::string> serial;
        std::uint8_t byte;
        Decision expected;
    } rows[] = {
        {eth, "A1", 0xFD, {false, false, 0xFD}},           // the same printer, the same byte
        {eth, "A1", 0x42, {true, false, 0xFD}},            // another byte
        {eth, "B2", 0xFD, {true, true, std::nullopt}},     // swapped for a printer never stored
        {eth, std::nullopt, 0xFD, {true, false, 0xFD}},    // stopped giving its serial
        {queue, std::nullopt, 0x42, {false, false, 0x42}}, // known by its target alone
        {queue, "C3", 0x42, {true, false, 0x42}},          // now gives one: not known to be it
        {"COM3", std::nullopt, 0xFD, {true, false, std::nullopt}}, // never stored
    };
    for (const Row &r : rows)
        EXPECT_EQ(batch::decide(l, r.target, r.serial, r.byte), r.expected)
            << r.target << " " << r.serial.value_or("-") << " " << int(r.byte);
    // A1 moved where B2 was: the new printer's byte is known from its serial.
    Ledger moved = l;
    batch::record(moved, {"ETHERNET 10.1.2.9", "B2", 0xFD, "t"});
    batch::record(moved, {"ETHERNET 10.1.2.9", "A1", 0x42, "t"});
    EXPECT_EQ(batch::decide(moved, "ETHERNET 10.1.2.9", "B2", 0xFD), (Decision{true, true, 0xFD}));
}

TEST(batch_ledger_test, the_file_keeps_every_writer_and_refuses_damage) {
    TempDir dir;
    const std::string path = dir.file("state/posdip/ledger.json");
    batch::LedgerFile first(path), second(path);
    std::string why;
    ASSERT_TRUE(first.load(&why)) << why;
    ASSERT_TRUE(second.load(&why)) << why; // both read it empty
    ASSERT_TRUE(first.add({{"COM1", std::nullopt, 0x01, "t"}}, &why)) << why;
    ASSERT_TRUE(second.add({{"COM2", "S2", 0x02, "t"}}, &why)) << why;
    batch::LedgerFile third(path);
    ASSERT_TRUE(third.load(&why)) << why;
    EXPECT_EQ(third.ledger().targets.size(), 2u); // the second read the first's entry again

    ASSERT_EQ(batch::replaceFile(path, "{\"version\": 1,"), "");
    for (batch::LedgerFile *f : {&first, &third}) {
        why.clear();
        EXPECT_FALSE(f == &first ? f->add({{"COM3", std::nullopt, 3, "t"}}, &why) : f->load(&why));
        EXPECT_NE(why.find(path), std::string::npos) << why;
        EXPECT_NE(why.find("is damaged"), std::string::npos) << why;
    }
    EXPECT_EQ(batch::readWholeFile(path, 100), "{\"version\": 1,"); // left as it was
}
