// Messages on standard error, "2026-12-08T14:03:00.250Z h265split: TEXT":
// each starts with the UTC time it was written, so that the log of a
// recorder that runs for months can be read against its recording. They are
// written around the progress line so that they are not garbled by it.
#ifndef H265SPLIT_MESSAGES_H
#define H265SPLIT_MESSAGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "Progress.h"

namespace h265split {

// One message line as standard error takes it, stamped with `utcMillis`.
std::string MessageLine(const std::string& text, std::int64_t utcMillis);
// The same stamped with the system clock, written and flushed.
void WriteMessage(const std::string& text);

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
