// Text listings of the SPS and PPS records: one "name = value" line per field,
// in the order of the syntax, with the conformance-window offsets indented.
#include <cstring>
#include <sstream>
#include <string>

#include "PpsInfo.h"
#include "SpsInfo.h"

namespace {

void Line(std::ostringstream& out, const char* name, unsigned int value, bool indented = false) {
    if (indented)
        out << "    ";
    out << name << " = " << value << '\n';
}

// Two-call protocol: a null buffer asks for the size including the NUL.
int Deliver(const std::string& text, char* buffer) {
    if (buffer)
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size() + 1);
}

} // namespace

int CSPSInfo::Dump(char* buffer) {
    std::ostringstream out;
    // Without this the stream swallows std::bad_alloc and yields a truncated listing.
    out.exceptions(std::ios::badbit);
    Line(out, "sps_video_parameter_set_id", sps.sps_video_parameter_set_id);
    Line(out, "sps_max_sub_layers_minus1", sps.sps_max_sub_layers_minus1);
    Line(out, "sps_temporal_id_nesting_flag", sps.sps_temporal_id_nesting_flag);
    Line(out, "sps_seq_parameter_set_id", sps.sps_seq_parameter_set_id);
    Line(out, "chroma_format_idc", sps.chroma_format_idc);
    if (sps.chroma_format_idc == 3)
        Line(out, "separate_colour_plane_flag", sps.separate_colour_plane_flag);
    Line(out, "pic_width_in_luma_samples", sps.pic_width_in_luma_samples);
    Line(out, "pic_height_in_luma_samples", sps.pic_height_in_luma_samples);
    Line(out, "conformance_window_flag", sps.conformance_window_flag);
    if (sps.conformance_window_flag) {
        Line(out, "conf_win_left_offset", sps.conf_win_left_offset, true);
        Line(out, "conf_win_right_offset", sps.conf_win_right_offset, true);
        Line(out, "conf_win_top_offset", sps.conf_win_top_offset, true);
        Line(out, "conf_win_bottom_offset", sps.conf_win_bottom_offset, true);
    }
    Line(out, "bit_depth_luma_minus8", sps.bit_depth_luma_minus8);
    Line(out, "bit_depth_chroma_minus8", sps.bit_depth_chroma_minus8);
    Line(out, "log2_max_pic_order_cnt_lsb_minus4", sps.log2_max_pic_order_cnt_lsb_minus4);
    Line(out, "sps_sub_layer_ordering_info_present_flag", sps.sps_sub_layer_ordering_info_present_flag);
    Line(out, "log2_min_luma_coding_block_size_minus3", sps.log2_min_luma_coding_block_size_minus3);
    Line(out, "log2_diff_max_min_luma_coding_block_size", sps.log2_diff_max_min_luma_coding_block_size);
    return Deliver(out.str(), buffer);
}

int CPPSInfo::Dump(char* buffer) {
    std::ostringstream out;
    out.exceptions(std::ios::badbit); // std::bad_alloc reaches the caller, as in CSPSInfo::Dump
    Line(out, "pps_pic_parameter_set_id", pps.pps_pic_parameter_set_id);
    Line(out, "pps_seq_parameter_set_id", pps.pps_seq_parameter_set_id);
    Line(out, "dependent_slice_segments_enabled_flag", pps.dependent_slice_segments_enabled_flag);
    Line(out, "output_flag_present_flag", pps.output_flag_present_flag);
    Line(out, "num_extra_slice_header_bits", pps.num_extra_slice_header_bits);
    Line(out, "sign_data_hiding_enabled_flag", pps.sign_data_hiding_enabled_flag);
    Line(out, "cabac_init_present_flag", pps.cabac_init_present_flag);
    return Deliver(out.str(), buffer);
}
