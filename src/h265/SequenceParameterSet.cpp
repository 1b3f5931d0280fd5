// seq_parameter_set_rbsp() up to log2_diff_max_min_luma_coding_block_size.
#include <cstring>
#include <memory>

#include "BitInStream.h"
#include "NalUnit.h"
#include "SafeArithmetic.h"
#include "SpsInfo.h"

namespace {

template <typename T> void ReleaseArray(T*& array) {
    if (array) {
        delete[] array;
        array = 0;
    }
}

void ReadSpsFields(CH264BitInStream& bs, SEQ_PARAMETER_SET& sps) {
    sps.sps_video_parameter_set_id = bs.GetBits(4);
    sps.sps_max_sub_layers_minus1 = bs.GetBits(3);
    sps.sps_temporal_id_nesting_flag = bs.GetBits(1);
    sps.ptl = CreateProfileTierLevel(sps.sps_max_sub_layers_minus1);
    profile_tier_level(*sps.ptl, bs);
    sps.sps_seq_parameter_set_id = bs.GetUE();
    sps.chroma_format_idc = bs.GetUE();
    if (sps.chroma_format_idc == 3)
        sps.separate_colour_plane_flag = bs.GetBits(1);
    sps.pic_width_in_luma_samples = bs.GetUE();
    sps.pic_height_in_luma_samples = bs.GetUE();
    sps.conformance_window_flag = bs.GetBits(1);
    if (sps.conformance_window_flag) {
        sps.conf_win_left_offset = bs.GetUE();
        sps.conf_win_right_offset = bs.GetUE();
        sps.conf_win_top_offset = bs.GetUE();
        sps.conf_win_bottom_offset = bs.GetUE();
    }
    sps.bit_depth_luma_minus8 = bs.GetUE();
    sps.bit_depth_chroma_minus8 = bs.GetUE();
    sps.log2_max_pic_order_cnt_lsb_minus4 = bs.GetUE();
    sps.sps_sub_layer_ordering_info_present_flag = bs.GetBits(1);
    const unsigned int count = sps.sps_max_sub_layers_minus1 + 1;
    sps.sps_max_dec_pic_buffering_minus1 = new unsigned int[count]();
    sps.sps_max_num_reorder_pics = new unsigned int[count]();
    sps.sps_max_latency_increase_plus1 = new unsigned int[count]();
    for (unsigned int i = sps.sps_sub_layer_ordering_info_present_flag ? 0 : sps.sps_max_sub_layers_minus1;
         i <= sps.sps_max_sub_layers_minus1; ++i) {
        sps.sps_max_dec_pic_buffering_minus1[i] = bs.GetUE();
        sps.sps_max_num_reorder_pics[i] = bs.GetUE();
        sps.sps_max_latency_increase_plus1[i] = bs.GetUE();
    }
    sps.log2_min_luma_coding_block_size_minus3 = bs.GetUE();
    sps.log2_diff_max_min_luma_coding_block_size = bs.GetUE();
}

} // namespace

unsigned int UnescapeNalPayload(const unsigned char* nal, unsigned int size, unsigned char* out) {
    // The byte-by-byte rule (from position 2: a 00 00 03 whose last byte lies
    // within the unit is copied as 00 00, and the byte after it is examined
    // afresh) drops exactly the 03 bytes at positions k >= 4 that follow two
    // zero bytes: the two zeros cannot overlap a dropped 03, nor the header.
    // So the 03 bytes are found with memchr and the runs between the dropped
    // ones are copied whole.
    if (size <= 2)
        return 0;
    unsigned int written = 0;
    unsigned int from = 2; // start of the run not yet copied
    unsigned int k = 4;    // next position that may hold a dropped 03
    while (k < size) {
        const void* found = std::memchr(nal + k, 3, size - k);
        if (!found)
            break;
        k = static_cast<unsigned int>(static_cast<const unsigned char*>(found) - nal);
        if (nal[k - 1] == 0 && nal[k - 2] == 0) {
            std::memcpy(out + written, nal + from, k - from);
            written += k - from;
            from = k + 1;
        }
        ++k;
    }
    std::memcpy(out + written, nal + from, size - from);
    return written + (size - from);
}

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

bool ParseSequenceParameterSet(const unsigned char* data, unsigned int len, CSPSInfo& record) {
    const int scanLength = ScanLength(len);
    const unsigned char* start = FindStartCode(data, scanLength, kNalSps);
    if (!start)
        return false;
    const unsigned char* nal = start + StartCodeLength(start);
    const unsigned char* end = data + scanLength;
    // The NAL unit ends at the next start code of any type; the scan begins
    // at the last byte of this start code, so it never sees this one again.
    const unsigned char* next = FindStartCode(start + 3, static_cast<int>(end - (start + 3)), -1);
    const unsigned int size = static_cast<unsigned int>((next ? next : end) - nal);

    std::unique_ptr<unsigned char[]> payload(new unsigned char[size]);
    const unsigned int payloadSize = UnescapeNalPayload(nal, size, payload.get());
    if (payloadSize == 0)
        throw kEndOfData; // nothing after the NAL unit header: out of data at the first element

    CMemInputSource source(payload.get(), static_cast<int>(payloadSize));
    CH264BitInStream bs(&source);
    ReadSpsFields(bs, record.sps);
    return true;
}
