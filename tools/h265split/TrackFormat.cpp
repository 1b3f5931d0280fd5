#include "TrackFormat.h"

#include "SampleData.h"

namespace h265split {

namespace {

NalUnitBytes Bytes(const std::vector<unsigned char>& annexB) {
    const NalUnitSpan nal = NalUnitOf(annexB.data(), annexB.size());
    return NalUnitBytes(nal.data, nal.data + nal.size);
}

} // namespace

HevcDecoderConfiguration DescribeConfiguration(const h265tools::SpsSyntax& sps, const h265tools::KeptVps* vps,
                                               const h265tools::KeptSps& keptSps,
                                               const std::vector<const h265tools::KeptPps*>& pps,
                                               const std::vector<unsigned char>& hdrSei) {
    HevcDecoderConfiguration c;
    const h265tools::ProfileTierLevelSyntax& ptl = sps.profile_tier_level;
    c.general_profile_space = ptl.general_profile_space;
    c.general_tier_flag = ptl.general_tier_flag ? 1u : 0u;
    c.general_profile_idc = ptl.general_profile_idc;
    c.general_profile_compatibility_flags = ptl.general_profile_compatibility_flags;
    c.general_constraint_indicator_flags = ptl.general_constraint_indicator_flags;
    c.general_level_idc = ptl.general_level_idc;
    if (sps.vui_parameters_present_flag && sps.vui.bitstream_restriction_flag)
        c.min_spatial_segmentation_idc = sps.vui.min_spatial_segmentation_idc;
    c.chroma_format_idc = sps.chroma_format_idc;
    c.bit_depth_luma_minus8 = sps.bit_depth_luma_minus8;
    c.bit_depth_chroma_minus8 = sps.bit_depth_chroma_minus8;
    c.numTemporalLayers = sps.sps_max_sub_layers_minus1 + 1u;
    c.temporalIdNested = sps.sps_temporal_id_nesting_flag;
    if (vps && !vps->unit.empty())
        c.vps.push_back(Bytes(vps->unit));
    c.sps.push_back(Bytes(keptSps.unit));
    for (const h265tools::KeptPps* p : pps)
        c.pps.push_back(Bytes(p->unit));
    if (!hdrSei.empty())
        c.prefixSei.push_back(Bytes(hdrSei));
    return c;
}

} // namespace h265split
