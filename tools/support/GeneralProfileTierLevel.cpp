#include "GeneralProfileTierLevel.h"

namespace h265tools {

namespace {

// seq_parameter_set_rbsp() begins with one byte (sps_video_parameter_set_id
// u(4), sps_max_sub_layers_minus1 u(3), sps_temporal_id_nesting_flag u(1)),
// then profile_tier_level( 1, sps_max_sub_layers_minus1 ), whose general part
// has a fixed length of 96 bits whatever the number of sub-layers.
const std::size_t kGeneralPartEnd = 1 + 12;

} // namespace

bool ReadGeneralProfileTierLevel(const unsigned char* nal, std::size_t size, GeneralProfileTierLevel& ptl) {
    // 7.3.1.1 General NAL unit syntax: after the two-byte NAL unit header, a
    // 03 that follows two zero bytes is an emulation_prevention_three_byte.
    unsigned char rbsp[kGeneralPartEnd];
    std::size_t length = 0;
    int zeros = 0;
    for (std::size_t i = 2; i < size && length < kGeneralPartEnd; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        rbsp[length++] = nal[i];
    }
    if (length < kGeneralPartEnd)
        return false;
    // 7.3.3 Profile, tier and level syntax
    ptl.general_profile_space = rbsp[1] >> 6;      // u(2)
    ptl.general_tier_flag = (rbsp[1] >> 5) & 1;    // u(1)
    ptl.general_profile_idc = rbsp[1] & 0x1F;      // u(5)
    // rbsp[2..5]: general_profile_compatibility_flag[ 32 ] u(1) each;
    // rbsp[6..11]: the four source and constraint flags, 43 reserved or
    // constraint bits and general_inbld_flag or its reserved bit.
    ptl.general_level_idc = rbsp[12];              // u(8)
    return true;
}

} // namespace h265tools
