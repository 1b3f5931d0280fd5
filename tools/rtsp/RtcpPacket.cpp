#include "RtcpPacket.h"

namespace rtsp {

namespace {

const std::uint8_t kSenderReport = 200;
const std::size_t kSenderInfoEnd = 28;  // header, SSRC, NTP, RTP timestamp, counts

std::uint32_t Word(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace

bool FindSenderReport(const std::uint8_t* data, std::size_t size, SenderReport& report) {
    std::size_t at = 0;
    while (size - at >= 4) {
        const std::uint8_t* packet = data + at;
        if ((packet[0] >> 6) != 2)
            return false;
        // length: the packet's 32-bit words minus one, header included.
        const std::size_t bytes = (static_cast<std::size_t>(packet[2] << 8 | packet[3]) + 1) * 4;
        if (bytes > size - at)
            return false;
        if (packet[1] == kSenderReport && bytes >= kSenderInfoEnd) {
            report.ssrc = Word(packet + 4);
            report.ntp = static_cast<std::uint64_t>(Word(packet + 8)) << 32 | Word(packet + 12);
            report.rtpTimestamp = Word(packet + 16);
            return true;
        }
        at += bytes;
    }
    return false;
}

std::int64_t UtcMillisAt(const SenderReport& report, std::uint32_t rtpTimestamp) {
    // NTP: seconds since 1900 in the high 32 bits, a binary fraction below;
    // 2,208,988,800 s lie between 1900 and 1970.
    const std::int64_t seconds = static_cast<std::int64_t>(report.ntp >> 32) - 2208988800LL;
    const std::int64_t millis = static_cast<std::int64_t>(((report.ntp & 0xFFFFFFFFu) * 1000) >> 32);
    const std::uint32_t difference = rtpTimestamp - report.rtpTimestamp;
    const std::int64_t ticks = difference >= 0x80000000u ? static_cast<std::int64_t>(difference) - 0x100000000LL
                                                         : static_cast<std::int64_t>(difference);
    // Rounded toward minus infinity, so that times before the report do not
    // round up to it.
    const std::int64_t tickMillis = ticks >= 0 ? ticks / 90 : -((-ticks + 89) / 90);
    return seconds * 1000 + millis + tickMillis;
}

}  // namespace rtsp
