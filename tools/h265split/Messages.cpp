#include "Messages.h"

#include <cstddef>
#include <cstdio>

#include "UtcTime.h"

namespace h265split {

namespace {

// A message names this many files and counts the others.
const std::size_t kNamesShown = 4;

} // namespace

std::string MessageLine(const std::string& text, std::int64_t utcMillis) {
    return h265tools::UtcText(utcMillis) + " h265split: " + text + "\n";
}

void WriteMessage(const std::string& text) {
    const std::string line = MessageLine(text, h265tools::UtcNow());
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void Messages::Say(const std::string& text) {
    if (progress_)
        progress_->Clear();
    WriteMessage(text);
}

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i)
        text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > kNamesShown)
        text += " and " + std::to_string(names.size() - kNamesShown) + " more";
    return text;
}

} // namespace h265split
