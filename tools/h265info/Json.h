// The small part of JSON writing the inspector needs.
#ifndef H265INFO_JSON_H
#define H265INFO_JSON_H

#include <cstddef>
#include <string>

namespace h265info {

// The text as a quoted JSON string: quote, backslash and control characters
// escaped, and every byte that is not part of a well-formed UTF-8 sequence
// (file names need not be UTF-8) replaced by U+FFFD, so the document is
// always valid UTF-8.
std::string JsonString(const std::string& text);

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i);

} // namespace h265info

#endif
