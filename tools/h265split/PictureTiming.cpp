#include "PictureTiming.h"

#include "SampleData.h"
#include "SlicePocHeader.h"
#include "SyntaxError.h"

namespace h265split {

bool PictureTiming::Prepare(const h265tools::ParameterSets::Pair& pair) {
    // Read again only when the picture names other parameter sets than the last.
    if (pair.sps->version != spsVersion_) {
        spsVersion_ = 0;
        const NalUnitSpan nal = NalUnitOf(pair.sps->unit.data(), pair.sps->unit.size());
        sps_ = h265tools::SpsSyntax();
        h265tools::ReadSps(nal.data, nal.size, sps_);
        spsVersion_ = pair.sps->version;
    }
    if (pair.pps->version != ppsVersion_) {
        ppsVersion_ = 0;
        const NalUnitSpan nal = NalUnitOf(pair.pps->unit.data(), pair.pps->unit.size());
        pps_ = h265tools::PpsHead();
        h265tools::ReadPpsHead(nal.data, nal.size, pps_);
        ppsVersion_ = pair.pps->version;
    }
    return true;
}

void PictureTiming::ReadPicture(const h265tools::NalUnitView& unit, AccessUnit& au) {
    // A picture whose POC cannot be read is placed after the one before it.
    au.picOrderCntVal = last_ + 1;
    au.startsSequence = false;
    au.raslNotOutput = false;
    if (!au.parameterSets.sps || !au.parameterSets.pps)
        return;
    try {
        Prepare(au.parameterSets);
        const std::size_t h = static_cast<std::size_t>(unit.startCodeLength);
        h265tools::SlicePocHeader header;
        h265tools::ReadSlicePocHeader(unit.data + h, unit.size - h, pps_, sps_, header);
        au.picOrderCntVal = poc_.Next(header.nal_unit_type, header.temporal_id, header.slice_pic_order_cnt_lsb,
                                      sps_.log2_max_pic_order_cnt_lsb_minus4);
        au.startsSequence = poc_.StartedSequence();
        au.raslNotOutput = IsRasl(header.nal_unit_type) && poc_.NoRaslOutputFlag();
        au.reorderDepth = sps_.sps_max_num_reorder_pics[sps_.sps_max_sub_layers_minus1 <= 6 ? sps_.sps_max_sub_layers_minus1 : 6];
    } catch (const h265tools::SyntaxError& e) {
        if (!reported_)
            messages_.Say("slice segment at byte offset " + std::to_string(unit.offset) +
                          ": no picture order count (" + e.what() + "); placed after the picture before it");
        reported_ = true;
    }
    last_ = au.picOrderCntVal;
}

} // namespace h265split
