#include "GeneralProfileTierLevel.h"

#include "ProfileTierLevelSyntax.h"
#include "RbspBits.h"
#include "SyntaxError.h"

namespace h265tools {

bool ReadGeneralProfileTierLevel(const unsigned char* nal, std::size_t size, GeneralProfileTierLevel& ptl) {
    // seq_parameter_set_rbsp() begins with sps_video_parameter_set_id u(4),
    // sps_max_sub_layers_minus1 u(3) and sps_temporal_id_nesting_flag u(1),
    // then profile_tier_level( 1, sps_max_sub_layers_minus1 ), whose general
    // part is read here with the tools' reader of 7.3.3; the sub-layer parts
    // that follow are not needed.
    try {
        RbspBits bits(nal, size);
        bits.u(4, "sps_video_parameter_set_id");
        bits.u(3, "sps_max_sub_layers_minus1");
        bits.flag("sps_temporal_id_nesting_flag");
        ProfileTierLevelSyntax read;
        ReadProfileTierLevel(bits, true, 0, read);
        ptl.general_profile_space = read.general_profile_space;
        ptl.general_tier_flag = read.general_tier_flag;
        ptl.general_profile_idc = read.general_profile_idc;
        ptl.general_level_idc = read.general_level_idc;
        return true;
    } catch (const SyntaxError&) {
        return false;
    }
}

} // namespace h265tools
