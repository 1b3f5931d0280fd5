// The 90 kHz time each of a camera's access units is given. Pictures are not
// sampled at one time (RFC 7798 4.1: the RTP timestamp is the sampling time
// of the picture): a camera whose timestamps stand still gives its pictures
// the times they arrive at, from the last one on, until its timestamps move
// again; from there they go on from the arrival times without a jump. A few
// units at one time may be one picture's, cut by marker bits (parameter
// sets, SEI), and are let be.
#ifndef H265SPLIT_CAMERA_TIMESTAMPS_H
#define H265SPLIT_CAMERA_TIMESTAMPS_H

#include <cstdint>

namespace h265split {

class CameraTimestamps {
public:
    // Access units in a row at one RTP time beyond which its timestamps are
    // taken to stand still.
    static const unsigned kStandingUnits = 3;

    // The time of the next access unit in decoding order: `timestamp` as the
    // camera gave it, `arrival` when it came (90 kHz of a monotonic clock),
    // `usual` the duration pictures had. `began`: arrival times are taken
    // from this one on.
    std::int64_t Give(std::int64_t timestamp, std::int64_t arrival, std::uint32_t usual, bool& began);
    // A new session: its timestamps start afresh.
    void Restart() { *this = CameraTimestamps(); }

private:
    bool haveLast_ = false;
    std::int64_t last_ = 0;      // as the camera gave it
    unsigned standing_ = 0;      // access units in a row at last_, less one
    std::int64_t lastGiven_ = 0; // as given on
    bool arrivalTimes_ = false;
    std::int64_t arrivalBase_ = 0; // arrival ticks to given ones while they stand
    std::int64_t shift_ = 0;       // camera ticks to given ones after they stood
};

} // namespace h265split

#endif
