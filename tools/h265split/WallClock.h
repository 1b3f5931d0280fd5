// The UTC time of a recording's pictures. For a file, the user gives the time
// of its first picture (--start-time) and stream time runs on from there. For
// live input (a pipe, a FIFO, a device), the system clock when the first
// segment's key picture arrives anchors the recording once, and stream time
// runs on from there too: a step of the system clock does not bend the
// recording. Only when the two differ by more than a second at a segment's
// key picture (a stall, a gap, a clock set by hand) is the anchor set again,
// and that is said. Without either, pictures have no UTC time.
#ifndef H265SPLIT_WALL_CLOCK_H
#define H265SPLIT_WALL_CLOCK_H

#include <cstdint>
#include <functional>
#include <string>

namespace h265split {

class WallClock {
public:
    using Now = std::function<std::int64_t()>; // milliseconds since the epoch
    using Say = std::function<void(const std::string&)>;

    // No UTC time.
    WallClock() = default;
    // Pictures from the start time on.
    static WallClock Given(std::int64_t startMillis);
    // The system clock (`now`) at the first key picture, then stream time.
    static WallClock Live(Now now, Say say);

    bool known() const { return mode_ != Mode::kNone; }
    // The UTC time of the picture shown `seconds` of stream time after the
    // recording's start, asked when a segment starts there (its key picture
    // has just arrived). 0 when not known.
    std::int64_t AtSegmentStart(double seconds);
    // The UTC time of any other moment of stream time, on the same anchor.
    std::int64_t At(double seconds) const;
    // The UTC time of the open segment's first picture shown: at first its
    // key picture's, later than that by the leading pictures it drops.
    std::int64_t segmentStart() const { return segmentStart_; }
    void SegmentStartsAt(double seconds) { segmentStart_ = At(seconds); }
    // The UTC time of the key picture that arrives next, as its sender's
    // clock tells (a camera's RTCP sender reports): taken, for the next
    // segment start only, in place of the system clock.
    void UseSenderTime(std::int64_t millis) {
        senderMillis_ = millis;
        haveSender_ = true;
    }
    // How often a live anchor was set again.
    unsigned int reanchors() const { return reanchors_; }

    // The most the system clock may differ from stream time before the
    // anchor is set again.
    static const std::int64_t kMaxDriftMillis = 1000;

private:
    std::int64_t Anchor(double seconds);

    enum class Mode { kNone, kGiven, kLive };
    Mode mode_ = Mode::kNone;
    Now now_;
    Say say_;
    bool anchored_ = false;
    std::int64_t anchorMillis_ = 0; // UTC of stream time 0
    unsigned int reanchors_ = 0;
    std::int64_t segmentStart_ = 0;
    bool haveSender_ = false;
    std::int64_t senderMillis_ = 0;
};

} // namespace h265split

#endif
