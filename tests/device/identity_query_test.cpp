// The printer ID exchange over a scripted printer: what it sends unasked is passed over, each
// reply has its own byte cap, and a printer without ID is asked no more.
#include "device/identity_query.h"
#include "support/recording_posdll.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>

using protocol::IdRequest;

namespace {

// Queues its reply to each GS I n when the request is written; reads hand it out a byte at a
// time and nothing once it is all read.
class ScriptedPrinter : public testing_support::RecordingPosdll {
  public:
    std::map<int, std::vector<std::uint8_t>> replies; // by n
    int requests = 0;

    int POS_WriteFile(int, const std::uint8_t *bytes, int count) override {
        ++requests;
        const auto &reply = replies[bytes[2]];
        m_pending.insert(m_pending.end(), reply.begin(), reply.end());
        return count;
    }
    int POS_DiscardInput(int) override {
        m_pending.clear();
        return 0;
    }
    int POS_ReadFile(int, std::uint8_t *buffer, int, int) override {
        if (m_pending.empty())
            return 0;
        buffer[0] = m_pending.front();
        m_pending.pop_front();
        return 1;
    }

  private:
    std::deque<std::uint8_t> m_pending;
};

std::vector<std::uint8_t> text(const std::string &t) {
    return protocol::encodeIdText(t);
}

std::map<int, std::vector<std::uint8_t>> fullId() {
    return {{1, {0x20}},        {2, {0x03}},        {3, {0x01}},          {65, text("1.02")},
            {66, text("Acme")}, {67, text("TM-X")}, {68, text("ABC123")}, {69, text("PC437")}};
}

} // namespace

TEST(identity_query_test, replies_are_read_past_what_comes_unasked_within_their_cap) {
    struct Case {
        const char *name;
        std::map<int, std::vector<std::uint8_t>> changed; // replies that differ from fullId
        int requests;
        std::size_t answers;
        std::optional<std::string> maker;
        const char *problem;
    } cases[] = {
        {"full", {}, 8, 8, "Acme", ""},
        {"no ID", {{1, {}}}, 1, 0, std::nullopt, ""},
        {"status block and XON first",
         {{66, {0x10, 0x00, 0x03, 0x00, 0x11, 0x5F, 'A', 0x13, 'c', 'm', 'e', 0x00}}},
         8,
         8,
         "Acme",
         ""},
        {"a stray byte behind a reply", {{65, {0x5F, '1', 0x00, 'X'}}}, 8, 8, "Acme", ""},
        {"no end to its flow control",
         {{66, std::vector<std::uint8_t>(500, 0x11)}},
         8,
         7,
         std::nullopt,
         "passed"},
        {"no reply byte", {{2, {0x92}}}, 8, 7, "Acme", "0x92 is no reply to GS I 2"},
    };
    for (const Case &c : cases) {
        ScriptedPrinter printer;
        printer.replies = fullId();
        for (const auto &[n, reply] : c.changed)
            printer.replies[n] = reply;
        const device::Identity id = device::readIdentity(printer, 7, 100);
        EXPECT_EQ(printer.requests, c.requests) << c.name;
        EXPECT_EQ(id.answers.size(), c.answers) << c.name;
        EXPECT_EQ(id.text(IdRequest::Maker), c.maker) << c.name;
        EXPECT_NE(id.problem.find(c.problem), std::string::npos) << c.name << ": " << id.problem;
        if (c.answers == 8) // the rest still read after an odd reply
            EXPECT_EQ(id.text(IdRequest::Serial), "ABC123") << c.name;
    }
}
