#include "SequenceParameterSet.h"

#include <cstring>
#include <memory>

#include "BitInStream.h"
#include "NalUnit.h"
#include "OwnedArray.h"
#include "ParameterSetListing.h"
#include "ProfileTierLevel.h"
#include "SafeArithmetic.h"

namespace h265headers {

namespace {

// 7.3.2.2.1 General sequence parameter set RBSP syntax, up to
// log2_diff_max_min_luma_coding_block_size.
void ReadSpsFields(CH264BitInStream& bs, SEQ_PARAMETER_SET& sps) {
    sps.sps_video_parameter_set_id = bs.GetBits(4);   // u(4)
    sps.sps_max_sub_layers_minus1 = bs.GetBits(3);    // u(3)
    sps.sps_temporal_id_nesting_flag = bs.GetBits(1); // u(1)
    sps.ptl = CreateProfileTierLevel(sps.sps_max_sub_layers_minus1);
    profile_tier_level(*sps.ptl, bs);             // profile_tier_level( 1, sps_max_sub_layers_minus1 )
    sps.sps_seq_parameter_set_id = bs.GetUE();    // ue(v)
    sps.chroma_format_idc = bs.GetUE();           // ue(v)
    if (sps.chroma_format_idc == 3)
        sps.separate_colour_plane_flag = bs.GetBits(1); // u(1)
    sps.pic_width_in_luma_samples = bs.GetUE();   // ue(v)
    sps.pic_height_in_luma_samples = bs.GetUE();  // ue(v)
    sps.conformance_window_flag = bs.GetBits(1);  // u(1)
    if (sps.conformance_window_flag) {
        sps.conf_win_left_offset = bs.GetUE();   // ue(v)
        sps.conf_win_right_offset = bs.GetUE();  // ue(v)
        sps.conf_win_top_offset = bs.GetUE();    // ue(v)
        sps.conf_win_bottom_offset = bs.GetUE(); // ue(v)
    }
    sps.bit_depth_luma_minus8 = bs.GetUE();                    // ue(v)
    sps.bit_depth_chroma_minus8 = bs.GetUE();                  // ue(v)
    sps.log2_max_pic_order_cnt_lsb_minus4 = bs.GetUE();        // ue(v)
    sps.sps_sub_layer_ordering_info_present_flag = bs.GetBits(1); // u(1)
    const unsigned int count = sps.sps_max_sub_layers_minus1 + 1;
    sps.sps_max_dec_pic_buffering_minus1 = NewClearedArray<unsigned int>(count);
    sps.sps_max_num_reorder_pics = NewClearedArray<unsigned int>(count);
    sps.sps_max_latency_increase_plus1 = NewClearedArray<unsigned int>(count);
    for (unsigned int i = sps.sps_sub_layer_ordering_info_present_flag ? 0 : sps.sps_max_sub_layers_minus1;
         i <= sps.sps_max_sub_layers_minus1; ++i) {
        sps.sps_max_dec_pic_buffering_minus1[i] = bs.GetUE(); // ue(v)
        sps.sps_max_num_reorder_pics[i] = bs.GetUE();         // ue(v)
        sps.sps_max_latency_increase_plus1[i] = bs.GetUE();   // ue(v)
    }
    sps.log2_min_luma_coding_block_size_minus3 = bs.GetUE();   // ue(v)
    sps.log2_diff_max_min_luma_coding_block_size = bs.GetUE(); // ue(v)
}

} // namespace

bool ParseSequenceParameterSet(const unsigned char* data, unsigned int len, CSPSInfo& record) {
    const int scanLength = ScanLength(len);
    const unsigned char* start = FindStartCode(data, scanLength, kNalSps);
    if (!start)
        return false;
    const unsigned char* nal = start + StartCodeLength(start);
    const unsigned int size = static_cast<unsigned int>(NalUnitEnd(start, data + scanLength) - nal);

    // 7.3.1.1: the RBSP is the payload without its emulation_prevention_three_bytes.
    // An SPS is rarely longer than a few dozen bytes: such a copy stays on
    // the stack, and only a longer one costs an allocation.
    unsigned char small[256];
    std::unique_ptr<unsigned char[]> large;
    unsigned char* payload = small;
    if (size > sizeof small) {
        large.reset(new unsigned char[size]);
        payload = large.get();
    }
    const unsigned int payloadSize = UnescapeNalPayload(nal, size, payload);
    if (payloadSize == 0)
        throw kEndOfData; // nothing after the NAL unit header: out of data at the first element

    CMemInputSource source(payload, static_cast<int>(payloadSize));
    CH264BitInStream bs(&source);
    ReadSpsFields(bs, record.sps);
    return true;
}

} // namespace h265headers

using namespace h265headers;

CSPSInfo::CSPSInfo() {
    std::memset(&sps, 0, sizeof sps);
}

CSPSInfo::~CSPSInfo() {
    if (sps.ptl) {
        DestroyProfileTierLevel(sps.ptl);
        sps.ptl = 0;
    }
    ReleaseArray(sps.sps_max_dec_pic_buffering_minus1);
    ReleaseArray(sps.sps_max_num_reorder_pics);
    ReleaseArray(sps.sps_max_latency_increase_plus1);
}

bool CSPSInfo::GetPicSize(int* width, int* height) {
    if (!width || !height)
        return false;
    *width = ToSignedInt32(sps.pic_width_in_luma_samples);
    *height = ToSignedInt32(sps.pic_height_in_luma_samples);
    return true;
}

int CSPSInfo::Dump(char* buffer) {
    // The elements read, in the order of the syntax; separate_colour_plane_flag
    // and the conformance-window offsets only where the syntax has them, the
    // offsets indented under conformance_window_flag.
    ParameterSetListing out;
    out.Line("sps_video_parameter_set_id", sps.sps_video_parameter_set_id);
    out.Line("sps_max_sub_layers_minus1", sps.sps_max_sub_layers_minus1);
    out.Line("sps_temporal_id_nesting_flag", sps.sps_temporal_id_nesting_flag);
    out.Line("sps_seq_parameter_set_id", sps.sps_seq_parameter_set_id);
    out.Line("chroma_format_idc", sps.chroma_format_idc);
    if (sps.chroma_format_idc == 3)
        out.Line("separate_colour_plane_flag", sps.separate_colour_plane_flag);
    out.Line("pic_width_in_luma_samples", sps.pic_width_in_luma_samples);
    out.Line("pic_height_in_luma_samples", sps.pic_height_in_luma_samples);
    out.Line("conformance_window_flag", sps.conformance_window_flag);
    if (sps.conformance_window_flag) {
        out.Line("conf_win_left_offset", sps.conf_win_left_offset, true);
        out.Line("conf_win_right_offset", sps.conf_win_right_offset, true);
        out.Line("conf_win_top_offset", sps.conf_win_top_offset, true);
        out.Line("conf_win_bottom_offset", sps.conf_win_bottom_offset, true);
    }
    out.Line("bit_depth_luma_minus8", sps.bit_depth_luma_minus8);
    out.Line("bit_depth_chroma_minus8", sps.bit_depth_chroma_minus8);
    out.Line("log2_max_pic_order_cnt_lsb_minus4", sps.log2_max_pic_order_cnt_lsb_minus4);
    out.Line("sps_sub_layer_ordering_info_present_flag", sps.sps_sub_layer_ordering_info_present_flag);
    out.Line("log2_min_luma_coding_block_size_minus3", sps.log2_min_luma_coding_block_size_minus3);
    out.Line("log2_diff_max_min_luma_coding_block_size", sps.log2_diff_max_min_luma_coding_block_size);
    return out.Deliver(buffer);
}
