// The text listings of the parameter-set records: one "name = value" line per
// element in the order of the syntax, delivered with the two-call protocol.
#ifndef H265HEADERS_PARAMETER_SET_LISTING_H
#define H265HEADERS_PARAMETER_SET_LISTING_H

#include <sstream>

namespace h265headers {

class ParameterSetListing {
public:
    ParameterSetListing();

    // "name = value"; an indented line belongs to the element above it.
    void Line(const char* name, unsigned int value, bool indented = false);

    // With a null buffer, the size the text needs including its NUL; with a
    // buffer, writes the text there and returns the same size.
    int Deliver(char* buffer) const;

private:
    std::ostringstream m_out;
};

} // namespace h265headers

#endif
