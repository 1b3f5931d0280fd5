// The sequence parameter set record and its reading, from
// seq_parameter_set_rbsp() up to log2_diff_max_min_luma_coding_block_size.
#ifndef H265HEADERS_SEQUENCE_PARAMETER_SET_H
#define H265HEADERS_SEQUENCE_PARAMETER_SET_H

#include "h265headers.h"

// The SPS fields from sps_video_parameter_set_id up to
// log2_diff_max_min_luma_coding_block_size, named as in the H.265 standard.
// All zero (every pointer null) when the record is created.
struct SEQ_PARAMETER_SET {
    unsigned int sps_video_parameter_set_id;
    unsigned int sps_max_sub_layers_minus1;
    unsigned int sps_temporal_id_nesting_flag;
    PROFILE_TIER_LEVEL* ptl; // owned
    unsigned int sps_seq_parameter_set_id;
    unsigned int chroma_format_idc;
    unsigned int separate_colour_plane_flag;
    unsigned int pic_width_in_luma_samples;
    unsigned int pic_height_in_luma_samples;
    unsigned int conformance_window_flag;
    unsigned int conf_win_left_offset;
    unsigned int conf_win_right_offset;
    unsigned int conf_win_top_offset;
    unsigned int conf_win_bottom_offset;
    unsigned int bit_depth_luma_minus8;
    unsigned int bit_depth_chroma_minus8;
    unsigned int log2_max_pic_order_cnt_lsb_minus4;
    unsigned int sps_sub_layer_ordering_info_present_flag;
    // Owned arrays of sps_max_sub_layers_minus1 + 1 entries. Without
    // sps_sub_layer_ordering_info_present_flag only the last entry is read and
    // the ones below it stay 0 (the values the standard infers are not filled in).
    unsigned int* sps_max_dec_pic_buffering_minus1;
    unsigned int* sps_max_num_reorder_pics;
    unsigned int* sps_max_latency_increase_plus1;
    unsigned int log2_min_luma_coding_block_size_minus3;
    unsigned int log2_diff_max_min_luma_coding_block_size;
};

class CSPSInfo final : public H265Parser::ISPS {
public:
    CSPSInfo();
    ~CSPSInfo(); // releases whatever a possibly unfinished parse attached

    bool GetPicSize(int* width, int* height);
    int Dump(char* buffer); // the text listing, two-call protocol

    SEQ_PARAMETER_SET sps;

private:
    CSPSInfo(const CSPSInfo&);
    CSPSInfo& operator=(const CSPSInfo&);
};

namespace h265headers {

// Reads the first SPS NAL unit of the block into `record`, which must be
// all zero. False when there is none; the end-of-data signal when it ends early.
bool ParseSequenceParameterSet(const unsigned char* data, unsigned int len, CSPSInfo& record);

} // namespace h265headers

#endif
