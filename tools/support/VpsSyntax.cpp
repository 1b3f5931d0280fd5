#include "VpsSyntax.h"

namespace h265tools {

// 7.3.2.1 Video parameter set RBSP syntax, up to vps_num_ticks_poc_diff_one_minus1
void ReadVps(const unsigned char* nal, std::size_t size, VpsSyntax& vps) {
    RbspBits bits(nal, size);
    vps.vps_video_parameter_set_id = bits.u(4, "vps_video_parameter_set_id");                 // u(4)
    vps.vps_base_layer_internal_flag = bits.flag("vps_base_layer_internal_flag");             // u(1)
    vps.vps_base_layer_available_flag = bits.flag("vps_base_layer_available_flag");           // u(1)
    vps.vps_max_layers_minus1 = bits.u(6, "vps_max_layers_minus1");                           // u(6)
    vps.vps_max_sub_layers_minus1 = bits.u(3, "vps_max_sub_layers_minus1");                   // u(3)
    CheckAtMost("vps_max_sub_layers_minus1", vps.vps_max_sub_layers_minus1, 6);
    vps.vps_temporal_id_nesting_flag = bits.flag("vps_temporal_id_nesting_flag");             // u(1)
    vps.vps_reserved_0xffff_16bits = bits.u(16, "vps_reserved_0xffff_16bits");                // u(16)
    ReadProfileTierLevel(bits, true, vps.vps_max_sub_layers_minus1, vps.profile_tier_level);
    vps.vps_sub_layer_ordering_info_present_flag = bits.flag("vps_sub_layer_ordering_info_present_flag"); // u(1)
    const unsigned highest = vps.vps_max_sub_layers_minus1;
    for (unsigned i = vps.vps_sub_layer_ordering_info_present_flag ? 0 : highest; i <= highest; i++) {
        vps.vps_max_dec_pic_buffering_minus1[i] = bits.ue("vps_max_dec_pic_buffering_minus1"); // ue(v)
        vps.vps_max_num_reorder_pics[i] = bits.ue("vps_max_num_reorder_pics");                 // ue(v)
        vps.vps_max_latency_increase_plus1[i] = bits.ue("vps_max_latency_increase_plus1");     // ue(v)
    }
    // 7.4.3.1: sub-layers not coded take the highest one's values.
    for (unsigned i = 0; i < 7; i++) {
        const bool above = i > highest;
        const bool inferred = !vps.vps_sub_layer_ordering_info_present_flag && i < highest;
        if (above || inferred) {
            vps.vps_max_dec_pic_buffering_minus1[i] = above ? 0 : vps.vps_max_dec_pic_buffering_minus1[highest];
            vps.vps_max_num_reorder_pics[i] = above ? 0 : vps.vps_max_num_reorder_pics[highest];
            vps.vps_max_latency_increase_plus1[i] = above ? 0 : vps.vps_max_latency_increase_plus1[highest];
        }
    }
    vps.vps_max_layer_id = bits.u(6, "vps_max_layer_id");                                     // u(6)
    vps.vps_num_layer_sets_minus1 = bits.ue("vps_num_layer_sets_minus1");                     // ue(v)
    CheckAtMost("vps_num_layer_sets_minus1", vps.vps_num_layer_sets_minus1, 1023);
    // layer_id_included_flag[ i ][ j ] u(1) for i = 1 .. vps_num_layer_sets_minus1, j = 0 .. vps_max_layer_id
    const std::uint64_t layerFlags =
        std::uint64_t(vps.vps_num_layer_sets_minus1) * (std::uint64_t(vps.vps_max_layer_id) + 1);
    bits.Skip(layerFlags, "layer_id_included_flag");
    vps.vps_timing_info_present_flag = bits.flag("vps_timing_info_present_flag");             // u(1)
    vps.vps_num_units_in_tick = vps.vps_time_scale = vps.vps_num_ticks_poc_diff_one_minus1 = 0;
    vps.vps_poc_proportional_to_timing_flag = false;
    if (vps.vps_timing_info_present_flag) {
        vps.vps_num_units_in_tick = bits.u(32, "vps_num_units_in_tick");                      // u(32)
        vps.vps_time_scale = bits.u(32, "vps_time_scale");                                    // u(32)
        vps.vps_poc_proportional_to_timing_flag = bits.flag("vps_poc_proportional_to_timing_flag"); // u(1)
        if (vps.vps_poc_proportional_to_timing_flag)
            vps.vps_num_ticks_poc_diff_one_minus1 = bits.ue("vps_num_ticks_poc_diff_one_minus1"); // ue(v)
    }
}

} // namespace h265tools
