// pic_parameter_set_rbsp() up to cabac_init_present_flag.
#include <cstring>

#include "BitInStream.h"
#include "NalUnit.h"
#include "PpsInfo.h"

CPPSInfo::CPPSInfo() {
    std::memset(&pps, 0, sizeof pps);
}

bool ParsePictureParameterSet(const unsigned char* data, unsigned int len, CPPSInfo& record) {
    const int scanLength = ScanLength(len);
    const unsigned char* start = FindStartCode(data, scanLength, kNalPps);
    if (!start)
        return false;
    // The payload follows the two-byte NAL unit header and is read in place
    // up to the end of the caller's block: the seven elements lie within the
    // first bytes, where an emulation_prevention_three_byte is rare.
    const unsigned char* payload = start + StartCodeLength(start) + 2;
    const unsigned char* end = data + scanLength;
    if (payload >= end)
        return false;

    CMemInputSource source(payload, static_cast<int>(end - payload));
    CH264BitInStream bs(&source);
    PIC_PARAMETER_SET& pps = record.pps;
    pps.pps_pic_parameter_set_id = bs.GetUE();
    pps.pps_seq_parameter_set_id = bs.GetUE();
    pps.dependent_slice_segments_enabled_flag = bs.GetBits(1);
    pps.output_flag_present_flag = bs.GetBits(1);
    pps.num_extra_slice_header_bits = bs.GetBits(3);
    pps.sign_data_hiding_enabled_flag = bs.GetBits(1);
    pps.cabac_init_present_flag = bs.GetBits(1);
    return true;
}
