#include "ParameterSetListing.h"

#include <cstring>
#include <string>

namespace h265headers {

ParameterSetListing::ParameterSetListing() {
    // Without this the stream swallows std::bad_alloc and yields a truncated
    // listing, which the second call of the protocol would overrun.
    m_out.exceptions(std::ios::badbit);
}

void ParameterSetListing::Line(const char* name, unsigned int value, bool indented) {
    if (indented)
        m_out << "    ";
    m_out << name << " = " << value << '\n';
}

int ParameterSetListing::Deliver(char* buffer) const {
    const std::string text = m_out.str();
    if (buffer)
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size() + 1);
}

} // namespace h265headers
