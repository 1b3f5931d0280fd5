#include "Progress.h"

#include <cstdio>
#include <unistd.h>

namespace h265info {

Progress::Progress(std::uint64_t total, const std::string& path)
    : enabled_(total > kThreshold && isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO)), total_(total), path_(path),
      last_(std::chrono::steady_clock::now()) {}

void Progress::Update(std::uint64_t done) {
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250))
        return;
    last_ = now;
    if (done > total_)
        done = total_;
    std::fprintf(stderr, "\rh265info: %s: %llu of %llu MiB (%u%%)", path_.c_str(),
                 static_cast<unsigned long long>(done >> 20), static_cast<unsigned long long>(total_ >> 20),
                 static_cast<unsigned>(done * 100 / total_));
    std::fflush(stderr);
    shown_ = true;
}

void Progress::Clear() {
    if (!shown_)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

} // namespace h265info
