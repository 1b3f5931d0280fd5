// Groups the samples of a recording into movie fragments in constant memory:
// a fragment closes after about a second of pictures or a few MiB, and is
// handed on as soon as every one of its pictures has its place in output
// order, which the reorder depth bounds. A segment is one or more fragments;
// it ends with all its pictures placed.
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

class Fragmenter {
public:
    Fragmenter(std::uint32_t sampleDuration, const FragmentLimits& limits);

    void SetConsumer(FragmentConsumer* consumer) { consumer_ = consumer; }

    // One picture's sample (4-byte length-prefixed NAL units), in decoding
    // order. `startsSequence`: an IRAP picture with NoRaslOutputFlag 1;
    // `reorder`: sps_max_num_reorder_pics of its SPS's highest sub-layer,
    // or any larger number.
    void Add(const std::vector<unsigned char>& sample, bool sync, std::int32_t picOrderCntVal, bool startsSequence,
             unsigned int reorder);
    // Closes the fragment being filled: the next sample starts a new one.
    void CloseFragment();
    // Places every waiting picture and hands on every fragment: the end of a
    // segment (the next starts with an IRAP picture that outputs them all) or
    // of the recording.
    void Flush();

    // Pictures given to Add so far.
    std::uint64_t pictures() const { return pictures_; }
    std::uint32_t sampleDuration() const { return sampleDuration_; }

private:
    struct Fragment {
        std::uint32_t sequenceNumber = 0;
        std::uint64_t firstPicture = 0; // OutputOrder's number of its first sample
        std::uint64_t baseDecodeTime = 0;
        std::vector<FragmentSample> samples;
        std::vector<unsigned char> payload;
        std::size_t undecided = 0;
        bool closed = false;
    };
    void Place();
    void HandOn();

    std::uint32_t sampleDuration_;
    FragmentLimits limits_;
    FragmentConsumer* consumer_ = nullptr;
    h265tools::OutputOrder order_;
    std::deque<Fragment> fragments_; // oldest first; only the last is open
    std::uint32_t nextSequenceNumber_ = 1;
    std::uint64_t pictures_ = 0;
};

} // namespace h265split

#endif
