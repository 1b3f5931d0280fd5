#include "VuiParameters.h"

namespace h265tools {

namespace {

const unsigned kExtendedSar = 255; // aspect_ratio_idc EXTENDED_SAR, Table E.1

} // namespace

// E.2.1 VUI parameters syntax
void ReadVuiParameters(RbspBits& bits, unsigned sps_max_sub_layers_minus1, VuiParameters& vui) {
    vui = VuiParameters();
    vui.aspect_ratio_info_present_flag = bits.flag("aspect_ratio_info_present_flag");        // u(1)
    if (vui.aspect_ratio_info_present_flag) {
        vui.aspect_ratio_idc = bits.u(8, "aspect_ratio_idc");                                // u(8)
        if (vui.aspect_ratio_idc == kExtendedSar) {
            vui.sar_width = bits.u(16, "sar_width");                                         // u(16)
            vui.sar_height = bits.u(16, "sar_height");                                       // u(16)
        }
    }
    vui.overscan_info_present_flag = bits.flag("overscan_info_present_flag");                // u(1)
    if (vui.overscan_info_present_flag)
        vui.overscan_appropriate_flag = bits.flag("overscan_appropriate_flag");              // u(1)
    vui.video_signal_type_present_flag = bits.flag("video_signal_type_present_flag");        // u(1)
    if (vui.video_signal_type_present_flag) {
        vui.video_format = bits.u(3, "video_format");                                        // u(3)
        vui.video_full_range_flag = bits.flag("video_full_range_flag");                      // u(1)
        vui.colour_description_present_flag = bits.flag("colour_description_present_flag");  // u(1)
        if (vui.colour_description_present_flag) {
            vui.colour_primaries = bits.u(8, "colour_primaries");                            // u(8)
            vui.transfer_characteristics = bits.u(8, "transfer_characteristics");            // u(8)
            vui.matrix_coeffs = bits.u(8, "matrix_coeffs");                                  // u(8)
        }
    }
    vui.chroma_loc_info_present_flag = bits.flag("chroma_loc_info_present_flag");            // u(1)
    if (vui.chroma_loc_info_present_flag) {
        vui.chroma_sample_loc_type_top_field = bits.ue("chroma_sample_loc_type_top_field");  // ue(v)
        CheckAtMost("chroma_sample_loc_type_top_field", vui.chroma_sample_loc_type_top_field, 5);
        vui.chroma_sample_loc_type_bottom_field = bits.ue("chroma_sample_loc_type_bottom_field"); // ue(v)
        CheckAtMost("chroma_sample_loc_type_bottom_field", vui.chroma_sample_loc_type_bottom_field, 5);
    }
    vui.neutral_chroma_indication_flag = bits.flag("neutral_chroma_indication_flag");        // u(1)
    vui.field_seq_flag = bits.flag("field_seq_flag");                                        // u(1)
    vui.frame_field_info_present_flag = bits.flag("frame_field_info_present_flag");          // u(1)
    vui.default_display_window_flag = bits.flag("default_display_window_flag");              // u(1)
    if (vui.default_display_window_flag) {
        vui.def_disp_win_left_offset = bits.ue("def_disp_win_left_offset");                  // ue(v)
        vui.def_disp_win_right_offset = bits.ue("def_disp_win_right_offset");                // ue(v)
        vui.def_disp_win_top_offset = bits.ue("def_disp_win_top_offset");                    // ue(v)
        vui.def_disp_win_bottom_offset = bits.ue("def_disp_win_bottom_offset");              // ue(v)
    }
    vui.vui_timing_info_present_flag = bits.flag("vui_timing_info_present_flag");            // u(1)
    if (vui.vui_timing_info_present_flag) {
        vui.vui_num_units_in_tick = bits.u(32, "vui_num_units_in_tick");                     // u(32)
        vui.vui_time_scale = bits.u(32, "vui_time_scale");                                   // u(32)
        vui.vui_poc_proportional_to_timing_flag = bits.flag("vui_poc_proportional_to_timing_flag"); // u(1)
        if (vui.vui_poc_proportional_to_timing_flag)
            vui.vui_num_ticks_poc_diff_one_minus1 = bits.ue("vui_num_ticks_poc_diff_one_minus1"); // ue(v)
        vui.vui_hrd_parameters_present_flag = bits.flag("vui_hrd_parameters_present_flag");  // u(1)
        if (vui.vui_hrd_parameters_present_flag)
            ReadHrdParameters(bits, true, sps_max_sub_layers_minus1, vui.hrd_parameters);
    }
    vui.bitstream_restriction_flag = bits.flag("bitstream_restriction_flag");                // u(1)
    if (vui.bitstream_restriction_flag) {
        vui.tiles_fixed_structure_flag = bits.flag("tiles_fixed_structure_flag");            // u(1)
        vui.motion_vectors_over_pic_boundaries_flag =
            bits.flag("motion_vectors_over_pic_boundaries_flag");                            // u(1)
        vui.restricted_ref_pic_lists_flag = bits.flag("restricted_ref_pic_lists_flag");      // u(1)
        vui.min_spatial_segmentation_idc = bits.ue("min_spatial_segmentation_idc");          // ue(v)
        CheckAtMost("min_spatial_segmentation_idc", vui.min_spatial_segmentation_idc, 4095);
        vui.max_bytes_per_pic_denom = bits.ue("max_bytes_per_pic_denom");                    // ue(v)
        CheckAtMost("max_bytes_per_pic_denom", vui.max_bytes_per_pic_denom, 16);
        vui.max_bits_per_min_cu_denom = bits.ue("max_bits_per_min_cu_denom");                // ue(v)
        CheckAtMost("max_bits_per_min_cu_denom", vui.max_bits_per_min_cu_denom, 16);
        vui.log2_max_mv_length_horizontal = bits.ue("log2_max_mv_length_horizontal");        // ue(v)
        CheckAtMost("log2_max_mv_length_horizontal", vui.log2_max_mv_length_horizontal, 15);
        vui.log2_max_mv_length_vertical = bits.ue("log2_max_mv_length_vertical");            // ue(v)
        CheckAtMost("log2_max_mv_length_vertical", vui.log2_max_mv_length_vertical, 15);
    }
}

} // namespace h265tools
