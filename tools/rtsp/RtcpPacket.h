// The sender report of a compound RTCP packet (RFC 3550 6.4.1): the NTP
// time the sender gives its RTP timestamp, from which wall-clock times of
// the access units follow.
#ifndef RTSP_RTCP_PACKET_H
#define RTSP_RTCP_PACKET_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtsp {

struct SenderReport {
    std::uint32_t ssrc = 0;
    std::uint64_t ntp = 0;  // 32.32 fixed point seconds since 1900
    std::uint32_t rtpTimestamp = 0;
};

// Walks the RTCP packets of data[0 .. size) (RFC 3550 6.1) and reads the
// first SR. False when there is none before the end or before a packet
// that is not RTCP version 2 or runs past the end.
bool FindSenderReport(const std::uint8_t* data, std::size_t size, SenderReport& report);

// The UTC time, in milliseconds since 1970, of a 90 kHz RTP timestamp of the
// report's source: the report's NTP time moved by the signed distance from
// its RTP timestamp, which is taken to be less than 2^31 ticks either way.
std::int64_t UtcMillisAt(const SenderReport& report, std::uint32_t rtpTimestamp);

// One report block of a receiver report (RFC 3550 6.4.1).
struct ReportBlock {
    std::uint32_t ssrc = 0;           // the source reported on
    std::uint8_t fractionLost = 0;    // since the last report, of 256
    std::int32_t cumulativeLost = 0;  // 24-bit signed on the wire, clamped
    std::uint32_t extendedHighest = 0;
    std::uint32_t jitter = 0;
    std::uint32_t lastSr = 0;       // LSR: the middle 32 bits of the last SR's NTP time
    std::uint32_t delaySinceSr = 0;  // DLSR, in 1/65536 s
};

// A compound RTCP packet of a receiver (RFC 3550 6.1): an RR from
// `ssrc` with the block, or with none when `block` is null (nothing
// received yet), then an SDES with the CNAME (6.5.1), both padded to
// 32-bit words.
std::vector<std::uint8_t> ReceiverReport(std::uint32_t ssrc, const ReportBlock* block, const std::string& cname);

// What a receiver counts of one source's sequence numbers for its report
// blocks (RFC 3550 A.1, A.3): numbers taken to move on by less than 2^15
// between packets, the cycles of 2^16 counted.
class ReceptionStatistics {
public:
    void Packet(std::uint32_t ssrc, std::uint16_t sequenceNumber);
    bool any() const { return m_started; }
    // The block since the previous call; LSR and DLSR left at 0.
    ReportBlock Block();

private:
    bool m_started = false;
    std::uint32_t m_ssrc = 0;
    std::uint32_t m_base = 0;     // the first extended sequence number
    std::uint32_t m_highest = 0;  // the highest extended sequence number
    std::uint64_t m_received = 0;
    std::uint64_t m_expectedPrior = 0, m_receivedPrior = 0;
};

}  // namespace rtsp

#endif
