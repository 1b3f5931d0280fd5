#include "TrackFormat.h"

#include <cmath>

#include "SampleData.h"
#include "SyntaxError.h"
#include "VpsSyntax.h"

namespace h265split {

namespace {

std::uint32_t Gcd(std::uint32_t a, std::uint32_t b) {
    while (b != 0) {
        const std::uint32_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

FrameRate Reduced(std::uint32_t timescale, std::uint32_t duration, const char* source) {
    const std::uint32_t g = Gcd(timescale, duration);
    FrameRate rate;
    rate.timescale = timescale / g;
    rate.duration = duration / g;
    rate.source = source;
    return rate;
}

NalUnitBytes Bytes(const std::vector<unsigned char>& annexB) {
    const NalUnitSpan nal = NalUnitOf(annexB.data(), annexB.size());
    return NalUnitBytes(nal.data, nal.data + nal.size);
}

} // namespace

FrameRate FindFrameRate(const h265tools::SpsSyntax& sps, const h265tools::KeptVps* vps, double fps) {
    // E.3.1: a picture lasts num_units_in_tick ticks of a time_scale Hz clock
    // (for field_seq_flag 1, a field).
    const h265tools::VuiParameters& vui = sps.vui;
    if (sps.vui_parameters_present_flag && vui.vui_timing_info_present_flag && vui.vui_num_units_in_tick > 0 &&
        vui.vui_time_scale > 0)
        return Reduced(vui.vui_time_scale, vui.vui_num_units_in_tick, "SPS VUI");
    if (vps && !vps->unit.empty()) {
        try {
            h265tools::VpsSyntax syntax;
            const NalUnitSpan nal = NalUnitOf(vps->unit.data(), vps->unit.size());
            h265tools::ReadVps(nal.data, nal.size, syntax);
            if (syntax.vps_timing_info_present_flag && syntax.vps_num_units_in_tick > 0 && syntax.vps_time_scale > 0)
                return Reduced(syntax.vps_time_scale, syntax.vps_num_units_in_tick, "VPS");
        } catch (const h265tools::SyntaxError&) {
            // A VPS that cannot be read gives no rate; the next source does.
        }
    }
    if (fps > 0) {
        // --fps as thousandths of a picture: 29.97 is 29970/1000.
        const double ticks = std::floor(fps * 1000.0 + 0.5);
        if (ticks >= 1 && ticks <= 4e9)
            return Reduced(static_cast<std::uint32_t>(ticks), 1000, "--fps");
    }
    return Reduced(25, 1, "not in the stream, 25 assumed");
}

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
