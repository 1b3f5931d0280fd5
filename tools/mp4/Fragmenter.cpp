#include "Fragmenter.h"

#include <stdexcept>

namespace mp4 {

void Fragmenter::Add(const std::vector<unsigned char>& sample, const SampleTimes& times, bool sync) {
    if (sample.size() > 0xFFFFFFFFu - 8u)
        throw std::length_error("picture over 4 GiB");
    if (samples_.empty())
        baseDecodeTime_ = times.decodeTime;
    FragmentSample s;
    s.size = static_cast<std::uint32_t>(sample.size());
    s.duration = times.duration;
    s.compositionOffset = times.compositionOffset;
    s.sync = sync;
    samples_.push_back(s);
    payload_.insert(payload_.end(), sample.begin(), sample.end());
    if (samples_.size() >= limits_.samples || payload_.size() >= limits_.bytes)
        HandOn();
}

void Fragmenter::Flush() {
    if (!samples_.empty())
        HandOn();
}

void Fragmenter::HandOn() {
    const std::vector<unsigned char> header = MakeFragmentHeader(nextSequenceNumber_++, baseDecodeTime_, samples_);
    if (consumer_)
        consumer_->TakeFragment(header, payload_, static_cast<std::uint32_t>(samples_.size()));
    samples_.clear();
    payload_.clear();
}

} // namespace mp4
