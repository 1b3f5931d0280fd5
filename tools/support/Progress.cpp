#include "Progress.h"

#include <cstdio>
#include <unistd.h>

namespace h265tools {

Progress::Progress(const std::string& program, const std::string& name, std::uint64_t total, Rows rows)
    : enabled_(isatty(STDERR_FILENO) && (rows == Rows::kNoRows || !isatty(STDOUT_FILENO))),
      prefix_(program + ": " + name + ": "), total_(total), start_(std::chrono::steady_clock::now()), last_(start_) {}

void Progress::Update(std::uint64_t done) {
    Update(done, std::string());
}

void Progress::Update(std::uint64_t done, const std::string& detail) {
    if (!enabled_ || (total_ ? total_ : done) <= kThreshold)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250))
        return;
    last_ = now;
    if (total_ != 0 && done > total_)
        done = total_;
    const unsigned long long mib = done >> 20;
    if (total_ == 0)
        std::fprintf(stderr, "\r%s%llu MiB", prefix_.c_str(), mib);
    else
        std::fprintf(stderr, "\r%s%llu of %llu MiB (%u%%)", prefix_.c_str(), mib,
                     static_cast<unsigned long long>(total_ >> 20), static_cast<unsigned>(done * 100 / total_));
    if (!detail.empty()) {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        std::fprintf(stderr, ", %s, %.0f MiB/s\033[K", detail.c_str(), seconds > 0 ? (done >> 20) / seconds : 0.0);
    }
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

} // namespace h265tools
