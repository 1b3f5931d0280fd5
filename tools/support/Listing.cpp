#include "Listing.h"

#include <climits>
#include <cstring>
#include <stdexcept>

namespace h265tools {

std::string CheckedListing(int announced, const std::vector<char>& buffer, int written) {
    if (announced <= 0 || written != announced)
        throw std::runtime_error("Dump gave " + std::to_string(written) + " bytes after announcing " +
                                 std::to_string(announced));
    const std::size_t size = static_cast<std::size_t>(announced);
    if (buffer.size() < size || buffer[size - 1] != '\0' || std::memchr(buffer.data(), '\0', size) != &buffer[size - 1])
        throw std::runtime_error("Dump text is not NUL-terminated at its announced size");
    return std::string(buffer.data(), size - 1);
}

ListingFields SplitListing(const std::string& text) {
    ListingFields fields;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        const std::size_t first = line.find_first_not_of(" \t");
        const std::size_t eq = line.find(" = ");
        if (first == std::string::npos || eq == std::string::npos || eq < first)
            continue;
        fields.emplace_back(line.substr(first, eq - first), line.substr(eq + 3));
    }
    return fields;
}

unsigned int FieldValue(const ListingFields& fields, const std::string& name) {
    for (const auto& field : fields) {
        if (field.first != name)
            continue;
        if (!IsDecimal(field.second) || field.second.size() > 10) // 2^32 has 10 digits
            return 0;
        const unsigned long long value = std::stoull(field.second);
        return value > UINT_MAX ? 0 : static_cast<unsigned int>(value);
    }
    return 0;
}

bool IsDecimal(const std::string& value) {
    if (value.empty() || value.size() > 20)
        return false;
    if (value.size() > 1 && value[0] == '0')
        return false;
    for (char c : value)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace h265tools
