// Groups a track's samples into movie fragments in constant memory: a
// fragment closes after a number of samples or a few MiB and is handed on
// at once. Samples come in decoding order with their times decided; where
// those times come from (a frame rate and an output order, RTP timestamps,
// a wall clock) is the caller's business.
#ifndef MP4_FRAGMENTER_H
#define MP4_FRAGMENTER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "MediaFragment.h"
#include "SampleData.h"

namespace mp4 {

class FragmentConsumer {
public:
    virtual ~FragmentConsumer() = default;
    // The fragment's bytes, to be written one piece after another: moof with
    // the mdat header, then the mdat payload. They stay valid until the call
    // returns.
    virtual void TakeFragment(const std::vector<ByteSpan>& pieces, std::uint32_t samples) = 0;
};

struct FragmentLimits {
    std::uint32_t samples = 25;
    std::size_t bytes = 4u << 20;
};

// A sample's place on the track's timeline, in the track's ticks.
struct SampleTimes {
    std::uint64_t decodeTime = 0; // the samples of a fragment follow each other without gaps
    std::uint32_t duration = 0;   // to the next sample's decode time
    std::int32_t compositionOffset = 0;
};

class Fragmenter {
public:
    explicit Fragmenter(const FragmentLimits& limits) : limits_(limits) {}

    void SetConsumer(FragmentConsumer* consumer) { consumer_ = consumer; }

    // One sample, in decoding order; its bytes are taken over, and `sample`
    // is left empty.
    void Add(SampleData& sample, const SampleTimes& times, bool sync);
    // Hands on the fragment being filled: the next sample starts a new one.
    void Flush();
    // From the next fragment on, each starts with a 'prft' box: media time 0
    // of the track (of `timescale` ticks a second) is `utcAtZero()`
    // milliseconds after the epoch, asked as each fragment is handed on.
    using UtcAtZero = std::function<std::int64_t()>;
    void SetUtcReference(std::uint32_t timescale, UtcAtZero utcAtZero);

private:
    void HandOn();

    FragmentLimits limits_;
    FragmentConsumer* consumer_ = nullptr;
    std::uint32_t nextSequenceNumber_ = 1;
    std::uint64_t baseDecodeTime_ = 0;
    std::vector<FragmentSample> samples_;
    std::vector<SampleData> data_; // of samples_
    std::size_t payload_ = 0;      // their bytes
    std::vector<ByteSpan> pieces_;
    bool utc_ = false;
    std::uint32_t timescale_ = 1;
    UtcAtZero utcAtZero_;
    std::vector<unsigned char> prft_;
};

} // namespace mp4

#endif
