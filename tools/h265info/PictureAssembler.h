// Groups the NAL units of a stream into pictures as they come: a picture
// begins at a slice segment with first_slice_segment_in_pic_flag 1 and holds
// every slice segment up to the next such one.
#ifndef H265INFO_PICTURE_ASSEMBLER_H
#define H265INFO_PICTURE_ASSEMBLER_H

#include <cstdint>
#include <functional>

#include "Inspection.h"

namespace h265info {

// Picture types on the chart: the indices of Summary::pictures, then one for
// pictures whose first slice segment gave no type.
const int kTypeI = 0;
const int kTypeP = 1;
const int kTypeB = 2;
const int kTypeUnknown = 3;
const int kPictureTypes = 4;

struct Picture {
    std::uint64_t index = 0;  // in decode order, from 0
    std::uint64_t offset = 0; // of its first slice segment's start code
    std::uint64_t bytes = 0;  // all its slice segments, start codes included
    int type = kTypeUnknown;
    bool key = false;      // its first slice segment is one of h265info's key pictures
    int keyNalType = -1;   // nal_unit_type of that segment
    bool parameterSets = false; // a VPS, SPS or PPS came since the picture before
    bool sei = false;           // an SEI came since the picture before, or a suffix SEI inside it
};

class PictureAssembler {
public:
    explicit PictureAssembler(std::function<void(const Picture&)> complete) : complete_(std::move(complete)) {}

    void Add(const UnitRecord& unit);
    // Hands over the last picture. Parameter sets or SEI after it are left
    // in TrailingParameterSets() and TrailingSei().
    void Finish();

    std::uint64_t Pictures() const { return count_; }
    bool TrailingParameterSets() const { return pendingParameterSets_; }
    bool TrailingSei() const { return pendingSei_; }

private:
    std::function<void(const Picture&)> complete_;
    Picture current_;
    bool open_ = false;
    std::uint64_t count_ = 0;
    bool pendingParameterSets_ = false;
    bool pendingSei_ = false;
};

} // namespace h265info

#endif
