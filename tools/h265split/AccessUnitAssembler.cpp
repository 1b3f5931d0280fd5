#include "AccessUnitAssembler.h"

namespace h265split {

namespace {

// The non-VCL types that, after a picture's VCL NAL units, begin the next
// access unit: AUD_NUT, VPS_NUT, SPS_NUT, PPS_NUT, PREFIX_SEI_NUT,
// RSV_NVCL41..RSV_NVCL44 and UNSPEC48..UNSPEC55. EOS_NUT, EOB_NUT, FD_NUT,
// SUFFIX_SEI_NUT and the other reserved and unspecified types stay with it.
bool BeginsAccessUnit(int nalUnitType) {
    return (nalUnitType >= h265tools::kVpsNut && nalUnitType <= h265tools::kAudNut) || nalUnitType == 39 ||
           (nalUnitType >= 41 && nalUnitType <= 44) || (nalUnitType >= 48 && nalUnitType <= 55);
}

} // namespace

bool AccessUnitAssembler::StartsNew(const UnitHeader& header) const {
    if (!sawVcl_)
        return false;
    if (h265tools::IsVcl(header.nalUnitType))
        return h265tools::IsSliceSegment(header.nalUnitType) && header.firstSliceSegment;
    return BeginsAccessUnit(header.nalUnitType);
}

void AccessUnitAssembler::Add(const h265tools::NalUnitView& unit, const UnitHeader& header) {
    UnitInAccessUnit entry;
    entry.begin = current_.bytes.size();
    entry.size = unit.size;
    entry.offset = unit.offset;
    entry.nalUnitType = header.nalUnitType;
    entry.firstSliceSegment = header.firstSliceSegment;
    current_.units.push_back(entry);
    current_.bytes.Append(unit);
    sawVcl_ = sawVcl_ || h265tools::IsVcl(header.nalUnitType);
}

} // namespace h265split
