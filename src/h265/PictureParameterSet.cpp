#include "PictureParameterSet.h"

#include <cstring>

#include "BitInStream.h"
#include "NalUnit.h"
#include "ParameterSetListing.h"

namespace h265headers {

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
    // 7.3.2.3.1 General picture parameter set RBSP syntax, up to cabac_init_present_flag.
    PIC_PARAMETER_SET& pps = record.pps;
    pps.pps_pic_parameter_set_id = bs.GetUE();               // ue(v)
    pps.pps_seq_parameter_set_id = bs.GetUE();               // ue(v)
    pps.dependent_slice_segments_enabled_flag = bs.GetBits(1); // u(1)
    pps.output_flag_present_flag = bs.GetBits(1);            // u(1)
    pps.num_extra_slice_header_bits = bs.GetBits(3);         // u(3)
    pps.sign_data_hiding_enabled_flag = bs.GetBits(1);       // u(1)
    pps.cabac_init_present_flag = bs.GetBits(1);             // u(1)
    return true;
}

} // namespace h265headers

CPPSInfo::CPPSInfo() {
    std::memset(&pps, 0, sizeof pps);
}

int CPPSInfo::Dump(char* buffer) {
    h265headers::ParameterSetListing out;
    out.Line("pps_pic_parameter_set_id", pps.pps_pic_parameter_set_id);
    out.Line("pps_seq_parameter_set_id", pps.pps_seq_parameter_set_id);
    out.Line("dependent_slice_segments_enabled_flag", pps.dependent_slice_segments_enabled_flag);
    out.Line("output_flag_present_flag", pps.output_flag_present_flag);
    out.Line("num_extra_slice_header_bits", pps.num_extra_slice_header_bits);
    out.Line("sign_data_hiding_enabled_flag", pps.sign_data_hiding_enabled_flag);
    out.Line("cabac_init_present_flag", pps.cabac_init_present_flag);
    return out.Deliver(buffer);
}
