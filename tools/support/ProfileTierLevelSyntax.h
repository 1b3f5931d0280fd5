// profile_tier_level( profilePresentFlag, maxNumSubLayersMinus1 ), 7.3.3.
#ifndef H265TOOLS_PROFILE_TIER_LEVEL_SYNTAX_H
#define H265TOOLS_PROFILE_TIER_LEVEL_SYNTAX_H

#include <cstdint>

#include "RbspBits.h"

namespace h265tools {

// The profile and level of one sub-layer, when its present flags say so.
struct SubLayerProfileTierLevel {
    bool sub_layer_profile_present_flag = false;
    bool sub_layer_level_present_flag = false;
    unsigned sub_layer_profile_space = 0;
    bool sub_layer_tier_flag = false;
    unsigned sub_layer_profile_idc = 0;
    std::uint32_t sub_layer_profile_compatibility_flags = 0; // flag j at bit 31 - j
    bool sub_layer_progressive_source_flag = false;
    bool sub_layer_interlaced_source_flag = false;
    bool sub_layer_non_packed_constraint_flag = false;
    bool sub_layer_frame_only_constraint_flag = false;
    std::uint64_t sub_layer_constraint_indicator_flags = 0; // 48 bits as coded
    unsigned sub_layer_level_idc = 0;
};

struct ProfileTierLevelSyntax {
    unsigned general_profile_space = 0;
    bool general_tier_flag = false;
    unsigned general_profile_idc = 0;
    // general_profile_compatibility_flag[ j ] at bit 31 - j, as coded.
    std::uint32_t general_profile_compatibility_flags = 0;
    bool general_progressive_source_flag = false;
    bool general_interlaced_source_flag = false;
    bool general_non_packed_constraint_flag = false;
    bool general_frame_only_constraint_flag = false;
    // The 48 bits after the compatibility flags, as coded, in the low 48
    // bits: the four flags above, the 43 constraint or reserved bits and
    // general_inbld_flag or its reserved bit.
    std::uint64_t general_constraint_indicator_flags = 0;
    unsigned general_level_idc = 0;
    SubLayerProfileTierLevel sub_layers[7]; // [ 0 .. maxNumSubLayersMinus1 - 1 ]
};

// maxNumSubLayersMinus1 <= 6. Sub-layer fields not coded are left 0.
void ReadProfileTierLevel(RbspBits& bits, bool profilePresentFlag, unsigned maxNumSubLayersMinus1,
                          ProfileTierLevelSyntax& ptl);

} // namespace h265tools

#endif
