// The Session header (RFC 2326 12.37): session-id [";timeout=" delta-seconds].
// The id goes back in every request after SETUP; the timeout says how often
// the session must be kept alive.
#ifndef RTSP_SESSION_HEADER_H
#define RTSP_SESSION_HEADER_H

#include <string>

namespace rtsp {

const unsigned kDefaultSessionTimeout = 60;  // seconds, when the server names none

// False when there is no id, or the id holds characters RFC 2326 3.4 does
// not allow (it is sent back verbatim in a header line).
bool ParseSession(const std::string& value, std::string& id, unsigned& timeoutSeconds);

}  // namespace rtsp

#endif
