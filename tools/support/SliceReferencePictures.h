// slice_segment_header( ), 7.3.6.1, from short_term_ref_pic_set_sps_flag to
// slice_temporal_mvp_enabled_flag: the reference pictures a picture names.
#ifndef H265TOOLS_SLICE_REFERENCE_PICTURES_H
#define H265TOOLS_SLICE_REFERENCE_PICTURES_H

#include <cstdint>

#include "RbspBits.h"
#include "ShortTermRefPicSet.h"
#include "SlicePocHeader.h"
#include "SpsSyntax.h"

namespace h265tools {

struct SliceReferencePictures {
    // num_long_term_sps + num_long_term_pics is at most
    // sps_max_dec_pic_buffering_minus1, itself at most 15 (7.4.7.1).
    static const unsigned kMaxLongTermPictures = ShortTermRefPicSet::kMaxPictures;

    bool short_term_ref_pic_set_sps_flag = false;
    ShortTermRefPicSet st_ref_pic_set;          // st_ref_pic_set( num_short_term_ref_pic_sets ), when coded
    unsigned short_term_ref_pic_set_idx = 0;
    unsigned num_long_term_sps = 0;
    unsigned num_long_term_pics = 0;
    unsigned lt_idx_sps[kMaxLongTermPictures] = {};
    std::uint32_t poc_lsb_lt[kMaxLongTermPictures] = {};
    bool used_by_curr_pic_lt_flag[kMaxLongTermPictures] = {};
    bool delta_poc_msb_present_flag[kMaxLongTermPictures] = {};
    std::uint32_t delta_poc_msb_cycle_lt[kMaxLongTermPictures] = {};
    bool slice_temporal_mvp_enabled_flag = false;
};

// Goes on where ReadSlicePocHeader left `bits`, for the independent slice
// segment `header` of a picture that activates `sps`. An IDR picture codes
// none of it. Throws SyntaxError as the readers of the parameter sets do.
void ReadSliceReferencePictures(RbspBits& bits, const SpsSyntax& sps, const SlicePocHeader& header,
                                SliceReferencePictures& refs);

} // namespace h265tools

#endif
