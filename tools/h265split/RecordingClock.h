// The timing stage: a recording's times are counted in ticks of one
// timescale, chosen at its first key picture, and each picture takes the
// ticks of its own frame duration in it. The index, the playlists and the
// MP4 samples all add up these same numbers, so a segment lasts as long in
// each of them. The times come from the frame rate today (SPS VUI, else VPS,
// --fps over both, else 25); nothing downstream knows that.
#ifndef H265SPLIT_RECORDING_CLOCK_H
#define H265SPLIT_RECORDING_CLOCK_H

#include <cstdint>

#include "FrameRate.h"

namespace h265split {

// The ticks of a recording: the frame rate's fraction when its frame
// duration fits a sample's 32-bit times with room for reordering, else 90 kHz
// ticks rounded to the nearest (a frame rate of a damaged VUI, such as
// 2306716037/3783118293).
struct TrackClock {
    std::uint32_t timescale = 25;
    std::uint32_t sampleDuration = 1;
    bool approximated = false;
};
TrackClock ChooseTrackClock(const h265tools::FrameRate& rate);

class RecordingClock {
public:
    // A frame lasts at most this many ticks, so that composition offsets of
    // the bounded wait for output order stay far inside 32 bits.
    static const std::uint32_t kMaxFrameTicks = 1u << 22;

    bool started() const { return started_; }
    // Chooses the timescale from the rate of the recording's first key picture.
    void Start(const h265tools::FrameRate& rate);
    const TrackClock& track() const { return track_; }
    const h265tools::FrameRate& rate() const { return rate_; }

    // The ticks a picture at `rate` takes: the clock's own frame at the
    // clock's rate, else the nearest count, 1 to kMaxFrameTicks.
    std::uint32_t Ticks(const h265tools::FrameRate& rate) const;
    double Seconds(std::uint64_t ticks) const { return static_cast<double>(ticks) / track_.timescale; }

private:
    bool started_ = false;
    h265tools::FrameRate rate_;
    TrackClock track_;
};

} // namespace h265split

#endif
