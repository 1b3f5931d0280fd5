#include "BitrateWindow.h"

#include <algorithm>
#include <cmath>

namespace h265info {

BitrateWindow::BitrateWindow(double fps) {
    // round(fps) pictures last round(fps) / fps seconds; scaling by fps over
    // that count makes 29.97 pictures per second read as one second.
    const double pictures = std::max(1.0, std::round(fps));
    ring_.assign(static_cast<std::size_t>(pictures), 0);
    bitsPerSecondPerByte_ = 8.0 * fps / pictures;
}

double BitrateWindow::Add(std::uint64_t bytes) {
    sum_ += bytes - ring_[next_];
    ring_[next_] = bytes;
    next_ = (next_ + 1) % ring_.size();
    return static_cast<double>(sum_) * bitsPerSecondPerByte_;
}

} // namespace h265info
