// The CODECS value of ISO/IEC 14496-15 E.3 for profile_tier_level values:
// each case is the general fields as coded and the string the Annex gives.
#include <string>

#include <gtest/gtest.h>

#include "CodecString.h"

namespace {

struct Case {
    const char* name;
    unsigned space, tier, idc;
    std::uint32_t compatibility; // flag j at bit 31 - j
    std::uint64_t constraints;   // 48 bits
    unsigned level;
    const char* expected;
};

const Case kCases[] = {
    // E.3's own examples.
    {"Main, level 3.1, progressive", 0, 0, 1, 0x60000000u, 0xB00000000000ull, 93, "hvc1.1.6.L93.B0"},
    {"Main 10, high tier, level 4", 0, 1, 2, 0x20000000u, 0xB00000000000ull, 120, "hvc1.2.4.H120.B0"},
    // Compatibility flags reversed: flag 1 is bit 1 of the value, flag 31 bit 31.
    {"compatibility flag 31 alone", 0, 0, 1, 0x00000001u, 0x900000000000ull, 60, "hvc1.1.80000000.L60.90"},
    {"profile space 1 is A", 1, 0, 4, 0x08000000u, 0x900000000000ull, 30, "hvc1.A4.10.L30.90"},
    {"profile space 3 is C", 3, 0, 1, 0x40000000u, 0x900000000000ull, 30, "hvc1.C1.2.L30.90"},
    // Trailing zero constraint bytes are left out, inner ones kept.
    {"no constraint byte", 0, 0, 1, 0x40000000u, 0, 186, "hvc1.1.2.L186"},
    {"RExt constraint bytes", 0, 0, 4, 0x08000000u, 0x9DC800000000ull, 30, "hvc1.4.10.L30.9D.C8"},
    {"a zero byte between two", 0, 0, 4, 0x08000000u, 0x980000010000ull, 30, "hvc1.4.10.L30.98.0.0.1"},
    {"last constraint byte", 0, 0, 1, 0x40000000u, 0x000000000001ull, 30, "hvc1.1.2.L30.0.0.0.0.0.1"},
};

TEST(CodecString, AnnexE) {
    for (const Case& c : kCases) {
        mp4::HevcDecoderConfiguration config;
        config.general_profile_space = c.space;
        config.general_tier_flag = c.tier;
        config.general_profile_idc = c.idc;
        config.general_profile_compatibility_flags = c.compatibility;
        config.general_constraint_indicator_flags = c.constraints;
        config.general_level_idc = c.level;
        EXPECT_EQ(mp4::HevcCodecString("hvc1", config), c.expected) << c.name;
    }
}

} // namespace
