#include "WallClock.h"

#include <cmath>

#include "FrameRate.h"
#include "UtcTime.h"

namespace h265split {

const std::int64_t WallClock::kMaxDriftMillis;

namespace {

std::int64_t Millis(double seconds) {
    // A recording of more than 292 million years is not one.
    const double ms = std::floor(seconds * 1000.0 + 0.5);
    return ms > 9e15 ? 9000000000000000LL : ms < -9e15 ? -9000000000000000LL : static_cast<std::int64_t>(ms);
}

// Reports of a live anchor set again, before they are only counted.
const unsigned int kReportedReanchors = 10;

} // namespace

WallClock WallClock::Given(std::int64_t startMillis) {
    WallClock clock;
    clock.mode_ = Mode::kGiven;
    clock.anchored_ = true;
    clock.anchorMillis_ = startMillis;
    return clock;
}

WallClock WallClock::Live(Now now, Say say) {
    WallClock clock;
    clock.mode_ = Mode::kLive;
    clock.now_ = std::move(now);
    clock.say_ = std::move(say);
    return clock;
}

std::int64_t WallClock::At(double seconds) const {
    return anchored_ ? anchorMillis_ + Millis(seconds) : 0;
}

std::int64_t WallClock::AtSegmentStart(double seconds) {
    segmentStart_ = Anchor(seconds);
    return segmentStart_;
}

std::int64_t WallClock::Anchor(double seconds) {
    if (mode_ != Mode::kLive)
        return At(seconds);
    const bool sender = haveSender_;
    haveSender_ = false;
    const std::int64_t now = sender ? senderMillis_ : now_();
    if (!anchored_) {
        anchored_ = true;
        anchorMillis_ = now - Millis(seconds);
        return now;
    }
    const std::int64_t drift = now - At(seconds);
    if (drift > kMaxDriftMillis || drift < -kMaxDriftMillis) {
        anchorMillis_ = now - Millis(seconds);
        if (++reanchors_ <= kReportedReanchors && say_)
            say_(std::string(sender ? "the camera's clock is " : "the system clock is ") + h265tools::SecondsText(std::fabs(drift / 1000.0)) + " s " +
                 (drift > 0 ? "ahead of" : "behind") + " the stream's time at " + h265tools::UtcText(now) +
                 "; the recording's UTC times go on from " + (sender ? "the camera's clock" : "the system clock"));
    }
    return At(seconds);
}

} // namespace h265split
