#include "SpsSyntax.h"

namespace h265tools {

namespace {

// 7.4.3.2.1: sub-layers below the highest that sps_sub_layer_ordering_info_present_flag
// 0 leaves uncoded take the highest one's values.
template <typename T> void FillFromHighest(T (&values)[7], unsigned highest) {
    for (unsigned i = 0; i < highest; i++)
        values[i] = values[highest];
}

} // namespace

unsigned SpsSyntax::CtbLog2SizeY() const {
    return log2_min_luma_coding_block_size_minus3 + 3 + log2_diff_max_min_luma_coding_block_size;
}

std::uint64_t SpsSyntax::PicSizeInCtbsY() const {
    // 7-10 .. 7-19; the sizes are 32-bit values, the product may need 64 bits.
    const std::uint64_t ctbSize = std::uint64_t(1) << CtbLog2SizeY();
    const std::uint64_t widthInCtbs = (std::uint64_t(pic_width_in_luma_samples) + ctbSize - 1) / ctbSize;
    const std::uint64_t heightInCtbs = (std::uint64_t(pic_height_in_luma_samples) + ctbSize - 1) / ctbSize;
    return widthInCtbs * heightInCtbs;
}

// 7.3.2.2.1 General sequence parameter set RBSP syntax
void ReadSps(const unsigned char* nal, std::size_t size, SpsSyntax& sps) {
    RbspBits bits(nal, size);
    sps.sps_video_parameter_set_id = bits.u(4, "sps_video_parameter_set_id");                 // u(4)
    sps.sps_max_sub_layers_minus1 = bits.u(3, "sps_max_sub_layers_minus1");                   // u(3)
    CheckAtMost("sps_max_sub_layers_minus1", sps.sps_max_sub_layers_minus1, 6);
    sps.sps_temporal_id_nesting_flag = bits.flag("sps_temporal_id_nesting_flag");             // u(1)
    ReadProfileTierLevel(bits, true, sps.sps_max_sub_layers_minus1, sps.profile_tier_level);
    sps.sps_seq_parameter_set_id = bits.ue("sps_seq_parameter_set_id");                       // ue(v)
    CheckAtMost("sps_seq_parameter_set_id", sps.sps_seq_parameter_set_id, 15);
    sps.chroma_format_idc = bits.ue("chroma_format_idc");                                     // ue(v)
    CheckAtMost("chroma_format_idc", sps.chroma_format_idc, 3);
    sps.separate_colour_plane_flag = false;
    if (sps.chroma_format_idc == 3)
        sps.separate_colour_plane_flag = bits.flag("separate_colour_plane_flag");             // u(1)
    sps.pic_width_in_luma_samples = bits.ue("pic_width_in_luma_samples");                     // ue(v)
    sps.pic_height_in_luma_samples = bits.ue("pic_height_in_luma_samples");                   // ue(v)
    if (sps.pic_width_in_luma_samples == 0 || sps.pic_height_in_luma_samples == 0)
        throw SyntaxError("pic_width_in_luma_samples or pic_height_in_luma_samples is 0");
    sps.conformance_window_flag = bits.flag("conformance_window_flag");                       // u(1)
    sps.conf_win_left_offset = sps.conf_win_right_offset = sps.conf_win_top_offset = sps.conf_win_bottom_offset = 0;
    if (sps.conformance_window_flag) {
        sps.conf_win_left_offset = bits.ue("conf_win_left_offset");                           // ue(v)
        sps.conf_win_right_offset = bits.ue("conf_win_right_offset");                         // ue(v)
        sps.conf_win_top_offset = bits.ue("conf_win_top_offset");                             // ue(v)
        sps.conf_win_bottom_offset = bits.ue("conf_win_bottom_offset");                       // ue(v)
    }
    sps.bit_depth_luma_minus8 = bits.ue("bit_depth_luma_minus8");                             // ue(v)
    CheckAtMost("bit_depth_luma_minus8", sps.bit_depth_luma_minus8, 8);
    sps.bit_depth_chroma_minus8 = bits.ue("bit_depth_chroma_minus8");                         // ue(v)
    CheckAtMost("bit_depth_chroma_minus8", sps.bit_depth_chroma_minus8, 8);
    sps.log2_max_pic_order_cnt_lsb_minus4 = bits.ue("log2_max_pic_order_cnt_lsb_minus4");     // ue(v)
    CheckAtMost("log2_max_pic_order_cnt_lsb_minus4", sps.log2_max_pic_order_cnt_lsb_minus4, 12);
    sps.sps_sub_layer_ordering_info_present_flag = bits.flag("sps_sub_layer_ordering_info_present_flag"); // u(1)
    const unsigned highest = sps.sps_max_sub_layers_minus1;
    for (unsigned i = sps.sps_sub_layer_ordering_info_present_flag ? 0 : highest; i <= highest; i++) {
        sps.sps_max_dec_pic_buffering_minus1[i] = bits.ue("sps_max_dec_pic_buffering_minus1"); // ue(v)
        CheckAtMost("sps_max_dec_pic_buffering_minus1", sps.sps_max_dec_pic_buffering_minus1[i], 15);
        sps.sps_max_num_reorder_pics[i] = bits.ue("sps_max_num_reorder_pics");                 // ue(v)
        CheckAtMost("sps_max_num_reorder_pics", sps.sps_max_num_reorder_pics[i],
                    sps.sps_max_dec_pic_buffering_minus1[i]);
        sps.sps_max_latency_increase_plus1[i] = bits.ue("sps_max_latency_increase_plus1");     // ue(v)
    }
    if (!sps.sps_sub_layer_ordering_info_present_flag) {
        FillFromHighest(sps.sps_max_dec_pic_buffering_minus1, highest);
        FillFromHighest(sps.sps_max_num_reorder_pics, highest);
        FillFromHighest(sps.sps_max_latency_increase_plus1, highest);
    }
    for (unsigned i = highest + 1; i < 7; i++) {
        sps.sps_max_dec_pic_buffering_minus1[i] = 0;
        sps.sps_max_num_reorder_pics[i] = 0;
        sps.sps_max_latency_increase_plus1[i] = 0;
    }
    sps.log2_min_luma_coding_block_size_minus3 = bits.ue("log2_min_luma_coding_block_size_minus3"); // ue(v)
    CheckAtMost("log2_min_luma_coding_block_size_minus3", sps.log2_min_luma_coding_block_size_minus3, 3);
    sps.log2_diff_max_min_luma_coding_block_size = bits.ue("log2_diff_max_min_luma_coding_block_size"); // ue(v)
    // CtbLog2SizeY is 4..6 (7.4.3.2.1); the bound keeps the CTB size arithmetic small.
    CheckAtMost("log2_diff_max_min_luma_coding_block_size", sps.log2_diff_max_min_luma_coding_block_size,
                3 - sps.log2_min_luma_coding_block_size_minus3);
    sps.log2_min_luma_transform_block_size_minus2 = bits.ue("log2_min_luma_transform_block_size_minus2"); // ue(v)
    sps.log2_diff_max_min_luma_transform_block_size = bits.ue("log2_diff_max_min_luma_transform_block_size"); // ue(v)
    sps.max_transform_hierarchy_depth_inter = bits.ue("max_transform_hierarchy_depth_inter");  // ue(v)
    sps.max_transform_hierarchy_depth_intra = bits.ue("max_transform_hierarchy_depth_intra");  // ue(v)
    sps.scaling_list_enabled_flag = bits.flag("scaling_list_enabled_flag");                   // u(1)
    sps.sps_scaling_list_data_present_flag = false;
    if (sps.scaling_list_enabled_flag) {
        sps.sps_scaling_list_data_present_flag = bits.flag("sps_scaling_list_data_present_flag"); // u(1)
        if (sps.sps_scaling_list_data_present_flag)
            ReadScalingListData(bits, sps.scaling_list_data);
    }
    sps.amp_enabled_flag = bits.flag("amp_enabled_flag");                                     // u(1)
    sps.sample_adaptive_offset_enabled_flag = bits.flag("sample_adaptive_offset_enabled_flag"); // u(1)
    sps.pcm_enabled_flag = bits.flag("pcm_enabled_flag");                                     // u(1)
    if (sps.pcm_enabled_flag) {
        sps.pcm_sample_bit_depth_luma_minus1 = bits.u(4, "pcm_sample_bit_depth_luma_minus1");   // u(4)
        sps.pcm_sample_bit_depth_chroma_minus1 = bits.u(4, "pcm_sample_bit_depth_chroma_minus1"); // u(4)
        sps.log2_min_pcm_luma_coding_block_size_minus3 =
            bits.ue("log2_min_pcm_luma_coding_block_size_minus3");                            // ue(v)
        sps.log2_diff_max_min_pcm_luma_coding_block_size =
            bits.ue("log2_diff_max_min_pcm_luma_coding_block_size");                          // ue(v)
        sps.pcm_loop_filter_disabled_flag = bits.flag("pcm_loop_filter_disabled_flag");       // u(1)
    }
    sps.num_short_term_ref_pic_sets = bits.ue("num_short_term_ref_pic_sets");                 // ue(v)
    CheckAtMost("num_short_term_ref_pic_sets", sps.num_short_term_ref_pic_sets, SpsSyntax::kMaxShortTermRefPicSets);
    for (unsigned i = 0; i < sps.num_short_term_ref_pic_sets; i++)
        ReadShortTermRefPicSet(bits, i, sps.num_short_term_ref_pic_sets, sps.st_ref_pic_set,
                               sps.sps_max_dec_pic_buffering_minus1[highest], sps.st_ref_pic_set[i]);
    sps.long_term_ref_pics_present_flag = bits.flag("long_term_ref_pics_present_flag");       // u(1)
    sps.num_long_term_ref_pics_sps = 0;
    if (sps.long_term_ref_pics_present_flag) {
        sps.num_long_term_ref_pics_sps = bits.ue("num_long_term_ref_pics_sps");               // ue(v)
        CheckAtMost("num_long_term_ref_pics_sps", sps.num_long_term_ref_pics_sps, SpsSyntax::kMaxLongTermRefPicsSps);
        for (unsigned i = 0; i < sps.num_long_term_ref_pics_sps; i++) {
            sps.lt_ref_pic_poc_lsb_sps[i] =
                bits.u(static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4), "lt_ref_pic_poc_lsb_sps"); // u(v)
            sps.used_by_curr_pic_lt_sps_flag[i] = bits.flag("used_by_curr_pic_lt_sps_flag");  // u(1)
        }
    }
    sps.sps_temporal_mvp_enabled_flag = bits.flag("sps_temporal_mvp_enabled_flag");           // u(1)
    sps.strong_intra_smoothing_enabled_flag = bits.flag("strong_intra_smoothing_enabled_flag"); // u(1)
    sps.vui_parameters_present_flag = bits.flag("vui_parameters_present_flag");               // u(1)
    sps.vui = VuiParameters();
    if (sps.vui_parameters_present_flag)
        ReadVuiParameters(bits, sps.sps_max_sub_layers_minus1, sps.vui);
    sps.sps_extension_present_flag = bits.flag("sps_extension_present_flag");                 // u(1)
    sps.sps_range_extension_flag = sps.sps_multilayer_extension_flag = false;
    sps.sps_3d_extension_flag = sps.sps_scc_extension_flag = false;
    sps.sps_extension_4bits = 0;
    if (sps.sps_extension_present_flag) {
        sps.sps_range_extension_flag = bits.flag("sps_range_extension_flag");                 // u(1)
        sps.sps_multilayer_extension_flag = bits.flag("sps_multilayer_extension_flag");       // u(1)
        sps.sps_3d_extension_flag = bits.flag("sps_3d_extension_flag");                       // u(1)
        sps.sps_scc_extension_flag = bits.flag("sps_scc_extension_flag");                     // u(1)
        sps.sps_extension_4bits = bits.u(4, "sps_extension_4bits");                           // u(4)
    }
}

} // namespace h265tools
