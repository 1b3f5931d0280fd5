// A count with the noun that agrees with it: "1 picture", "2 pictures".
#ifndef H265TOOLS_COUNTED_NOUN_H
#define H265TOOLS_COUNTED_NOUN_H

#include <cstdint>
#include <string>

namespace h265tools {

std::string CountedNoun(std::uint64_t count, const char* one, const char* many);

} // namespace h265tools

#endif
