// seq_parameter_set_rbsp( ), 7.3.2.2.1: the whole SPS of the base layer.
#ifndef H265TOOLS_SPS_SYNTAX_H
#define H265TOOLS_SPS_SYNTAX_H

#include <cstddef>
#include <cstdint>

#include "ProfileTierLevelSyntax.h"
#include "ScalingListData.h"
#include "ShortTermRefPicSet.h"
#include "VuiParameters.h"

namespace h265tools {

struct SpsSyntax {
    static const unsigned kMaxShortTermRefPicSets = 64;
    static const unsigned kMaxLongTermRefPicsSps = 32;

    unsigned sps_video_parameter_set_id = 0;
    unsigned sps_max_sub_layers_minus1 = 0;
    bool sps_temporal_id_nesting_flag = false;
    ProfileTierLevelSyntax profile_tier_level;
    unsigned sps_seq_parameter_set_id = 0;
    unsigned chroma_format_idc = 0;
    bool separate_colour_plane_flag = false;
    std::uint32_t pic_width_in_luma_samples = 0;
    std::uint32_t pic_height_in_luma_samples = 0;
    bool conformance_window_flag = false;
    std::uint32_t conf_win_left_offset = 0;
    std::uint32_t conf_win_right_offset = 0;
    std::uint32_t conf_win_top_offset = 0;
    std::uint32_t conf_win_bottom_offset = 0;
    unsigned bit_depth_luma_minus8 = 0;
    unsigned bit_depth_chroma_minus8 = 0;
    unsigned log2_max_pic_order_cnt_lsb_minus4 = 0;
    bool sps_sub_layer_ordering_info_present_flag = false;
    // Every sub-layer 0 .. sps_max_sub_layers_minus1; those not coded take the
    // values of the highest one (7.4.3.2.1).
    unsigned sps_max_dec_pic_buffering_minus1[7] = {};
    unsigned sps_max_num_reorder_pics[7] = {};
    std::uint32_t sps_max_latency_increase_plus1[7] = {};
    unsigned log2_min_luma_coding_block_size_minus3 = 0;
    unsigned log2_diff_max_min_luma_coding_block_size = 0;
    unsigned log2_min_luma_transform_block_size_minus2 = 0;
    unsigned log2_diff_max_min_luma_transform_block_size = 0;
    unsigned max_transform_hierarchy_depth_inter = 0;
    unsigned max_transform_hierarchy_depth_intra = 0;
    bool scaling_list_enabled_flag = false;
    bool sps_scaling_list_data_present_flag = false;
    ScalingListData scaling_list_data;
    bool amp_enabled_flag = false;
    bool sample_adaptive_offset_enabled_flag = false;
    bool pcm_enabled_flag = false;
    unsigned pcm_sample_bit_depth_luma_minus1 = 0;
    unsigned pcm_sample_bit_depth_chroma_minus1 = 0;
    unsigned log2_min_pcm_luma_coding_block_size_minus3 = 0;
    unsigned log2_diff_max_min_pcm_luma_coding_block_size = 0;
    bool pcm_loop_filter_disabled_flag = false;
    unsigned num_short_term_ref_pic_sets = 0;
    ShortTermRefPicSet st_ref_pic_set[kMaxShortTermRefPicSets];
    bool long_term_ref_pics_present_flag = false;
    unsigned num_long_term_ref_pics_sps = 0;
    std::uint32_t lt_ref_pic_poc_lsb_sps[kMaxLongTermRefPicsSps] = {};
    bool used_by_curr_pic_lt_sps_flag[kMaxLongTermRefPicsSps] = {};
    bool sps_temporal_mvp_enabled_flag = false;
    bool strong_intra_smoothing_enabled_flag = false;
    bool vui_parameters_present_flag = false;
    VuiParameters vui;
    bool sps_extension_present_flag = false;
    bool sps_range_extension_flag = false;
    bool sps_multilayer_extension_flag = false;
    bool sps_3d_extension_flag = false;
    bool sps_scc_extension_flag = false;
    unsigned sps_extension_4bits = 0;
    // The extensions themselves and rbsp_trailing_bits( ) are not read.

    // 7.4.3.2.1: CtbLog2SizeY and PicSizeInCtbsY.
    unsigned CtbLog2SizeY() const;
    std::uint64_t PicSizeInCtbsY() const;
};

// `nal` points at the NAL unit header of an SPS NAL unit of `size` bytes
// (start code excluded). Throws SyntaxError naming the element when the unit
// ends early or an element is out of its range; `sps` then holds what was
// read before it.
void ReadSps(const unsigned char* nal, std::size_t size, SpsSyntax& sps);

} // namespace h265tools

#endif
