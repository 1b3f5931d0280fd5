// Frames of RTP and RTCP interleaved in an RTSP TCP connection (RFC 2326
// 10.12): '$', a one-byte channel and a 16-bit big-endian length, then that
// many bytes. The byte stream comes in chunks cut anywhere; a frame is
// handed on whole once its last byte is in. Bytes that cannot start a frame
// (garbage, or an RTSP message between frames) are skipped up to the next
// '$' followed by an expected channel, and counted. Memory is one frame of
// at most 65535 bytes, held from the start.
#ifndef RTP_INTERLEAVED_FRAMING_H
#define RTP_INTERLEAVED_FRAMING_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rtp {

class InterleavedFrameSink {
public:
    virtual ~InterleavedFrameSink() {}
    // `data` is valid for the call only.
    virtual void OnFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) = 0;
};

class InterleavedFraming {
public:
    // Channels 0 .. maxChannel are the ones the session set up; a '$' with any
    // other channel byte is taken for garbage.
    InterleavedFraming(InterleavedFrameSink& sink, std::uint8_t maxChannel);

    void Feed(const std::uint8_t* data, std::size_t size);

    std::uint64_t framesDelivered() const { return m_frames; }
    std::uint64_t bytesSkipped() const { return m_skipped; }
    // Bytes of a frame begun but not finished (at the end of the connection
    // they are lost).
    std::size_t bytesPending() const { return m_have; }

private:
    InterleavedFrameSink& m_sink;
    std::uint8_t m_maxChannel;
    std::uint8_t m_header[4];
    std::size_t m_headerHave = 0;
    std::vector<std::uint8_t> m_frame;
    std::size_t m_need = 0;
    std::size_t m_have = 0;
    bool m_inFrame = false;
    std::uint64_t m_frames = 0;
    std::uint64_t m_skipped = 0;
};

}  // namespace rtp

#endif
