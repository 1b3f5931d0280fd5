// The H.265 media of a DESCRIBE response's SDP (RFC 4566; RFC 7798 7.2):
// its payload type, control URL and the parameter sets out of band.
#ifndef RTSP_SDP_H
#define RTSP_SDP_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtsp {

struct H265Media {
    int payloadType = -1;
    std::uint32_t clockRate = 90000;
    std::string control;  // resolved against the base already
    // The URL of aggregate control (PLAY, TEARDOWN): the session-level
    // a=control resolved against the base, else the base (RFC 2326 C.1.1).
    std::string aggregateControl;
    // sprop-vps, -sps, -pps, -sei: NAL units without start codes. A
    // parameter set that was cut short is left out of its list (a decoder
    // given it in band would read past its end) and named in `truncated`,
    // e.g. "sprop-sps 1 (12 bytes)".
    std::vector<std::vector<std::uint8_t>> vps, sps, pps, sei;
    std::vector<std::string> truncated;
    unsigned maxDonDiff = 0;      // sprop-max-don-diff
    unsigned depackBufNalus = 0;  // sprop-depack-buf-nalus
};

// The first m=video media whose rtpmap is H265/90000. `text` need not end in
// a NUL; nothing past `size` is read. False with `error` saying why there is
// none, or what in the media could not be read.
bool ParseSdp(const char* text, std::size_t size, const std::string& base, H265Media& media, std::string& error);

}  // namespace rtsp

#endif
