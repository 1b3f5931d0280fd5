#include "RecordingClock.h"

#include <cmath>

namespace h265split {

const std::uint32_t RecordingClock::kMaxFrameTicks;

TrackClock ChooseTrackClock(const h265tools::FrameRate& rate) {
    const std::uint32_t maxTicks = RecordingClock::kMaxFrameTicks;
    TrackClock clock;
    if (rate.numerator > 0 && rate.numerator <= 0xFFFFFFFFu && rate.denominator > 0 && rate.denominator <= maxTicks) {
        clock.timescale = static_cast<std::uint32_t>(rate.numerator);
        clock.sampleDuration = static_cast<std::uint32_t>(rate.denominator);
        return clock;
    }
    clock.timescale = 90000;
    const double ticks = std::floor(90000.0 / rate.PerSecond() + 0.5);
    clock.sampleDuration = !(ticks >= 1) ? 1u : ticks > maxTicks ? maxTicks : static_cast<std::uint32_t>(ticks);
    clock.approximated = true;
    return clock;
}

void RecordingClock::Start(const h265tools::FrameRate& rate) {
    started_ = true;
    rate_ = rate;
    track_ = ChooseTrackClock(rate);
}

std::uint32_t RecordingClock::Ticks(const h265tools::FrameRate& rate) const {
    if (rate.numerator == rate_.numerator && rate.denominator == rate_.denominator)
        return track_.sampleDuration;
    const double ticks = std::floor(static_cast<double>(track_.timescale) / rate.PerSecond() + 0.5);
    return !(ticks >= 1) ? 1u : ticks > kMaxFrameTicks ? kMaxFrameTicks : static_cast<std::uint32_t>(ticks);
}

} // namespace h265split
