// The Transport header of a SETUP response (RFC 2326 12.39): which
// transport the server chose, and its channels or ports.
#ifndef RTSP_TRANSPORT_HEADER_H
#define RTSP_TRANSPORT_HEADER_H

#include <string>

namespace rtsp {

struct Transport {
    bool tcp = false;          // RTP/AVP/TCP; else RTP/AVP over UDP
    int interleaved[2] = {-1, -1};  // channels of RTP and RTCP, 0..255
    int clientPort[2] = {-1, -1};
    int serverPort[2] = {-1, -1};
    std::string source;        // the sender's address, when not the server's own
    bool multicast = false;
};

// Reads the first transport of `value` (a server answers with one). False
// when it is not RTP/AVP or a number is out of range.
bool ParseTransport(const std::string& value, Transport& transport);

}  // namespace rtsp

#endif
