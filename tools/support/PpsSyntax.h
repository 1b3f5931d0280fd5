// pic_parameter_set_rbsp( ), 7.3.2.3.1: the head a slice segment header needs.
#ifndef H265TOOLS_PPS_SYNTAX_H
#define H265TOOLS_PPS_SYNTAX_H

#include <cstddef>

namespace h265tools {

struct PpsHead {
    unsigned pps_pic_parameter_set_id = 0;
    unsigned pps_seq_parameter_set_id = 0;
    bool dependent_slice_segments_enabled_flag = false;
    bool output_flag_present_flag = false;
    unsigned num_extra_slice_header_bits = 0;
};

// As ReadSps, for a PPS NAL unit; reading stops after num_extra_slice_header_bits.
void ReadPpsHead(const unsigned char* nal, std::size_t size, PpsHead& pps);

} // namespace h265tools

#endif
