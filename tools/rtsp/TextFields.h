// Small pieces of the text of RTSP headers and SDP lines, read the same way
// wherever they come.
#ifndef RTSP_TEXT_FIELDS_H
#define RTSP_TEXT_FIELDS_H

#include <cstddef>
#include <string>

namespace rtsp {

// ASCII lower case: names of schemes, parameters and transports compare
// case-insensitively (RFC 2326 3, RFC 2617 1.2).
std::string Lower(std::string text);

// A decimal number of 1 to `digits` digits making up all of `text`.
bool Decimal(const std::string& text, std::size_t digits, unsigned long& value);

}  // namespace rtsp

#endif
