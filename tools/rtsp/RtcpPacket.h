// The sender report of a compound RTCP packet (RFC 3550 6.4.1): the NTP
// time the sender gives its RTP timestamp, from which wall-clock times of
// the access units follow.
#ifndef RTSP_RTCP_PACKET_H
#define RTSP_RTCP_PACKET_H

#include <cstddef>
#include <cstdint>

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

}  // namespace rtsp

#endif
