// The picture order count of each picture (H.265 8.3.1), read from its first
// slice segment header with the SPS and PPS it refers to: what places a
// picture in output order in an MP4 track.
#ifndef H265SPLIT_PICTURE_TIMING_H
#define H265SPLIT_PICTURE_TIMING_H

#include <cstdint>

#include "AccessUnit.h"
#include "Messages.h"
#include "NalUnitReader.h"
#include "PictureOrderCount.h"
#include "PpsSyntax.h"
#include "SpsSyntax.h"

namespace h265split {

class PictureTiming {
public:
    explicit PictureTiming(Messages& messages) : messages_(messages) {}

    // For the first slice segment of `au`'s picture, after au.parameterSets
    // is set: fills au.picOrderCntVal and au.startsSequence.
    void ReadPicture(const h265tools::NalUnitView& unit, AccessUnit& au);
    // An end of sequence NAL unit: the next IRAP picture starts a sequence.
    void EndOfSequence() { poc_.EndOfSequence(); }

private:
    bool Prepare(const h265tools::ParameterSets::Pair& pair);

    Messages& messages_;
    h265tools::PictureOrderCount poc_;
    std::uint64_t spsVersion_ = 0; // of sps_, 0 when it holds none
    std::uint64_t ppsVersion_ = 0;
    h265tools::SpsSyntax sps_;
    h265tools::PpsHead pps_;
    std::int32_t last_ = 0;
    bool reported_ = false;
};

} // namespace h265split

#endif
