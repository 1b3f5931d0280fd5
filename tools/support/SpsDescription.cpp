#include "SpsDescription.h"

namespace h265tools {

SpsDescription DescribeSps(const ListingFields& listing, const GeneralProfileTierLevel* ptl) {
    SpsDescription d;
    d.sps_video_parameter_set_id = FieldValue(listing, "sps_video_parameter_set_id");
    d.chroma_format_idc = FieldValue(listing, "chroma_format_idc");
    d.separate_colour_plane_flag = FieldValue(listing, "separate_colour_plane_flag");
    d.pic_width_in_luma_samples = FieldValue(listing, "pic_width_in_luma_samples");
    d.pic_height_in_luma_samples = FieldValue(listing, "pic_height_in_luma_samples");
    d.conformance_window_flag = FieldValue(listing, "conformance_window_flag");
    d.conf_win_left_offset = FieldValue(listing, "conf_win_left_offset");
    d.conf_win_right_offset = FieldValue(listing, "conf_win_right_offset");
    d.conf_win_top_offset = FieldValue(listing, "conf_win_top_offset");
    d.conf_win_bottom_offset = FieldValue(listing, "conf_win_bottom_offset");
    d.bit_depth_luma_minus8 = FieldValue(listing, "bit_depth_luma_minus8");
    d.bit_depth_chroma_minus8 = FieldValue(listing, "bit_depth_chroma_minus8");
    if (ptl) {
        d.has_profile_tier_level = true;
        d.general_profile_space = ptl->general_profile_space;
        d.general_tier_flag = ptl->general_tier_flag;
        d.general_profile_idc = ptl->general_profile_idc;
        d.general_level_idc = ptl->general_level_idc;
    }
    return d;
}

bool ChromaSubsampling(unsigned int chroma_format_idc, unsigned int& subWidthC, unsigned int& subHeightC) {
    switch (chroma_format_idc) {
    case 0: // monochrome: the offsets count in luma samples
    case 3:
        subWidthC = 1;
        subHeightC = 1;
        return true;
    case 1:
        subWidthC = 2;
        subHeightC = 2;
        return true;
    case 2:
        subWidthC = 2;
        subHeightC = 1;
        return true;
    default:
        return false;
    }
}

std::string ChromaFormatName(unsigned int chroma_format_idc) {
    switch (chroma_format_idc) {
    case 0:
        return "4:0:0";
    case 1:
        return "4:2:0";
    case 2:
        return "4:2:2";
    case 3:
        return "4:4:4";
    default:
        return "invalid (" + std::to_string(chroma_format_idc) + ")";
    }
}

DisplaySize ComputeDisplaySize(const SpsDescription& sps) {
    DisplaySize size;
    if (!ChromaSubsampling(sps.chroma_format_idc, size.subWidthC, size.subHeightC))
        return size;
    unsigned long long cropX = 0, cropY = 0;
    if (sps.conformance_window_flag) {
        // Each offset is below 2^32 and the factors are at most 2: no overflow.
        cropX =
            size.subWidthC * (static_cast<unsigned long long>(sps.conf_win_left_offset) + sps.conf_win_right_offset);
        cropY =
            size.subHeightC * (static_cast<unsigned long long>(sps.conf_win_top_offset) + sps.conf_win_bottom_offset);
    }
    if (cropX >= sps.pic_width_in_luma_samples || cropY >= sps.pic_height_in_luma_samples)
        return size;
    size.width = sps.pic_width_in_luma_samples - cropX;
    size.height = sps.pic_height_in_luma_samples - cropY;
    size.valid = true;
    return size;
}

unsigned long long BitDepth(unsigned int bit_depth_minus8) {
    return static_cast<unsigned long long>(bit_depth_minus8) + 8;
}

std::string ProfileName(unsigned int general_profile_idc) {
    switch (general_profile_idc) {
    case 1:
        return "Main";
    case 2:
        return "Main 10";
    case 3:
        return "Main Still Picture";
    case 4:
        return "Format Range Extensions (RExt)";
    default:
        return "profile " + std::to_string(general_profile_idc);
    }
}

std::string TierName(unsigned int general_tier_flag) {
    return general_tier_flag ? "High tier" : "Main tier";
}

std::string LevelNumber(unsigned int general_level_idc) {
    if (general_level_idc % 30 == 0)
        return std::to_string(general_level_idc / 30);
    // Tenths, rounded to nearest: general_level_idc * 10 / 30 = idc / 3.
    const unsigned long long tenths = (static_cast<unsigned long long>(general_level_idc) + 1) / 3;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string ProfileTierLevelText(const SpsDescription& sps) {
    return ProfileName(sps.general_profile_idc) + ", " + TierName(sps.general_tier_flag) + ", level " +
           LevelNumber(sps.general_level_idc);
}

} // namespace h265tools
