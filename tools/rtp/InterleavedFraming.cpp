#include "InterleavedFraming.h"

#include <algorithm>
#include <cstring>

namespace rtp {

InterleavedFraming::InterleavedFraming(InterleavedFrameSink& sink, std::uint8_t maxChannel)
    : m_sink(sink), m_maxChannel(maxChannel), m_header(), m_frame(65535) {}

void InterleavedFraming::Feed(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size) {
        if (m_inFrame) {
            const std::size_t n = std::min(m_need - m_have, size - at);
            std::memcpy(m_frame.data() + m_have, data + at, n);
            m_have += n;
            at += n;
            if (m_have == m_need) {
                m_inFrame = false;
                m_have = 0;
                ++m_frames;
                m_sink.OnFrame(m_header[1], m_frame.data(), m_need);
            }
            continue;
        }
        const std::uint8_t byte = data[at++];
        if (m_headerHave == 0) {
            if (byte == '$')
                m_header[m_headerHave++] = byte;
            else
                ++m_skipped;
            continue;
        }
        if (m_headerHave == 1 && byte > m_maxChannel) {
            // Not a frame after all: the '$' is garbage, and this byte may
            // itself be the '$' of the next frame.
            ++m_skipped;
            m_headerHave = 0;
            if (byte == '$')
                m_header[m_headerHave++] = byte;
            else
                ++m_skipped;
            continue;
        }
        m_header[m_headerHave++] = byte;
        if (m_headerHave < 4)
            continue;
        m_headerHave = 0;
        m_need = static_cast<std::size_t>((m_header[2] << 8) | m_header[3]);
        m_have = 0;
        if (m_need == 0) {
            ++m_frames;
            m_sink.OnFrame(m_header[1], m_frame.data(), 0);
        } else {
            m_inFrame = true;
        }
    }
}

}  // namespace rtp
