// seq_parameter_set_rbsp() up to log2_diff_max_min_luma_coding_block_size.
#include <cstring>
#include <memory>

#include "BitInStream.h"
#include "ByteWords.h"
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
    // The byte-by-byte rule (from position 2, a 00 00 03 whose 03 lies
    // within the unit is copied as 00 00, and the byte after it is examined
    // afresh) drops exactly the 03 bytes that follow a 00 00 pair starting at
    // position 2 or later: after a dropped 03 no pair can start at the two
    // positions the rule passes over, as the 03 is not zero. So the pairs are
    // found a word at a time, and the runs between dropped bytes are copied
    // whole.
    using namespace bytewords;
    if (size <= 2)
        return 0;
    unsigned int written = 0;
    unsigned int from = 2; // start of the run not yet copied
    unsigned int j = 2;    // where the next 00 00 pair may start
    for (;;) {
        // The next pair at or after j, while its 03 could lie in the unit.
        bool pair = false;
        while (j + sizeof(Word) < size) { // reads nal[j .. j + sizeof(Word)]
            const Word marks = ZeroBytes(LoadWord(nal + j) | LoadWord(nal + j + 1));
            if (!marks) {
                j += sizeof(Word);
                continue;
            }
            const int first = FirstZeroByte(marks);
            if (first >= 0) {
                j += static_cast<unsigned int>(first);
                pair = true;
            }
            break;
        }
        if (!pair) {
            while (j + 2 < size && (nal[j] != 0 || nal[j + 1] != 0))
                ++j;
        }
        if (j + 2 >= size)
            break;
        if (nal[j + 2] == 3) {
            std::memcpy(out + written, nal + from, j + 2 - from);
            written += j + 2 - from;
            from = j + 3;
            j += 3;
        } else {
            ++j;
        }
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
