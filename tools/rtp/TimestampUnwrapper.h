// RTP timestamps (32 bits, 90 kHz for H.265 video, RFC 7798 4.1) carried on
// as 64-bit counts, so that a long recording does not see time jump back
// every 13.25 hours. Successive timestamps are taken to be less than 2^31
// ticks apart, either way: pictures in decoding order may go back in time.
#ifndef RTP_TIMESTAMP_UNWRAPPER_H
#define RTP_TIMESTAMP_UNWRAPPER_H

#include <cstdint>

namespace rtp {

class TimestampUnwrapper {
public:
    // The first timestamp is its own value; later ones differ from the one
    // before by their signed 32-bit difference.
    std::int64_t Unwrap(std::uint32_t timestamp);

private:
    bool m_started = false;
    std::uint32_t m_last = 0;
    std::int64_t m_unwrapped = 0;
};

}  // namespace rtp

#endif
