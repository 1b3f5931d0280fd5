// Messages on standard error, "h265split: TEXT", written around the progress
// line so that they are not garbled by it.
#ifndef H265SPLIT_MESSAGES_H
#define H265SPLIT_MESSAGES_H

#include <string>
#include <vector>

#include "Progress.h"

namespace h265split {

class Messages {
public:
    explicit Messages(h265tools::Progress* progress = nullptr) : progress_(progress) {}
    void Say(const std::string& text);

private:
    h265tools::Progress* progress_;
};

// Files named in a message: the first four, and how many others there are
// ("a, b, c, d and 3 more").
std::string Listed(const std::vector<std::string>& names);

} // namespace h265split

#endif
