#include "protocol/printer_id.h"

#include "protocol/frame_decode.h"

#include <gtest/gtest.h>

using protocol::IdReplyReader;
using protocol::IdRequest;
using Progress = protocol::IdReplyReader::Progress;
using Bytes = std::vector<std::uint8_t>;

TEST(printer_id_test, replies_read_back_past_status_blocks_and_flow_control) {
    const Bytes coverOpen = [] {
        const auto b = protocol::encodeAutomaticStatus({protocol::PaperLevel::Ok, true, false});
        return Bytes(b.begin(), b.end());
    }();
    auto concat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes &p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    struct Row {
        IdRequest request;
        Bytes bytes;
        Progress progress;
        std::string expected; // the byte in hex or the text; the problem when invalid
    } rows[] = {
        {IdRequest::TypeId, {0x03}, Progress::Complete, "0x03"},
        {IdRequest::ModelId, {0x11, 0x13, 0x20}, Progress::Complete, "0x20"},
        {IdRequest::VersionId, concat({coverOpen, {0x13, 0x01}}), Progress::Complete, "0x01"},
        {IdRequest::ModelId, {0x92}, Progress::Invalid, "0x92 is no reply to GS I 1"},
        {IdRequest::ModelId, {0x12}, Progress::Invalid, "0x12 is no reply to GS I 1"},
        {IdRequest::ModelId, {0x20, 0x21}, Progress::Invalid, "0x21 after the reply to GS I 1"},
        {IdRequest::ModelId,
         {0x18, 0x00, 0x80},
         Progress::Invalid,
         "0x80 in an automatic status block"},
        {IdRequest::ModelId, {}, Progress::Incomplete, ""},
        {IdRequest::Serial, concat({protocol::encodeIdText("AB12"), coverOpen}), Progress::Complete,
         "AB12"},
        // Inside a text, bytes shaped like a status block are characters ('0' is 0x30).
        {IdRequest::Firmware,
         {0x5F, 0x31, 0x2E, 0x30, 0x13, 0x30, 0x00},
         Progress::Complete,
         "1.00"},
        {IdRequest::Maker, {0x5F, 0x00}, Progress::Complete, ""},
        {IdRequest::Maker, {0x5F, 0x41}, Progress::Incomplete, ""},
        {IdRequest::Maker, {0x41}, Progress::Invalid, "0x41 is no reply to GS I 66"},
        {IdRequest::Maker,
         {0x5F, 0x41, 0x0A, 0x00},
         Progress::Invalid,
         "0x0A in the text answering GS I 66"},
        {IdRequest::ModelName, concat({{0x5F}, Bytes(81, 0x41), {0x00}}), Progress::Invalid,
         "the text answering GS I 67 is longer than 80 bytes"},
    };
    for (const Row &r : rows) {
        IdReplyReader reader(r.request);
        const Progress p = reader.take(r.bytes.data(), r.bytes.size());
        SCOPED_TRACE(::testing::PrintToString(r.bytes));
        ASSERT_EQ(p, r.progress) << reader.problem();
        if (p == Progress::Invalid) {
            EXPECT_EQ(reader.problem(), r.expected);
        } else if (p == Progress::Complete) {
            EXPECT_EQ(protocol::repliesWithText(r.request) ? reader.text()
                                                           : protocol::hexByte(reader.byte()),
                      r.expected);
        }
    }
}

TEST(printer_id_test, status_blocks_report_what_the_status_answers_report) {
    using protocol::PaperLevel;
    struct Row {
        protocol::PrinterCondition condition;
        std::array<std::uint8_t, 4> block;
    } rows[] = {
        {{}, {0x10, 0x00, 0x00, 0x00}},
        {{PaperLevel::NearEnd, false, false}, {0x10, 0x00, 0x03, 0x00}},
        {{PaperLevel::Out, false, false}, {0x18, 0x00, 0x0F, 0x00}},
        {{PaperLevel::Ok, true, false}, {0x38, 0x00, 0x00, 0x00}},
        {{PaperLevel::Ok, false, true}, {0x18, 0x00, 0x00, 0x00}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(protocol::encodeAutomaticStatus(r.condition), r.block)
            << protocol::toHex(r.block.data(), 4);
}

TEST(printer_id_test, requests_texts_and_type_bits) {
    for (IdRequest r : protocol::kIdRequests) {
        const auto bytes = protocol::idRequestBytes(r);
        EXPECT_EQ(protocol::idRequestFor(bytes[2]), r);
    }
    EXPECT_FALSE(protocol::idRequestFor(4));
    EXPECT_EQ(protocol::encodeIdText("E1"), (Bytes{0x5F, 0x45, 0x31, 0x00}));
    EXPECT_EQ(protocol::idTextProblem(std::string(80, 'x')), "");
    EXPECT_EQ(protocol::idTextProblem(std::string(81, 'x')), "longer than 80 characters");
    EXPECT_EQ(protocol::idTextProblem("a,\tb"), "not printable ASCII");
    EXPECT_EQ(protocol::describeTypeId(0x03), "multi-byte characters, cutter");
    EXPECT_EQ(protocol::describeTypeId(0x02), "cutter");
    EXPECT_EQ(protocol::describeTypeId(0x00), "none");
}
