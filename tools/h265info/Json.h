// The small part of JSON writing the inspector needs.
#ifndef H265INFO_JSON_H
#define H265INFO_JSON_H

#include <string>

namespace h265info {

// The text as a quoted JSON string: quote, backslash and control characters
// escaped, and every byte that is not part of a well-formed UTF-8 sequence
// (file names need not be UTF-8) replaced by U+FFFD, so the document is
// always valid UTF-8.
std::string JsonString(const std::string& text);

} // namespace h265info

#endif
