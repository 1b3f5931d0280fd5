// Groups the samples of a recording into movie fragments in constant memory:
// a fragment closes after about a second of pictures or a few MiB, and is
// handed on as soon as every one of its pictures has its place in output
// order, which the reorder depth bounds. A segment is one or more fragments;
// it ends with all its pictures placed.
//
// Times keep the input's timeline: every picture of the input occupies one
// frame of decoding time and, when a decoder of the whole input outputs it,
// one frame of presentation time, also a picture that is not written (a
// RASL picture dropped where a segment starts). Its decoding time goes to
// the sample before it, and the pictures after it are shown as late as in
// the input.
#ifndef H265SPLIT_FRAGMENTER_H
#define H265SPLIT_FRAGMENTER_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "MediaFragment.h"
#include "OutputOrder.h"

namespace h265split {

class FragmentConsumer {
public:
    virtual ~FragmentConsumer() = default;
    // moof with the mdat header, then the mdat payload.
    virtual void TakeFragment(const std::vector<unsigned char>& header, const std::vector<unsigned char>& payload,
                              std::uint32_t samples) = 0;
};

struct FragmentLimits {
    std::uint32_t samples = 25;
    std::size_t bytes = 4u << 20;
};

// One picture in decoding order, as the output order needs it.
struct FragmentPicture {
    bool sync = false;
    std::int32_t poc = 0; // PicOrderCntVal
    // An IRAP picture with NoRaslOutputFlag 1 (or the first picture of a
    // segment, whose decoding starts there): the pictures before it are output.
    bool startsSequence = false;
    // sps_max_num_reorder_pics of its SPS's highest sub-layer, or any larger number.
    unsigned int reorder = 16;
};

class Fragmenter {
public:
    // A frame lasts `sampleDuration` ticks, at most kMaxSampleDuration.
    Fragmenter(std::uint32_t sampleDuration, const FragmentLimits& limits);

    static const std::uint32_t kMaxSampleDuration = 1u << 22;

    void SetConsumer(FragmentConsumer* consumer) { consumer_ = consumer; }

    // One picture's sample (4-byte length-prefixed NAL units), in decoding order.
    void Add(const std::vector<unsigned char>& sample, const FragmentPicture& picture);
    // A picture of the input that is not written but that a decoder of the
    // whole input outputs: it keeps its frame of decoding and presentation
    // time. Needs a sample before it.
    void Skip(const FragmentPicture& picture);
    // Closes the fragment being filled: the next sample starts a new one.
    void CloseFragment();
    // Places every waiting picture and hands on every fragment: the end of a
    // segment (the next starts with an IRAP picture that outputs them all) or
    // of the recording.
    void Flush();

    // Pictures given to Add so far.
    std::uint64_t pictures() const { return pictures_; }
    std::uint32_t sampleDuration() const { return sampleDuration_; }
    // Pictures that waited so long for their output position that they were
    // shown out of the order of their picture order count (a damaged one).
    std::uint64_t latePictures() const { return order_.latePictures(); }

private:
    struct Fragment {
        std::uint32_t sequenceNumber = 0;
        std::uint64_t baseDecodeTime = 0;
        std::vector<FragmentSample> samples;
        std::vector<std::uint64_t> slots; // each sample's decoding slot, ascending
        std::vector<unsigned char> payload;
        std::size_t undecided = 0;
        bool closed = false;
    };
    void Order(const FragmentPicture& picture);
    void Place();
    void HandOn();

    std::uint32_t sampleDuration_;
    FragmentLimits limits_;
    FragmentConsumer* consumer_ = nullptr;
    h265tools::OutputOrder order_;
    std::deque<Fragment> fragments_; // oldest first; only the last is open
    std::uint32_t nextSequenceNumber_ = 1;
    std::uint64_t pictures_ = 0;
    std::uint64_t slots_ = 0; // decoding slots: pictures written and skipped
    // The last sample's duration grows with the pictures skipped after it:
    // its fragment waits for the next sample.
    bool lastDurationOpen_ = false;
};

} // namespace h265split

#endif
