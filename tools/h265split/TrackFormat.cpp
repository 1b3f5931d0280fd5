#include "TrackFormat.h"

#include "SampleAspectRatio.h"
#include "SampleData.h"

namespace h265split {

namespace {

mp4::NalUnitBytes Bytes(const std::vector<unsigned char>& annexB) {
    const mp4::NalUnitSpan nal = mp4::NalUnitOf(annexB.data(), annexB.size());
    return mp4::NalUnitBytes(nal.data, nal.data + nal.size);
}

unsigned int GreatestCommonDivisor(unsigned int a, unsigned int b) {
    while (b != 0) {
        const unsigned int r = a % b;
        a = b;
        b = r;
    }
    return a;
}

const unsigned int kUnspecified = 2; // colour_primaries, transfer_characteristics, matrix_coeffs (E.3.1)

} // namespace

ParameterSetUnits GatherParameterSets(const h265tools::ParameterSets& sets, const h265tools::KeptVps* vps,
                                      const h265tools::KeptSps& sps, const h265tools::KeptPps& pps) {
    ParameterSetUnits units;
    if (vps)
        units.vps.push_back(&vps->unit);
    units.sps.push_back(&sps.unit);
    units.pps.push_back(&pps.unit);
    for (unsigned int id = 0; id < 16; ++id) {
        const h265tools::KeptVps* v = sets.Vps(id);
        if (v && v != vps && !v->unit.empty())
            units.vps.push_back(&v->unit);
        const h265tools::KeptSps* s = sets.Sps(id);
        if (s && s != &sps)
            units.sps.push_back(&s->unit);
    }
    for (unsigned int id = 0; id < h265tools::ParameterSets::kPpsIds; ++id) {
        const h265tools::ParameterSets::Pair pair = sets.ForPps(id);
        if (pair.pps && pair.pps != &pps && pair.pps->version > pair.sps->version)
            units.pps.push_back(&pair.pps->unit);
    }
    return units;
}

mp4::HevcDecoderConfiguration DescribeConfiguration(const h265tools::SpsSyntax& sps, const ParameterSetUnits& units,
                                               const std::vector<unsigned char>& hdrSei) {
    mp4::HevcDecoderConfiguration c;
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
    for (const std::vector<unsigned char>* unit : units.vps)
        c.vps.push_back(Bytes(*unit));
    for (const std::vector<unsigned char>* unit : units.sps)
        c.sps.push_back(Bytes(*unit));
    for (const std::vector<unsigned char>* unit : units.pps)
        c.pps.push_back(Bytes(*unit));
    if (!hdrSei.empty())
        c.prefixSei.push_back(Bytes(hdrSei));
    return c;
}

mp4::VisualDescription DescribeVisual(const h265tools::SpsSyntax& sps, const h265tools::HdrSei& hdr) {
    mp4::VisualDescription d;
    d.hdr = hdr;
    if (!sps.vui_parameters_present_flag)
        return d;
    const h265tools::VuiParameters& vui = sps.vui;
    // Each is 2 (unspecified), the flag 0, where the VUI does not code it (E.3.1).
    d.video_full_range_flag = vui.video_full_range_flag;
    d.colour_primaries = vui.colour_primaries;
    d.transfer_characteristics = vui.transfer_characteristics;
    d.matrix_coeffs = vui.matrix_coeffs;
    // As ffmpeg's mp4 muxer does, colr only for a description that names
    // all three: one with an unspecified member, or none at all (the full
    // range flag alone), is left to the SPS in hvcC.
    d.hasColr = vui.video_signal_type_present_flag && vui.colour_description_present_flag &&
                d.colour_primaries != kUnspecified && d.transfer_characteristics != kUnspecified &&
                d.matrix_coeffs != kUnspecified;
    unsigned int width = 0;
    unsigned int height = 0;
    if (h265tools::SampleAspectRatio(vui, width, height)) {
        // pasp holds the ratio in lowest terms, also 1:1 (as ffmpeg writes it).
        const unsigned int divisor = GreatestCommonDivisor(width, height);
        d.hSpacing = width / divisor;
        d.vSpacing = height / divisor;
    }
    return d;
}

} // namespace h265split
