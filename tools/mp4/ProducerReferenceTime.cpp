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

} // namespace mp4
