#include "Fragmenter.h"

#include <stdexcept>

namespace h265split {

Fragmenter::Fragmenter(std::uint32_t sampleDuration, const FragmentLimits& limits)
    : sampleDuration_(sampleDuration), limits_(limits) {}

void Fragmenter::Add(const std::vector<unsigned char>& sample, bool sync, std::int32_t picOrderCntVal,
                     bool startsSequence, unsigned int reorder) {
    if (sample.size() > 0xFFFFFFFFu - 8u)
        throw std::length_error("picture over 4 GiB");
    if (fragments_.empty() || fragments_.back().closed) {
        fragments_.emplace_back();
        Fragment& f = fragments_.back();
        f.sequenceNumber = nextSequenceNumber_++;
        f.firstPicture = pictures_;
        // Every picture lasts one frame duration, so decode time is the
        // picture's number in decoding order times that.
        f.baseDecodeTime = pictures_ * sampleDuration_;
    }
    Fragment& f = fragments_.back();
    FragmentSample s;
    s.size = static_cast<std::uint32_t>(sample.size());
    s.duration = sampleDuration_;
    s.sync = sync;
    f.samples.push_back(s);
    f.payload.insert(f.payload.end(), sample.begin(), sample.end());
    ++f.undecided;
    ++pictures_;
    if (f.samples.size() >= limits_.samples || f.payload.size() >= limits_.bytes)
        f.closed = true;

    // Every sample is presented: pictures that no decoder outputs are not
    // given as samples.
    h265tools::DecodedPicture picture;
    picture.id = pictures_ - 1;
    picture.poc = picOrderCntVal;
    picture.startsSequence = startsSequence;
    picture.maxNumReorder = reorder;
    order_.Add(picture);
    Place();
    HandOn();
}

void Fragmenter::Place() {
    // Presentation time is the picture's index in output order times the
    // frame duration: pictures are shown one frame apart, from 0. trun
    // version 1 stores it as an offset from the decode time, negative for a
    // picture shown before others decoded ahead of it.
    h265tools::OutputPosition out;
    while (order_.Take(out)) {
        for (Fragment& f : fragments_) {
            if (out.id < f.firstPicture || out.id >= f.firstPicture + f.samples.size())
                continue;
            const std::int64_t offset = (static_cast<std::int64_t>(out.index) - static_cast<std::int64_t>(out.id)) *
                                        static_cast<std::int64_t>(sampleDuration_);
            if (offset < INT32_MIN || offset > INT32_MAX)
                throw std::range_error("composition offset beyond 32 bits");
            f.samples[static_cast<std::size_t>(out.id - f.firstPicture)].compositionOffset =
                static_cast<std::int32_t>(offset);
            --f.undecided;
            break;
        }
    }
}

void Fragmenter::HandOn() {
    while (!fragments_.empty() && fragments_.front().closed && fragments_.front().undecided == 0) {
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
    order_.Flush();
    Place();
    HandOn();
}

} // namespace h265split
