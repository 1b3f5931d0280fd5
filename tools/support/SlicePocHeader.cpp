#include "SlicePocHeader.h"

#include <string>

#include "NalUnitTypes.h"
#include "RbspBits.h"

namespace h265tools {

void ReadSlicePocHeader(const unsigned char* nal, std::size_t size, const PpsHead& pps, const SpsSyntax& sps,
                        SlicePocHeader& header) {
    if (size < 2)
        throw SyntaxError("ends before first_slice_segment_in_pic_flag (truncated)", true);
    RbspBits bits(nal, size);
    ReadSlicePocHeader(bits, pps, sps, header);
}

// 7.3.6.1 General slice segment header syntax, up to slice_pic_order_cnt_lsb
void ReadSlicePocHeader(RbspBits& bits, const PpsHead& pps, const SpsSyntax& sps, SlicePocHeader& header) {
    header.nal_unit_type = bits.NalUnitType();
    header.temporal_id = bits.TemporalId();
    if (header.nal_unit_type > 31)
        throw SyntaxError("nal_unit_type " + std::to_string(header.nal_unit_type) + " is not a slice segment");
    if (pps.pps_seq_parameter_set_id != sps.sps_seq_parameter_set_id)
        throw SyntaxError("pps_seq_parameter_set_id " + std::to_string(pps.pps_seq_parameter_set_id) +
                          " names another SPS than the one given");
    header.first_slice_segment_in_pic_flag = bits.flag("first_slice_segment_in_pic_flag");   // u(1)
    header.no_output_of_prior_pics_flag = false;
    if (IsIrap(header.nal_unit_type))
        header.no_output_of_prior_pics_flag = bits.flag("no_output_of_prior_pics_flag");      // u(1)
    header.slice_pic_parameter_set_id = bits.ue("slice_pic_parameter_set_id");                // ue(v)
    CheckAtMost("slice_pic_parameter_set_id", header.slice_pic_parameter_set_id, 63);
    if (header.slice_pic_parameter_set_id != pps.pps_pic_parameter_set_id)
        throw SyntaxError("slice_pic_parameter_set_id " + std::to_string(header.slice_pic_parameter_set_id) +
                          " names another PPS than the one given");
    header.dependent_slice_segment_flag = false;
    header.slice_segment_address = 0;
    if (!header.first_slice_segment_in_pic_flag) {
        if (pps.dependent_slice_segments_enabled_flag)
            header.dependent_slice_segment_flag = bits.flag("dependent_slice_segment_flag");  // u(1)
        const std::uint64_t picSizeInCtbsY = sps.PicSizeInCtbsY();
        const int length = CeilLog2(picSizeInCtbsY);
        if (length > 32)
            throw SyntaxError("slice_segment_address would need " + std::to_string(length) + " bits");
        header.slice_segment_address = bits.u(length, "slice_segment_address");              // u(v)
        CheckAtMost("slice_segment_address", header.slice_segment_address, picSizeInCtbsY - 1);
    }
    if (header.dependent_slice_segment_flag)
        return;
    for (unsigned i = 0; i < pps.num_extra_slice_header_bits; i++)
        bits.flag("slice_reserved_flag");                                                     // u(1)
    header.slice_type = bits.ue("slice_type");                                                // ue(v)
    CheckAtMost("slice_type", header.slice_type, 2);
    header.pic_output_flag = true;
    if (pps.output_flag_present_flag)
        header.pic_output_flag = bits.flag("pic_output_flag");                                // u(1)
    header.colour_plane_id = 0;
    if (sps.separate_colour_plane_flag)
        header.colour_plane_id = bits.u(2, "colour_plane_id");                                // u(2)
    header.slice_pic_order_cnt_lsb = 0;
    if (!IsIdr(header.nal_unit_type))
        header.slice_pic_order_cnt_lsb =
            bits.u(static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4), "slice_pic_order_cnt_lsb"); // u(v)
}

} // namespace h265tools
