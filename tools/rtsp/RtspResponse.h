// RTSP responses (RFC 2326 7) read from the bytes of the control
// connection, cut anywhere. Everything in them comes from the network:
// lines, headers and the body are bounded, and a response over the bounds
// is an error, never a larger allocation.
#ifndef RTSP_RTSP_RESPONSE_H
#define RTSP_RTSP_RESPONSE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rtsp {

const std::size_t kMaxLineBytes = 4096;      // the status line, and each header line without its CRLF
const std::size_t kMaxHeaders = 64;
const std::size_t kMaxBodyBytes = 64 * 1024;  // Content-Length

struct RtspResponse {
    int status = 0;
    std::string reason;
    std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed, folded lines joined
    std::string body;

    // The first header of that name (any case), or null.
    const std::string* Find(const char* name) const;
    // Every header of that name (WWW-Authenticate comes once per challenge).
    std::vector<std::string> FindAll(const char* name) const;
    // CSeq, or -1 when absent or not a number (RFC 2326 12.17).
    long CSeq() const;
};

class RtspResponseParser {
public:
    enum class State { kIncomplete, kComplete, kError };

    RtspResponseParser();
    // Reads data[0 .. size) up to the end of one response at most and
    // returns the bytes it used; what follows belongs to the next message or
    // frame. After kComplete or kError, Reset before the next response.
    std::size_t Feed(const std::uint8_t* data, std::size_t size);
    void Reset();

    State state() const { return m_state; }
    const RtspResponse& response() const { return m_response; }
    const std::string& error() const { return m_error; }

private:
    enum class Part { kStatusLine, kHeaders, kBody };
    bool Line(const std::string& line);
    bool StatusLine(const std::string& line);
    bool HeaderLine(const std::string& line);
    bool EndOfHeaders();
    void Fail(const std::string& error);

    State m_state = State::kIncomplete;
    Part m_part = Part::kStatusLine;
    std::string m_line;
    std::size_t m_bodyBytes = 0;
    RtspResponse m_response;
    std::string m_error;
};

}  // namespace rtsp

#endif
