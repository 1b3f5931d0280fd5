// The picture parameter set record and its reading, from
// pic_parameter_set_rbsp() up to cabac_init_present_flag.
#ifndef H265HEADERS_PICTURE_PARAMETER_SET_H
#define H265HEADERS_PICTURE_PARAMETER_SET_H

#include "h265headers.h"

// The first seven elements of pic_parameter_set_rbsp(), up to
// cabac_init_present_flag. All zero when the record is created.
struct PIC_PARAMETER_SET {
    unsigned int pps_pic_parameter_set_id;
    unsigned int pps_seq_parameter_set_id;
    unsigned int dependent_slice_segments_enabled_flag;
    unsigned int output_flag_present_flag;
    unsigned int num_extra_slice_header_bits; // u(3): at most 7
    unsigned int sign_data_hiding_enabled_flag;
    unsigned int cabac_init_present_flag;
};

class CPPSInfo final : public H265Parser::IPPS {
public:
    CPPSInfo();
    int Dump(char* buffer); // the text listing, two-call protocol

    PIC_PARAMETER_SET pps;
};

namespace h265headers {

// Reads the start of the first PPS NAL unit of the block into `record`, which
// must be all zero. False when there is none or it has no payload byte; the
// end-of-data signal when the buffer ends before cabac_init_present_flag.
bool ParsePictureParameterSet(const unsigned char* data, unsigned int len, CPPSInfo& record);

} // namespace h265headers

#endif
