#include "RtcpPacket.h"

namespace rtsp {

namespace {

const std::uint8_t kSenderReport = 200;
const std::uint8_t kReceiverReport = 201;
const std::uint8_t kSourceDescription = 202;
const std::uint8_t kCname = 1;
const std::size_t kSenderInfoEnd = 28;  // header, SSRC, NTP, RTP timestamp, counts

std::uint32_t Word(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t word) {
    out.push_back(static_cast<std::uint8_t>(word >> 24));
    out.push_back(static_cast<std::uint8_t>(word >> 16));
    out.push_back(static_cast<std::uint8_t>(word >> 8));
    out.push_back(static_cast<std::uint8_t>(word));
}

// The header of an RTCP packet beginning at `begin`, its length field set
// once the body is written: the packet's 32-bit words minus one.
void Header(std::vector<std::uint8_t>& out, unsigned count, std::uint8_t type) {
    out.push_back(static_cast<std::uint8_t>(0x80 | count));
    out.push_back(type);
    out.push_back(0);
    out.push_back(0);
}
void PatchLength(std::vector<std::uint8_t>& out, std::size_t begin) {
    const std::size_t words = (out.size() - begin) / 4 - 1;
    out[begin + 2] = static_cast<std::uint8_t>(words >> 8);
    out[begin + 3] = static_cast<std::uint8_t>(words);
}

}  // namespace

std::vector<std::uint8_t> ReceiverReport(std::uint32_t ssrc, const ReportBlock* block, const std::string& cname) {
    std::vector<std::uint8_t> out;
    // 6.4.2: RR header, SSRC of the packet sender, then the report block.
    Header(out, block ? 1 : 0, kReceiverReport);
    PutWord(out, ssrc);
    if (block) {
        PutWord(out, block->ssrc);
        const std::int32_t lost = block->cumulativeLost > 0x7FFFFF   ? 0x7FFFFF
                                  : block->cumulativeLost < -0x800000 ? -0x800000
                                                                      : block->cumulativeLost;
        PutWord(out, static_cast<std::uint32_t>(block->fractionLost) << 24 | (static_cast<std::uint32_t>(lost) & 0xFFFFFF));
        PutWord(out, block->extendedHighest);
        PutWord(out, block->jitter);
        PutWord(out, block->lastSr);
        PutWord(out, block->delaySinceSr);
    }
    PatchLength(out, 0);
    // 6.5: SDES with one chunk, our SSRC and the CNAME item, the item list
    // ended by a null octet and padded to a 32-bit boundary.
    const std::size_t sdes = out.size();
    Header(out, 1, kSourceDescription);
    PutWord(out, ssrc);
    const std::size_t length = cname.size() < 255 ? cname.size() : 255;
    out.push_back(kCname);
    out.push_back(static_cast<std::uint8_t>(length));
    out.insert(out.end(), cname.begin(), cname.begin() + static_cast<std::ptrdiff_t>(length));
    do
        out.push_back(0);
    while (out.size() % 4 != 0);
    PatchLength(out, sdes);
    return out;
}

void ReceptionStatistics::Packet(std::uint32_t ssrc, std::uint16_t sequenceNumber) {
    if (!m_started || ssrc != m_ssrc) {
        // A new source: counted afresh.
        *this = ReceptionStatistics();
        m_started = true;
        m_ssrc = ssrc;
        m_base = m_highest = sequenceNumber;
        m_received = 1;
        return;
    }
    ++m_received;
    const std::uint16_t forward = static_cast<std::uint16_t>(sequenceNumber - static_cast<std::uint16_t>(m_highest));
    if (forward != 0 && forward < 0x8000)
        m_highest += forward;
}

ReportBlock ReceptionStatistics::Block() {
    ReportBlock block;
    block.ssrc = m_ssrc;
    block.extendedHighest = m_highest;
    // A.3: expected from the extended numbers; duplicates may make the
    // number lost negative.
    const std::uint64_t expected = static_cast<std::uint64_t>(m_highest - m_base) + 1;
    const std::int64_t lost = static_cast<std::int64_t>(expected) - static_cast<std::int64_t>(m_received);
    block.cumulativeLost = lost > 0x7FFFFF ? 0x7FFFFF : lost < -0x800000 ? -0x800000 : static_cast<std::int32_t>(lost);
    const std::uint64_t expectedInterval = expected - m_expectedPrior;
    const std::uint64_t receivedInterval = m_received - m_receivedPrior;
    m_expectedPrior = expected;
    m_receivedPrior = m_received;
    if (expectedInterval > receivedInterval)
        block.fractionLost = static_cast<std::uint8_t>(((expectedInterval - receivedInterval) << 8) / expectedInterval);
    return block;
}

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
