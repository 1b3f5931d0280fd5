#include "InterleavedReader.h"

#include <cstring>

namespace rtsp {

namespace {

const char kResponseStart[] = "RTSP/";
const std::size_t kResponseStartBytes = 5;
const std::size_t kFrameHeaderBytes = 4;
const std::size_t kMinFrameBytes = 4;  // an RTCP header; RTP needs 12

// What may follow a frame: another frame, or a response.
bool MayFollowFrame(std::uint8_t byte) { return byte == '$' || byte == kResponseStart[0]; }

}  // namespace

InterleavedReader::InterleavedReader(std::uint8_t maxChannel) : m_maxChannel(maxChannel), m_held(), m_frame(65535) {}

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
// them may begin the real thing.
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
            m_frame[0] = m_held[4];
            m_have = 1;
            m_mode = Mode::kFrameBody;
        }
        return;
    case Mode::kFrameBody:
    case Mode::kFrameCheck:
    case Mode::kResponse:
        return;  // read in bulk by Consume
    }
}

bool InterleavedReader::HidesFrame() const {
    for (std::size_t i = 0; i + kFrameHeaderBytes < m_need; ++i)
        if (m_frame[i] == '$' && Plausible(m_frame.data() + i))
            return true;
    return false;
}

void InterleavedReader::Deliver(InterleavedSink& sink) {
    m_mode = Mode::kScan;
    m_atLineStart = true;
    ++m_frames;
    sink.OnFrame(m_channel, m_frame.data(), m_need);
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
        if (!m_replay.empty()) {
            // Bytes to read again go first; what a new failure puts back
            // comes before the rest of them.
            m_replaying.swap(m_replay);
            m_replay.clear();
            const std::size_t used = Step(m_replaying.data(), m_replaying.size(), sink);
            m_replay.insert(m_replay.end(), m_replaying.begin() + static_cast<std::ptrdiff_t>(used), m_replaying.end());
            continue;
        }
        if (at >= size)
            return at;
        at += Step(data + at, size - at, sink);
    }
}

std::size_t InterleavedReader::Step(const std::uint8_t* data, std::size_t size, InterleavedSink& sink) {
    std::size_t at = 0;
    while (at < size && !hasResponse() && !failed()) {
        if (m_mode == Mode::kResponse) {
            at += m_parser.Feed(data + at, size - at);
            continue;
        }
        if (m_mode == Mode::kFrameCheck) {
            if (MayFollowFrame(data[at]) || !HidesFrame()) {
                Deliver(sink); // garbage after a frame begins here
                continue;
            }
            // No frame: its '$' was garbage that swallowed a frame, and what
            // came after it is read again.
            ++m_skipped;
            m_replay.push_back(m_channel);
            m_replay.push_back(static_cast<std::uint8_t>(m_need >> 8));
            m_replay.push_back(static_cast<std::uint8_t>(m_need));
            m_replay.insert(m_replay.end(), m_frame.begin(), m_frame.begin() + static_cast<std::ptrdiff_t>(m_need));
            m_mode = Mode::kScan;
            m_atLineStart = false;
            return at;
        }
        if (m_mode == Mode::kFrameBody) {
            const std::size_t n = m_need - m_have < size - at ? m_need - m_have : size - at;
            std::memcpy(m_frame.data() + m_have, data + at, n);
            m_have += n;
            at += n;
            if (m_have == m_need)
                m_mode = Mode::kFrameCheck;
            continue;
        }
        // The common case: a whole frame in the caller's buffer with the
        // byte after it, handed on from there. The same test as byte by
        // byte, so that how the connection cuts its bytes changes nothing.
        if (m_mode == Mode::kScan && data[at] == '$' && size - at > kFrameHeaderBytes && Plausible(data + at)) {
            const std::size_t length = static_cast<std::size_t>(data[at + 2] << 8 | data[at + 3]);
            if (size - at - kFrameHeaderBytes > length && MayFollowFrame(data[at + kFrameHeaderBytes + length])) {
                ++m_frames;
                m_atLineStart = true;
                sink.OnFrame(data[at + 1], data + at + kFrameHeaderBytes, length);
                at += kFrameHeaderBytes + length;
                continue;
            }
        }
        ScanByte(data[at++]);
    }
    return at;
}

}  // namespace rtsp
