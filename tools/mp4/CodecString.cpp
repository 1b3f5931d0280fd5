#include "CodecString.h"

#include <cstdio>

namespace mp4 {

std::string HevcCodecString(const char* sampleEntry, const HevcDecoderConfiguration& c) {
    std::string text = sampleEntry;
    char part[16];
    // general_profile_space as no letter (0) or A, B, C, then general_profile_idc.
    text += '.';
    if (c.general_profile_space > 0)
        text += static_cast<char>('A' + static_cast<int>((c.general_profile_space & 3u) - 1u));
    text += std::to_string(c.general_profile_idc);
    // The 32 compatibility flags in reverse bit order, in hexadecimal without
    // leading zeros: flag j lands at bit j.
    std::uint32_t reversed = 0;
    for (unsigned int j = 0; j < 32; ++j)
        if ((c.general_profile_compatibility_flags >> (31u - j)) & 1u)
            reversed |= std::uint32_t(1) << j;
    std::snprintf(part, sizeof part, ".%X", static_cast<unsigned int>(reversed));
    text += part;
    // general_tier_flag as L or H, then general_level_idc.
    text += c.general_tier_flag ? ".H" : ".L";
    text += std::to_string(c.general_level_idc);
    // The six bytes of constraint flags, from the one holding
    // general_progressive_source_flag, each in hexadecimal; trailing zero
    // bytes left out.
    int last = -1;
    for (int i = 0; i < 6; ++i)
        if ((c.general_constraint_indicator_flags >> (40 - 8 * i)) & 0xFFu)
            last = i;
    for (int i = 0; i <= last; ++i) {
        std::snprintf(part, sizeof part, ".%X",
                      static_cast<unsigned int>((c.general_constraint_indicator_flags >> (40 - 8 * i)) & 0xFFu));
        text += part;
    }
    return text;
}

} // namespace mp4
