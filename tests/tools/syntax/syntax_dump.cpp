// Prints what the tools' syntax reader (tools/support) reads from a stream,
// one "element_name value" line per coded element under a "nal INDEX TYPE"
// line per NAL unit, named as ffmpeg's trace_headers names them, so that
// compare_syntax.py can hold each value against that independent reading.
// "picture DECODE_INDEX POC OUTPUT CVS" lines give PicOrderCntVal of each
// picture, whether it is output (the RASL pictures of an IRAP picture with
// NoRaslOutputFlag 1 are not) and the coded video sequence it belongs to.
//   syntax_dump STREAM
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "HdrSei.h"
#include "NalUnitReader.h"
#include "PictureOrderCount.h"
#include "PpsSyntax.h"
#include "SlicePocHeader.h"
#include "SliceReferencePictures.h"
#include "SpsSyntax.h"
#include "VpsSyntax.h"

namespace {

using namespace h265tools;

void Line(const std::string& name, unsigned long long value) { std::printf("%s %llu\n", name.c_str(), value); }
void Signed(const std::string& name, long long value) { std::printf("%s %lld\n", name.c_str(), value); }
std::string At(const char* name, unsigned i) { return std::string(name) + "[" + std::to_string(i) + "]"; }
std::string At(const char* name, unsigned i, unsigned j) { return At(name, i) + "[" + std::to_string(j) + "]"; }

void DumpProfile(const char* prefix, unsigned space, bool tier, unsigned idc, std::uint32_t compatibility,
                 std::uint64_t constraints) {
    const std::string p = prefix;
    Line(p + "_profile_space", space);
    Line(p + "_tier_flag", tier);
    Line(p + "_profile_idc", idc);
    for (unsigned j = 0; j < 32; j++)
        Line(At((p + "_profile_compatibility_flag").c_str(), j), (compatibility >> (31 - j)) & 1u);
    Line(p + "_constraint_indicator_flags", constraints);
}

void DumpPtl(const ProfileTierLevelSyntax& ptl, unsigned maxNumSubLayersMinus1) {
    DumpProfile("general", ptl.general_profile_space, ptl.general_tier_flag, ptl.general_profile_idc,
                ptl.general_profile_compatibility_flags, ptl.general_constraint_indicator_flags);
    Line("general_level_idc", ptl.general_level_idc);
    for (unsigned i = 0; i < maxNumSubLayersMinus1; i++) {
        const SubLayerProfileTierLevel& s = ptl.sub_layers[i];
        Line(At("sub_layer_profile_present_flag", i), s.sub_layer_profile_present_flag);
        Line(At("sub_layer_level_present_flag", i), s.sub_layer_level_present_flag);
        if (s.sub_layer_level_present_flag)
            Line(At("sub_layer_level_idc", i), s.sub_layer_level_idc);
    }
}

void DumpSubLayerHrd(const SubLayerHrdParameters& s, unsigned count, bool subPic) {
    for (unsigned i = 0; i < count; i++) {
        Line(At("bit_rate_value_minus1", i), s.bit_rate_value_minus1[i]);
        Line(At("cpb_size_value_minus1", i), s.cpb_size_value_minus1[i]);
        if (subPic) {
            Line(At("cpb_size_du_value_minus1", i), s.cpb_size_du_value_minus1[i]);
            Line(At("bit_rate_du_value_minus1", i), s.bit_rate_du_value_minus1[i]);
        }
        Line(At("cbr_flag", i), s.cbr_flag[i]);
    }
}

void DumpHrd(const HrdParameters& h, unsigned maxNumSubLayersMinus1) {
    Line("nal_hrd_parameters_present_flag", h.nal_hrd_parameters_present_flag);
    Line("vcl_hrd_parameters_present_flag", h.vcl_hrd_parameters_present_flag);
    if (h.nal_hrd_parameters_present_flag || h.vcl_hrd_parameters_present_flag) {
        Line("sub_pic_hrd_params_present_flag", h.sub_pic_hrd_params_present_flag);
        if (h.sub_pic_hrd_params_present_flag) {
            Line("tick_divisor_minus2", h.tick_divisor_minus2);
            Line("du_cpb_removal_delay_increment_length_minus1", h.du_cpb_removal_delay_increment_length_minus1);
            Line("sub_pic_cpb_params_in_pic_timing_sei_flag", h.sub_pic_cpb_params_in_pic_timing_sei_flag);
            Line("dpb_output_delay_du_length_minus1", h.dpb_output_delay_du_length_minus1);
            Line("cpb_size_du_scale", h.cpb_size_du_scale);
        }
        Line("bit_rate_scale", h.bit_rate_scale);
        Line("cpb_size_scale", h.cpb_size_scale);
        Line("initial_cpb_removal_delay_length_minus1", h.initial_cpb_removal_delay_length_minus1);
        Line("au_cpb_removal_delay_length_minus1", h.au_cpb_removal_delay_length_minus1);
        Line("dpb_output_delay_length_minus1", h.dpb_output_delay_length_minus1);
    }
    for (unsigned i = 0; i <= maxNumSubLayersMinus1; i++) {
        const HrdSubLayer& s = h.sub_layers[i];
        Line(At("fixed_pic_rate_general_flag", i), s.fixed_pic_rate_general_flag);
        if (!s.fixed_pic_rate_general_flag)
            Line(At("fixed_pic_rate_within_cvs_flag", i), s.fixed_pic_rate_within_cvs_flag);
        if (s.fixed_pic_rate_within_cvs_flag)
            Line(At("elemental_duration_in_tc_minus1", i), s.elemental_duration_in_tc_minus1);
        else
            Line(At("low_delay_hrd_flag", i), s.low_delay_hrd_flag);
        if (!s.low_delay_hrd_flag)
            Line(At("cpb_cnt_minus1", i), s.cpb_cnt_minus1);
        if (h.nal_hrd_parameters_present_flag)
            DumpSubLayerHrd(s.nal, s.cpb_cnt_minus1 + 1, h.sub_pic_hrd_params_present_flag);
        if (h.vcl_hrd_parameters_present_flag)
            DumpSubLayerHrd(s.vcl, s.cpb_cnt_minus1 + 1, h.sub_pic_hrd_params_present_flag);
    }
}

void DumpVui(const VuiParameters& v, unsigned maxSubLayersMinus1) {
    Line("aspect_ratio_info_present_flag", v.aspect_ratio_info_present_flag);
    if (v.aspect_ratio_info_present_flag) {
        Line("aspect_ratio_idc", v.aspect_ratio_idc);
        if (v.aspect_ratio_idc == 255) {
            Line("sar_width", v.sar_width);
            Line("sar_height", v.sar_height);
        }
    }
    Line("overscan_info_present_flag", v.overscan_info_present_flag);
    if (v.overscan_info_present_flag)
        Line("overscan_appropriate_flag", v.overscan_appropriate_flag);
    Line("video_signal_type_present_flag", v.video_signal_type_present_flag);
    if (v.video_signal_type_present_flag) {
        Line("video_format", v.video_format);
        Line("video_full_range_flag", v.video_full_range_flag);
        Line("colour_description_present_flag", v.colour_description_present_flag);
        if (v.colour_description_present_flag) {
            Line("colour_primaries", v.colour_primaries);
            Line("transfer_characteristics", v.transfer_characteristics);
            Line("matrix_coefficients", v.matrix_coeffs); // ffmpeg's name for matrix_coeffs
        }
    }
    Line("chroma_loc_info_present_flag", v.chroma_loc_info_present_flag);
    if (v.chroma_loc_info_present_flag) {
        Line("chroma_sample_loc_type_top_field", v.chroma_sample_loc_type_top_field);
        Line("chroma_sample_loc_type_bottom_field", v.chroma_sample_loc_type_bottom_field);
    }
    Line("neutral_chroma_indication_flag", v.neutral_chroma_indication_flag);
    Line("field_seq_flag", v.field_seq_flag);
    Line("frame_field_info_present_flag", v.frame_field_info_present_flag);
    Line("default_display_window_flag", v.default_display_window_flag);
    if (v.default_display_window_flag) {
        Line("def_disp_win_left_offset", v.def_disp_win_left_offset);
        Line("def_disp_win_right_offset", v.def_disp_win_right_offset);
        Line("def_disp_win_top_offset", v.def_disp_win_top_offset);
        Line("def_disp_win_bottom_offset", v.def_disp_win_bottom_offset);
    }
    Line("vui_timing_info_present_flag", v.vui_timing_info_present_flag);
    if (v.vui_timing_info_present_flag) {
        Line("vui_num_units_in_tick", v.vui_num_units_in_tick);
        Line("vui_time_scale", v.vui_time_scale);
        Line("vui_poc_proportional_to_timing_flag", v.vui_poc_proportional_to_timing_flag);
        if (v.vui_poc_proportional_to_timing_flag)
            Line("vui_num_ticks_poc_diff_one_minus1", v.vui_num_ticks_poc_diff_one_minus1);
        Line("vui_hrd_parameters_present_flag", v.vui_hrd_parameters_present_flag);
        if (v.vui_hrd_parameters_present_flag)
            DumpHrd(v.hrd_parameters, maxSubLayersMinus1);
    }
    Line("bitstream_restriction_flag", v.bitstream_restriction_flag);
    if (v.bitstream_restriction_flag) {
        Line("tiles_fixed_structure_flag", v.tiles_fixed_structure_flag);
        Line("motion_vectors_over_pic_boundaries_flag", v.motion_vectors_over_pic_boundaries_flag);
        Line("restricted_ref_pic_lists_flag", v.restricted_ref_pic_lists_flag);
        Line("min_spatial_segmentation_idc", v.min_spatial_segmentation_idc);
        Line("max_bytes_per_pic_denom", v.max_bytes_per_pic_denom);
        Line("max_bits_per_min_cu_denom", v.max_bits_per_min_cu_denom);
        Line("log2_max_mv_length_horizontal", v.log2_max_mv_length_horizontal);
        Line("log2_max_mv_length_vertical", v.log2_max_mv_length_vertical);
    }
}

void DumpScalingList(const ScalingListData& d) {
    for (unsigned sizeId = 0; sizeId < 4; sizeId++)
        for (unsigned matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
            Line(At("scaling_list_pred_mode_flag", sizeId, matrixId), d.scaling_list_pred_mode_flag[sizeId][matrixId]);
            if (!d.scaling_list_pred_mode_flag[sizeId][matrixId]) {
                Line(At("scaling_list_pred_matrix_id_delta", sizeId, matrixId),
                     d.scaling_list_pred_matrix_id_delta[sizeId][matrixId]);
                continue;
            }
            if (sizeId > 1)
                Signed(At("scaling_list_dc_coef_minus8", sizeId - 2, matrixId),
                       d.scaling_list_dc_coef_minus8[sizeId - 2][matrixId]);
            for (unsigned i = 0; i < d.coefficients[sizeId][matrixId]; i++)
                Signed(At("scaling_list_delta_coeff", sizeId, matrixId) + "[" + std::to_string(i) + "]",
                       d.scaling_list_delta_coef[sizeId][matrixId][i]);
        }
}

void DumpShortTermRefPicSet(const ShortTermRefPicSet& s, unsigned idx) {
    if (idx != 0)
        Line("inter_ref_pic_set_prediction_flag", s.inter_ref_pic_set_prediction_flag);
    if (s.inter_ref_pic_set_prediction_flag) {
        Line("delta_rps_sign", s.delta_rps_sign);
        Line("abs_delta_rps_minus1", s.abs_delta_rps_minus1);
        for (unsigned j = 0; j < s.coded_reference_flags; j++) {
            Line(At("used_by_curr_pic_flag", j), s.used_by_curr_pic_flag[j]);
            if (!s.used_by_curr_pic_flag[j])
                Line(At("use_delta_flag", j), s.use_delta_flag[j]);
        }
        return;
    }
    Line("num_negative_pics", s.num_negative_pics);
    Line("num_positive_pics", s.num_positive_pics);
    for (unsigned i = 0; i < s.num_negative_pics; i++) {
        Line(At("delta_poc_s0_minus1", i), s.delta_poc_s0_minus1[i]);
        Line(At("used_by_curr_pic_s0_flag", i), s.used_by_curr_pic_s0_flag[i]);
    }
    for (unsigned i = 0; i < s.num_positive_pics; i++) {
        Line(At("delta_poc_s1_minus1", i), s.delta_poc_s1_minus1[i]);
        Line(At("used_by_curr_pic_s1_flag", i), s.used_by_curr_pic_s1_flag[i]);
    }
}

void DumpSps(const SpsSyntax& s) {
    Line("sps_video_parameter_set_id", s.sps_video_parameter_set_id);
    Line("sps_max_sub_layers_minus1", s.sps_max_sub_layers_minus1);
    Line("sps_temporal_id_nesting_flag", s.sps_temporal_id_nesting_flag);
    DumpPtl(s.profile_tier_level, s.sps_max_sub_layers_minus1);
    Line("sps_seq_parameter_set_id", s.sps_seq_parameter_set_id);
    Line("chroma_format_idc", s.chroma_format_idc);
    if (s.chroma_format_idc == 3)
        Line("separate_colour_plane_flag", s.separate_colour_plane_flag);
    Line("pic_width_in_luma_samples", s.pic_width_in_luma_samples);
    Line("pic_height_in_luma_samples", s.pic_height_in_luma_samples);
    Line("conformance_window_flag", s.conformance_window_flag);
    if (s.conformance_window_flag) {
        Line("conf_win_left_offset", s.conf_win_left_offset);
        Line("conf_win_right_offset", s.conf_win_right_offset);
        Line("conf_win_top_offset", s.conf_win_top_offset);
        Line("conf_win_bottom_offset", s.conf_win_bottom_offset);
    }
    Line("bit_depth_luma_minus8", s.bit_depth_luma_minus8);
    Line("bit_depth_chroma_minus8", s.bit_depth_chroma_minus8);
    Line("log2_max_pic_order_cnt_lsb_minus4", s.log2_max_pic_order_cnt_lsb_minus4);
    Line("sps_sub_layer_ordering_info_present_flag", s.sps_sub_layer_ordering_info_present_flag);
    // The coded sub-layers only: trace_headers prints no inferred values.
    for (unsigned i = s.sps_sub_layer_ordering_info_present_flag ? 0 : s.sps_max_sub_layers_minus1;
         i <= s.sps_max_sub_layers_minus1; i++) {
        Line(At("sps_max_dec_pic_buffering_minus1", i), s.sps_max_dec_pic_buffering_minus1[i]);
        Line(At("sps_max_num_reorder_pics", i), s.sps_max_num_reorder_pics[i]);
        Line(At("sps_max_latency_increase_plus1", i), s.sps_max_latency_increase_plus1[i]);
    }
    Line("log2_min_luma_coding_block_size_minus3", s.log2_min_luma_coding_block_size_minus3);
    Line("log2_diff_max_min_luma_coding_block_size", s.log2_diff_max_min_luma_coding_block_size);
    Line("log2_min_luma_transform_block_size_minus2", s.log2_min_luma_transform_block_size_minus2);
    Line("log2_diff_max_min_luma_transform_block_size", s.log2_diff_max_min_luma_transform_block_size);
    Line("max_transform_hierarchy_depth_inter", s.max_transform_hierarchy_depth_inter);
    Line("max_transform_hierarchy_depth_intra", s.max_transform_hierarchy_depth_intra);
    Line("scaling_list_enabled_flag", s.scaling_list_enabled_flag);
    if (s.scaling_list_enabled_flag) {
        Line("sps_scaling_list_data_present_flag", s.sps_scaling_list_data_present_flag);
        if (s.sps_scaling_list_data_present_flag)
            DumpScalingList(s.scaling_list_data);
    }
    Line("amp_enabled_flag", s.amp_enabled_flag);
    Line("sample_adaptive_offset_enabled_flag", s.sample_adaptive_offset_enabled_flag);
    Line("pcm_enabled_flag", s.pcm_enabled_flag);
    if (s.pcm_enabled_flag) {
        Line("pcm_sample_bit_depth_luma_minus1", s.pcm_sample_bit_depth_luma_minus1);
        Line("pcm_sample_bit_depth_chroma_minus1", s.pcm_sample_bit_depth_chroma_minus1);
        Line("log2_min_pcm_luma_coding_block_size_minus3", s.log2_min_pcm_luma_coding_block_size_minus3);
        Line("log2_diff_max_min_pcm_luma_coding_block_size", s.log2_diff_max_min_pcm_luma_coding_block_size);
        Line("pcm_loop_filter_disabled_flag", s.pcm_loop_filter_disabled_flag);
    }
    Line("num_short_term_ref_pic_sets", s.num_short_term_ref_pic_sets);
    for (unsigned i = 0; i < s.num_short_term_ref_pic_sets; i++)
        DumpShortTermRefPicSet(s.st_ref_pic_set[i], i);
    Line("long_term_ref_pics_present_flag", s.long_term_ref_pics_present_flag);
    if (s.long_term_ref_pics_present_flag) {
        Line("num_long_term_ref_pics_sps", s.num_long_term_ref_pics_sps);
        for (unsigned i = 0; i < s.num_long_term_ref_pics_sps; i++) {
            Line(At("lt_ref_pic_poc_lsb_sps", i), s.lt_ref_pic_poc_lsb_sps[i]);
            Line(At("used_by_curr_pic_lt_sps_flag", i), s.used_by_curr_pic_lt_sps_flag[i]);
        }
    }
    Line("sps_temporal_mvp_enabled_flag", s.sps_temporal_mvp_enabled_flag);
    Line("strong_intra_smoothing_enabled_flag", s.strong_intra_smoothing_enabled_flag);
    Line("vui_parameters_present_flag", s.vui_parameters_present_flag);
    if (s.vui_parameters_present_flag)
        DumpVui(s.vui, s.sps_max_sub_layers_minus1);
    Line("sps_extension_present_flag", s.sps_extension_present_flag);
    if (s.sps_extension_present_flag) {
        Line("sps_range_extension_flag", s.sps_range_extension_flag);
        Line("sps_multilayer_extension_flag", s.sps_multilayer_extension_flag);
        Line("sps_3d_extension_flag", s.sps_3d_extension_flag);
        Line("sps_scc_extension_flag", s.sps_scc_extension_flag);
        Line("sps_extension_4bits", s.sps_extension_4bits);
    }
}

void DumpVps(const VpsSyntax& v) {
    Line("vps_video_parameter_set_id", v.vps_video_parameter_set_id);
    Line("vps_base_layer_internal_flag", v.vps_base_layer_internal_flag);
    Line("vps_base_layer_available_flag", v.vps_base_layer_available_flag);
    Line("vps_max_layers_minus1", v.vps_max_layers_minus1);
    Line("vps_max_sub_layers_minus1", v.vps_max_sub_layers_minus1);
    Line("vps_temporal_id_nesting_flag", v.vps_temporal_id_nesting_flag);
    Line("vps_reserved_0xffff_16bits", v.vps_reserved_0xffff_16bits);
    DumpPtl(v.profile_tier_level, v.vps_max_sub_layers_minus1);
    Line("vps_sub_layer_ordering_info_present_flag", v.vps_sub_layer_ordering_info_present_flag);
    for (unsigned i = v.vps_sub_layer_ordering_info_present_flag ? 0 : v.vps_max_sub_layers_minus1;
         i <= v.vps_max_sub_layers_minus1; i++) {
        Line(At("vps_max_dec_pic_buffering_minus1", i), v.vps_max_dec_pic_buffering_minus1[i]);
        Line(At("vps_max_num_reorder_pics", i), v.vps_max_num_reorder_pics[i]);
        Line(At("vps_max_latency_increase_plus1", i), v.vps_max_latency_increase_plus1[i]);
    }
    Line("vps_max_layer_id", v.vps_max_layer_id);
    Line("vps_num_layer_sets_minus1", v.vps_num_layer_sets_minus1);
    Line("vps_timing_info_present_flag", v.vps_timing_info_present_flag);
    if (v.vps_timing_info_present_flag) {
        Line("vps_num_units_in_tick", v.vps_num_units_in_tick);
        Line("vps_time_scale", v.vps_time_scale);
        Line("vps_poc_proportional_to_timing_flag", v.vps_poc_proportional_to_timing_flag);
        if (v.vps_poc_proportional_to_timing_flag)
            Line("vps_num_ticks_poc_diff_one_minus1", v.vps_num_ticks_poc_diff_one_minus1);
    }
}

void DumpSei(const HdrSei& s) {
    if (s.has_mastering_display) {
        for (unsigned c = 0; c < 3; c++) {
            Line(At("display_primaries_x", c), s.display_primaries_x[c]);
            Line(At("display_primaries_y", c), s.display_primaries_y[c]);
        }
        Line("white_point_x", s.white_point_x);
        Line("white_point_y", s.white_point_y);
        Line("max_display_mastering_luminance", s.max_display_mastering_luminance);
        Line("min_display_mastering_luminance", s.min_display_mastering_luminance);
    }
    if (s.has_content_light_level) {
        Line("max_content_light_level", s.max_content_light_level);
        Line("max_pic_average_light_level", s.max_pic_average_light_level);
    }
}

void DumpSlice(const SlicePocHeader& h, const SliceReferencePictures& r, const SpsSyntax& sps, int nalUnitType) {
    Line("first_slice_segment_in_pic_flag", h.first_slice_segment_in_pic_flag);
    if (nalUnitType >= 16 && nalUnitType <= 23)
        Line("no_output_of_prior_pics_flag", h.no_output_of_prior_pics_flag);
    Line("slice_pic_parameter_set_id", h.slice_pic_parameter_set_id);
    if (!h.first_slice_segment_in_pic_flag)
        Line("slice_segment_address", h.slice_segment_address);
    if (h.dependent_slice_segment_flag)
        return;
    Line("slice_type", h.slice_type);
    if (nalUnitType == 19 || nalUnitType == 20)
        return;
    Line("slice_pic_order_cnt_lsb", h.slice_pic_order_cnt_lsb);
    Line("short_term_ref_pic_set_sps_flag", r.short_term_ref_pic_set_sps_flag);
    if (!r.short_term_ref_pic_set_sps_flag && r.st_ref_pic_set.inter_ref_pic_set_prediction_flag)
        Line("delta_idx_minus1", r.st_ref_pic_set.delta_idx_minus1);
    if (!r.short_term_ref_pic_set_sps_flag)
        DumpShortTermRefPicSet(r.st_ref_pic_set, sps.num_short_term_ref_pic_sets);
    else if (sps.num_short_term_ref_pic_sets > 1)
        Line("short_term_ref_pic_set_idx", r.short_term_ref_pic_set_idx);
    if (sps.long_term_ref_pics_present_flag) {
        if (sps.num_long_term_ref_pics_sps > 0)
            Line("num_long_term_sps", r.num_long_term_sps);
        Line("num_long_term_pics", r.num_long_term_pics);
        for (unsigned i = 0; i < r.num_long_term_sps + r.num_long_term_pics; i++) {
            if (i >= r.num_long_term_sps) {
                Line(At("poc_lsb_lt", i), r.poc_lsb_lt[i]);
                Line(At("used_by_curr_pic_lt_flag", i), r.used_by_curr_pic_lt_flag[i]);
            } else if (sps.num_long_term_ref_pics_sps > 1) {
                Line(At("lt_idx_sps", i), r.lt_idx_sps[i]);
            }
            Line(At("delta_poc_msb_present_flag", i), r.delta_poc_msb_present_flag[i]);
            if (r.delta_poc_msb_present_flag[i])
                Line(At("delta_poc_msb_cycle_lt", i), r.delta_poc_msb_cycle_lt[i]);
        }
    }
    if (sps.sps_temporal_mvp_enabled_flag)
        Line("slice_temporal_mvp_enabled_flag", r.slice_temporal_mvp_enabled_flag);
}

struct Streams {
    std::map<unsigned, SpsSyntax> sps;
    std::map<unsigned, PpsHead> pps;
    PictureOrderCount poc;
    unsigned pictures = 0;
    unsigned sequences = 0; // coded video sequences begun so far
};

void DumpUnit(Streams& s, const unsigned char* nal, std::size_t size) {
    const int type = (nal[0] >> 1) & 0x3F;
    if (type == 32) {
        VpsSyntax vps;
        ReadVps(nal, size, vps);
        DumpVps(vps);
    } else if (type == 33) {
        SpsSyntax sps;
        ReadSps(nal, size, sps);
        DumpSps(sps);
        s.sps[sps.sps_seq_parameter_set_id] = sps;
    } else if (type == 34) {
        PpsHead pps;
        ReadPpsHead(nal, size, pps);
        Line("pps_pic_parameter_set_id", pps.pps_pic_parameter_set_id);
        Line("pps_seq_parameter_set_id", pps.pps_seq_parameter_set_id);
        Line("dependent_slice_segments_enabled_flag", pps.dependent_slice_segments_enabled_flag);
        Line("output_flag_present_flag", pps.output_flag_present_flag);
        Line("num_extra_slice_header_bits", pps.num_extra_slice_header_bits);
        s.pps[pps.pps_pic_parameter_set_id] = pps;
    } else if (type == 39 || type == 40) {
        HdrSei sei;
        ReadHdrSei(nal, size, sei);
        DumpSei(sei);
    } else if (type == 36) {
        s.poc.EndOfSequence();
    } else if (type <= 31 && size > 2) {
        // slice_pic_parameter_set_id picks the PPS and its SPS the header is read with.
        unsigned ppsId = 0;
        {
            RbspBits bits(nal, size);
            bits.flag();
            if (type >= 16 && type <= 23)
                bits.flag();
            ppsId = bits.ue("slice_pic_parameter_set_id");
        }
        auto pps = s.pps.find(ppsId);
        if (pps == s.pps.end())
            throw SyntaxError("no PPS " + std::to_string(ppsId));
        auto sps = s.sps.find(pps->second.pps_seq_parameter_set_id);
        if (sps == s.sps.end())
            throw SyntaxError("no SPS " + std::to_string(pps->second.pps_seq_parameter_set_id));
        RbspBits bits(nal, size);
        SlicePocHeader header;
        ReadSlicePocHeader(bits, pps->second, sps->second, header);
        SliceReferencePictures refs;
        ReadSliceReferencePictures(bits, sps->second, header, refs);
        DumpSlice(header, refs, sps->second, type);
        if (header.first_slice_segment_in_pic_flag) {
            const std::int32_t poc = s.poc.Next(type, header.temporal_id, header.slice_pic_order_cnt_lsb,
                                                sps->second.log2_max_pic_order_cnt_lsb_minus4);
            const bool rasl = type == 8 || type == 9;
            const bool output = header.pic_output_flag && !(rasl && s.poc.NoRaslOutputFlag());
            if (s.poc.StartedSequence())
                ++s.sequences;
            std::printf("picture %u %d %d %u\n", s.pictures++, static_cast<int>(poc), output ? 1 : 0, s.sequences);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: syntax_dump STREAM\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    Streams streams;
    NalUnitReader reader(fd);
    NalUnitView unit;
    unsigned index = 0;
    int status = 0;
    while (reader.Next(unit)) {
        const unsigned char* nal = unit.data + unit.startCodeLength;
        const std::size_t size = unit.size - static_cast<std::size_t>(unit.startCodeLength);
        if (size < 2) {
            ++index;
            continue;
        }
        std::printf("nal %u %d\n", index++, (nal[0] >> 1) & 0x3F);
        try {
            DumpUnit(streams, nal, size);
        } catch (const SyntaxError& e) {
            std::printf("error %s\n", e.what());
            status = 1;
        }
    }
    ::close(fd);
    return status;
}
