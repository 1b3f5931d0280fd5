// Base64 (RFC 4648 4): decoding the parameter sets of an SDP fmtp line
// (sprop-vps, -sps, -pps, -sei, RFC 7798 7.1) and encoding Basic
// credentials (RFC 2617 2).
#ifndef RTSP_BASE64_H
#define RTSP_BASE64_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtsp {

std::string Base64Encode(const std::string& bytes);

// Appends the bytes of text[0 .. size) to `out`. Padding is optional, since
// some senders leave it off; anything outside the alphabet, padding before
// the end, or a length no encoder gives (one character over a group) fails.
bool Base64Decode(const char* text, std::size_t size, std::vector<std::uint8_t>& out);

}  // namespace rtsp

#endif
