// What the summary tells about a sequence parameter set: the fields taken from
// its Dump listing and its general profile, tier and level, and their meaning
// in words and derived sizes.
#ifndef H265TOOLS_SPS_DESCRIPTION_H
#define H265TOOLS_SPS_DESCRIPTION_H

#include <string>

#include "GeneralProfileTierLevel.h"
#include "Listing.h"

namespace h265tools {

struct SpsDescription {
    unsigned int sps_video_parameter_set_id = 0;
    unsigned int chroma_format_idc = 0;
    unsigned int separate_colour_plane_flag = 0;
    unsigned int pic_width_in_luma_samples = 0;
    unsigned int pic_height_in_luma_samples = 0;
    unsigned int conformance_window_flag = 0;
    unsigned int conf_win_left_offset = 0;
    unsigned int conf_win_right_offset = 0;
    unsigned int conf_win_top_offset = 0;
    unsigned int conf_win_bottom_offset = 0;
    unsigned int bit_depth_luma_minus8 = 0;
    unsigned int bit_depth_chroma_minus8 = 0;
    bool has_profile_tier_level = false;
    unsigned int general_profile_space = 0;
    unsigned int general_tier_flag = 0;
    unsigned int general_profile_idc = 0;
    unsigned int general_level_idc = 0;
};

// The fields of a complete SPS listing; those it leaves out (what the SPS
// does not code) are 0, as in the record. The profile, tier and level come
// from `ptl` when it is given.
SpsDescription DescribeSps(const ListingFields& listing, const GeneralProfileTierLevel* ptl);

// SubWidthC and SubHeightC of a chroma_format_idc: 0 and 3 give 1, 1; 1 gives
// 2, 2; 2 gives 2, 1. False for values above 3.
bool ChromaSubsampling(unsigned int chroma_format_idc, unsigned int& subWidthC, unsigned int& subHeightC);

// "4:0:0", "4:2:0", "4:2:2", "4:4:4"; "invalid (N)" above 3.
std::string ChromaFormatName(unsigned int chroma_format_idc);

// The picture size after the conformance window: the offsets count in units
// of SubWidthC horizontally and SubHeightC vertically.
struct DisplaySize {
    bool valid = false; // false for an unknown chroma format or a window larger than the picture
    unsigned long long width = 0;
    unsigned long long height = 0;
    unsigned int subWidthC = 1;
    unsigned int subHeightC = 1;
};
DisplaySize ComputeDisplaySize(const SpsDescription& sps);

// BitDepthY / BitDepthC from bit_depth_*_minus8.
unsigned long long BitDepth(unsigned int bit_depth_minus8);

// "Main", "Main 10", "Main Still Picture", "Format Range Extensions (RExt)";
// "profile N" for the others.
std::string ProfileName(unsigned int general_profile_idc);

// "Main tier" or "High tier".
std::string TierName(unsigned int general_tier_flag);

// general_level_idc / 30: "3" for 90, "4.1" for 123; one decimal whenever the
// quotient is not whole.
std::string LevelNumber(unsigned int general_level_idc);

// "Main 10, Main tier, level 4.1".
std::string ProfileTierLevelText(const SpsDescription& sps);

} // namespace h265tools

#endif
