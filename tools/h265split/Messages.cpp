#include "Messages.h"

#include <cstdio>

namespace h265split {

void Messages::Say(const std::string& text) {
    if (progress_)
        progress_->Clear();
    std::fprintf(stderr, "h265split: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace h265split
