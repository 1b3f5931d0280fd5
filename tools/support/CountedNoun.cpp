#include "CountedNoun.h"

namespace h265tools {

std::string CountedNoun(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace h265tools
