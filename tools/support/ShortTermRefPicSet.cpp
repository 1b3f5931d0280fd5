#include "ShortTermRefPicSet.h"

#include <string>

namespace h265tools {

namespace {

const unsigned kMaxDeltaPocMinus1 = 32767; // delta_poc_s0/s1_minus1 and abs_delta_rps_minus1: 0..2^15 - 1

[[noreturn]] void TooManyPictures(unsigned stRpsIdx, const char* list) {
    throw SyntaxError("st_ref_pic_set(" + std::to_string(stRpsIdx) + ") predicts more than 16 " + list +
                      " pictures");
}

// 7.4.8, equations 7-61 and 7-62: the set predicted from set RefRpsIdx.
void PredictFromReference(const ShortTermRefPicSet& ref, std::int32_t deltaRps, unsigned stRpsIdx,
                          ShortTermRefPicSet& set) {
    const unsigned kMax = ShortTermRefPicSet::kMaxPictures;
    unsigned i = 0;
    for (unsigned j = ref.NumPositivePics; j-- > 0;) {
        const std::int32_t dPoc = ref.DeltaPocS1[j] + deltaRps;
        if (dPoc < 0 && set.use_delta_flag[ref.NumNegativePics + j]) {
            if (i == kMax)
                TooManyPictures(stRpsIdx, "negative");
            set.DeltaPocS0[i] = dPoc;
            set.UsedByCurrPicS0[i++] = set.used_by_curr_pic_flag[ref.NumNegativePics + j];
        }
    }
    if (deltaRps < 0 && set.use_delta_flag[ref.NumDeltaPocs]) {
        if (i == kMax)
            TooManyPictures(stRpsIdx, "negative");
        set.DeltaPocS0[i] = deltaRps;
        set.UsedByCurrPicS0[i++] = set.used_by_curr_pic_flag[ref.NumDeltaPocs];
    }
    for (unsigned j = 0; j < ref.NumNegativePics; j++) {
        const std::int32_t dPoc = ref.DeltaPocS0[j] + deltaRps;
        if (dPoc < 0 && set.use_delta_flag[j]) {
            if (i == kMax)
                TooManyPictures(stRpsIdx, "negative");
            set.DeltaPocS0[i] = dPoc;
            set.UsedByCurrPicS0[i++] = set.used_by_curr_pic_flag[j];
        }
    }
    set.NumNegativePics = i;
    i = 0;
    for (unsigned j = ref.NumNegativePics; j-- > 0;) {
        const std::int32_t dPoc = ref.DeltaPocS0[j] + deltaRps;
        if (dPoc > 0 && set.use_delta_flag[j]) {
            if (i == kMax)
                TooManyPictures(stRpsIdx, "positive");
            set.DeltaPocS1[i] = dPoc;
            set.UsedByCurrPicS1[i++] = set.used_by_curr_pic_flag[j];
        }
    }
    if (deltaRps > 0 && set.use_delta_flag[ref.NumDeltaPocs]) {
        if (i == kMax)
            TooManyPictures(stRpsIdx, "positive");
        set.DeltaPocS1[i] = deltaRps;
        set.UsedByCurrPicS1[i++] = set.used_by_curr_pic_flag[ref.NumDeltaPocs];
    }
    for (unsigned j = 0; j < ref.NumPositivePics; j++) {
        const std::int32_t dPoc = ref.DeltaPocS1[j] + deltaRps;
        if (dPoc > 0 && set.use_delta_flag[ref.NumNegativePics + j]) {
            if (i == kMax)
                TooManyPictures(stRpsIdx, "positive");
            set.DeltaPocS1[i] = dPoc;
            set.UsedByCurrPicS1[i++] = set.used_by_curr_pic_flag[ref.NumNegativePics + j];
        }
    }
    set.NumPositivePics = i;
    if (set.NumNegativePics + set.NumPositivePics > kMax)
        throw SyntaxError("st_ref_pic_set(" + std::to_string(stRpsIdx) + ") predicts more than 16 pictures");
}

} // namespace

// 7.3.7 Short-term reference picture set syntax
void ReadShortTermRefPicSet(RbspBits& bits, unsigned stRpsIdx, unsigned num_short_term_ref_pic_sets,
                            const ShortTermRefPicSet* sets, unsigned maxDecPicBufferingMinus1,
                            ShortTermRefPicSet& set) {
    set = ShortTermRefPicSet();
    // MaxDpbSize - 1 (A.4.2) keeps every list within kMaxPictures.
    CheckAtMost("sps_max_dec_pic_buffering_minus1", maxDecPicBufferingMinus1, ShortTermRefPicSet::kMaxPictures - 1);
    if (stRpsIdx != 0)
        set.inter_ref_pic_set_prediction_flag = bits.flag("inter_ref_pic_set_prediction_flag"); // u(1)
    if (set.inter_ref_pic_set_prediction_flag) {
        if (stRpsIdx == num_short_term_ref_pic_sets) {
            set.delta_idx_minus1 = bits.ue("delta_idx_minus1");                              // ue(v)
            CheckAtMost("delta_idx_minus1", set.delta_idx_minus1, stRpsIdx - 1);
        }
        set.delta_rps_sign = bits.flag("delta_rps_sign");                                    // u(1)
        set.abs_delta_rps_minus1 = bits.ue("abs_delta_rps_minus1");                          // ue(v)
        CheckAtMost("abs_delta_rps_minus1", set.abs_delta_rps_minus1, kMaxDeltaPocMinus1);
        const ShortTermRefPicSet& ref = sets[stRpsIdx - (set.delta_idx_minus1 + 1)];       // RefRpsIdx
        const std::int32_t magnitude = static_cast<std::int32_t>(set.abs_delta_rps_minus1) + 1;
        const std::int32_t deltaRps = set.delta_rps_sign ? -magnitude : magnitude;
        set.coded_reference_flags = ref.NumDeltaPocs + 1;
        for (unsigned j = 0; j <= ref.NumDeltaPocs; j++) {
            set.used_by_curr_pic_flag[j] = bits.flag("used_by_curr_pic_flag");              // u(1)
            set.use_delta_flag[j] = true;
            if (!set.used_by_curr_pic_flag[j])
                set.use_delta_flag[j] = bits.flag("use_delta_flag");                          // u(1)
        }
        PredictFromReference(ref, deltaRps, stRpsIdx, set);
    } else {
        set.num_negative_pics = bits.ue("num_negative_pics");                                // ue(v)
        CheckAtMost("num_negative_pics", set.num_negative_pics, maxDecPicBufferingMinus1);
        set.num_positive_pics = bits.ue("num_positive_pics");                                // ue(v)
        CheckAtMost("num_positive_pics", set.num_positive_pics, maxDecPicBufferingMinus1 - set.num_negative_pics);
        std::int32_t poc = 0;
        for (unsigned i = 0; i < set.num_negative_pics; i++) {
            set.delta_poc_s0_minus1[i] = bits.ue("delta_poc_s0_minus1");                     // ue(v)
            CheckAtMost("delta_poc_s0_minus1", set.delta_poc_s0_minus1[i], kMaxDeltaPocMinus1);
            set.used_by_curr_pic_s0_flag[i] = bits.flag("used_by_curr_pic_s0_flag");         // u(1)
            poc -= static_cast<std::int32_t>(set.delta_poc_s0_minus1[i]) + 1;                // 7-63, 7-65
            set.DeltaPocS0[i] = poc;
            set.UsedByCurrPicS0[i] = set.used_by_curr_pic_s0_flag[i];
        }
        poc = 0;
        for (unsigned i = 0; i < set.num_positive_pics; i++) {
            set.delta_poc_s1_minus1[i] = bits.ue("delta_poc_s1_minus1");                     // ue(v)
            CheckAtMost("delta_poc_s1_minus1", set.delta_poc_s1_minus1[i], kMaxDeltaPocMinus1);
            set.used_by_curr_pic_s1_flag[i] = bits.flag("used_by_curr_pic_s1_flag");         // u(1)
            poc += static_cast<std::int32_t>(set.delta_poc_s1_minus1[i]) + 1;                // 7-64, 7-66
            set.DeltaPocS1[i] = poc;
            set.UsedByCurrPicS1[i] = set.used_by_curr_pic_s1_flag[i];
        }
        set.NumNegativePics = set.num_negative_pics;
        set.NumPositivePics = set.num_positive_pics;
    }
    set.NumDeltaPocs = set.NumNegativePics + set.NumPositivePics;
}

} // namespace h265tools
