#include "Fragmenter.h"

#include <stdexcept>

#include "InitSegment.h"
#include "ProducerReferenceTime.h"

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

void Fragmenter::SetUtcReference(std::uint32_t timescale, UtcAtZero utcAtZero) {
    utc_ = static_cast<bool>(utcAtZero);
    timescale_ = timescale ? timescale : 1;
    utcAtZero_ = std::move(utcAtZero);
}

void Fragmenter::HandOn() {
    const std::vector<unsigned char> header = MakeFragmentHeader(nextSequenceNumber_++, baseDecodeTime_, samples_);
    if (consumer_) {
        pieces_.clear();
        if (utc_) {
            // The UTC time of the fragment's decode start, to the millisecond.
            prft_.clear();
            const std::uint64_t millis = baseDecodeTime_ / timescale_ * 1000 + baseDecodeTime_ % timescale_ * 1000 / timescale_;
            AppendProducerReferenceTime(prft_, kTrackId, utcAtZero_() + static_cast<std::int64_t>(millis), baseDecodeTime_);
            pieces_.push_back(ByteSpan{prft_.data(), prft_.size()});
        }
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
