// The times of a recording's pictures as MP4 samples: every picture of the
// input takes one frame of decoding time and, when a decoder of the whole
// input outputs it, one frame of presentation time at its place in output
// order (C.5.2), also a picture that is not written (a RASL picture dropped
// where a segment starts): its decoding time goes to the sample before it,
// and the pictures after it are shown as late as in the input. A picture is
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
};

class SampleClock {
public:
    // A frame lasts `frameTicks` ticks, at most kMaxFrameTicks, so that
    // composition offsets of the bounded wait stay far inside 32 bits.
    SampleClock(std::uint32_t frameTicks, mp4::Fragmenter& fragmenter);

    static const std::uint32_t kMaxFrameTicks = 1u << 22;

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
        std::uint64_t slot = 0;   // in decoding order, skipped pictures included
        std::uint32_t frames = 1; // its own and the skipped pictures' after it
        bool placed = false;
        std::int64_t outputIndex = 0;
    };
    void Order(const ClockPicture& picture);
    void TakeDecisions();
    void HandOn(bool all);

    std::uint32_t frameTicks_;
    mp4::Fragmenter& fragmenter_;
    h265tools::OutputOrder order_;
    std::deque<Waiting> waiting_; // in decoding order
    std::uint64_t slots_ = 0;
};

} // namespace h265split

#endif
