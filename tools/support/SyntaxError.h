// The error of a syntax structure that cannot be read: the NAL unit ends
// before one of its elements, or an element holds a value the standard does
// not allow. The message names the element ("ends before vui_time_scale
// (truncated)", "num_short_term_ref_pic_sets 70 is above 64"); the caller
// says which NAL unit it was.
#ifndef H265TOOLS_SYNTAX_ERROR_H
#define H265TOOLS_SYNTAX_ERROR_H

#include <stdexcept>
#include <string>

namespace h265tools {

struct SyntaxError : std::runtime_error {
    explicit SyntaxError(const std::string& message, bool endsEarly = false)
        : std::runtime_error(message), truncated(endsEarly) {}
    // The unit ends before the element: at the end of a stream, the sign of a
    // cut, where a value out of range is damage.
    bool truncated;
};

// "NAME VALUE is above LIMIT", thrown when VALUE > LIMIT.
void CheckAtMost(const char* name, unsigned long long value, unsigned long long limit);

} // namespace h265tools

#endif
