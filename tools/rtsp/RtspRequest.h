// RTSP requests (RFC 2326 6) as the client sends them: request line, CSeq,
// then the headers given, then an empty line.
#ifndef RTSP_RTSP_REQUEST_H
#define RTSP_RTSP_REQUEST_H

#include <string>
#include <utility>
#include <vector>

namespace rtsp {

struct RtspRequest {
    std::string method;
    std::string uri;
    long cseq = 0;
    std::vector<std::pair<std::string, std::string>> headers;

    void Add(const std::string& name, const std::string& value) { headers.push_back(std::make_pair(name, value)); }
    // The request's bytes. A CR or LF in a value (which a server could have
    // put in a session id or a Content-Base) is left out, so that no value
    // can add a header line of its own.
    std::string Text() const;
};

}  // namespace rtsp

#endif
