#include "HrdParameters.h"

namespace h265tools {

namespace {

// E.2.3 Sub-layer HRD parameters syntax
void ReadSubLayerHrdParameters(RbspBits& bits, unsigned CpbCnt, bool sub_pic_hrd_params_present_flag,
                               SubLayerHrdParameters& sub) {
    for (unsigned i = 0; i < CpbCnt; i++) {
        sub.bit_rate_value_minus1[i] = bits.ue("bit_rate_value_minus1");                     // ue(v)
        sub.cpb_size_value_minus1[i] = bits.ue("cpb_size_value_minus1");                     // ue(v)
        if (sub_pic_hrd_params_present_flag) {
            sub.cpb_size_du_value_minus1[i] = bits.ue("cpb_size_du_value_minus1");           // ue(v)
            sub.bit_rate_du_value_minus1[i] = bits.ue("bit_rate_du_value_minus1");           // ue(v)
        }
        sub.cbr_flag[i] = bits.flag("cbr_flag");                                             // u(1)
    }
}

} // namespace

// E.2.2 HRD parameters syntax
void ReadHrdParameters(RbspBits& bits, bool commonInfPresentFlag, unsigned maxNumSubLayersMinus1,
                       HrdParameters& hrd) {
    CheckAtMost("maxNumSubLayersMinus1", maxNumSubLayersMinus1, 6);
    if (commonInfPresentFlag) {
        hrd.nal_hrd_parameters_present_flag = bits.flag("nal_hrd_parameters_present_flag");  // u(1)
        hrd.vcl_hrd_parameters_present_flag = bits.flag("vcl_hrd_parameters_present_flag");  // u(1)
        if (hrd.nal_hrd_parameters_present_flag || hrd.vcl_hrd_parameters_present_flag) {
            hrd.sub_pic_hrd_params_present_flag = bits.flag("sub_pic_hrd_params_present_flag"); // u(1)
            if (hrd.sub_pic_hrd_params_present_flag) {
                hrd.tick_divisor_minus2 = bits.u(8, "tick_divisor_minus2");                  // u(8)
                hrd.du_cpb_removal_delay_increment_length_minus1 =
                    bits.u(5, "du_cpb_removal_delay_increment_length_minus1");               // u(5)
                hrd.sub_pic_cpb_params_in_pic_timing_sei_flag =
                    bits.flag("sub_pic_cpb_params_in_pic_timing_sei_flag");                  // u(1)
                hrd.dpb_output_delay_du_length_minus1 = bits.u(5, "dpb_output_delay_du_length_minus1"); // u(5)
            }
            hrd.bit_rate_scale = bits.u(4, "bit_rate_scale");                                // u(4)
            hrd.cpb_size_scale = bits.u(4, "cpb_size_scale");                                // u(4)
            if (hrd.sub_pic_hrd_params_present_flag)
                hrd.cpb_size_du_scale = bits.u(4, "cpb_size_du_scale");                      // u(4)
            hrd.initial_cpb_removal_delay_length_minus1 =
                bits.u(5, "initial_cpb_removal_delay_length_minus1");                        // u(5)
            hrd.au_cpb_removal_delay_length_minus1 = bits.u(5, "au_cpb_removal_delay_length_minus1"); // u(5)
            hrd.dpb_output_delay_length_minus1 = bits.u(5, "dpb_output_delay_length_minus1"); // u(5)
        }
    }
    for (unsigned i = 0; i <= maxNumSubLayersMinus1; i++) {
        HrdSubLayer& sub = hrd.sub_layers[i];
        sub = HrdSubLayer();
        sub.fixed_pic_rate_general_flag = bits.flag("fixed_pic_rate_general_flag");          // u(1)
        // E.3.2: fixed_pic_rate_within_cvs_flag is 1 when the general flag is.
        sub.fixed_pic_rate_within_cvs_flag = true;
        if (!sub.fixed_pic_rate_general_flag)
            sub.fixed_pic_rate_within_cvs_flag = bits.flag("fixed_pic_rate_within_cvs_flag"); // u(1)
        if (sub.fixed_pic_rate_within_cvs_flag) {
            sub.elemental_duration_in_tc_minus1 = bits.ue("elemental_duration_in_tc_minus1"); // ue(v)
            CheckAtMost("elemental_duration_in_tc_minus1", sub.elemental_duration_in_tc_minus1, 2047);
        } else {
            sub.low_delay_hrd_flag = bits.flag("low_delay_hrd_flag");                        // u(1)
        }
        if (!sub.low_delay_hrd_flag) {
            sub.cpb_cnt_minus1 = bits.ue("cpb_cnt_minus1");                                  // ue(v)
            CheckAtMost("cpb_cnt_minus1", sub.cpb_cnt_minus1, SubLayerHrdParameters::kMaxCpbs - 1);
        }
        if (hrd.nal_hrd_parameters_present_flag)
            ReadSubLayerHrdParameters(bits, sub.cpb_cnt_minus1 + 1, hrd.sub_pic_hrd_params_present_flag, sub.nal);
        if (hrd.vcl_hrd_parameters_present_flag)
            ReadSubLayerHrdParameters(bits, sub.cpb_cnt_minus1 + 1, hrd.sub_pic_hrd_params_present_flag, sub.vcl);
    }
}

} // namespace h265tools
