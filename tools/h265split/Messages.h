// Messages on standard error, "h265split: TEXT", written around the progress
// line so that they are not garbled by it.
#ifndef H265SPLIT_MESSAGES_H
#define H265SPLIT_MESSAGES_H

#include <string>

#include "Progress.h"

namespace h265split {

class Messages {
public:
    explicit Messages(h265tools::Progress* progress = nullptr) : progress_(progress) {}
    void Say(const std::string& text);

private:
    h265tools::Progress* progress_;
};

} // namespace h265split

#endif
