#include "FrameDurations.h"

namespace rtp {

const std::size_t FrameDurations::kLookahead;
const std::int64_t FrameDurations::kMaxGap;

FrameDurations::FrameDurations(std::size_t lookahead, std::int64_t maxGap)
    : lookahead_(lookahead == 0 ? 1 : lookahead), maxGap_(maxGap) {}

bool FrameDurations::Fits(std::int64_t timestamp) const {
    const std::deque<std::int64_t>& near = held_.empty() ? given_ : held_;
    if (near.empty())
        return true;
    std::int64_t low = near.front();
    std::int64_t high = low;
    for (std::size_t i = 1; i < near.size(); ++i) {
        low = near[i] < low ? near[i] : low;
        high = near[i] > high ? near[i] : high;
    }
    return timestamp - high <= maxGap_ && low - timestamp <= maxGap_;
}

void FrameDurations::Add(std::int64_t timestamp) { held_.push_back(timestamp); }

bool FrameDurations::Ready() const { return flushed_ > 0 || held_.size() > lookahead_; }

std::uint32_t FrameDurations::Take() {
    const std::int64_t own = held_.front();
    // The next presentation time among the pictures around it in decoding
    // order: its successor in output order is one of them.
    bool found = false;
    std::int64_t next = 0;
    for (const std::deque<std::int64_t>* near : {&given_, &held_})
        for (std::size_t i = 0; i < near->size(); ++i) {
            const std::int64_t t = (*near)[i];
            if (t > own && (!found || t < next)) {
                next = t;
                found = true;
            }
        }
    std::uint32_t duration = usual_;
    if (found) {
        const std::int64_t gap = next - own;
        duration = gap > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<std::uint32_t>(gap);
        usual_ = duration;
    }
    held_.pop_front();
    if (flushed_ > 0)
        --flushed_;
    given_.push_back(own);
    if (given_.size() > lookahead_)
        given_.pop_front();
    return duration;
}

void FrameDurations::Flush() { flushed_ = held_.size(); }

void FrameDurations::Restart() {
    held_.clear();
    given_.clear();
    flushed_ = 0;
}

}  // namespace rtp
