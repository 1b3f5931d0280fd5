// st_ref_pic_set( stRpsIdx ), 7.3.7, with the variables 7.4.8 derives.
#ifndef H265TOOLS_SHORT_TERM_REF_PIC_SET_H
#define H265TOOLS_SHORT_TERM_REF_PIC_SET_H

#include <cstdint>

#include "RbspBits.h"

namespace h265tools {

struct ShortTermRefPicSet {
    // Largest number of pictures in a set: sps_max_dec_pic_buffering_minus1 + 1
    // with MaxDpbSize at most 16 (A.4.2).
    static const unsigned kMaxPictures = 16;

    bool inter_ref_pic_set_prediction_flag = false;
    unsigned delta_idx_minus1 = 0;
    bool delta_rps_sign = false;
    unsigned abs_delta_rps_minus1 = 0;
    unsigned coded_reference_flags = 0; // NumDeltaPocs[ RefRpsIdx ] + 1: entries of the two arrays below
    bool used_by_curr_pic_flag[kMaxPictures + 1] = {};
    bool use_delta_flag[kMaxPictures + 1] = {}; // 1 when not coded
    unsigned num_negative_pics = 0;
    unsigned num_positive_pics = 0;
    unsigned delta_poc_s0_minus1[kMaxPictures] = {};
    bool used_by_curr_pic_s0_flag[kMaxPictures] = {};
    unsigned delta_poc_s1_minus1[kMaxPictures] = {};
    bool used_by_curr_pic_s1_flag[kMaxPictures] = {};

    // 7.4.8, for both kinds of set.
    unsigned NumNegativePics = 0;
    unsigned NumPositivePics = 0;
    unsigned NumDeltaPocs = 0;
    std::int32_t DeltaPocS0[kMaxPictures] = {};
    std::int32_t DeltaPocS1[kMaxPictures] = {};
    bool UsedByCurrPicS0[kMaxPictures] = {};
    bool UsedByCurrPicS1[kMaxPictures] = {};
};

// Reads set `stRpsIdx` of an SPS (stRpsIdx < num_short_term_ref_pic_sets) or
// of a slice header (stRpsIdx == num_short_term_ref_pic_sets); `sets` holds
// the SPS's sets 0 .. stRpsIdx - 1, which inter-RPS prediction refers to.
// maxDecPicBufferingMinus1 is sps_max_dec_pic_buffering_minus1 of the
// highest sub-layer, the bound of num_negative_pics and num_positive_pics.
void ReadShortTermRefPicSet(RbspBits& bits, unsigned stRpsIdx, unsigned num_short_term_ref_pic_sets,
                            const ShortTermRefPicSet* sets, unsigned maxDecPicBufferingMinus1,
                            ShortTermRefPicSet& set);

} // namespace h265tools

#endif
