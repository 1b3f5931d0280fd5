#include "ProfileTierLevelSyntax.h"

namespace h265tools {

namespace {

// The four source and constraint flags (bits 47..44 of the 48 constraint
// indicator bits), 43 constraint or reserved bits and one more, as coded.
std::uint64_t ConstraintBits(bool progressive, bool interlaced, bool nonPacked, bool frameOnly,
                             std::uint64_t bits43, std::uint64_t lastBit) {
    return (std::uint64_t(progressive) << 47) | (std::uint64_t(interlaced) << 46) |
           (std::uint64_t(nonPacked) << 45) | (std::uint64_t(frameOnly) << 44) | (bits43 << 1) | lastBit;
}

} // namespace

// 7.3.3 Profile, tier and level syntax
void ReadProfileTierLevel(RbspBits& bits, bool profilePresentFlag, unsigned maxNumSubLayersMinus1,
                          ProfileTierLevelSyntax& ptl) {
    CheckAtMost("maxNumSubLayersMinus1", maxNumSubLayersMinus1, 6);
    if (profilePresentFlag) {
        ptl.general_profile_space = bits.u(2, "general_profile_space");             // u(2)
        ptl.general_tier_flag = bits.flag("general_tier_flag");                      // u(1)
        ptl.general_profile_idc = bits.u(5, "general_profile_idc");                 // u(5)
        ptl.general_profile_compatibility_flags =
            bits.u(32, "general_profile_compatibility_flag");                        // u(1) x 32
        ptl.general_progressive_source_flag = bits.flag("general_progressive_source_flag");       // u(1)
        ptl.general_interlaced_source_flag = bits.flag("general_interlaced_source_flag");         // u(1)
        ptl.general_non_packed_constraint_flag = bits.flag("general_non_packed_constraint_flag"); // u(1)
        ptl.general_frame_only_constraint_flag = bits.flag("general_frame_only_constraint_flag"); // u(1)
        // general_max_12bit_constraint_flag .. general_reserved_zero_43bits: u(43) in all
        const std::uint64_t high = bits.u(11, "general_reserved_zero_43bits");
        const std::uint64_t low = bits.u(32, "general_reserved_zero_43bits");
        const std::uint64_t inbld = bits.u(1, "general_inbld_flag");                // u(1)
        ptl.general_constraint_indicator_flags =
            ConstraintBits(ptl.general_progressive_source_flag, ptl.general_interlaced_source_flag,
                           ptl.general_non_packed_constraint_flag, ptl.general_frame_only_constraint_flag,
                           (high << 32) | low, inbld);
    }
    ptl.general_level_idc = bits.u(8, "general_level_idc");                          // u(8)
    for (unsigned i = 0; i < maxNumSubLayersMinus1; i++) {
        SubLayerProfileTierLevel& sub = ptl.sub_layers[i];
        sub = SubLayerProfileTierLevel();
        sub.sub_layer_profile_present_flag = bits.flag("sub_layer_profile_present_flag"); // u(1)
        sub.sub_layer_level_present_flag = bits.flag("sub_layer_level_present_flag");     // u(1)
    }
    if (maxNumSubLayersMinus1 > 0)
        for (unsigned i = maxNumSubLayersMinus1; i < 8; i++)
            bits.u(2, "reserved_zero_2bits");                                        // u(2)
    for (unsigned i = 0; i < maxNumSubLayersMinus1; i++) {
        SubLayerProfileTierLevel& sub = ptl.sub_layers[i];
        if (sub.sub_layer_profile_present_flag) {
            sub.sub_layer_profile_space = bits.u(2, "sub_layer_profile_space");      // u(2)
            sub.sub_layer_tier_flag = bits.flag("sub_layer_tier_flag");              // u(1)
            sub.sub_layer_profile_idc = bits.u(5, "sub_layer_profile_idc");         // u(5)
            sub.sub_layer_profile_compatibility_flags =
                bits.u(32, "sub_layer_profile_compatibility_flag");                  // u(1) x 32
            sub.sub_layer_progressive_source_flag = bits.flag("sub_layer_progressive_source_flag");       // u(1)
            sub.sub_layer_interlaced_source_flag = bits.flag("sub_layer_interlaced_source_flag");         // u(1)
            sub.sub_layer_non_packed_constraint_flag = bits.flag("sub_layer_non_packed_constraint_flag"); // u(1)
            sub.sub_layer_frame_only_constraint_flag = bits.flag("sub_layer_frame_only_constraint_flag"); // u(1)
            const std::uint64_t high = bits.u(11, "sub_layer_reserved_zero_43bits"); // u(43) in all
            const std::uint64_t low = bits.u(32, "sub_layer_reserved_zero_43bits");
            const std::uint64_t inbld = bits.u(1, "sub_layer_inbld_flag");           // u(1)
            sub.sub_layer_constraint_indicator_flags =
                ConstraintBits(sub.sub_layer_progressive_source_flag, sub.sub_layer_interlaced_source_flag,
                               sub.sub_layer_non_packed_constraint_flag, sub.sub_layer_frame_only_constraint_flag,
                               (high << 32) | low, inbld);
        }
        if (sub.sub_layer_level_present_flag)
            sub.sub_layer_level_idc = bits.u(8, "sub_layer_level_idc");              // u(8)
    }
}

} // namespace h265tools
