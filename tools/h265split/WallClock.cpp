#include "WallClock.h"

#include <algorithm>
#include <cmath>

#include "FrameRate.h"
#include "UtcTime.h"

namespace h265split {

const std::int64_t WallClock::kMaxStepMillis;
const std::int64_t WallClock::kMaxSlewPpm;
const int WallClock::kWindowSeconds;

namespace {

std::int64_t Millis(double ms) {
    // A recording of more than 292 million years is not one.
    const double rounded = std::floor(ms + 0.5);
    return rounded > 9e15 ? 9000000000000000LL : rounded < -9e15 ? -9000000000000000LL : static_cast<std::int64_t>(rounded);
}

// Steps said, before they are only counted.
const unsigned int kReportedSteps = 10;

std::string Apart(std::int64_t millis) {
    return h265tools::SecondsText(std::fabs(static_cast<double>(millis) / 1000.0)) + " s " +
           (millis > 0 ? "ahead of" : "behind");
}

} // namespace

WallClock WallClock::Given(std::int64_t startMillis) {
    WallClock clock;
    clock.mode_ = Mode::kGiven;
    clock.anchored_ = true;
    clock.anchorMillis_ = static_cast<double>(startMillis);
    return clock;
}

WallClock WallClock::Live(Now now, Now monotonic, Say say, ClockReference reference) {
    WallClock clock;
    clock.mode_ = Mode::kLive;
    clock.now_ = std::move(now);
    clock.monotonic_ = std::move(monotonic);
    clock.say_ = std::move(say);
    clock.reference_ = reference;
    return clock;
}

std::int64_t WallClock::At(double seconds) const {
    return anchored_ ? Millis(anchorMillis_ + seconds * 1000.0) : 0;
}

Arrival WallClock::Complete(const Arrival& arrival) const {
    if (arrival.utcMillis != 0 || arrival.monotonicMillis != 0)
        return arrival;
    Arrival now;
    now.utcMillis = now_();
    now.monotonicMillis = monotonic_();
    return now;
}

std::int64_t WallClock::Difference(double seconds, const Arrival& arrival, std::int64_t senderMillis) const {
    if (FollowsCamera(senderMillis))
        return senderMillis - At(seconds);
    // The least delay of the window: the arrivals as offsets of stream time,
    // which the anchor's slewing does not move.
    double least = static_cast<double>(arrival.utcMillis) - seconds * 1000.0;
    for (const std::pair<double, std::int64_t>& start : window_)
        if (start.first >= seconds - kWindowSeconds)
            least = std::min(least, static_cast<double>(start.second));
    return Millis(least - anchorMillis_);
}

bool WallClock::IsStep(std::int64_t difference, const Arrival& arrival, std::int64_t senderMillis) const {
    if (difference > kMaxStepMillis || difference < -kMaxStepMillis)
        return true;
    if (FollowsCamera(senderMillis))
        return false;
    const std::int64_t offset = arrival.utcMillis - arrival.monotonicMillis;
    return offset - clockOffset_ > kMaxStepMillis || offset - clockOffset_ < -kMaxStepMillis;
}

bool WallClock::StepsAt(double seconds, const Arrival& arrival, std::int64_t senderMillis) const {
    if (mode_ != Mode::kLive || !anchored_)
        return false;
    const Arrival at = Complete(arrival);
    return IsStep(Difference(seconds, at, senderMillis), at, senderMillis);
}

void WallClock::CompareCameraClock(std::int64_t senderMillis, std::int64_t systemMillis) {
    if (senderMillis == 0 || !say_)
        return;
    const std::int64_t offset = senderMillis - systemMillis;
    const bool off = offset > kMaxStepMillis || offset < -kMaxStepMillis;
    if (!off && !saidCameraOffset_)
        return;
    if (saidCameraOffset_ && std::llabs(offset - saidCameraOffsetMillis_) <= kMaxStepMillis)
        return;
    saidCameraOffset_ = off;
    saidCameraOffsetMillis_ = offset;
    if (!off) {
        say_("the camera's clock agrees with this machine's again (" + h265tools::UtcText(senderMillis) + ")");
        return;
    }
    say_("the camera's clock is " + Apart(offset) + " this machine's (camera " + h265tools::UtcText(senderMillis) +
         ", this machine " + h265tools::UtcText(systemMillis) + "); the recording's times follow " +
         (reference_ == ClockReference::kCamera ? "the camera's clock (--clock camera)"
                                                : "this machine's clock (--clock camera follows the camera's)"));
}

std::int64_t WallClock::AtSegmentStart(double seconds, const Arrival& arrival, std::int64_t senderMillis,
                                       bool afterBreak, bool& stepped) {
    stepped = false;
    if (mode_ != Mode::kLive) {
        segmentStart_ = At(seconds);
        return segmentStart_;
    }
    const Arrival at = Complete(arrival);
    const bool camera = FollowsCamera(senderMillis);
    const std::int64_t reference = camera ? senderMillis : at.utcMillis;
    const double elapsed = seconds - lastStartSeconds_;
    lastStartSeconds_ = seconds;
    // The delays before a break say nothing of those after it.
    if (afterBreak)
        window_.clear();
    const std::int64_t difference = anchored_ ? Difference(seconds, at, senderMillis) : 0;
    if (!anchored_ || IsStep(difference, at, senderMillis)) {
        // After a break the time of what was lost stays in stream time, so a
        // difference within a second is drift there too: the segment does
        // not overlap the one before by the jitter of its key picture.
        if (anchored_) {
            stepped = true;
            // A camera away or a jump of its timestamps was said as it came.
            if (!afterBreak && ++saidSteps_ <= kReportedSteps && say_)
                say_(std::string(camera ? "the camera's clock" : "this machine's clock") + " and the stream's time " +
                     "part by " + h265tools::SecondsText(std::fabs(static_cast<double>(difference)) / 1000.0) +
                     " s at " + h265tools::UtcText(reference) +
                     "; a new segment starts there with that time, after #EXT-X-DISCONTINUITY");
        }
        anchored_ = true;
        anchorMillis_ = static_cast<double>(reference) - seconds * 1000.0;
        window_.clear();
    } else {
        // Drift: the anchor moves toward the reference by at most
        // kMaxSlewPpm of the stream time since the last segment started.
        const double most = std::max(0.0, elapsed) * 1000.0 * static_cast<double>(kMaxSlewPpm) / 1e6;
        anchorMillis_ += std::max(-most, std::min(most, static_cast<double>(difference)));
    }
    while (!window_.empty() && window_.front().first < seconds - kWindowSeconds)
        window_.pop_front();
    window_.push_back(std::make_pair(seconds, Millis(static_cast<double>(at.utcMillis) - seconds * 1000.0)));
    clockOffset_ = at.utcMillis - at.monotonicMillis;
    segmentStart_ = At(seconds);
    // Against this machine's time of the picture, which holds no delay of
    // its arrival (unless the camera's clock is the one followed).
    CompareCameraClock(senderMillis, camera ? at.utcMillis : segmentStart_);
    return segmentStart_;
}

} // namespace h265split
