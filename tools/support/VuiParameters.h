// vui_parameters( ), E.2.1.
#ifndef H265TOOLS_VUI_PARAMETERS_H
#define H265TOOLS_VUI_PARAMETERS_H

#include <cstdint>

#include "HrdParameters.h"
#include "RbspBits.h"

namespace h265tools {

// Every element by its name; those not coded hold what E.3.1 infers.
struct VuiParameters {
    bool aspect_ratio_info_present_flag = false;
    unsigned aspect_ratio_idc = 0;  // 0: unspecified
    unsigned sar_width = 0;         // coded for aspect_ratio_idc 255 (EXTENDED_SAR) only
    unsigned sar_height = 0;
    bool overscan_info_present_flag = false;
    bool overscan_appropriate_flag = false;
    bool video_signal_type_present_flag = false;
    unsigned video_format = 5;      // unspecified video format
    bool video_full_range_flag = false;
    bool colour_description_present_flag = false;
    unsigned colour_primaries = 2;  // unspecified
    unsigned transfer_characteristics = 2;
    unsigned matrix_coeffs = 2;
    bool chroma_loc_info_present_flag = false;
    unsigned chroma_sample_loc_type_top_field = 0;
    unsigned chroma_sample_loc_type_bottom_field = 0;
    bool neutral_chroma_indication_flag = false;
    bool field_seq_flag = false;
    bool frame_field_info_present_flag = false;
    bool default_display_window_flag = false;
    unsigned def_disp_win_left_offset = 0;
    unsigned def_disp_win_right_offset = 0;
    unsigned def_disp_win_top_offset = 0;
    unsigned def_disp_win_bottom_offset = 0;
    bool vui_timing_info_present_flag = false;
    std::uint32_t vui_num_units_in_tick = 0;
    std::uint32_t vui_time_scale = 0;
    bool vui_poc_proportional_to_timing_flag = false;
    std::uint32_t vui_num_ticks_poc_diff_one_minus1 = 0;
    bool vui_hrd_parameters_present_flag = false;
    HrdParameters hrd_parameters;
    bool bitstream_restriction_flag = false;
    bool tiles_fixed_structure_flag = false;
    bool motion_vectors_over_pic_boundaries_flag = true;
    bool restricted_ref_pic_lists_flag = false;
    unsigned min_spatial_segmentation_idc = 0;
    unsigned max_bytes_per_pic_denom = 2;
    unsigned max_bits_per_min_cu_denom = 1;
    unsigned log2_max_mv_length_horizontal = 15;
    unsigned log2_max_mv_length_vertical = 15;
};

// sps_max_sub_layers_minus1 <= 6, for hrd_parameters( 1, sps_max_sub_layers_minus1 ).
void ReadVuiParameters(RbspBits& bits, unsigned sps_max_sub_layers_minus1, VuiParameters& vui);

} // namespace h265tools

#endif
