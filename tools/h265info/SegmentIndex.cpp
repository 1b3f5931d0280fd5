#include "SegmentIndex.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace h265info {

namespace {

std::vector<std::string> Fields(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

bool ParseOffset(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return true;
}

} // namespace

std::vector<std::uint64_t> ReadSegmentOffsets(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open the index '" + path + "'");
    std::string line;
    if (!std::getline(in, line))
        throw std::runtime_error("the index '" + path + "' is empty");
    const std::vector<std::string> header = Fields(line);
    const auto column = std::find(header.begin(), header.end(), "first_byte_offset");
    if (column == header.end())
        throw std::runtime_error("the index '" + path + "' has no first_byte_offset column");
    const std::size_t at = static_cast<std::size_t>(column - header.begin());

    std::vector<std::uint64_t> offsets;
    for (std::size_t number = 2; std::getline(in, line); ++number) {
        if (line.empty() || line == "\r")
            continue;
        const std::vector<std::string> fields = Fields(line);
        std::uint64_t offset = 0;
        if (fields.size() <= at || !ParseOffset(fields[at], offset))
            throw std::runtime_error("line " + std::to_string(number) + " of the index '" + path +
                                     "' has no byte offset in its first_byte_offset column");
        offsets.push_back(offset);
    }
    if (in.bad())
        throw std::runtime_error("cannot read the index '" + path + "'");
    std::sort(offsets.begin(), offsets.end());
    return offsets;
}

} // namespace h265info
