#include "Fragmenter.h"

#include <stdexcept>

namespace mp4 {

void Fragmenter::Add(SampleData& sample, const SampleTimes& times, bool sync) {
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
    payload_ += sample.size();
    data_.emplace_back();
    data_.back().swap(sample);
    if (samples_.size() >= limits_.samples || payload_ >= limits_.bytes)
        HandOn();
}

void Fragmenter::Flush() {
    if (!samples_.empty())
        HandOn();
}

void Fragmenter::HandOn() {
    const std::vector<unsigned char> header = MakeFragmentHeader(nextSequenceNumber_++, baseDecodeTime_, samples_);
    if (consumer_) {
        pieces_.clear();
        pieces_.push_back(ByteSpan{header.data(), header.size()});
        for (const SampleData& sample : data_)
            sample.AppendTo(pieces_);
        consumer_->TakeFragment(pieces_, static_cast<std::uint32_t>(samples_.size()));
    }
    samples_.clear();
    data_.clear();
    payload_ = 0;
}

} // namespace mp4
