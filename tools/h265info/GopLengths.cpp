#include "GopLengths.h"

namespace h265info {

void GopLengths::KeyPicture(std::uint64_t pictureIndex) {
    if (haveKey_) {
        ++histogram_[pictureIndex - lastKey_];
        ++count_;
    }
    haveKey_ = true;
    lastKey_ = pictureIndex;
}

std::uint64_t GopLengths::Min() const {
    return histogram_.empty() ? 0 : histogram_.begin()->first;
}

std::uint64_t GopLengths::Max() const {
    return histogram_.empty() ? 0 : histogram_.rbegin()->first;
}

std::uint64_t GopLengths::Median() const {
    const std::uint64_t rank = (count_ + 1) / 2; // 1-based
    std::uint64_t seen = 0;
    for (const auto& entry : histogram_) {
        seen += entry.second;
        if (seen >= rank)
            return entry.first;
    }
    return 0;
}

} // namespace h265info
