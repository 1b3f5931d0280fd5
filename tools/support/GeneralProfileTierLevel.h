// The general profile, tier and level of an SPS, which its Dump listing does
// not hold, read from the NAL unit bytes with the tools' syntax reader.
#ifndef H265TOOLS_GENERAL_PROFILE_TIER_LEVEL_H
#define H265TOOLS_GENERAL_PROFILE_TIER_LEVEL_H

#include <cstddef>

namespace h265tools {

struct GeneralProfileTierLevel {
    unsigned int general_profile_space = 0;
    unsigned int general_tier_flag = 0;
    unsigned int general_profile_idc = 0;
    unsigned int general_level_idc = 0;
};

// `nal` points to the NAL unit header of an SPS NAL unit of `size` bytes
// (start code excluded). False when the unit ends before general_level_idc.
bool ReadGeneralProfileTierLevel(const unsigned char* nal, std::size_t size, GeneralProfileTierLevel& ptl);

} // namespace h265tools

#endif
