#include "ProducerReferenceTime.h"

#include "BoxWriter.h"

namespace mp4 {

namespace {

// Seconds from 1900-01-01 (NTP's era 0) to 1970-01-01.
const std::int64_t kNtpToUnixSeconds = 2208988800LL;

} // namespace

void AppendProducerReferenceTime(std::vector<unsigned char>& out, std::uint32_t trackId, std::int64_t utcMillis,
                                 std::uint64_t mediaTime) {
    // Times before 1900 cannot be written; NTP era 0 wraps in 2036, which
    // the 32-bit seconds field takes modulo 2^32 as NTP does.
    std::int64_t seconds = utcMillis / 1000 + kNtpToUnixSeconds;
    std::int64_t millis = utcMillis % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    if (seconds < 0) {
        seconds = 0;
        millis = 0;
    }
    const std::uint64_t fraction = (static_cast<std::uint64_t>(millis) << 32) / 1000;
    BoxWriter box(out);
    const std::size_t prft = box.BeginFull("prft", 1, 0);
    box.U32(trackId);
    box.U64(((static_cast<std::uint64_t>(seconds) & 0xFFFFFFFFu) << 32) | fraction);
    box.U64(mediaTime);
    box.End(prft);
}

namespace {

std::uint64_t BigEndianAt(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

} // namespace

bool ReadProducerReferenceTime(const unsigned char* body, std::size_t size, std::int64_t& utcMillis,
                               std::uint64_t& mediaTime) {
    // version u(8), flags u(24), reference_track_ID u(32), ntp_timestamp
    // u(64), media_time u(32) or, in version 1, u(64).
    if (size < 4)
        return false;
    const bool version1 = body[0] == 1;
    if (size < (version1 ? 24u : 20u))
        return false;
    const std::uint64_t ntp = BigEndianAt(body + 8, 8);
    mediaTime = BigEndianAt(body + 16, version1 ? 8 : 4);
    std::int64_t seconds = static_cast<std::int64_t>(ntp >> 32);
    if (seconds < kNtpToUnixSeconds)
        seconds += std::int64_t(1) << 32; // era 1
    // The fraction to the nearest millisecond: the writer's fraction is the
    // milliseconds' share of 2^32 rounded down.
    const std::int64_t millis = static_cast<std::int64_t>(((ntp & 0xFFFFFFFFu) * 1000 + (1u << 31)) >> 32);
    utcMillis = (seconds - kNtpToUnixSeconds) * 1000 + millis;
    return true;
}

} // namespace mp4
