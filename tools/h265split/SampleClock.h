// The times of a recording's pictures as MP4 samples: every picture of the
// input takes its ticks of decoding time and, when a decoder of the whole
// input outputs it, as many of presentation time at its place in output
// order (C.5.2), also a picture that is not written (a RASL picture dropped
// where a segment starts): its decoding time goes to the sample before it,
// and the pictures after it are shown as late as in the input. A picture
// that a decoder decodes but does not output (PicOutputFlag 0) takes no time
// in either: its sample lasts 0 ticks, and it is given the presentation time
// of the next picture shown, which it never takes. A picture is
// handed on, in decoding order, once its output position and its duration
// are known, a bounded number of pictures later.
#ifndef H265SPLIT_SAMPLE_CLOCK_H
#define H265SPLIT_SAMPLE_CLOCK_H

#include <cstdint>
#include <deque>
#include <vector>

#include "Fragmenter.h"
#include "OutputOrder.h"

namespace h265split {

// One picture in decoding order, as the output order needs it.
struct ClockPicture {
    bool sync = false;
    std::int32_t poc = 0; // PicOrderCntVal
    // An IRAP picture with NoRaslOutputFlag 1 (or the first picture of a
    // segment, whose decoding starts there): the pictures before it are output.
    bool startsSequence = false;
    // sps_max_num_reorder_pics of its SPS's highest sub-layer, or any larger number.
    unsigned int reorder = 16;
    // Its frame in the track's ticks (RecordingClock), 1 to kMaxFrameTicks.
    std::uint32_t ticks = 1;
    bool output = true; // PicOutputFlag
};

class SampleClock {
public:
    explicit SampleClock(mp4::Fragmenter& fragmenter) : fragmenter_(fragmenter) {}

    // Before the first picture: the timeline starts at `ticks` (a resumed
    // recording's times run on from the earlier run's end).
    void StartAt(std::uint64_t ticks) { decodeTime_ = presentationTime_ = ticks; }
    // After Flush: the timeline goes on `ticks` later.
    void Advance(std::uint64_t ticks) {
        decodeTime_ += ticks;
        presentationTime_ += ticks;
    }
    // A written picture and its sample; `sample` is taken over.
    void Add(mp4::SampleData& sample, const ClockPicture& picture);
    // A picture of the input that is not written but that a decoder of the
    // whole input outputs. Needs a written picture before it.
    void Skip(const ClockPicture& picture);
    // Times every waiting picture (the next picture starts a new coded video
    // sequence, or none comes) and hands them on.
    void Flush();

    // Pictures shown out of the order of their picture order count after
    // waiting too long for their output position (a damaged one).
    std::uint64_t latePictures() const { return order_.latePictures(); }

private:
    struct Waiting {
        mp4::SampleData sample;
        bool sync = false;
        std::uint64_t slot = 0;       // in decoding order, skipped pictures included
        std::uint64_t decodeTime = 0; // in ticks
        std::uint64_t duration = 0;   // its own ticks and the skipped pictures' after it
        bool placed = false;
        std::uint64_t presentationTime = 0;
    };
    // A picture in output order whose position is not decided yet: its ticks.
    struct Unplaced {
        std::uint64_t slot;
        std::uint32_t ticks;
    };
    void Order(const ClockPicture& picture);
    void TakeDecisions();
    void HandOn(bool all);

    mp4::Fragmenter& fragmenter_;
    h265tools::OutputOrder order_;
    std::deque<Waiting> waiting_; // in decoding order
    std::deque<Unplaced> unplaced_;
    std::uint64_t slots_ = 0;
    std::uint64_t decodeTime_ = 0;       // of the next picture
    std::uint64_t presentationTime_ = 0; // of the next picture in output order
};

} // namespace h265split

#endif
