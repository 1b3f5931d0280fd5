#include "PpsSyntax.h"

#include "RbspBits.h"

namespace h265tools {

// 7.3.2.3.1 General picture parameter set RBSP syntax, up to num_extra_slice_header_bits
void ReadPpsHead(const unsigned char* nal, std::size_t size, PpsHead& pps) {
    RbspBits bits(nal, size);
    pps.pps_pic_parameter_set_id = bits.ue("pps_pic_parameter_set_id");                       // ue(v)
    CheckAtMost("pps_pic_parameter_set_id", pps.pps_pic_parameter_set_id, 63);
    pps.pps_seq_parameter_set_id = bits.ue("pps_seq_parameter_set_id");                       // ue(v)
    CheckAtMost("pps_seq_parameter_set_id", pps.pps_seq_parameter_set_id, 15);
    pps.dependent_slice_segments_enabled_flag = bits.flag("dependent_slice_segments_enabled_flag"); // u(1)
    pps.output_flag_present_flag = bits.flag("output_flag_present_flag");                     // u(1)
    pps.num_extra_slice_header_bits = bits.u(3, "num_extra_slice_header_bits");               // u(3)
}

} // namespace h265tools
