#include "Messages.h"

#include <cstddef>
#include <cstdio>

namespace h265split {

namespace {

// A message names this many files and counts the others.
const std::size_t kNamesShown = 4;

} // namespace

void Messages::Say(const std::string& text) {
    if (progress_)
        progress_->Clear();
    std::fprintf(stderr, "h265split: %s\n", text.c_str());
    std::fflush(stderr);
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
