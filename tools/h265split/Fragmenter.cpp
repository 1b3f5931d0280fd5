#include "Fragmenter.h"

#include <algorithm>
#include <stdexcept>

namespace h265split {

const std::uint32_t Fragmenter::kMaxSampleDuration;

Fragmenter::Fragmenter(std::uint32_t sampleDuration, const FragmentLimits& limits)
    : sampleDuration_(std::min(std::max(sampleDuration, 1u), kMaxSampleDuration)), limits_(limits) {}

void Fragmenter::Order(const FragmentPicture& picture) {
    h265tools::DecodedPicture decoded;
    decoded.id = slots_++;
    decoded.poc = picture.poc;
    decoded.startsSequence = picture.startsSequence;
    decoded.maxNumReorder = picture.reorder;
    order_.Add(decoded);
}

void Fragmenter::Add(const std::vector<unsigned char>& sample, const FragmentPicture& picture) {
    if (sample.size() > 0xFFFFFFFFu - 8u)
        throw std::length_error("picture over 4 GiB");
    lastDurationOpen_ = false;
    if (fragments_.empty() || fragments_.back().closed) {
        fragments_.emplace_back();
        Fragment& f = fragments_.back();
        f.sequenceNumber = nextSequenceNumber_++;
        // Every picture lasts one frame in decoding order.
        f.baseDecodeTime = slots_ * sampleDuration_;
    }
    Fragment& f = fragments_.back();
    FragmentSample s;
    s.size = static_cast<std::uint32_t>(sample.size());
    s.duration = sampleDuration_;
    s.sync = picture.sync;
    f.samples.push_back(s);
    f.slots.push_back(slots_);
    f.payload.insert(f.payload.end(), sample.begin(), sample.end());
    ++f.undecided;
    ++pictures_;
    lastDurationOpen_ = true;
    if (f.samples.size() >= limits_.samples || f.payload.size() >= limits_.bytes)
        f.closed = true;
    Order(picture);
    Place();
    HandOn();
}

void Fragmenter::Skip(const FragmentPicture& picture) {
    if (fragments_.empty() || !lastDurationOpen_)
        throw std::logic_error("a skipped picture without a sample before it");
    FragmentSample& last = fragments_.back().samples.back();
    // A sample lasts at most a few hundred frames: the skipped pictures of a
    // segment's start are its key picture's leading pictures (at most 64).
    last.duration += sampleDuration_;
    Order(picture);
    Place();
    HandOn();
}

void Fragmenter::Place() {
    // Presentation time is the picture's index in output order times the
    // frame duration: pictures are shown one frame apart. trun version 1
    // stores it as an offset from the decode time, negative for a picture
    // shown before others decoded ahead of it. The output order bounds how
    // long a picture waits, so the offset stays far inside 32 bits.
    h265tools::OutputPosition out;
    while (order_.Take(out)) {
        for (Fragment& f : fragments_) {
            if (f.slots.empty() || out.id < f.slots.front() || out.id > f.slots.back())
                continue;
            const std::vector<std::uint64_t>::iterator at = std::lower_bound(f.slots.begin(), f.slots.end(), out.id);
            if (at == f.slots.end() || *at != out.id)
                break; // a skipped picture: no sample
            const std::int64_t offset = (static_cast<std::int64_t>(out.index) - static_cast<std::int64_t>(out.id)) *
                                        static_cast<std::int64_t>(sampleDuration_);
            f.samples[static_cast<std::size_t>(at - f.slots.begin())].compositionOffset =
                static_cast<std::int32_t>(std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, offset)));
            --f.undecided;
            break;
        }
    }
}

void Fragmenter::HandOn() {
    while (!fragments_.empty() && fragments_.front().closed && fragments_.front().undecided == 0) {
        if (fragments_.size() == 1 && lastDurationOpen_)
            return; // its last sample may still grow
        Fragment& f = fragments_.front();
        const std::vector<unsigned char> header = MakeFragmentHeader(f.sequenceNumber, f.baseDecodeTime, f.samples);
        if (consumer_)
            consumer_->TakeFragment(header, f.payload, static_cast<std::uint32_t>(f.samples.size()));
        fragments_.pop_front();
    }
}

void Fragmenter::CloseFragment() {
    if (!fragments_.empty())
        fragments_.back().closed = true;
}

void Fragmenter::Flush() {
    CloseFragment();
    lastDurationOpen_ = false;
    order_.Flush();
    Place();
    HandOn();
}

} // namespace h265split
