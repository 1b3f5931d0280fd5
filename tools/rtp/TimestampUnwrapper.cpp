#include "TimestampUnwrapper.h"

namespace rtp {

std::int64_t TimestampUnwrapper::Unwrap(std::uint32_t timestamp) {
    if (!m_started) {
        m_started = true;
        m_unwrapped = timestamp;
    } else {
        // Two's complement difference without a signed overflow.
        const std::uint32_t forward = timestamp - m_last;
        const std::int64_t delta =
            forward < 0x80000000u ? static_cast<std::int64_t>(forward) : static_cast<std::int64_t>(forward) - 0x100000000LL;
        m_unwrapped += delta;
    }
    m_last = timestamp;
    return m_unwrapped;
}

}  // namespace rtp
