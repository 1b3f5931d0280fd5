#include "SliceReferencePictures.h"

#include "NalUnitTypes.h"

namespace h265tools {

// 7.3.6.1 General slice segment header syntax, from short_term_ref_pic_set_sps_flag
// to slice_temporal_mvp_enabled_flag
void ReadSliceReferencePictures(RbspBits& bits, const SpsSyntax& sps, const SlicePocHeader& header,
                                SliceReferencePictures& refs) {
    refs = SliceReferencePictures();
    if (header.dependent_slice_segment_flag || IsIdr(header.nal_unit_type))
        return;
    // The bound of the picture counts: sps_max_dec_pic_buffering_minus1 of the
    // highest sub-layer, the largest (7.4.3.2.1).
    const unsigned maxDecPicBufferingMinus1 = sps.sps_max_dec_pic_buffering_minus1[sps.sps_max_sub_layers_minus1 % 7];
    const unsigned numSets = sps.num_short_term_ref_pic_sets;
    refs.short_term_ref_pic_set_sps_flag = bits.flag("short_term_ref_pic_set_sps_flag");     // u(1)
    unsigned numDeltaPocs = 0; // NumNegativePics + NumPositivePics of the picture's set
    if (!refs.short_term_ref_pic_set_sps_flag) {
        ReadShortTermRefPicSet(bits, numSets, numSets, sps.st_ref_pic_set, maxDecPicBufferingMinus1,
                               refs.st_ref_pic_set);
        numDeltaPocs = refs.st_ref_pic_set.NumDeltaPocs;
    } else {
        if (numSets == 0)
            throw SyntaxError("short_term_ref_pic_set_sps_flag is 1 but the SPS has no st_ref_pic_set");
        if (numSets > 1) {
            refs.short_term_ref_pic_set_idx = bits.u(CeilLog2(numSets), "short_term_ref_pic_set_idx"); // u(v)
            CheckAtMost("short_term_ref_pic_set_idx", refs.short_term_ref_pic_set_idx, numSets - 1);
        }
        numDeltaPocs = sps.st_ref_pic_set[refs.short_term_ref_pic_set_idx].NumDeltaPocs;
    }
    if (sps.long_term_ref_pics_present_flag) {
        const unsigned room = numDeltaPocs < maxDecPicBufferingMinus1 ? maxDecPicBufferingMinus1 - numDeltaPocs : 0;
        if (sps.num_long_term_ref_pics_sps > 0) {
            refs.num_long_term_sps = bits.ue("num_long_term_sps");                           // ue(v)
            CheckAtMost("num_long_term_sps", refs.num_long_term_sps,
                        room < sps.num_long_term_ref_pics_sps ? room : sps.num_long_term_ref_pics_sps);
        }
        refs.num_long_term_pics = bits.ue("num_long_term_pics");                             // ue(v)
        CheckAtMost("num_long_term_pics", refs.num_long_term_pics, room - refs.num_long_term_sps);
        const int pocLsbLength = static_cast<int>(sps.log2_max_pic_order_cnt_lsb_minus4 + 4);
        for (unsigned i = 0; i < refs.num_long_term_sps + refs.num_long_term_pics; i++) {
            if (i < refs.num_long_term_sps) {
                if (sps.num_long_term_ref_pics_sps > 1) {
                    refs.lt_idx_sps[i] = bits.u(CeilLog2(sps.num_long_term_ref_pics_sps), "lt_idx_sps"); // u(v)
                    CheckAtMost("lt_idx_sps", refs.lt_idx_sps[i], sps.num_long_term_ref_pics_sps - 1);
                }
            } else {
                refs.poc_lsb_lt[i] = bits.u(pocLsbLength, "poc_lsb_lt");                     // u(v)
                refs.used_by_curr_pic_lt_flag[i] = bits.flag("used_by_curr_pic_lt_flag");     // u(1)
            }
            refs.delta_poc_msb_present_flag[i] = bits.flag("delta_poc_msb_present_flag");    // u(1)
            if (refs.delta_poc_msb_present_flag[i])
                refs.delta_poc_msb_cycle_lt[i] = bits.ue("delta_poc_msb_cycle_lt");           // ue(v)
        }
    }
    if (sps.sps_temporal_mvp_enabled_flag)
        refs.slice_temporal_mvp_enabled_flag = bits.flag("slice_temporal_mvp_enabled_flag"); // u(1)
}

} // namespace h265tools
