// The SPS and PPS text listings: fetched with the two-call Dump protocol and
// split into their "name = value" fields.
#ifndef H265TOOLS_LISTING_H
#define H265TOOLS_LISTING_H

#include <string>
#include <utility>
#include <vector>

namespace h265tools {

using ListingFields = std::vector<std::pair<std::string, std::string>>;

// Dump(nullptr) gives the size including the NUL, Dump(buffer) the text. Works
// for anything with an `int Dump(char*)` (ISPS, IPPS). Throws std::runtime_error
// when the two calls disagree about the size.
template <typename Record> std::string FetchListing(Record& record);

// One entry per "name = value" line, in order, leading indentation dropped;
// lines without " = " are skipped.
ListingFields SplitListing(const std::string& text);

// The value of the named field as a number; 0 when the listing has no such
// field or its value is not a decimal number below 2^32.
unsigned int FieldValue(const ListingFields& fields, const std::string& name);

// True when the value is a plain decimal number, written as a JSON number.
bool IsDecimal(const std::string& value);

std::string CheckedListing(int announced, const std::vector<char>& buffer, int written);

template <typename Record> std::string FetchListing(Record& record) {
    const int size = record.Dump(nullptr);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
    int written = size;
    if (size > 0)
        written = record.Dump(buffer.data());
    return CheckedListing(size, buffer, written);
}

} // namespace h265tools

#endif
