// The control connection of a session with RTP over TCP (RFC 2326 10.12):
// interleaved frames ('$', a channel byte, a 16-bit big-endian length, then
// that many bytes of RTP or RTCP) and RTSP responses (to the keep-alive, to
// TEARDOWN) take turns on it, cut anywhere by the connection.
//
// "RTSP/" at the start of a line (after a frame, a response, or a line of
// garbage) begins a response, which is read whole, body included: a '$'
// inside a body is not taken for a frame. Elsewhere it is no response: the
// "RTSP/1.0" that ends the request line of a request from the server
// (RFC 2326 10: SET_PARAMETER, ANNOUNCE, REDIRECT) is skipped with the rest
// of the request, which a client that only records does not answer. A '$' begins
// a frame only when it looks like one: a channel of the session, a length
// of at least 4 bytes and a first byte of RTP version 2 (RTP and RTCP
// alike). Anything else is garbage, skipped up to the next plausible frame
// or response and counted.
//
// Garbage may hold what looks like a frame header, with a length that
// would swallow the real frames after it. So a frame counts only when what
// follows it can start a frame or a response ('$' or 'R'): until that byte
// has come (or the connection has gone quiet, Idle) it is held. A frame
// that fails the test, and holds what looks like the start of another, was
// garbage: its '$' is skipped, and the bytes after it are read again. One
// that holds none is taken, and the garbage starts after it.
//
// A frame that comes whole within one call is handed on from the caller's
// buffer; one cut by the connection is put together in a window held from
// the start, so that nothing is allocated per packet. A frame found to be
// garbage stays in the window, which is then read again from the byte after
// its '$' without copying: the frames it hid are found in place, and where
// the nearest hidden frame header lies is remembered, so that garbage made
// of frame headers costs a bounded number of looks per byte, as any other
// garbage does (bytesExamined counts them).
#ifndef RTSP_INTERLEAVED_READER_H
#define RTSP_INTERLEAVED_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RtspResponse.h"

namespace rtsp {

class InterleavedSink {
public:
    virtual ~InterleavedSink() {}
    // `data` is valid for the call only.
    virtual void OnFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) = 0;
};

class InterleavedReader {
public:
    // Channels 0 .. maxChannel are the session's.
    explicit InterleavedReader(std::uint8_t maxChannel = 1);
    void SetMaxChannel(std::uint8_t maxChannel) {
        m_maxChannel = maxChannel;
        m_hiddenKnown = false;
    }

    // Reads data[0 .. size), handing frames to `sink`, and stops right after
    // a response ends (hasResponse()) or at a response that cannot be read
    // (failed()). Returns the bytes used; the caller feeds the rest after
    // taking the response with TakeResponse.
    std::size_t Consume(const std::uint8_t* data, std::size_t size, InterleavedSink& sink);

    // Nothing more has come for a while: a frame held for the byte after it
    // is handed on.
    void Idle(InterleavedSink& sink);

    bool hasResponse() const { return m_parser.state() == RtspResponseParser::State::kComplete; }
    const RtspResponse& response() const { return m_parser.response(); }
    // Done with the response: the next one may begin.
    void TakeResponse();

    bool failed() const { return m_parser.state() == RtspResponseParser::State::kError; }
    const std::string& error() const { return m_parser.error(); }

    std::uint64_t bytesSkipped() const { return m_skipped; }
    std::uint64_t framesDelivered() const { return m_frames; }
    // Bytes looked at, those read again included: a bounded multiple of
    // the bytes given, whatever they are.
    std::uint64_t bytesExamined() const { return m_examined; }

private:
    enum class Mode { kScan, kFrameHeader, kPrefix, kFrameBody, kFrameCheck, kResponse };
    // Consume's work on one stretch of bytes, of the caller or of the
    // window (`fromWindow`, starting at m_pos); stops early where the byte
    // after a held frame shows it was garbage, the window then being read
    // again from m_pos.
    std::size_t Step(const std::uint8_t* data, std::size_t size, bool fromWindow, InterleavedSink& sink);
    void Deliver(InterleavedSink& sink);
    // The held frame holds what looks like a frame header.
    bool HidesFrame();
    void ScanByte(std::uint8_t byte);
    void Reject();
    bool Plausible(const std::uint8_t* header) const;
    // A frame header was read through ScanByte: its frame goes to the window.
    void BeginFrame(bool fromWindow);

    std::uint8_t m_maxChannel;
    Mode m_mode = Mode::kScan;
    std::uint8_t m_held[5];  // a frame header with the first byte of its frame, or "RTSP/"
    std::size_t m_heldCount = 0;
    bool m_atLineStart = true;  // where "RTSP/" may begin a response
    std::uint8_t m_channel = 0;
    // The frame being put together is m_window[m_frameAt + 4 ..] (its
    // header before it), m_have of its m_need bytes there; bytes from m_pos
    // on are to be read (again) before the caller's.
    std::vector<std::uint8_t> m_window;
    std::size_t m_frameAt = 0;
    std::size_t m_pos = 0;
    std::size_t m_need = 0;
    std::size_t m_have = 0;
    // Window positions [m_hiddenFrom, m_hiddenAt) hold no plausible frame
    // header; m_hiddenAt holds one, or is where the search stopped
    // (m_hiddenFound false).
    bool m_hiddenKnown = false;
    bool m_hiddenFound = false;
    std::size_t m_hiddenFrom = 0;
    std::size_t m_hiddenAt = 0;
    RtspResponseParser m_parser;
    std::uint64_t m_skipped = 0;
    std::uint64_t m_frames = 0;
    std::uint64_t m_examined = 0;
};

}  // namespace rtsp

#endif
