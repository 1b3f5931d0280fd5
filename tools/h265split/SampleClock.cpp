#include "SampleClock.h"

#include <algorithm>
#include <stdexcept>

namespace h265split {

void SampleClock::Order(const ClockPicture& picture) {
    h265tools::DecodedPicture decoded;
    decoded.id = slots_++;
    decoded.poc = picture.poc;
    decoded.startsSequence = picture.startsSequence;
    decoded.maxNumReorder = picture.reorder;
    decoded.output = picture.output;
    unplaced_.push_back(Unplaced{decoded.id, picture.ticks});
    decodeTime_ += picture.output ? picture.ticks : 0;
    order_.Add(decoded);
    TakeDecisions();
}

void SampleClock::TakeDecisions() {
    h265tools::OutputPosition out;
    while (order_.Take(out)) {
        // Presentation time runs in output order, each picture for its own
        // ticks. The undecided pictures are few: the output order bounds
        // how long a picture waits.
        std::uint64_t ticks = 0;
        for (auto u = unplaced_.begin(); u != unplaced_.end(); ++u) {
            if (u->slot == out.id) {
                ticks = u->ticks;
                unplaced_.erase(u);
                break;
            }
        }
        // A skipped picture has no entry; a waiting one is found from the
        // front, within the bounded wait.
        for (Waiting& w : waiting_) {
            if (w.slot == out.id) {
                w.placed = true;
                w.presentationTime = presentationTime_;
                break;
            }
            if (w.slot > out.id)
                break;
        }
        if (out.output)
            presentationTime_ += ticks;
    }
}

void SampleClock::Add(mp4::SampleData& sample, const ClockPicture& picture) {
    waiting_.emplace_back();
    Waiting& w = waiting_.back();
    w.sample.swap(sample);
    w.sync = picture.sync;
    w.slot = slots_;
    w.decodeTime = decodeTime_;
    w.duration = picture.output ? picture.ticks : 0;
    Order(picture);
    HandOn(false);
}

void SampleClock::Skip(const ClockPicture& picture) {
    if (waiting_.empty())
        throw std::logic_error("a skipped picture without a written picture before it");
    waiting_.back().duration += picture.ticks;
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
        times.decodeTime = w.decodeTime;
        times.duration = static_cast<std::uint32_t>(std::min<std::uint64_t>(w.duration, UINT32_MAX));
        // trun version 1 stores the presentation time as an offset from the
        // decode time, negative for a picture shown before others decoded
        // ahead of it; the output order bounds how long a picture waits.
        const std::int64_t offset = static_cast<std::int64_t>(w.presentationTime) - static_cast<std::int64_t>(w.decodeTime);
        times.compositionOffset =
            static_cast<std::int32_t>(std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, offset)));
        fragmenter_.Add(w.sample, times, w.sync);
        waiting_.pop_front();
    }
}

} // namespace h265split
