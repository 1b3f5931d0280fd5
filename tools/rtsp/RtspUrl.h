// rtsp:// URLs (RFC 2326 3.2): the one a camera is named by, with its
// credentials taken out of it, and the control URLs of a presentation
// resolved against the base the server gives (RFC 2326 C.1.1).
#ifndef RTSP_RTSP_URL_H
#define RTSP_RTSP_URL_H

#include <cstdint>
#include <string>

namespace rtsp {

struct RtspUrl {
    std::string host;  // IPv6 without brackets
    std::uint16_t port = 554;
    std::string path = "/";       // as given, query included
    std::string user, password;   // percent-decoded
    bool hasCredentials = false;
    // "rtsp://host:port/path": the URL of requests and of every message, so
    // that the password never leaves the object.
    std::string WithoutCredentials() const;
};

// False with `error` set (never containing the password) when `text` is not
// an rtsp:// URL that a connection can be made to.
bool ParseRtspUrl(const std::string& text, RtspUrl& url, std::string& error);

// Starts with "rtsp://", in any case.
bool IsRtspUrl(const std::string& text);

// A control URL (SDP a=control) resolved against a base: the response's
// Content-Base, else its Content-Location, else the request URL (RFC 2326
// C.1.1). "*" and empty mean the base itself; an absolute rtsp:// URL
// stands; anything else is a reference relative to the base, merged as RFC
// 3986 5.2 does it.
std::string ResolveControl(const std::string& base, const std::string& control);

}  // namespace rtsp

#endif
