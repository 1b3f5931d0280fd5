// video_parameter_set_rbsp( ), 7.3.2.1, up to the timing information.
#ifndef H265TOOLS_VPS_SYNTAX_H
#define H265TOOLS_VPS_SYNTAX_H

#include <cstddef>
#include <cstdint>

#include "ProfileTierLevelSyntax.h"

namespace h265tools {

struct VpsSyntax {
    unsigned vps_video_parameter_set_id = 0;
    bool vps_base_layer_internal_flag = false;
    bool vps_base_layer_available_flag = false;
    unsigned vps_max_layers_minus1 = 0;
    unsigned vps_max_sub_layers_minus1 = 0;
    bool vps_temporal_id_nesting_flag = false;
    unsigned vps_reserved_0xffff_16bits = 0;
    ProfileTierLevelSyntax profile_tier_level;
    bool vps_sub_layer_ordering_info_present_flag = false;
    // Every sub-layer, those not coded as the highest one.
    unsigned vps_max_dec_pic_buffering_minus1[7] = {};
    unsigned vps_max_num_reorder_pics[7] = {};
    std::uint32_t vps_max_latency_increase_plus1[7] = {};
    unsigned vps_max_layer_id = 0;
    unsigned vps_num_layer_sets_minus1 = 0;
    bool vps_timing_info_present_flag = false;
    std::uint32_t vps_num_units_in_tick = 0;
    std::uint32_t vps_time_scale = 0;
    bool vps_poc_proportional_to_timing_flag = false;
    std::uint32_t vps_num_ticks_poc_diff_one_minus1 = 0;
};

// As ReadSps, for a VPS NAL unit; reading stops after the timing information.
void ReadVps(const unsigned char* nal, std::size_t size, VpsSyntax& vps);

} // namespace h265tools

#endif
