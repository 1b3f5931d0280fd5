#include "InterleavedReader.h"

#include <cstring>

namespace rtsp {

namespace {

const char kResponseStart[] = "RTSP/";
const std::size_t kResponseStartBytes = 5;
const std::size_t kFrameHeaderBytes = 4;
const std::size_t kMinFrameBytes = 4;  // an RTCP header; RTP needs 12
const std::size_t kMaxFrameBytes = 65535;
// The window's read bytes are let go once this many have gathered before
// the frame held, so that moving the rest costs each byte a bounded share.
const std::size_t kCompactAt = kFrameHeaderBytes + kMaxFrameBytes + 1;

// What may follow a frame: another frame, or a response.
bool MayFollowFrame(std::uint8_t byte) { return byte == '$' || byte == kResponseStart[0]; }

}  // namespace

InterleavedReader::InterleavedReader(std::uint8_t maxChannel) : m_maxChannel(maxChannel), m_held() {
    m_window.reserve(2 * kCompactAt);
}

void InterleavedReader::TakeResponse() {
    m_parser.Reset();
    m_mode = Mode::kScan;
    m_atLineStart = true;
}

// `header`: '$', channel, length (2 bytes), the frame's first byte.
bool InterleavedReader::Plausible(const std::uint8_t* header) const {
    const std::size_t length = static_cast<std::size_t>(header[2] << 8 | header[3]);
    return header[1] <= m_maxChannel && length >= kMinFrameBytes && (header[4] >> 6) == 2;
}

// The held bytes were no frame header nor response start after all: the
// first of them is garbage, and the others are looked at again, since one of
// them may begin the real thing. (Fewer than five are looked at again, so
// no frame header is completed among them.)
void InterleavedReader::Reject() {
    std::uint8_t again[sizeof m_held];
    const std::size_t n = m_heldCount - 1;
    std::memcpy(again, m_held + 1, n);
    m_heldCount = 0;
    m_mode = Mode::kScan;
    ++m_skipped;
    for (std::size_t i = 0; i < n; ++i)
        ScanByte(again[i]);
}

void InterleavedReader::ScanByte(std::uint8_t byte) {
    ++m_examined;
    switch (m_mode) {
    case Mode::kScan:
        if (byte == '$' || (byte == kResponseStart[0] && m_atLineStart)) {
            m_held[0] = byte;
            m_heldCount = 1;
            m_mode = byte == '$' ? Mode::kFrameHeader : Mode::kPrefix;
        } else {
            ++m_skipped;
        }
        m_atLineStart = byte == '\n';
        return;
    case Mode::kPrefix:
        m_held[m_heldCount++] = byte;
        if (byte != static_cast<std::uint8_t>(kResponseStart[m_heldCount - 1])) {
            Reject();
        } else if (m_heldCount == kResponseStartBytes) {
            m_heldCount = 0;
            m_mode = Mode::kResponse;
            m_parser.Feed(m_held, kResponseStartBytes);
        }
        return;
    case Mode::kFrameHeader:
        m_held[m_heldCount++] = byte;
        if (m_heldCount == 2 && byte > m_maxChannel) {
            Reject();
        } else if (m_heldCount == sizeof m_held) {
            if (!Plausible(m_held)) {
                Reject();
                return;
            }
            m_heldCount = 0;
            m_channel = m_held[1];
            m_need = static_cast<std::size_t>(m_held[2] << 8 | m_held[3]);
            m_have = 0;  // BeginFrame places the frame
            m_mode = Mode::kFrameBody;
        }
        return;
    case Mode::kFrameBody:
    case Mode::kFrameCheck:
    case Mode::kResponse:
        return;  // read in bulk by Consume
    }
}

void InterleavedReader::BeginFrame(bool fromWindow) {
    m_have = 1;
    if (fromWindow) {
        // The header's five bytes are the last five read from the window:
        // reading it again starts after a frame's '$', and a header is held
        // from its '$' on.
        m_frameAt = m_pos - sizeof m_held;
        return;
    }
    // The window has been read to its end: it starts again with this frame.
    m_window.assign(m_held, m_held + sizeof m_held);
    m_frameAt = 0;
    m_pos = m_window.size();
    m_hiddenKnown = false;
}

bool InterleavedReader::HidesFrame() {
    // Frame headers with their first byte inside the frame, at window
    // positions [body, end).
    const std::size_t body = m_frameAt + kFrameHeaderBytes;
    const std::size_t end = body + m_need - kFrameHeaderBytes;
    std::size_t at = body;
    if (m_hiddenKnown && m_hiddenFrom <= body && body <= m_hiddenAt) {
        if (m_hiddenFound)
            return m_hiddenAt < end;
        at = m_hiddenAt;
    } else {
        m_hiddenFrom = body;
    }
    m_hiddenKnown = true;
    for (; at < end; ++at) {
        ++m_examined;
        if (m_window[at] == '$' && Plausible(m_window.data() + at)) {
            m_hiddenFound = true;
            m_hiddenAt = at;
            return true;
        }
    }
    if (!m_hiddenFound || at > m_hiddenAt) {
        m_hiddenFound = false;
        m_hiddenAt = at;
    }
    return false;
}

void InterleavedReader::Deliver(InterleavedSink& sink) {
    m_mode = Mode::kScan;
    m_atLineStart = true;
    ++m_frames;
    sink.OnFrame(m_channel, m_window.data() + m_frameAt + kFrameHeaderBytes, m_need);
}

void InterleavedReader::Idle(InterleavedSink& sink) {
    if (m_mode == Mode::kFrameCheck)
        Deliver(sink);
}

std::size_t InterleavedReader::Consume(const std::uint8_t* data, std::size_t size, InterleavedSink& sink) {
    std::size_t at = 0;
    for (;;) {
        if (hasResponse() || failed())
            return at;
        if (m_pos < m_window.size()) {
            // Bytes to read again go first.
            Step(m_window.data() + m_pos, m_window.size() - m_pos, true, sink);
            continue;
        }
        if (at >= size)
            return at;
        at += Step(data + at, size - at, false, sink);
    }
}

std::size_t InterleavedReader::Step(const std::uint8_t* data, std::size_t size, bool fromWindow,
                                    InterleavedSink& sink) {
    std::size_t at = 0;
    // Read from the window, m_pos follows `at`.
    struct Follow {
        bool on;
        std::size_t& pos;
        std::size_t base;
        void Set(std::size_t at) const {
            if (on)
                pos = base + at;
        }
    } follow = {fromWindow, m_pos, m_pos};
    while (at < size && !hasResponse() && !failed()) {
        if (m_mode == Mode::kResponse) {
            const std::size_t n = m_parser.Feed(data + at, size - at);
            m_examined += n;
            at += n;
            follow.Set(at);
            continue;
        }
        if (m_mode == Mode::kFrameCheck) {
            ++m_examined;
            if (MayFollowFrame(data[at]) || !HidesFrame()) {
                Deliver(sink);  // garbage after a frame begins here
                continue;
            }
            // No frame: its '$' was garbage that swallowed a frame, and what
            // came after it is read again, in place in the window.
            ++m_skipped;
            m_pos = m_frameAt + 1;
            m_mode = Mode::kScan;
            m_atLineStart = false;
            return at;
        }
        if (m_mode == Mode::kFrameBody) {
            const std::size_t n = m_need - m_have < size - at ? m_need - m_have : size - at;
            if (fromWindow) {
                ++m_examined;  // in place already: passed over
            } else {
                if (m_frameAt >= kCompactAt) {
                    m_window.erase(m_window.begin(), m_window.begin() + static_cast<std::ptrdiff_t>(m_frameAt));
                    m_examined += m_window.size();
                    if (m_hiddenKnown && m_hiddenAt >= m_frameAt) {
                        m_hiddenFrom = m_hiddenFrom > m_frameAt ? m_hiddenFrom - m_frameAt : 0;
                        m_hiddenAt -= m_frameAt;
                    } else {
                        m_hiddenKnown = false;
                    }
                    m_frameAt = 0;
                }
                m_window.insert(m_window.end(), data + at, data + at + n);
                m_pos = m_window.size();
                m_examined += n;
            }
            m_have += n;
            at += n;
            follow.Set(at);
            if (m_have == m_need)
                m_mode = Mode::kFrameCheck;
            continue;
        }
        // The common case: a whole frame in the buffer with the byte after
        // it, handed on from there. The same test as byte by byte, so that
        // how the connection cuts its bytes changes nothing.
        if (m_mode == Mode::kScan && data[at] == '$' && size - at > kFrameHeaderBytes && Plausible(data + at)) {
            const std::size_t length = static_cast<std::size_t>(data[at + 2] << 8 | data[at + 3]);
            if (size - at - kFrameHeaderBytes > length && MayFollowFrame(data[at + kFrameHeaderBytes + length])) {
                m_examined += kFrameHeaderBytes + 2;
                ++m_frames;
                m_atLineStart = true;
                sink.OnFrame(data[at + 1], data + at + kFrameHeaderBytes, length);
                at += kFrameHeaderBytes + length;
                follow.Set(at);
                continue;
            }
        }
        ScanByte(data[at++]);
        follow.Set(at);
        if (m_mode == Mode::kFrameBody && m_have == 0)
            BeginFrame(fromWindow);
    }
    return at;
}

}  // namespace rtsp
