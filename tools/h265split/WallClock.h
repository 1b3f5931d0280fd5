// The UTC time of a recording's pictures. For a file, the user gives the time
// of its first picture (--start-time) and stream time runs on from there.
//
// For live input (a camera, a pipe, a FIFO, a device) one reference clock
// says what time it is as each segment's key picture arrives: this machine's
// clock by default (the one a user keeps synchronised), or, when asked for,
// the camera's clock as its RTCP sender reports tell it. Stream time carries
// the recording from one segment to the next, so that consecutive segments'
// times follow each other by their durations; the difference between stream
// time and the reference (a camera's clock running fast or slow) is slewed
// out at most kMaxSlewPpm of the time that passed.
//
// A picture arrives later than it was taken, by a delay that a stalled
// network stretches but nothing shortens: against this machine's clock the
// difference is the least of those measured at the segment starts of the
// last kWindowSeconds of stream time, so that one late key picture moves
// nothing. A difference of more than kMaxStepMillis there, this machine's
// clock stepping against its monotonic clock, or the camera's clock (by its
// sender reports, which hold no delay) stepping is no drift: a new segment
// starts there with the reference's time, marked as a discontinuity. A camera
// clock that disagrees with this machine's by more than kMaxStepMillis is
// said once, with both times, and again when the difference changes.
#ifndef H265SPLIT_WALL_CLOCK_H
#define H265SPLIT_WALL_CLOCK_H

#include <cstdint>
#include <functional>
#include <deque>
#include <string>
#include <utility>

namespace h265split {

// Which clock a live recording's UTC times follow (--clock).
enum class ClockReference { kSystem, kCamera };

// When a picture arrived, by this machine's clock and its monotonic clock
// (milliseconds); both 0: now.
struct Arrival {
    std::int64_t utcMillis = 0;
    std::int64_t monotonicMillis = 0;
};

class WallClock {
public:
    using Now = std::function<std::int64_t()>; // milliseconds since the epoch
    using Say = std::function<void(const std::string&)>;

    // No UTC time.
    WallClock() = default;
    // Pictures from the start time on.
    static WallClock Given(std::int64_t startMillis);
    // Live input: `now` is this machine's clock, `monotonic` its monotonic one.
    static WallClock Live(Now now, Now monotonic, Say say, ClockReference reference = ClockReference::kSystem);

    bool known() const { return mode_ != Mode::kNone; }

    // A key picture `seconds` of stream time after the recording's start
    // arrives, `senderMillis` its UTC time by the camera's sender reports (0
    // when none came): whether the reference and stream time disagree there
    // by more than kMaxStepMillis, so that a segment must start at it.
    bool StepsAt(double seconds, const Arrival& arrival, std::int64_t senderMillis) const;
    // A segment starts at that key picture: its UTC time. The first one's,
    // and after a step one's, is the reference's time (`stepped` true);
    // else the time stream time gives, slewed toward the reference. A step
    // after a break (a loss, a new session, a jump) is not said: the break
    // was.
    std::int64_t AtSegmentStart(double seconds, const Arrival& arrival, std::int64_t senderMillis, bool afterBreak,
                                bool& stepped);
    std::int64_t AtSegmentStart(double seconds) {
        bool stepped = false;
        return AtSegmentStart(seconds, Arrival(), 0, false, stepped);
    }
    // The UTC time of any other moment of stream time, on the same anchor.
    std::int64_t At(double seconds) const;
    // The UTC time of the open segment's first picture shown: at first its
    // key picture's, later than that by the leading pictures it drops.
    std::int64_t segmentStart() const { return segmentStart_; }
    void SegmentStartsAt(double seconds) { segmentStart_ = At(seconds); }

    // A difference from the reference beyond this is a step, not drift.
    static const std::int64_t kMaxStepMillis = 1000;
    // Drift is slewed out at most this many millionths of the time passed.
    static const std::int64_t kMaxSlewPpm = 500;
    // The stream time over which the least difference from this machine's
    // clock is taken.
    static const int kWindowSeconds = 10;

private:
    // The arrival, read now when not given.
    Arrival Complete(const Arrival& arrival) const;
    bool FollowsCamera(std::int64_t senderMillis) const {
        return reference_ == ClockReference::kCamera && senderMillis != 0;
    }
    // The reference's difference from stream time at the key picture, and
    // whether it is a step.
    std::int64_t Difference(double seconds, const Arrival& arrival, std::int64_t senderMillis) const;
    bool IsStep(std::int64_t difference, const Arrival& arrival, std::int64_t senderMillis) const;
    // Says a camera clock that disagrees with this machine's.
    void CompareCameraClock(std::int64_t senderMillis, std::int64_t systemMillis);

    enum class Mode { kNone, kGiven, kLive };
    Mode mode_ = Mode::kNone;
    Now now_;
    Now monotonic_;
    Say say_;
    ClockReference reference_ = ClockReference::kSystem;
    bool anchored_ = false;
    // UTC of stream time 0, in milliseconds; fractional, so that slewing by
    // less than a millisecond per segment adds up.
    double anchorMillis_ = 0;
    double lastStartSeconds_ = 0; // stream time of the last segment start
    // This machine's clock less its monotonic clock at the last segment start.
    std::int64_t clockOffset_ = 0;
    // Differences from this machine's clock at the segment starts of the
    // window: (stream seconds, milliseconds), oldest first.
    std::deque<std::pair<double, std::int64_t>> window_;
    unsigned int saidSteps_ = 0;
    std::int64_t segmentStart_ = 0;
    // The camera clock's difference from this machine's as last said.
    bool saidCameraOffset_ = false;
    std::int64_t saidCameraOffsetMillis_ = 0;
};

} // namespace h265split

#endif
