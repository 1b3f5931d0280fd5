// hrd_parameters( ) and sub_layer_hrd_parameters( ), E.2.2 and E.2.3.
#ifndef H265TOOLS_HRD_PARAMETERS_H
#define H265TOOLS_HRD_PARAMETERS_H

#include <cstdint>

#include "RbspBits.h"

namespace h265tools {

// sub_layer_hrd_parameters( subLayerId ) of one sub-layer: CpbCnt entries.
struct SubLayerHrdParameters {
    static const unsigned kMaxCpbs = 32; // cpb_cnt_minus1 is at most 31
    std::uint32_t bit_rate_value_minus1[kMaxCpbs] = {};
    std::uint32_t cpb_size_value_minus1[kMaxCpbs] = {};
    std::uint32_t cpb_size_du_value_minus1[kMaxCpbs] = {};
    std::uint32_t bit_rate_du_value_minus1[kMaxCpbs] = {};
    bool cbr_flag[kMaxCpbs] = {};
};

struct HrdSubLayer {
    bool fixed_pic_rate_general_flag = false;
    bool fixed_pic_rate_within_cvs_flag = false; // 1 when fixed_pic_rate_general_flag is 1
    unsigned elemental_duration_in_tc_minus1 = 0;
    bool low_delay_hrd_flag = false;
    unsigned cpb_cnt_minus1 = 0;
    SubLayerHrdParameters nal;
    SubLayerHrdParameters vcl;
};

struct HrdParameters {
    bool nal_hrd_parameters_present_flag = false;
    bool vcl_hrd_parameters_present_flag = false;
    bool sub_pic_hrd_params_present_flag = false;
    unsigned tick_divisor_minus2 = 0;
    unsigned du_cpb_removal_delay_increment_length_minus1 = 0;
    bool sub_pic_cpb_params_in_pic_timing_sei_flag = false;
    unsigned dpb_output_delay_du_length_minus1 = 0;
    unsigned bit_rate_scale = 0;
    unsigned cpb_size_scale = 0;
    unsigned cpb_size_du_scale = 0;
    unsigned initial_cpb_removal_delay_length_minus1 = 23; // E.3.2 when not present
    unsigned au_cpb_removal_delay_length_minus1 = 23;
    unsigned dpb_output_delay_length_minus1 = 23;
    HrdSubLayer sub_layers[7]; // [ 0 .. maxNumSubLayersMinus1 ]
};

// maxNumSubLayersMinus1 <= 6.
void ReadHrdParameters(RbspBits& bits, bool commonInfPresentFlag, unsigned maxNumSubLayersMinus1,
                       HrdParameters& hrd);

} // namespace h265tools

#endif
