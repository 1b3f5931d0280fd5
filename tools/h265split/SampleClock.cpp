#include "SampleClock.h"

#include <algorithm>
#include <stdexcept>

namespace h265split {

const std::uint32_t SampleClock::kMaxFrameTicks;

SampleClock::SampleClock(std::uint32_t frameTicks, mp4::Fragmenter& fragmenter)
    : frameTicks_(std::min(std::max(frameTicks, 1u), kMaxFrameTicks)), fragmenter_(fragmenter) {}

void SampleClock::Order(const ClockPicture& picture) {
    h265tools::DecodedPicture decoded;
    decoded.id = slots_++;
    decoded.poc = picture.poc;
    decoded.startsSequence = picture.startsSequence;
    decoded.maxNumReorder = picture.reorder;
    order_.Add(decoded);
    TakeDecisions();
}

void SampleClock::TakeDecisions() {
    h265tools::OutputPosition out;
    while (order_.Take(out)) {
        // A skipped picture has no entry; a waiting one is found from the
        // front, within the bounded wait.
        for (Waiting& w : waiting_) {
            if (w.slot == out.id) {
                w.placed = true;
                w.outputIndex = static_cast<std::int64_t>(out.index);
                break;
            }
            if (w.slot > out.id)
                break;
        }
    }
}

void SampleClock::Add(mp4::SampleData& sample, const ClockPicture& picture) {
    waiting_.emplace_back();
    Waiting& w = waiting_.back();
    w.sample.swap(sample);
    w.sync = picture.sync;
    w.slot = slots_;
    Order(picture);
    HandOn(false);
}

void SampleClock::Skip(const ClockPicture& picture) {
    if (waiting_.empty())
        throw std::logic_error("a skipped picture without a written picture before it");
    ++waiting_.back().frames;
    Order(picture);
    HandOn(false);
}

void SampleClock::Flush() {
    order_.Flush();
    TakeDecisions();
    HandOn(true);
}

void SampleClock::HandOn(bool all) {
    // The last picture's duration grows with the pictures skipped after it
    // until another is written.
    while (!waiting_.empty() && waiting_.front().placed && (all || waiting_.size() > 1)) {
        Waiting& w = waiting_.front();
        mp4::SampleTimes times;
        times.decodeTime = w.slot * frameTicks_;
        times.duration = w.frames * frameTicks_;
        // Presentation time is the picture's index in output order times the
        // frame duration. trun version 1 stores it as an offset from the
        // decode time, negative for a picture shown before others decoded
        // ahead of it; the output order bounds how long a picture waits.
        const std::int64_t offset = (w.outputIndex - static_cast<std::int64_t>(w.slot)) * frameTicks_;
        times.compositionOffset =
            static_cast<std::int32_t>(std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, offset)));
        fragmenter_.Add(w.sample, times, w.sync);
        waiting_.pop_front();
    }
}

} // namespace h265split
