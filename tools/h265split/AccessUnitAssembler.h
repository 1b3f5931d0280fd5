// Gathers NAL units into access units by the rules of H.265 7.4.2.4.4.
#ifndef H265SPLIT_ACCESS_UNIT_ASSEMBLER_H
#define H265SPLIT_ACCESS_UNIT_ASSEMBLER_H

#include "AccessUnit.h"
#include "NalUnitReader.h"

namespace h265split {

// nal_unit_type and, for a slice segment, first_slice_segment_in_pic_flag:
// the first bit of its payload.
struct UnitHeader {
    int nalUnitType = 0;
    bool firstSliceSegment = false;
};

class AccessUnitAssembler {
public:
    // True when the unit begins a new access unit: it is the first slice
    // segment of a picture, or an access unit delimiter, VPS, SPS, PPS, prefix
    // SEI, or a NAL unit of type 41..44 or 48..55, after the last VCL NAL unit
    // of the current access unit's picture. Asked before Add().
    bool StartsNew(const UnitHeader& header) const;

    void Add(const h265tools::NalUnitView& unit, const UnitHeader& header);

    AccessUnit& Current() { return current_; }
    bool Empty() const { return current_.units.empty(); }
    void Clear() {
        current_.Clear();
        sawVcl_ = false;
    }

private:
    AccessUnit current_;
    bool sawVcl_ = false;
};

} // namespace h265split

#endif
