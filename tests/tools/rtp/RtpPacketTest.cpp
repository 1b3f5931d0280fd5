// RTP headers read from hand-made packets, and the framing of RTP in a TCP
// connection, fed in every way a connection may cut it.
#include "RtpPacket.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "InterleavedFraming.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using rtp::PacketError;

struct HeaderCase {
    const char* name;
    Bytes packet;
    PacketError error;
    // When read: fields, and where the payload lies.
    bool marker = false;
    int payloadType = 0;
    int sequenceNumber = 0;
    std::uint32_t timestamp = 0;
    int csrcCount = 0;
    int extensionProfile = 0;
    std::size_t payloadOffset = 0;
    std::size_t payloadSize = 0;
};

const HeaderCase kHeaderCases[] = {
    {"plain", {0x80, 0xE0, 0x12, 0x34, 0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 0x26, 0x01}, PacketError::kNone,
     true, 96, 0x1234, 0xDEADBEEF, 0, 0, 12, 2},
    {"no payload", {0x80, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4}, PacketError::kNone, false, 96, 1, 0, 0, 0, 12, 0},
    {"two CSRCs", {0x82, 0x60, 0, 1, 0, 0, 0, 9, 1, 2, 3, 4, 5, 5, 5, 5, 6, 6, 6, 6, 0xAA}, PacketError::kNone,
     false, 96, 1, 9, 2, 0, 20, 1},
    {"extension of one word",
     {0x90, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xBE, 0xDE, 0, 1, 9, 9, 9, 9, 0xAA, 0xBB}, PacketError::kNone,
     false, 96, 1, 0, 0, 0xBEDE, 20, 2},
    {"CSRC, extension and padding",
     {0xB1, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 5, 5, 5, 5, 0x10, 0, 0, 0, 0xAA, 0xBB, 0, 0, 3},
     PacketError::kNone, false, 96, 1, 0, 1, 0x1000, 20, 2},
    {"padding of the whole payload", {0xA0, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0, 2}, PacketError::kNone, false,
     96, 1, 0, 0, 0, 12, 0},
    {"11 bytes", {0x80, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3}, PacketError::kShorterThanHeader},
    {"version 1", {0x40, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xAA}, PacketError::kVersion},
    {"CSRC past the end", {0x81, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 5, 5, 5}, PacketError::kCsrcListTruncated},
    {"extension header cut", {0x90, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xBE, 0xDE, 0},
     PacketError::kExtensionTruncated},
    {"extension words past the end", {0x90, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xBE, 0xDE, 0, 2, 1, 1, 1, 1},
     PacketError::kExtensionTruncated},
    {"padding count 0", {0xA0, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xAA, 0}, PacketError::kPaddingZero},
    {"padding into the header", {0xA0, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xAA, 3},
     PacketError::kPaddingTooLong},
    {"padding of just its count byte", {0xB0, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xBE, 0xDE, 0, 0, 1},
     PacketError::kNone, false, 96, 1, 0, 0, 0xBEDE, 16, 0},
    {"padding into the extension", {0xB0, 0x60, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xBE, 0xDE, 0, 0, 2},
     PacketError::kPaddingTooLong},
};

TEST(RtpPacket, ReadsHeadersAndRejectsMalformedOnes) {
    for (const HeaderCase& c : kHeaderCases) {
        // An exact heap copy, so that a read past the end shows under ASan.
        std::vector<std::uint8_t> copy(c.packet);
        rtp::RtpPacket packet;
        ASSERT_EQ(rtp::ParseRtpPacket(copy.data(), copy.size(), packet), c.error) << c.name;
        if (c.error != PacketError::kNone)
            continue;
        EXPECT_EQ(packet.marker, c.marker) << c.name;
        EXPECT_EQ(packet.payloadType, c.payloadType) << c.name;
        EXPECT_EQ(packet.sequenceNumber, c.sequenceNumber) << c.name;
        EXPECT_EQ(packet.timestamp, c.timestamp) << c.name;
        EXPECT_EQ(packet.ssrc, 0x01020304u) << c.name;
        EXPECT_EQ(packet.csrcCount, c.csrcCount) << c.name;
        EXPECT_EQ(packet.extensionProfile, c.extensionProfile) << c.name;
        EXPECT_EQ(static_cast<std::size_t>(packet.payload - copy.data()), c.payloadOffset) << c.name;
        EXPECT_EQ(packet.payloadSize, c.payloadSize) << c.name;
    }
    std::vector<std::uint8_t> huge(65536, 0);
    huge[0] = 0x80;
    rtp::RtpPacket packet;
    EXPECT_EQ(rtp::ParseRtpPacket(huge.data(), huge.size(), packet), PacketError::kLongerThanAnyPacket);
}

struct Collected : rtp::InterleavedFrameSink {
    std::vector<std::pair<int, std::string>> frames;
    void OnFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override {
        frames.emplace_back(channel, std::string(data, data + size));
    }
};

struct FramingCase {
    const char* name;
    std::string stream;
    std::vector<std::pair<int, std::string>> frames;
    std::uint64_t skipped;
    std::size_t pending;
};

const std::string kFrameA("$\x00\x00\x03" "abc", 7);
const std::string kFrameB("$\x01\x00\x02" "de", 6);

const FramingCase kFramingCases[] = {
    {"two frames", kFrameA + kFrameB, {{0, "abc"}, {1, "de"}}, 0, 0},
    {"an empty frame", std::string("$\x00\x00\x00", 4) + kFrameB, {{0, ""}, {1, "de"}}, 0, 0},
    {"an RTSP reply between frames", kFrameA + "RTSP/1.0 200 OK\r\n\r\n" + kFrameB, {{0, "abc"}, {1, "de"}}, 19, 0},
    {"'$' with an unknown channel", kFrameA + std::string("$\x07", 2) + kFrameB, {{0, "abc"}, {1, "de"}}, 2, 0},
    {"'$'s before the '$' of a frame", std::string("$$") + kFrameB, {{1, "de"}}, 2, 0},
    {"a '$' inside a frame is data", std::string("$\x00\x00\x02$$", 6) + kFrameB, {{0, "$$"}, {1, "de"}}, 0, 0},
    {"a frame cut off", kFrameA + std::string("$\x01\x00\x05" "xy", 6), {{0, "abc"}}, 0, 2},
};

TEST(InterleavedFraming, FramesAnyCutOfTheStream) {
    for (const FramingCase& c : kFramingCases) {
        for (std::size_t chunk : {std::size_t(1), std::size_t(2), std::size_t(5), c.stream.size()}) {
            Collected sink;
            rtp::InterleavedFraming framing(sink, 1);
            const std::vector<std::uint8_t> bytes(c.stream.begin(), c.stream.end());
            for (std::size_t at = 0; at < bytes.size(); at += chunk)
                framing.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
            EXPECT_EQ(sink.frames, c.frames) << c.name << ", chunks of " << chunk;
            EXPECT_EQ(framing.bytesSkipped(), c.skipped) << c.name << ", chunks of " << chunk;
            EXPECT_EQ(framing.bytesPending(), c.pending) << c.name << ", chunks of " << chunk;
        }
    }
}

}  // namespace
