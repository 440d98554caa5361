#include "protocol/frame_decode.h"

#include <gtest/gtest.h>

using protocol::Frame;
using protocol::FrameKind;

TEST(frame_decode_test, decodes_every_frame_the_program_sends) {
    EXPECT_EQ(protocol::decodeFrame(protocol::enableFrame()).kind, FrameKind::Enable);
    EXPECT_EQ(protocol::decodeFrame(protocol::disableFrame()).kind, FrameKind::Disable);
    EXPECT_EQ(protocol::decodeFrame(protocol::selfTestFrame()).kind, FrameKind::SelfTest);
    for (int b = 0; b < 256; ++b) {
        const auto d = protocol::decodeFrame(protocol::writeSettingFrame(b));
        ASSERT_EQ(d.kind, FrameKind::WriteSetting);
        EXPECT_EQ(d.setting, b);
    }
    EXPECT_EQ(protocol::decodeFrame(protocol::writeSettingFrame(0xFD)).description,
              "store setting 0xFD: cutter yes, beeper yes, density light, two-byte yes, 48 chars, "
              "paper-taken yes, 19200 bps");
}

TEST(frame_decode_test, near_misses_are_unknown) {
    Frame f = protocol::enableFrame();
    f.back() = 0xAB;
    EXPECT_EQ(protocol::decodeFrame(f).kind, FrameKind::Unknown);
    Frame shortWrite = protocol::writeSettingFrame(0xFD);
    shortWrite.pop_back();
    EXPECT_EQ(protocol::decodeFrame(shortWrite).kind, FrameKind::Unknown);
    Frame otherBody = protocol::writeSettingFrame(0xFD);
    otherBody[5] = 0x00;
    EXPECT_EQ(protocol::decodeFrame(otherBody).kind, FrameKind::Unknown);
    Frame selfTestTail = protocol::selfTestFrame();
    selfTestTail.back() = 0x01;
    const auto d = protocol::decodeFrame(selfTestTail);
    EXPECT_EQ(d.kind, FrameKind::Unknown);
    EXPECT_EQ(d.description, "unknown bytes (12): 1F 1B 1F 93 10 11 12 15 16 17 10 01");
    EXPECT_EQ(protocol::decodeFrame(nullptr, 0).kind, FrameKind::Unknown);
}

TEST(frame_decode_test, hex_both_ways) {
    EXPECT_EQ(protocol::toHex(protocol::writeSettingFrame(0x0A)),
              "1F 1B 1F A1 10 11 12 13 14 15 0A");
    // one byte: always two upper-case digits after 0x
    EXPECT_EQ(protocol::hexByte(0x00), "0x00");
    EXPECT_EQ(protocol::hexByte(0x0A), "0x0A");
    EXPECT_EQ(protocol::hexByte(0xFD), "0xFD");
    EXPECT_EQ(protocol::parseHex("1F1B1F"), (Frame{0x1F, 0x1B, 0x1F}));
    EXPECT_EQ(protocol::parseHex("0x1f, 0X1b 1F"), (Frame{0x1F, 0x1B, 0x1F}));
    EXPECT_EQ(protocol::parseHex("fd"), (Frame{0xFD}));
    for (const char *bad : {"", "1", "1 F", "zz", "1F1", "0x", "0xg1"})
        EXPECT_FALSE(protocol::parseHex(bad)) << bad;
}

TEST(frame_decode_test, scanner_cuts_a_stream_arriving_in_pieces) {
    Frame stream;
    for (const Frame &f : {protocol::enableFrame(), protocol::selfTestFrame(),
                           protocol::writeSettingFrame(0x3D), protocol::disableFrame()})
        stream.insert(stream.end(), f.begin(), f.end());
    for (std::size_t piece : {1u, 2u, 5u, 11u, 64u}) {
        protocol::FrameScanner s;
        std::vector<Frame> got;
        for (std::size_t i = 0; i < stream.size(); i += piece) {
            const std::size_t n = std::min(piece, stream.size() - i);
            for (Frame &f : s.feed(stream.data() + i, n))
                got.push_back(std::move(f));
        }
        ASSERT_EQ(got.size(), 4u) << "piece " << piece;
        EXPECT_EQ(got[1], protocol::selfTestFrame());
        EXPECT_EQ(got[2], protocol::writeSettingFrame(0x3D));
        EXPECT_TRUE(s.finish().empty());
    }
}

TEST(frame_decode_test, scanner_sets_stray_bytes_apart) {
    protocol::FrameScanner s;
    Frame in = {0x41, 0x42};
    const Frame en = protocol::enableFrame();
    in.insert(in.end(), en.begin(), en.end());
    in.insert(in.end(), {0x1F, 0x1B, 0x1F, 0x55, 0x1F, 0x1B});
    const auto got = s.feed(in.data(), in.size());
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], (Frame{0x41, 0x42}));
    EXPECT_EQ(got[1], en);
    EXPECT_EQ(got[2], (Frame{0x1F, 0x1B, 0x1F, 0x55})); // unknown function byte
    EXPECT_EQ(s.finish(), (Frame{0x1F, 0x1B}));         // a frame cut off by the end
}

TEST(frame_decode_test, status_requests_among_frames_in_any_pieces) {
    const Frame en = protocol::enableFrame();
    Frame stream = {0x10, 0x04, 0x01}; // first thing on the line
    stream.insert(stream.end(), en.begin(), en.end());
    stream.insert(stream.end(), {0x41, 0x10, 0x04, 0x04, 0x10, 0x04, 0x02});
    stream.insert(stream.end(), {0x10, 0x04, 0x07}); // no such request: stray bytes
    stream.insert(stream.end(), {0x10, 0x04, 0x03});
    stream.insert(stream.end(), {0x1D, 0x49, 0x43, 0x1D, 0x49, 0x04}); // ID requests 67 and none
    const std::vector<Frame> want = {{0x10, 0x04, 0x01},
                                     en,
                                     {0x41},
                                     {0x10, 0x04, 0x04},
                                     {0x10, 0x04, 0x02},
                                     {0x10, 0x04, 0x07},
                                     {0x10, 0x04, 0x03},
                                     {0x1D, 0x49, 0x43},
                                     {0x1D, 0x49, 0x04}};
    for (std::size_t piece : {1u, 2u, 3u, 4u, 64u}) {
        protocol::FrameScanner s;
        std::vector<Frame> got;
        for (std::size_t i = 0; i < stream.size(); i += piece)
            for (Frame &f : s.feed(stream.data() + i, std::min(piece, stream.size() - i)))
                got.push_back(std::move(f));
        // Stray bytes may come out in more than one chunk when they arrive in pieces.
        std::vector<Frame> joined;
        for (Frame &f : got) {
            const bool stray = protocol::decodeFrame(f).kind == FrameKind::Unknown;
            if (stray && !joined.empty() &&
                protocol::decodeFrame(joined.back()).kind == FrameKind::Unknown)
                joined.back().insert(joined.back().end(), f.begin(), f.end());
            else
                joined.push_back(std::move(f));
        }
        EXPECT_EQ(joined, want) << "piece " << piece;
        EXPECT_TRUE(s.finish().empty());
    }
    const auto d = protocol::decodeFrame(Frame{0x10, 0x04, 0x04});
    EXPECT_EQ(d.kind, FrameKind::StatusRequest);
    EXPECT_EQ(d.request, protocol::StatusRequest::RollPaper);
    EXPECT_EQ(d.description, "status request 4 (roll paper sensor)");
    EXPECT_EQ(protocol::decodeFrame(Frame{0x10, 0x04}).kind, FrameKind::Unknown);
    const auto id = protocol::decodeFrame(Frame{0x1D, 0x49, 0x02});
    EXPECT_EQ(id.kind, FrameKind::IdRequest);
    EXPECT_EQ(id.idRequest, protocol::IdRequest::TypeId);
    EXPECT_EQ(id.description, "printer ID request 2 (type id)");
}

TEST(frame_decode_test, a_status_request_cut_off_by_the_end_is_left_over) {
    protocol::FrameScanner s;
    const Frame in = {0x10, 0x04};
    EXPECT_TRUE(s.feed(in.data(), in.size()).empty());
    EXPECT_EQ(s.finish(), in);
}
