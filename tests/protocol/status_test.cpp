#include "protocol/status.h"
#include "protocol/status_summary.h"

#include <gtest/gtest.h>

using protocol::decodeStatus;
using protocol::describeStatus;
using protocol::encodeStatus;
using protocol::kStatusRequests;
using protocol::PaperLevel;
using protocol::PrinterCondition;
using protocol::StatusFlag;
using protocol::StatusRequest;

// The bytes for each condition are checked against the running emulator.
TEST(status_test, what_is_encoded_decodes_back_and_readiness_follows) {
    for (PaperLevel paper : {PaperLevel::Ok, PaperLevel::NearEnd, PaperLevel::Out})
        for (bool cover : {false, true})
            for (bool offline : {false, true}) {
                const PrinterCondition c{paper, cover, offline};
                const bool shouldPrint = paper != PaperLevel::Out && !cover && !offline;
                const auto printer =
                    decodeStatus(StatusRequest::Printer, encodeStatus(StatusRequest::Printer, c));
                EXPECT_TRUE(printer.valid);
                EXPECT_EQ(printer.ready, shouldPrint);
                for (StatusRequest r : kStatusRequests)
                    EXPECT_TRUE(decodeStatus(r, encodeStatus(r, c)).valid);
            }
}

TEST(status_test, every_bit_decodes_to_its_flag) {
    struct Row {
        StatusRequest request;
        std::uint8_t byte;
        std::vector<StatusFlag> flags;
        bool ready;
    } rows[] = {
        {StatusRequest::Printer, 0x16, {StatusFlag::DrawerPin3High}, true},
        {StatusRequest::Printer, 0x5A, {StatusFlag::Offline, StatusFlag::FeedButtonPressed}, false},
        {StatusRequest::Printer, 0x32, {StatusFlag::WaitingForRecovery}, false},
        {StatusRequest::OfflineCause,
         0x7E,
         {StatusFlag::CoverOpen, StatusFlag::FeedingByButton, StatusFlag::StoppedAtPaperEnd,
          StatusFlag::Error},
         false},
        {StatusRequest::ErrorCause, 0x1A, {StatusFlag::AutocutterError}, false},
        {StatusRequest::ErrorCause,
         0x72,
         {StatusFlag::UnrecoverableError, StatusFlag::AutoRecoverableError},
         false},
        {StatusRequest::ErrorCause, 0x16, {}, true}, // bit 2 means nothing for errors
        // Either bit of a two-bit field reports it.
        {StatusRequest::RollPaper, 0x16, {StatusFlag::PaperNearEnd}, true},
        {StatusRequest::RollPaper, 0x1A, {StatusFlag::PaperNearEnd}, true},
        {StatusRequest::RollPaper, 0x52, {StatusFlag::PaperEnd}, false},
    };
    for (const Row &r : rows) {
        const auto got = decodeStatus(r.request, r.byte);
        EXPECT_TRUE(got.valid) << int(r.byte);
        EXPECT_EQ(got.flags, r.flags) << "request " << int(r.request) << " byte " << int(r.byte);
        EXPECT_EQ(got.ready, r.ready) << int(r.byte);
    }
}

TEST(status_test, bytes_with_wrong_fixed_bits_are_not_status) {
    // Each of bits 7, 4, 1, 0 wrong in turn, and bytes a confused line might deliver.
    for (std::uint8_t b : {0x92, 0x02, 0x10, 0x13, 0x00, 0xFF, 0x1F}) {
        for (StatusRequest r : kStatusRequests) {
            const auto got = decodeStatus(r, b);
            EXPECT_FALSE(got.valid) << int(b);
            EXPECT_FALSE(got.ready) << int(b);
            EXPECT_TRUE(got.flags.empty()) << int(b);
        }
        EXPECT_EQ(describeStatus(StatusRequest::Printer, b), "not a status byte");
    }
}

TEST(status_test, descriptions_and_request_numbers) {
    EXPECT_EQ(describeStatus(StatusRequest::Printer, 0x12), "ready");
    EXPECT_EQ(describeStatus(StatusRequest::RollPaper, 0x1E), "ready: paper near end");
    EXPECT_EQ(describeStatus(StatusRequest::OfflineCause, 0x36),
              "not ready: cover open, printing stopped at paper end");
    for (int n = 0; n < 256; ++n) {
        const auto r = protocol::statusRequestFor(static_cast<std::uint8_t>(n));
        EXPECT_EQ(bool(r), n >= 1 && n <= 4) << n;
        if (r) {
            EXPECT_EQ(static_cast<int>(*r), n);
        }
    }
}

TEST(status_summary_test, conditions_leave_out_what_another_explains) {
    using protocol::PaperLevel;
    using protocol::StatusFlag;
    auto summary = [](protocol::PrinterCondition c) {
        std::array<std::uint8_t, 4> bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = protocol::encodeStatus(protocol::kStatusRequests[i], c);
        return protocol::summarizeStatus(bytes);
    };
    const auto out = summary({PaperLevel::Out, true, false});
    EXPECT_FALSE(out.ready);
    EXPECT_TRUE(out.offline);
    EXPECT_EQ(out.paper, PaperLevel::Out);
    // Off-line, stopped at paper end and near end all follow from the cover and the paper.
    EXPECT_EQ(out.conditions,
              (std::vector<StatusFlag>{StatusFlag::CoverOpen, StatusFlag::PaperEnd}));
    EXPECT_EQ(protocol::describeSummary(out), "not ready: cover open, paper end");
    const auto offline = summary({PaperLevel::Ok, false, true});
    EXPECT_EQ(offline.conditions, std::vector<StatusFlag>{StatusFlag::Offline});
    const auto near = summary({PaperLevel::NearEnd, false, false});
    EXPECT_TRUE(near.ready);
    EXPECT_EQ(near.paper, PaperLevel::NearEnd);
    EXPECT_EQ(near.conditions, std::vector<StatusFlag>{StatusFlag::PaperNearEnd});
    EXPECT_EQ(protocol::describeSummary(near), "ready: paper near end");
    EXPECT_EQ(protocol::describeSummary(summary({})), "ready");
    // An error bit names itself through its cause, and stops printing.
    const auto cutter = protocol::summarizeStatus({0x1A, 0x52, 0x1A, 0x12});
    EXPECT_FALSE(cutter.ready);
    EXPECT_TRUE(cutter.error);
    EXPECT_EQ(cutter.conditions, std::vector<StatusFlag>{StatusFlag::AutocutterError});
}
