// The Transport and Session headers of a SETUP answer, and the sender
// report of a compound RTCP packet.
#include "RtcpPacket.h"
#include "SessionHeader.h"
#include "TransportHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Transport, ChannelsAndPorts) {
    const struct {
        const char* value;
        bool ok, tcp;
        int first, second;  // interleaved channels for TCP, server ports for UDP
        const char* source;
    } kCases[] = {
        {"RTP/AVP/TCP;unicast;interleaved=0-1", true, true, 0, 1, ""},
        {"RTP/AVP/TCP;unicast;interleaved=4-5;ssrc=1234ABCD;mode=\"PLAY\"", true, true, 4, 5, ""},
        {"rtp/avp/tcp; interleaved=2", true, true, 2, 3, ""},
        {"RTP/AVP;unicast;client_port=5000-5001;source=10.0.0.9;server_port=6970-6971", true, false, 6970, 6971,
         "10.0.0.9"},
        {"RTP/AVP/UDP;unicast;client_port=5000-5001", true, false, -1, -1, ""},
        {"RTP/AVP;unicast;server_port=70000-70001", false, false, 0, 0, ""},
        {"RTP/AVP/TCP;interleaved=255", false, true, 0, 0, ""},  // 256 is no channel
        {"RTP/AVP/TCP;interleaved=x-1", false, true, 0, 0, ""},
        {"RAW/RAW/UDP;unicast", false, false, 0, 0, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.value);
        rtsp::Transport t;
        ASSERT_EQ(rtsp::ParseTransport(c.value, t), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(t.tcp, c.tcp);
        EXPECT_EQ(c.tcp ? t.interleaved[0] : t.serverPort[0], c.first);
        EXPECT_EQ(c.tcp ? t.interleaved[1] : t.serverPort[1], c.second);
        EXPECT_EQ(t.source, c.source);
    }
}

TEST(Session, IdAndTimeout) {
    const struct {
        const char* value;
        bool ok;
        const char* id;
        unsigned timeout;
    } kCases[] = {
        {"47112344", true, "47112344", 60},
        {"47112344;timeout=30", true, "47112344", 30},
        {"Abc.-_+$9 ; timeout = 8", true, "Abc.-_+$9", 8},
        {"12;timeout=0", true, "12", 60},
        {"12;timeout=x", true, "12", 60},
        {"12;other=1", true, "12", 60},
        {"", false, "", 60},
        {";timeout=5", false, "", 60},
        {"12 34", false, "", 60},
        {"12\r\nX: 1", false, "", 60},
    };
    for (const auto& c : kCases) {
        std::string id;
        unsigned timeout = 0;
        ASSERT_EQ(rtsp::ParseSession(c.value, id, timeout), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(id, c.id);
        }
        EXPECT_EQ(timeout, c.timeout) << c.value;
    }
}

std::vector<std::uint8_t> Rtcp(std::uint8_t type, std::size_t words, std::uint8_t fill) {
    std::vector<std::uint8_t> packet((words + 1) * 4, fill);
    packet[0] = 0x80;
    packet[1] = type;
    packet[2] = static_cast<std::uint8_t>(words >> 8);
    packet[3] = static_cast<std::uint8_t>(words);
    return packet;
}

TEST(RtcpPacket, FindsTheSenderReport) {
    const std::vector<std::uint8_t> sr = Rtcp(200, 6, 0x11);
    const std::vector<std::uint8_t> rr = Rtcp(201, 1, 0x22);
    const std::vector<std::uint8_t> sdes = Rtcp(202, 2, 0x33);
    std::vector<std::uint8_t> bad = rr;
    bad[0] = 0x40;  // version 1
    const struct {
        const char* name;
        std::vector<std::vector<std::uint8_t>> packets;
        std::size_t cut;  // bytes taken off the end
        bool found;
    } kCases[] = {
        {"SR alone", {sr}, 0, true},
        {"RR, SDES, then SR", {rr, sdes, sr}, 0, true},
        {"RR and SDES", {rr, sdes}, 0, false},
        {"SR cut short", {rr, sr}, 1, false},
        {"version 1 before the SR", {bad, sr}, 0, false},
        {"SR of 5 words, too short for sender info", {Rtcp(200, 5, 0x11)}, 0, false},
    };
    for (const auto& c : kCases) {
        std::vector<std::uint8_t> compound;
        for (const auto& p : c.packets)
            compound.insert(compound.end(), p.begin(), p.end());
        compound.resize(compound.size() - c.cut);
        rtsp::SenderReport report;
        ASSERT_EQ(rtsp::FindSenderReport(compound.data(), compound.size(), report), c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(report.ssrc, 0x11111111u);
            EXPECT_EQ(report.ntp, 0x1111111111111111ull);
            EXPECT_EQ(report.rtpTimestamp, 0x11111111u);
        }
    }
}

TEST(RtcpPacket, UtcOfAnRtpTimestamp) {
    // 2026-12-08T20:00:00.500Z is 4,005,748,800.5 s after 1900.
    rtsp::SenderReport report;
    report.ntp = (4005748800ull << 32) | 0x80000000u;
    report.rtpTimestamp = 0xFFFFFF00u;
    const std::int64_t at = 1796760000500LL;
    const struct {
        std::uint32_t timestamp;
        std::int64_t millis;
    } kCases[] = {
        {0xFFFFFF00u, at},
        {0xFFFFFF00u + 90000u, at + 1000},    // a second on, past the wrap of 32 bits
        {0xFFFFFF00u - 45u, at - 1},          // half a millisecond before: the millisecond before
        {0x7FFFFF00u, at - 23860930},         // 2^31 ticks before: the farthest back
    };
    for (const auto& c : kCases)
        EXPECT_EQ(rtsp::UtcMillisAt(report, c.timestamp), c.millis) << c.timestamp;
}

}  // namespace

// A receiver's compound RTCP packet (RFC 3550 6.1): the RR of 6.4.2 with
// the block counted from the sequence numbers received (A.3), then the
// SDES CNAME of 6.5.1 padded to a 32-bit word; bytes written out by hand.
struct ReceiverReportCase {
    const char* name;
    std::vector<unsigned> sequenceNumbers;  // received from SSRC aabbccdd
    std::uint32_t lastSr, delaySinceSr;
    const char* cname;
    const char* hex;
};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out += std::string(i && i % 4 == 0 ? " " : "") + kDigits[bytes[i] >> 4] + kDigits[bytes[i] & 15];
    return out;
}

TEST(RtcpPacket, ReceiverReport) {
    const ReceiverReportCase kCases[] = {
        {"nothing received yet: no report block", {}, 0, 0, "a@b",
         "80c90001 12345678 81ca0003 12345678 01036140 62000000"},
        {"in order", {7, 8, 9}, 0, 0, "a@b",
         "81c90007 12345678 aabbccdd 00000000 00000009 00000000 00000000 00000000 "
         "81ca0003 12345678 01036140 62000000"},
        {"two lost across the wrap of the numbers, since a sender report 1.5 s ago", {65534, 65535, 2}, 0x89ABCDEF,
         0x18000, "cam",
         "81c90007 12345678 aabbccdd 66000002 00010002 00000000 89abcdef 00018000 "
         "81ca0003 12345678 01036361 6d000000"},
        {"a duplicate: one lost fewer than none", {10, 10, 11}, 0, 0, "abcdef",
         "81c90007 12345678 aabbccdd 00ffffff 0000000b 00000000 00000000 00000000 "
         "81ca0004 12345678 01066162 63646566 00000000"},
        {"late and reordered numbers move nothing back", {100, 103, 101, 102}, 0, 0, "ab",
         "81c90007 12345678 aabbccdd 00000000 00000067 00000000 00000000 00000000 "
         "81ca0003 12345678 01026162"
         " 00000000"},
    };
    for (const ReceiverReportCase& c : kCases) {
        rtsp::ReceptionStatistics statistics;
        for (unsigned sequenceNumber : c.sequenceNumbers)
            statistics.Packet(0xAABBCCDD, static_cast<std::uint16_t>(sequenceNumber));
        rtsp::ReportBlock block;
        if (statistics.any()) {
            block = statistics.Block();
            block.lastSr = c.lastSr;
            block.delaySinceSr = c.delaySinceSr;
        }
        const std::vector<std::uint8_t> packet =
            rtsp::ReceiverReport(0x12345678, statistics.any() ? &block : nullptr, c.cname);
        EXPECT_EQ(Hex(packet), c.hex) << c.name;
        // A compound packet a reader walks to its end, finding no SR.
        rtsp::SenderReport report;
        EXPECT_FALSE(rtsp::FindSenderReport(packet.data(), packet.size(), report)) << c.name;
    }
}
