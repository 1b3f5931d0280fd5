#include "SyntaxError.h"

namespace h265tools {

void CheckAtMost(const char* name, unsigned long long value, unsigned long long limit) {
    if (value > limit)
        throw SyntaxError(std::string(name) + " " + std::to_string(value) + " is above " + std::to_string(limit));
}

} // namespace h265tools
